// Driving Debian's Chromium over the DevTools protocol, with the site served
// on 127.0.0.1: what the page's tests, benchmark and screenshot share.
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import puppeteer from "puppeteer-core";

export { serve } from "../web/serve.mjs";

// The browser the tests drive: Debian's Chromium, headless, with a profile
// of its own that goes with it; or, with VERSALO_BROWSER=firefox, Debian's
// firefox-esr, over WebDriver BiDi. Neither is ever downloaded.
export const browserName = process.env.VERSALO_BROWSER === "firefox" ? "firefox" : "chromium";

export async function launch(options = {}) {
  if (browserName === "firefox") {
    return puppeteer.launch({
      ...options,
      browser: "firefox",
      executablePath: process.env.FIREFOX ?? "/usr/bin/firefox-esr",
      headless: true,
    });
  }
  const profile = mkdtempSync(join(tmpdir(), "versalo-chromium-"));
  const browser = await puppeteer.launch({
    ...options,
    executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
    headless: true,
    userDataDir: profile,
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  const close = browser.close.bind(browser);
  browser.close = async () => { await close(); rmSync(profile, { recursive: true, force: true }); };
  return browser;
}

// Opens the page and waits until its word list is in.
export async function open(browser, url) {
  const page = await browser.newPage();
  await page.goto(url);
  await page.waitForSelector("body[data-list]");
  return page;
}

// Chooses `path` as the page's own list and waits until the page has it
// (for at most `timeout` ms); the searches after that are on it.
export async function useList(page, path, { timeout = 30000 } = {}) {
  const taken = await page.$eval("body", (body) => Number(body.dataset.lists ?? 0));
  await (await page.$("#file")).uploadFile(path);
  await page.waitForFunction((taken) => Number(document.body.dataset.lists ?? 0) > taken, { timeout }, taken);
}

// How many search results the page has drawn so far.
export const shownCount = (page) =>
  page.$eval("#results", (list) => Number(list.dataset.shown ?? 0));

// Waits until the page has drawn the results of a search for `ending` after
// `before` results (for at most `timeout` ms).
export function drawn(page, ending, before, { timeout = 30000 } = {}) {
  return page.waitForFunction((ending, before) => {
    const list = document.querySelector("#results");
    return list.dataset.ending === ending && Number(list.dataset.shown ?? 0) > before;
  }, { timeout }, ending, before);
}

// Puts `ending` into the box at once, focused, as a paste does: with
// `input`, the page hears of it as of typing; without, only a key or the
// button makes it search.
export function setEnding(page, ending, { input = false } = {}) {
  return page.$eval("#ending", (box, ending, input) => {
    box.value = ending;
    box.focus();
    if (input) box.dispatchEvent(new Event("input"));
  }, ending, input);
}

// Types `ending` into the box, replacing what was there, and waits until
// its results are drawn.
export async function typeEnding(page, ending) {
  const before = await shownCount(page);
  // Select what the box holds, then delete it, as a user does (a triple
  // click selects it in Chromium but not in Firefox).
  await page.$eval("#ending", (box) => { box.focus(); box.select(); });
  await page.keyboard.press("Backspace");
  await page.type("#ending", ending);
  await drawn(page, ending, before);
}
