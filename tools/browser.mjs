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
  // Headless Chromium builds each new window's address-bar popups as web
  // pages of their own, each in a renderer that takes most of a core for
  // about a second: on a 2-core machine, right when a first visit to the
  // page is measured in a fresh browser context. The page never has them.
  const browser = await puppeteer.launch({
    ...options,
    executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
    headless: true,
    userDataDir: profile,
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync",
           "--disable-features=WebUIOmniboxPopup,WebUIOmniboxAimPopup"],
  });
  const close = browser.close.bind(browser);
  browser.close = async () => { await close(); rmSync(profile, { recursive: true, force: true }); };
  return browser;
}

// The page's User Timing measures named `name` so far: each its start and
// duration, in ms since the page began to load, with its detail. The page
// measures:
//   versalo:list   a list asked for, until it was in (detail: ok, lines,
//                  encoding, and the worker's core, read and held ms)
//   versalo:index  the list's index being built (detail: memory)
//   versalo:drawn  from the key to a search's results painted (detail:
//                  ending, word, count, coreMs)
// and marks versalo:stopped for each search the worker dropped for a newer.
export const timings = (page, name) => page.evaluate((name) =>
  performance.getEntriesByName(name).map((entry) => ({ ...entry.detail, start: entry.startTime,
                                                       duration: entry.duration })), name);
const timingCount = (page, name) => page.evaluate((name) => performance.getEntriesByName(name).length, name);

// Waits until the page has more than `before` measures named `name` (for at
// most `timeout` ms), and until `test` holds for the last one's detail.
function moreTimings(page, name, before, { timeout = 30000, test = "true" } = {}) {
  return page.waitForFunction(`(() => {
    const all = performance.getEntriesByName(${JSON.stringify(name)});
    const detail = all.at(-1)?.detail;
    return all.length > ${before} && (${test});
  })()`, { timeout });
}

// Opens the page and waits until its word list is in.
export async function open(browser, url) {
  const page = await browser.newPage();
  await page.goto(url);
  await listIn(page);
  return page;
}

// Waits until the page's first list is in, or could not be read.
export const listIn = (page, { timeout = 30000 } = {}) => moreTimings(page, "versalo:list", 0, { timeout });

// Chooses `path` as the page's own list and waits until the page has it
// (for at most `timeout` ms); the searches after that are on it.
export async function useList(page, path, { timeout = 30000 } = {}) {
  const taken = await timingCount(page, "versalo:list");
  await (await page.$("#file")).uploadFile(path);
  await moreTimings(page, "versalo:list", taken, { timeout });
}

// How many search results the page has drawn so far.
export const shownCount = (page) => timingCount(page, "versalo:drawn");

// Waits until the page has drawn the results of a search for `ending` after
// `before` results (for at most `timeout` ms).
export const drawn = (page, ending, before, { timeout = 30000 } = {}) =>
  moreTimings(page, "versalo:drawn", before, { timeout, test: `detail.ending === ${JSON.stringify(ending)}` });

// The last results drawn: {ending, word, count, coreMs, start, duration}.
export const lastDrawn = async (page) => (await timings(page, "versalo:drawn")).at(-1);

// The entries listed, all of them, as the Save button writes them (none
// when there is nothing to save).
export const entries = (page) => page.evaluate(async () => {
  const save = document.querySelector("#save");
  if (save.disabled) return [];
  const make = URL.createObjectURL, click = HTMLAnchorElement.prototype.click;
  const file = await new Promise((resolve) => {
    URL.createObjectURL = (blob) => { resolve(blob); return make.call(URL, blob); };
    HTMLAnchorElement.prototype.click = () => {};
    save.click();
  }).finally(() => { URL.createObjectURL = make; HTMLAnchorElement.prototype.click = click; });
  const text = await file.text();
  return text === "" ? [] : text.slice(0, -1).split("\n");
});

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
