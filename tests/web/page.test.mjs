// The web page in Debian's Chromium (or, with VERSALO_BROWSER=firefox, in
// Debian's firefox-esr), driven as a user drives it, and held against
// versalo-find on the same word lists.
//   VERSALO_SITE=build/wasm/site VERSALO_FIND=build/native/versalo-find node --test page.test.mjs
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { appendFileSync, cpSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { after, before, describe, test } from "node:test";
import { fileURLToPath } from "node:url";
import { gunzipSync } from "node:zlib";

import { frontDecode } from "../../web/front_coding.mjs";
import { browserName, drawn, entries, lastDrawn, launch, listIn, open, serve, setEnding, shownCount, timings, typeEnding,
         useList } from "../../tools/browser.mjs";

const SITE = process.env.VERSALO_SITE && resolve(process.env.VERSALO_SITE);
const WEB = fileURLToPath(new URL("../../web/", import.meta.url)); // the page's sources
const FIND = process.env.VERSALO_FIND && resolve(process.env.VERSALO_FIND);
const TOO_SHORT = "Какво от \">1 буква\" не разбрахте?";

const work = mkdtempSync(join(tmpdir(), "versalo-web-"));
// What only Chromium's DevTools can do is left out in Firefox, saying why.
const chromiumOnly = (why) => browserName !== "chromium" && `Chromium only: ${why}`;

// What versalo-find lists for `ending` in a folder's rym.txt, in UTF-8; and
// for its arguments `args` in the Bulgarian list's folder.
function find(folder, ending) {
  return findIn(folder, ["--", ending]);
}
function findIn(folder, args) {
  const out = execFileSync(FIND, args, { cwd: folder, env: { ...process.env, LC_ALL: "C.UTF-8" },
                                         maxBuffer: 1 << 28 }).toString();
  return out === "" ? [] : out.slice(0, -1).split("\n");
}
const findWith = (args) => findIn(bulgarian, args);

// A list of the user's own, as bytes, in a folder of its own.
function ownList(name, bytes) {
  const folder = mkdtempSync(join(work, `${name}-`));
  writeFileSync(join(folder, "rym.txt"), bytes);
  return folder;
}

// Text in Windows-1251, for the Cyrillic letters А to я and ASCII.
const cp1251 = (text) => Buffer.from([...text].map((c) => {
  const code = c.codePointAt(0);
  return code >= 0x410 && code <= 0x44f ? code - 0x410 + 0xc0 : code;
}));

const text = (page, selector) => page.$eval(selector, (element) => element.textContent);
// The rows the list has drawn, by index.
const rows = (page) => page.$$eval("#results .row", (all) =>
  Object.fromEntries(all.map((row) => [row.dataset.index, row.textContent])));

let server, browser, page;
const bulgarian = join(work, "bulgarian");

before(async () => {
  assert.ok(SITE && FIND, "VERSALO_SITE and VERSALO_FIND name the site and versalo-find");
  mkdirSync(bulgarian);
  writeFileSync(join(bulgarian, "rym.txt"), frontDecode(gunzipSync(readFileSync(join(SITE, "rym.fc.gz")))));
  server = await serve(SITE, "/versalo/");
  browser = await launch();
  page = await open(browser, server.url);
});

after(async () => {
  await browser?.close();
  await server?.close();
  rmSync(work, { recursive: true, force: true });
});

describe("the Bulgarian list", () => {
  test("a typed Cyrillic ending lists what versalo-find lists, in order", async () => {
    await typeEnding(page, "та");
    const expected = find(bulgarian, "та");
    assert.equal(expected.length, 84176);
    assert.equal((await lastDrawn(page)).count, 84176);
    assert.match(await text(page, "#count"), /84\s176/);
    assert.deepEqual(await entries(page), expected);
    // The rows drawn show those entries, at the top and after scrolling.
    assert.equal((await rows(page))["0"], expected[0]);
    for (const index of [42000, 84175]) {
      await page.$eval("#results", (list, top) => { list.scrollTop = top; }, index * 24);
      await page.waitForSelector(`#row-${index}`);
      assert.equal((await rows(page))[String(index)], expected[index]);
    }
    // Only about a screenful of rows exists.
    assert.ok(Object.keys(await rows(page)).length < 100);
  });

  test("Enter and the button search the ending in the box", async () => {
    for (const [ending, press] of [["ище", () => page.keyboard.press("Enter")],
                                   ["ина", () => page.click("#check")]]) {
      const shown = await shownCount(page);
      // Set without typing, so that only the key or the button searches.
      await setEnding(page, ending);
      await press();
      await drawn(page, ending, shown);
      const expected = find(bulgarian, ending);
      assert.deepEqual(await entries(page), expected, ending);
      // The rows drawn show the new entries, not the last search's.
      const drawnRows = await rows(page);
      for (const index of [0, 1, 10]) assert.equal(drawnRows[String(index)], expected[index], ending);
    }
  });

  test("an ending under two bytes shows the message and keeps the list", async () => {
    await typeEnding(page, "ище");
    const listed = await entries(page);
    for (const ending of ["щ", ""]) {
      await setEnding(page, ending);
      await page.keyboard.press("Enter");
      assert.equal(await text(page, "#message"), TOO_SHORT);
      assert.deepEqual(await entries(page), listed);
    }
    await typeEnding(page, "та");
    assert.equal(await text(page, "#message"), "");
  });

  test("while the box holds another ending, the count line says which one the list is for",
       async () => {
    await typeEnding(page, "ище");
    assert.equal(await text(page, "#count"), "Намерени: 111");
    // Too short to search: the list stays, and says what it is for.
    await page.$eval("#ending", (box) => { box.focus(); box.select(); });
    await page.type("#ending", "щ");
    assert.equal(await text(page, "#count"), "Намерени: 111 за „ище“");
    await page.keyboard.press("Backspace");
    assert.equal(await text(page, "#count"), "Намерени: 111 за „ище“");
    await setEnding(page, "ище", { input: true });
    assert.equal(await text(page, "#count"), "Намерени: 111");
  });

  test("a letter that Windows-1251 cannot write is said, not missed", async () => {
    await page.$eval("#ending", (box) => { box.focus(); box.select(); });
    await page.type("#ending", "ta語");
    await page.waitForFunction(() => document.querySelector("#message").textContent !== "");
    assert.match(await text(page, "#message"), /Windows-1251/);
  });
});

describe("a list of one's own", () => {
  test("CR LF, NUL and SUB are read as the program reads them", async () => {
    const folder = ownList("own", Buffer.concat([
      cp1251("котка\r\nлод"), Buffer.from([0]), cp1251("ка\r\nка\r\nбук\rка\nка"),
      Buffer.from([0x1a]), cp1251("мечка\r\n"),
    ]));
    await useList(page, join(folder, "rym.txt"));
    await typeEnding(page, "ка");
    const expected = find(folder, "ка");
    assert.deepEqual(expected, ["котка", "ка", "бук\rка", "ка"]);
    assert.deepEqual(await entries(page), expected);
  });

  test("a list in UTF-8 is found out, searched by its letters and said", async () => {
    const folder = ownList("utf8", Buffer.from("котка\r\nлодка\nка\nкафе\nbook\nйога\n", "utf8"));
    await useList(page, join(folder, "rym.txt"));
    assert.equal(await text(page, "#list-name"), "Речник: rym.txt (UTF-8)");
    await typeEnding(page, "ка");
    assert.deepEqual(await entries(page), ["котка", "лодка", "ка"]);
    await typeEnding(page, "га");
    assert.deepEqual(await entries(page), ["йога"]);
    // One letter is two bytes of UTF-8, and still too short.
    await setEnding(page, "а");
    await page.keyboard.press("Enter");
    assert.equal(await text(page, "#message"), TOO_SHORT);
    // The same words in Windows-1251 are read as Windows-1251.
    await useList(page, join(ownList("cp1251", cp1251("котка\nлодка\n")), "rym.txt"));
    assert.equal(await text(page, "#list-name"), "Речник: rym.txt (Windows-1251)");
    await typeEnding(page, "дка");
    assert.deepEqual(await entries(page), ["лодка"]);
  });

  test("a file dropped on the page is searched for the ending shown", async () => {
    await typeEnding(page, "пка");
    const before = await shownCount(page);
    await page.evaluate((bytes) => {
      const transfer = new DataTransfer();
      transfer.items.add(new File([new Uint8Array(bytes)], "rym.txt"));
      document.querySelector("#results").dispatchEvent(
        new DragEvent("drop", { dataTransfer: transfer, bubbles: true, cancelable: true }));
    }, [...cp1251("мечка\r\nкапка\r\n")]);
    await drawn(page, "пка", before);
    assert.deepEqual(await entries(page), ["капка"]);
  });

  test("a file that cannot be read says rym.txt? and the page works on",
       { skip: chromiumOnly("WebDriver BiDi cannot hand a folder to a file input") }, async () => {
    await useList(page, join(ownList("readable", cp1251("котка\nлодка\n")), "rym.txt"));
    await typeEnding(page, "ка");
    const listed = await entries(page);
    assert.deepEqual(listed, ["котка", "лодка"]);
    await (await page.$("#file")).uploadFile(mkdtempSync(join(work, "folder-")));
    await page.waitForFunction(() => document.querySelector("#message").textContent === "rym.txt?");
    assert.deepEqual(await entries(page), listed);
    await typeEnding(page, "тка");
    assert.deepEqual(await entries(page), ["котка"]);
  });
});

describe("a search still running", () => {
  test("is dropped for a newer ending, whose results show; the list is not read again", async () => {
    // Sixty million matching lines: too many to index, so a search scans
    // them, a slice at a time, for seconds.
    const folder = ownList("huge", Buffer.alloc(3 * 60e6, cp1251("аа\n")));
    // What the loading line says, all of it, as it changes.
    await page.evaluate(() => {
      window.loadingSaid = [];
      new MutationObserver(() => window.loadingSaid.push(document.querySelector("#loading").textContent))
        .observe(document.querySelector("#loading"), { childList: true, characterData: true, subtree: true });
    });
    await useList(page, join(folder, "rym.txt"));
    await typeEnding(page, "бб");
    const said = await page.evaluate(() => window.loadingSaid);
    assert.ok(said.some((text) => /^Речникът се зарежда… \d+%$/.test(text)), said.join(" | "));
    assert.equal(said.at(-1), "");
    const stopped = (await timings(page, "versalo:stopped")).length;
    await setEnding(page, "аа", { input: true });
    // Not a time: the state the page reports while the search runs.
    await page.waitForSelector('#results[aria-busy="true"]');
    const before = await shownCount(page);
    await setEnding(page, "ба", { input: true });
    await drawn(page, "ба", before);
    await page.waitForFunction((n) => performance.getEntriesByName("versalo:stopped").length === n + 1, {}, stopped);
    assert.equal(await text(page, "#message"), "");
    assert.equal((await lastDrawn(page)).count, 0);
    assert.equal(await page.$eval("#results", (list) => list.getAttribute("aria-busy")), null);
    // Nothing was loaded again.
    assert.equal((await page.evaluate(() => window.loadingSaid)).length, said.length);
    rmSync(folder, { recursive: true });
  });
});

describe("rhymes beyond the ending", () => {
  // Sets a control and waits for the results it brings.
  const change = async (ending, act) => {
    const before = await shownCount(page);
    await act();
    await drawn(page, ending, before);
  };

  before(async () => {
    const indexed = (await timings(page, "versalo:index")).length;
    await useList(page, join(bulgarian, "rym.txt"));
    await page.waitForFunction((n) => performance.getEntriesByName("versalo:index").length > n, {}, indexed);
  });

  test("each order, the sound rule and the syllable boxes list what versalo-find lists", async () => {
    await typeEnding(page, "ад");
    assert.deepEqual(await entries(page), findWith(["--", "ад"]));
    await change("ад", () => page.select("#order", "reverse"));
    assert.deepEqual(await entries(page), findWith(["--order=reverse", "--", "ад"]));
    await change("ад", () => page.click("#sound"));
    const bySound = findWith(["--order=reverse", "--sound", "--", "ад"]);
    assert.ok(bySound.includes("брат") && bySound.includes("град"));
    assert.deepEqual(await entries(page), bySound);
    await change("ад", () => page.select("#order", "syllables"));
    assert.deepEqual(await entries(page), findWith(["--order=syllables", "--sound", "--", "ад"]));
    // The counts by syllables, each with its box: leave out one syllable.
    const counts = await text(page, "#syllables");
    assert.match(counts, /1 сричка: [\d\s]+ · 2 срички: [\d\s]+/);
    await change("ад", () => page.click('#syllables input[value="1"]'));
    const kept = await page.$$eval("#syllables input:checked", (boxes) => boxes.map((b) => b.value));
    assert.deepEqual(await entries(page),
                     findWith(["--order=syllables", "--sound", `--syllables=${kept.join(",")}`, "--", "ад"]));
    // Back to every count, file order, no sound.
    await change("ад", () => page.click('#syllables input[value="1"]'));
    await change("ад", () => page.click("#sound"));
    await change("ад", () => page.select("#order", "file"));
    assert.deepEqual(await entries(page), findWith(["--", "ад"]));
  });

  test("? stands for any one letter, and each row shows the ending matched", async () => {
    await typeEnding(page, "д?на");
    const expected = findWith(["--pattern", "--", "д?на"]);
    assert.ok(expected.includes("година"));
    assert.deepEqual(await entries(page), expected);
    const marked = await page.$$eval("#results .row", (rows) => rows.map((row) => [row.textContent, row.querySelector("mark")?.textContent]));
    assert.ok(marked.length > 0);
    for (const [word, mark] of marked) assert.equal(mark, word.slice(-4));
  });

  test("a word's closest rhymes and its endings, with their counts; a click searches one", async () => {
    await change("гладко", async () => {
      await page.click("#word");
      await setEnding(page, "гладко", { input: true });
    });
    assert.deepEqual(await entries(page), findWith(["--rhymes", "--", "гладко"]));
    await change("гладко", () => page.select("#order", "reverse"));
    assert.deepEqual(await entries(page), findWith(["--order=reverse", "--rhymes", "--", "гладко"]));
    await change("гладко", () => page.select("#order", "file"));
    const listed = await page.$$eval("#endings button", (buttons) => buttons.map((b) => b.textContent));
    const expected = findWith(["--word", "--", "гладко"]).map((line) => {
      const [ending, count] = line.split("\t");
      return `-${ending}: ${Number(count).toLocaleString("bg-BG")}`;
    });
    assert.deepEqual(listed, expected);
    // A word that cannot be searched says why, as an ending does.
    await setEnding(page, "ta語", { input: true });
    await page.waitForFunction(() => document.querySelector("#message").textContent !== "");
    assert.match(await text(page, "#message"), /Windows-1251/);
    await setEnding(page, "гладко", { input: true });
    await page.waitForFunction(() => document.querySelector("#message").textContent === "");
    await change("дко", () => page.click("#endings li:nth-child(2) button"));
    assert.equal(await page.$eval("#word", (box) => box.checked), false);
    assert.equal(await page.$eval("#ending", (box) => box.value), "дко");
    assert.deepEqual(await entries(page), findWith(["--", "дко"]));
  });

  test("the results save as a UTF-8 text file", async () => {
    await typeEnding(page, "ище");
    // The link the page clicks, caught, and its file read back.
    await page.evaluate(() => {
      const made = URL.createObjectURL;
      URL.createObjectURL = (blob) => { window.savedBlob = blob; return made(blob); };
      HTMLAnchorElement.prototype.click = function () { window.savedName = this.download; };
    });
    await page.click("#save");
    await page.waitForFunction(() => window.savedName);
    const saved = await page.evaluate(async () => ({ name: window.savedName, type: window.savedBlob.type,
                                                     text: await window.savedBlob.text() }));
    assert.equal(saved.type, "text/plain;charset=utf-8");
    assert.equal(saved.name, "рими-ище.txt");
    assert.equal(saved.text, findWith(["--", "ище"]).join("\n") + "\n");
  });
});

describe("a word's closest rhymes", () => {
  // Each line's ending shared with гладко: ладко, ладко, дко, ко, ко.
  const words = ["сладко", "гладко", "прохладко", "рядко", "котка", "близко", "ко"];
  const rhymes = ["сладко", "прохладко", "рядко", "близко", "ко"];
  // The rows on screen, top to bottom: [text, role].
  const onScreen = (tab) => tab.$$eval("#results .row", (all) => all
    .sort((a, b) => parseFloat(a.style.top) - parseFloat(b.style.top))
    .map((row) => [row.textContent, row.getAttribute("role")]));
  const selected = (tab) => tab.$$eval('#results .row[aria-selected="true"]', (all) => all.map((row) => row.textContent));
  const press = async (tab, key, modifier) => {
    if (modifier) await tab.keyboard.down(modifier);
    await tab.keyboard.press(key);
    if (modifier) await tab.keyboard.up(modifier);
  };

  before(async () => {
    await useList(page, join(ownList("closest", cp1251(words.join("\r\n") + "\r\n")), "rym.txt"));
    if (!(await page.$eval("#word", (box) => box.checked))) await page.click("#word");
    await typeEnding(page, "гладко");
  });
  after(async () => {
    if (await page.$eval("#word", (box) => box.checked)) await page.click("#word");
  });

  test("come in groups, the longest shared ending first, each under a heading row", async () => {
    assert.deepEqual(await entries(page), rhymes);
    assert.deepEqual(await onScreen(page), [
      ["-ладко · 2", "presentation"], ["сладко", "option"], ["прохладко", "option"],
      ["-дко · 1", "presentation"], ["рядко", "option"],
      ["-ко · 2", "presentation"], ["близко", "option"], ["ко", "option"],
    ]);
    // Each row marks the ending it shares with the word.
    assert.deepEqual(await page.$$eval("#results .row mark", (all) => all.map((mark) => mark.textContent)),
                     ["ладко", "ладко", "дко", "ко", "ко"]);
    assert.equal(await text(page, "#count"), "Намерени: 5");
    // The word's endings stay above the list, as buttons.
    assert.deepEqual(await page.$$eval("#endings button", (all) => all.map((b) => b.textContent)),
                     ["-ко: 6", "-дко: 4", "-адко: 3", "-ладко: 3", "-гладко: 1"]);
  });

  test("the keys skip heading rows, and neither a click nor Ctrl+A selects one", async () => {
    await page.focus("#results");
    await press(page, "Home");
    assert.deepEqual(await selected(page), ["сладко"]);
    await press(page, "ArrowDown");
    await press(page, "ArrowDown");
    assert.deepEqual(await selected(page), ["рядко"]);
    await press(page, "ArrowDown", "Shift");
    assert.deepEqual(await selected(page), ["рядко", "близко"]);
    await press(page, "ArrowUp");
    await press(page, "ArrowUp");
    assert.deepEqual(await selected(page), ["прохладко"]);
    await page.click("#group-1");
    assert.deepEqual(await selected(page), ["прохладко"]);
    await press(page, "KeyA", "Control");
    assert.deepEqual(await selected(page), rhymes);
    assert.equal(await page.$$eval('#results .row[role="presentation"][aria-selected]', (all) => all.length), 0);
  });

  test("copying and saving take the entries, not the headings",
       { skip: chromiumOnly("the clipboard's permission is granted through DevTools") }, async () => {
    await browser.defaultBrowserContext().overridePermissions(new URL(server.url).origin,
      ["clipboard-read", "clipboard-write", "clipboard-sanitized-write"]);
    await page.focus("#results");
    await press(page, "KeyA", "Control");
    await page.evaluate(() => navigator.clipboard.writeText(""));
    await press(page, "KeyC", "Control");
    assert.equal(await page.evaluate(() => navigator.clipboard.readText()), rhymes.join("\n"));
    assert.deepEqual(await entries(page), rhymes);
  });

  test("are what versalo-find --rhymes lists, in each order and by syllables", async () => {
    const folder = ownList("closest-find", cp1251(words.join("\r\n") + "\r\n"));
    const found = (args) => execFileSync(FIND, [...args, "--rhymes", "--", "гладко", join(folder, "rym.txt")],
                                         { env: { ...process.env, LC_ALL: "C.UTF-8" } }).toString().split("\n").slice(0, -1);
    const step = async (act) => {
      const before = await shownCount(page);
      await act();
      await drawn(page, "гладко", before);
    };
    await step(() => page.select("#order", "reverse"));
    assert.deepEqual(await entries(page), found(["--order=reverse"]));
    await step(() => page.select("#order", "syllables"));
    assert.deepEqual(await entries(page), found(["--order=syllables"]));
    await step(() => page.select("#order", "file"));
    await step(() => page.click('#syllables input[value="3"]'));
    assert.deepEqual(await entries(page), found(["--syllables=1,2"]));
    await step(() => page.click('#syllables input[value="3"]'));
    assert.deepEqual(await entries(page), rhymes);
  });
});

describe("the list", () => {
  test("selected entries copy as text, one per line, by Ctrl+C and by the button",
       { skip: chromiumOnly("the clipboard's permission is granted through DevTools") }, async () => {
    const context = browser.defaultBrowserContext();
    await context.overridePermissions(new URL(server.url).origin, ["clipboard-read", "clipboard-write",
                                                                   "clipboard-sanitized-write"]);
    await useList(page, join(ownList("copy", Buffer.from("cat\nhat\nbat\nflat\nchat\n")), "rym.txt"));
    await page.waitForFunction(() => document.querySelector("#list-name").textContent.includes("rym.txt"));
    await typeEnding(page, "at");
    await page.click("#row-1");
    await page.keyboard.down("Shift");
    await page.click("#row-3");
    await page.keyboard.up("Shift");
    const clipboard = () => page.evaluate(() => navigator.clipboard.readText());
    await page.evaluate(() => navigator.clipboard.writeText(""));
    await page.keyboard.down("Control");
    await page.keyboard.press("KeyC");
    await page.keyboard.up("Control");
    assert.equal(await clipboard(), "hat\nbat\nflat");
    // Ctrl+click adds one more; the button copies the four.
    await page.keyboard.down("Control");
    await page.click("#row-0");
    await page.keyboard.up("Control");
    await page.evaluate(() => navigator.clipboard.writeText(""));
    await page.click("#copy");
    await page.waitForFunction(async () => (await navigator.clipboard.readText()) !== "");
    assert.equal(await clipboard(), "cat\nhat\nbat\nflat");
    // The keys move the selection, and Ctrl+A takes every entry.
    const selected = () => page.$$eval('#results .row[aria-selected="true"]', (all) => all.map((row) => row.textContent));
    await page.focus("#results");
    await page.keyboard.press("End");
    assert.deepEqual(await selected(), ["chat"]);
    await page.keyboard.down("Control");
    await page.keyboard.press("KeyA");
    await page.keyboard.up("Control");
    assert.deepEqual(await selected(), ["cat", "hat", "bat", "flat", "chat"]);
  });

  test("the keys of a multi-select listbox: Space toggles, Ctrl moves only the focus", async () => {
    await useList(page, join(ownList("keys", Buffer.from("cat\nhat\nbat\nflat\nchat\n")), "rym.txt"));
    await typeEnding(page, "at");
    const selected = () => page.$$eval('#results .row[aria-selected="true"]', (all) => all.map((row) => row.textContent));
    const activeText = () => page.$eval("#results", (list) =>
      document.getElementById(list.getAttribute("aria-activedescendant"))?.textContent);
    // Entering the list names an entry (in the frame that draws it), and
    // selects nothing.
    await page.focus("#results");
    await page.waitForFunction(() => {
      const list = document.querySelector("#results");
      return document.getElementById(list.getAttribute("aria-activedescendant")) !== null;
    }, { timeout: 5000 });
    assert.equal(await activeText(), "cat");
    assert.deepEqual(await selected(), []);
    const press = async (key, modifier) => {
      if (modifier) await page.keyboard.down(modifier);
      await page.keyboard.press(key);
      if (modifier) await page.keyboard.up(modifier);
    };
    await press(" ");
    assert.deepEqual(await selected(), ["cat"]);
    await press("ArrowDown", "Control");
    await press("ArrowDown", "Control");
    assert.equal(await activeText(), "bat");
    assert.deepEqual(await selected(), ["cat"]);
    await press(" ");
    assert.deepEqual(await selected(), ["cat", "bat"]);
    await press(" ");
    assert.deepEqual(await selected(), ["cat"]);
    await press("ArrowDown");
    assert.deepEqual(await selected(), ["flat"]);
    await press("ArrowDown", "Shift");
    assert.deepEqual(await selected(), ["flat", "chat"]);
  });

  test("every Tab stop shows where the focus is", async () => {
    await page.focus("#ending");
    const seen = [];
    for (let stop = 0; stop < 40; ++stop) {
      const focused = await page.evaluate(() => {
        const element = document.activeElement;
        // The file picker is hidden; its label shows the focus.
        const shown = element.type === "file" ? element.closest("label") : element;
        const style = getComputedStyle(shown);
        return { id: element.id || element.tagName,
                 outline: style.outlineStyle !== "none" && parseFloat(style.outlineWidth) > 0 };
      });
      if (focused.id === "BODY") break; // out of the page
      seen.push(focused.id);
      assert.ok(focused.outline, `${focused.id} shows no focus`);
      await page.keyboard.press("Tab");
    }
    for (const id of ["ending", "check", "order", "sound", "word", "save", "results", "file"]) {
      assert.ok(seen.includes(id), `${id}: ${seen}`);
    }
  });

  test("on a phone, taps pick several entries, and copying says how many",
       { skip: chromiumOnly("touch and the clipboard's permission come through DevTools") }, async () => {
    const phone = await browser.newPage();
    await phone.setViewport({ width: 360, height: 640, isMobile: true, hasTouch: true });
    await browser.defaultBrowserContext().overridePermissions(new URL(server.url).origin,
      ["clipboard-read", "clipboard-write", "clipboard-sanitized-write"]);
    await phone.goto(server.url);
    await listIn(phone);
    await useList(phone, join(ownList("taps", Buffer.from("cat\nhat\nbat\nflat\n")), "rym.txt"));
    await phone.waitForFunction(() => document.querySelector("#list-name").textContent.includes("rym.txt"));
    await typeEnding(phone, "at");
    const tap = async (selector) => {
      const box = await (await phone.$(selector)).boundingBox();
      await phone.touchscreen.tap(box.x + box.width / 2, box.y + box.height / 2);
    };
    const picked = () => phone.$$eval('#results .row[aria-selected="true"]', (all) => all.map((row) => row.textContent));
    await tap("#row-0");
    await tap("#row-2");
    await tap("#row-3");
    assert.deepEqual(await picked(), ["cat", "bat", "flat"]);
    await tap("#row-2"); // a second tap takes it out
    assert.deepEqual(await picked(), ["cat", "flat"]);
    await tap("#copy");
    await phone.waitForFunction(() => document.querySelector("#copied").textContent !== "");
    assert.equal(await phone.$eval("#copied", (element) => element.textContent), "Копирани: 2");
    assert.equal(await phone.evaluate(() => navigator.clipboard.readText()), "cat\nflat");
    await phone.close();
  });

  test("on a phone, at least twelve entries show after та, with no scrolling of the page", async () => {
    const phone = await browser.newPage();
    await phone.setViewport({ width: 360, height: 740, isMobile: true, hasTouch: true });
    await phone.goto(server.url);
    await listIn(phone);
    await typeEnding(phone, "та");
    const seen = await phone.evaluate(() => {
      const list = document.querySelector("#results").getBoundingClientRect();
      const whole = [...document.querySelectorAll("#results .row[role=option]")].filter((row) => {
        const box = row.getBoundingClientRect();
        return box.top >= list.top && box.bottom <= list.bottom && box.bottom <= innerHeight;
      });
      const counts = document.querySelector("#syllables").getBoundingClientRect();
      return { rows: whole.length, page: document.documentElement.scrollHeight, height: innerHeight,
               counts: counts.height };
    });
    assert.ok(seen.rows >= 12, `${seen.rows} entries show`);
    assert.ok(seen.page <= seen.height, `the page is ${seen.page} px high in ${seen.height}`);
    // The counts by syllables are one line, which scrolls sideways.
    assert.ok(seen.counts < 40, `the counts by syllables are ${seen.counts} px high`);
    await phone.close();
  });

  test("fits a phone's narrow screen", async () => {
    const phone = await browser.newPage();
    await phone.setViewport({ width: 360, height: 640, isMobile: true, hasTouch: true });
    await phone.goto(server.url);
    await listIn(phone);
    await typeEnding(phone, "ище");
    const layout = await phone.evaluate(() => ({
      scroll: document.documentElement.scrollWidth,
      list: document.querySelector("#results").getBoundingClientRect().toJSON(),
      button: document.querySelector("#check").getBoundingClientRect().toJSON(),
    }));
    assert.ok(layout.scroll <= 360, `the page is ${layout.scroll} px wide`);
    assert.ok(layout.button.right <= 360);
    assert.ok(layout.list.height >= 200, `the list is ${layout.list.height} px high`);
    await phone.close();
  });
});

describe("the address", () => {
  // What the page shows: the address's query, the box, the options.
  const shows = (tab) => tab.evaluate(() => ({
    address: Object.fromEntries(new URLSearchParams(location.search)),
    box: document.querySelector("#ending").value,
    order: document.querySelector("#order").value,
    sound: document.querySelector("#sound").checked,
    word: document.querySelector("#word").checked,
  }));

  test("opened cold, shows its search; a bad value is taken as the default", async () => {
    const cases = [
      ["?q=ище&order=reverse", { q: "ище", order: "reverse" }, ["--order=reverse", "--", "ище"]],
      ["?q=гладко&word=1&sound=1&syllables=3,2", { q: "гладко", sound: "1", word: "1", syllables: "2,3" },
       ["--sound", "--syllables=2,3", "--rhymes", "--", "гладко"]],
      ["?q=д%3Fна&order=syllables", { q: "д?на", order: "syllables" }, ["--order=syllables", "-p", "--", "д?на"]],
      // Each value that makes no sense is left out, and the rest holds.
      ["?q=ина&order=upside&sound=yes&word=0&syllables=2,x&extra=1", { q: "ина" }, ["--", "ина"]],
    ];
    for (const [query, address, args] of cases) {
      const tab = await browser.newPage();
      await tab.goto(server.url + query);
      await drawn(tab, address.q, 0);
      assert.deepEqual(await entries(tab), findWith(args), query);
      const shown = await shows(tab);
      assert.deepEqual(shown.address, address, query);
      assert.equal(shown.box, address.q);
      assert.equal(shown.order, address.order ?? "file");
      assert.equal(shown.sound, address.sound === "1");
      assert.equal(shown.word, address.word === "1");
      await tab.close();
    }
    // An ending too short, or none: the page as it opens, nothing said.
    for (const query of ["?q=т", "?q=", "?order=reverse&q"]) {
      const tab = await browser.newPage();
      await tab.goto(server.url + query);
      await listIn(tab);
      assert.equal(await text(tab, "#message"), "", query);
      assert.equal(await shownCount(tab), 0, query);
      await tab.close();
    }
  });

  test("an ending typed before the page's script ran is searched once it runs",
       { skip: chromiumOnly("puppeteer's request interception over WebDriver BiDi throws after the test") }, async () => {
    const tab = await browser.newPage();
    // The page's script comes a second late, as on a slow connection.
    await tab.setRequestInterception(true);
    tab.on("request", (request) => {
      if (request.url().endsWith("/app.js")) setTimeout(() => request.continue(), 1000);
      else request.continue();
    });
    const opened = tab.goto(server.url);
    await tab.waitForSelector("#ending");
    await tab.type("#ending", "ище");
    await opened;
    await drawn(tab, "ище", 0);
    assert.deepEqual(await entries(tab), find(bulgarian, "ище"));
    assert.deepEqual((await shows(tab)).box, "ище");
    await tab.close();
  });

  test("typing and the options update the address in place", async () => {
    const tab = await browser.newPage();
    await tab.goto(server.url);
    await listIn(tab);
    const entriesBefore = await tab.evaluate(() => history.length);
    // The address follows once the changes settle.
    const addressSays = (query) => tab.waitForFunction((query) => location.search === query, {}, query);
    await typeEnding(tab, "ина");
    await addressSays(`?q=${encodeURIComponent("ина")}`);
    // Each change's results are waited for: a change made while the one
    // before is still searched drops that search, and only the newer is drawn.
    const before = await shownCount(tab);
    await tab.click("#sound");
    await drawn(tab, "ина", before);
    const between = await shownCount(tab);
    await tab.select("#order", "reverse");
    await drawn(tab, "ина", between);
    await addressSays(`?q=${encodeURIComponent("ина")}&order=reverse&sound=1`);
    assert.deepEqual((await shows(tab)).address, { q: "ина", order: "reverse", sound: "1" });
    // Typing made no entry a letter: the page's first entry holds it all.
    assert.equal(await tab.evaluate(() => history.length), entriesBefore);
    await tab.close();
  });

  test("Back and Forward move between the searches made, each made its own way", async () => {
    const tab = await browser.newPage();
    // Made by opening its address.
    await tab.goto(`${server.url}?q=ище`);
    await drawn(tab, "ище", 0);
    const first = await tab.evaluate(() => history.length);
    // By Enter.
    await typeEnding(tab, "ина");
    let before = await shownCount(tab);
    await tab.keyboard.press("Enter");
    await drawn(tab, "ина", before);
    // By the button.
    await typeEnding(tab, "ад");
    before = await shownCount(tab);
    await tab.click("#check");
    await drawn(tab, "ад", before);
    // By its results standing, with no key pressed.
    await typeEnding(tab, "та");
    await tab.waitForFunction(() => history.state?.made === true, { timeout: 10000 });
    // By a click on one of a word's endings.
    await tab.click("#word");
    await typeEnding(tab, "гладко");
    before = await shownCount(tab);
    await tab.click("#endings li:nth-child(2) button");
    await drawn(tab, "дко", before);
    // One entry a search made, none a letter.
    assert.equal(await tab.evaluate(() => history.length), first + 4);

    // Each comes back as it was shown.
    const searches = [["ище", []], ["ина", []], ["ад", []], ["та", []], ["дко", []]];
    const check = async (k) => {
      const [ending] = searches[k];
      assert.deepEqual((await shows(tab)).address, { q: ending }, ending);
      assert.equal((await shows(tab)).box, ending);
      assert.equal((await shows(tab)).word, false);
      assert.deepEqual(await entries(tab), find(bulgarian, ending), ending);
    };
    await check(4);
    for (const k of [3, 2, 1, 0]) {
      before = await shownCount(tab);
      await tab.goBack();
      await drawn(tab, searches[k][0], before);
      await check(k);
    }
    for (const k of [1, 2]) {
      before = await shownCount(tab);
      await tab.goForward();
      await drawn(tab, searches[k][0], before);
      await check(k);
    }
    // A key after a search shown by Back starts a new entry, and the ones
    // after it are gone, as after any navigation.
    await typeEnding(tab, "ище");
    assert.equal(await tab.evaluate(() => history.length), first + 3);
    before = await shownCount(tab);
    await tab.goBack();
    await drawn(tab, "ад", before);
    await check(2);
    await tab.close();
  });
});

describe("more entries than a browser can make an element tall", () => {
  test("scroll to the last one; End and PageDown land on the right rows", async () => {
    // 1.6 million matches: at 24 px a row, past Chromium's cap on an
    // element's height.
    const count = 1_600_000;
    const lines = Array.from({ length: count }, (_, i) => `${i}ta\n`).join("");
    // 14 MB of one's own, read, held and indexed: longer than a search on a
    // loaded machine.
    await useList(page, join(ownList("tall", Buffer.from(lines)), "rym.txt"), { timeout: 120000 });
    await typeEnding(page, "ta");
    assert.equal((await lastDrawn(page)).count, count);
    // Each row asked for is drawn where the list shows it, with its entry.
    const inView = (index) => page.evaluate((index) => {
      const row = document.getElementById(`row-${index}`);
      if (!row) return null;
      const list = document.querySelector("#results").getBoundingClientRect();
      const box = row.getBoundingClientRect();
      return { text: row.textContent, inside: box.top >= list.top - 1 && box.bottom <= list.bottom + 1 };
    }, index);
    await page.$eval("#results", (list) => { list.scrollTop = list.scrollHeight; });
    await page.waitForSelector(`#row-${count - 1}`);
    assert.deepEqual(await inView(count - 1), { text: `${count - 1}ta`, inside: true });
    // Keys: Home, PageDown, End.
    await page.focus("#results");
    await page.keyboard.press("Home");
    assert.deepEqual(await inView(0), { text: "0ta", inside: true });
    const page_ = await page.evaluate(() =>
      Math.floor(document.querySelector("#results").clientHeight /
                 document.querySelector("#results .row").getBoundingClientRect().height) - 1);
    await page.keyboard.press("PageDown");
    await page.keyboard.press("PageDown");
    assert.deepEqual(await inView(2 * page_), { text: `${2 * page_}ta`, inside: true });
    await page.keyboard.press("End");
    assert.deepEqual(await inView(count - 1), { text: `${count - 1}ta`, inside: true });
    const selected = await page.$$eval('#results .row[aria-selected="true"]', (all) => all.map((row) => row.textContent));
    assert.deepEqual(selected, [`${count - 1}ta`]);
    // And the middle, by the scroll bar.
    await page.$eval("#results", (list) => { list.scrollTop = (list.scrollHeight - list.clientHeight) / 2; });
    await page.waitForFunction(() => [...document.querySelectorAll("#results .row")].some((row) =>
      Math.abs(Number(row.dataset.index) - 800000) < 50));
  });
});

describe("a browser that cannot run the core", () => {
  test("is told so in Bulgarian, not in the engine's words", async () => {
    // The same site with a core no browser can compile, from another
    // address, in a profile of its own: no service worker has it cached.
    const broken = join(work, "broken-site");
    cpSync(SITE, broken, { recursive: true });
    writeFileSync(join(broken, "versalo.wasm"), "not WebAssembly");
    const other = await serve(broken, "/broken/");
    const context = await browser.createBrowserContext();
    const tab = await context.newPage();
    await tab.goto(other.url);
    await tab.waitForFunction(() => document.querySelector("#message").textContent !== "");
    const said = await text(tab, "#message");
    assert.match(said, /Търсачката не можа да се зареди/);
    assert.doesNotMatch(said, /[A-Za-z]{4,}/);
    await context.close();
    await other.close();
  });
});

describe("the downloads the page hands to the worker", () => {
  // A first visit to `site` served from its own address, in a profile of
  // its own (no service worker has anything cached), with `before` run in
  // the page before its own scripts, until the list is in or could not be.
  async function visit(site, prefix, before = () => {}) {
    const other = await serve(site, prefix);
    const context = await browser.createBrowserContext();
    const tab = await context.newPage();
    await tab.evaluateOnNewDocument(before);
    await tab.goto(other.url);
    await listIn(tab);
    return { tab, close: async () => { await context.close(); await other.close(); } };
  }

  test("where a stream cannot be handed over, the bytes are, and the list is the same", async () => {
    const { tab, close } = await visit(SITE, "/no-streams/", () => {
      const post = Worker.prototype.postMessage;
      Worker.prototype.postMessage = function (message, transfer) {
        if ((Array.isArray(transfer) ? transfer : transfer?.transfer ?? []).some((item) => item instanceof ReadableStream)) {
          window.streamsRefused = (window.streamsRefused ?? 0) + 1;
          throw new DOMException("ReadableStream could not be cloned.", "DataCloneError");
        }
        return post.call(this, message, transfer);
      };
    });
    assert.equal(await tab.evaluate(() => window.streamsRefused), 2); // the core's and the list's
    await typeEnding(tab, "ище");
    assert.deepEqual(await entries(tab), find(bulgarian, "ище"));
    await close();
  });

  test("a list the server does not have says rym.txt?", async () => {
    const listless = join(work, "listless-site");
    cpSync(SITE, listless, { recursive: true });
    rmSync(join(listless, "rym.fc.gz"));
    const { tab, close } = await visit(listless, "/listless/");
    await tab.waitForFunction(() => document.querySelector("#message").textContent === "rym.txt?");
    assert.equal(await shownCount(tab), 0);
    await close();
  });
});

describe("as an app", () => {
  test("Chromium finds it installable, with its manifest, icons and favicon",
       { skip: chromiumOnly("installability is Chromium's") }, async () => {
    const tab = await browser.newPage();
    await tab.goto(server.url);
    await listIn(tab);
    await tab.evaluate(() => navigator.serviceWorker.ready);
    const session = await tab.createCDPSession();
    const { installabilityErrors } = await session.send("Page.getInstallabilityErrors");
    assert.deepEqual(installabilityErrors, []);
    const manifest = JSON.parse(readFileSync(join(SITE, "manifest.webmanifest"), "utf8"));
    assert.equal(manifest.lang, "bg");
    for (const icon of manifest.icons) {
      const png = readFileSync(join(SITE, icon.src));
      const [width, height] = [png.readUInt32BE(16), png.readUInt32BE(20)];
      assert.equal(`${width}x${height}`, icon.sizes, icon.src);
    }
    assert.ok(manifest.icons.some((icon) => icon.purpose === "maskable"));
    const favicon = await tab.evaluate(async () => (await fetch("favicon.ico")).status);
    assert.equal(favicon, 200);
    await tab.close();
  });
});

describe("a new build", () => {
  test("reaches an open tab, which says so and loads it; only what changed is downloaded", async () => {
    const copy = join(work, "site-v1");
    cpSync(SITE, copy, { recursive: true });
    const requests = [];
    const other = await serve(copy, "/v/", 0, { onRequest: (method, url, status) => requests.push([url, status]) });
    const context = await browser.createBrowserContext();
    const tab = await context.newPage();
    await tab.goto(other.url);
    await tab.evaluate(() => navigator.serviceWorker.ready);
    await tab.reload();
    await tab.waitForFunction(() => navigator.serviceWorker.controller !== null);
    await listIn(tab);
    // The build changes one file, and writes its service worker anew, as
    // the build does.
    appendFileSync(join(copy, "style.css"), "\n:root { --build: 2; }\n");
    const files = JSON.parse(/const FILES = (.*);/.exec(readFileSync(join(copy, "sw.js"), "utf8"))[1])
      .map(([name]) => name).filter((name) => name !== "./");
    execFileSync("cmake", [`-DSITE=${copy}`, `-DTEMPLATE=${join(WEB, "sw.js")}`, `-DFILES=${files.join(";")}`,
                           "-P", join(WEB, "service_worker.cmake")]);
    requests.length = 0;
    await tab.evaluate(async () => (await navigator.serviceWorker.getRegistration()).update());
    await tab.waitForSelector("#update:not([hidden])");
    assert.match(await text(tab, "#update"), /Има нова версия/);
    const fetched = requests.filter(([, status]) => status === 200).map(([url]) => url.replace("/v/", ""));
    assert.deepEqual(fetched.sort(), ["style.css", "sw.js"]);
    await Promise.all([tab.waitForNavigation(), tab.click("#reload")]);
    await listIn(tab);
    const build = await tab.evaluate(() => getComputedStyle(document.documentElement).getPropertyValue("--build"));
    assert.equal(build.trim(), "2");
    await context.close();
    await other.close();
  });
});

describe("accessibility", () => {
  // axe-core, run inside the page: served beside the page's files, from a
  // copy of the site, since the page's policy lets in no script of another
  // origin and none inline.
  const violations = (tab) => tab.evaluate(async () => (await window.axe.run()).violations
    .map((found) => `${found.id}: ${found.nodes.map((node) => node.target.join(" ")).join(", ")}`));
  let withAxe;
  before(async () => {
    const copy = join(work, "site-axe");
    cpSync(SITE, copy, { recursive: true });
    cpSync(fileURLToPath(new URL("../../node_modules/axe-core/axe.min.js", import.meta.url)),
           join(copy, "axe.min.js"));
    withAxe = await serve(copy, "/axe/");
  });
  after(() => withAxe?.close());

  for (const [device, viewport] of [["desktop", { width: 1024, height: 768 }],
                                    ["phone", { width: 360, height: 640, isMobile: true, hasTouch: true }]]) {
    test(`axe finds nothing in any of the page's states, on a ${device}`, async () => {
      const tab = await browser.newPage();
      await tab.setViewport(viewport);
      await tab.goto(withAxe.url);
      await listIn(tab);
      await tab.addScriptTag({ url: `${withAxe.url}axe.min.js` });
      const states = {
        loaded: async () => {},
        results: () => typeEnding(tab, "ище"),
        "too short": async () => {
          await setEnding(tab, "щ");
          await tab.keyboard.press("Enter");
          await tab.waitForFunction(() => document.querySelector("#message").textContent !== "");
        },
        "no results": () => typeEnding(tab, "щщщ"),
        "own list": async () => {
          await useList(tab, join(ownList("axe", cp1251("котка\nлодка\n")), "rym.txt"));
          await typeEnding(tab, "ка");
          await tab.click("#row-1");
        },
        "a word's closest rhymes": async () => {
          await tab.click("#word");
          await typeEnding(tab, "лодка");
          await tab.waitForSelector("#results .row.heading");
        },
      };
      for (const [state, reach] of Object.entries(states)) {
        await reach();
        assert.deepEqual(await violations(tab), [], `${device}, ${state}`);
      }
      await tab.close();
    });
  }
});

describe("offline", () => {
  test("once loaded, the page searches with the server gone", async () => {
    const offline = await browser.newPage();
    await offline.goto(server.url);
    await offline.evaluate(() => navigator.serviceWorker.ready);
    await offline.reload();
    await offline.waitForFunction(() => navigator.serviceWorker.controller !== null);
    await server.close();
    await offline.reload();
    await listIn(offline);
    await typeEnding(offline, "ище");
    assert.deepEqual(await entries(offline), find(bulgarian, "ище"));
    await offline.close();
  });
});
