// The web page's speed and memory in headless Chromium, on the Bulgarian
// word list, served from 127.0.0.1:
//  - the first search: from the start of loading the page to the results of
//    an ending typed at once, drawn, on a first visit (nothing cached; and
//    again with the browser's cache off altogether), in rounds (with --before, an older build's site in the same rounds),
//    and where the time went: the worker's User Timing measures (the core
//    compiled, the list held, the core's part of the search), and a
//    timeline of medians from the page's DOMContentLoaded and first paint,
//    through the worker's start and the two downloads, to the results drawn;
//  - the list's index: how long it took to build, and its bytes a line;
//  - from a key press to the results drawn, for a rare, a middling and a
//    common ending, in each order and by sound, and for the closest rhymes
//    of three words (medians of RUNS);
//  - the peak memory of the tab's renderer process, and the site's size;
//  - a first visit on Chromium's "Slow 4G" throttling: when the page shows
//    it is loading, when the first results of ище are drawn (in rounds, and
//    beside the older build's with --before), and the bytes the server sent;
//  - scrolling 8.6 million results: the time between frames;
//  - a list of one's own of 1 GiB: loading it, the tab's peak memory, the
//    longest task on the page's main thread, ище on its own and typed while
//    a search of та runs.
//   node bench/web_bench.mjs SITE [RUNS] [--before OLD_SITE]
import { mkdtempSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { gunzipSync } from "node:zlib";

import { frontDecode } from "../web/front_coding.mjs";
import { drawn, lastDrawn, launch, listIn, serve, setEnding, shownCount, timings, useList } from "../tools/browser.mjs";

const args = process.argv.slice(2);
const beforeAt = args.indexOf("--before");
const beforeSite = beforeAt >= 0 ? args.splice(beforeAt, 2)[1] : null;
const [site, runsArg] = args;
const runs = Number(runsArg ?? 15);
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
// The last results drawn, from the page's User Timing: drawnMs from the key
// to the results painted, drawnAt since the page began to load, coreMs in
// the core, and their count.
const results = async (page, key) => {
  const { start, duration, coreMs, count } = await lastDrawn(page);
  return { drawnMs: duration, drawnAt: start + duration, coreMs, count }[key];
};

// Where a first visit's time went, each as [start, end] on the page's clock
// (ms since the page began to load): the worker's User Timing measures (the
// first of each name), when its clock started ("worker"), DOMContentLoaded,
// the first paint, and the downloads of the core and the list (from their
// requests to their last bytes, whether the page or the worker made them).
const DOWNLOADS = ["versalo.wasm", "rym.fc.gz"];
const timesHere = (downloads) => {
  const times = [];
  for (const { name, startTime, responseEnd } of performance.getEntriesByType("resource")) {
    const file = new URL(name).pathname.split("/").pop();
    if (downloads.includes(file)) times.push([file, startTime, responseEnd - startTime]);
  }
  for (const { name, startTime, duration } of performance.getEntriesByType("measure")) {
    times.push([name, startTime, duration]);
  }
  return [performance.timeOrigin, times];
};
async function visitTimes(page) {
  const pageOrigin = await page.evaluate(() => performance.timeOrigin);
  const times = await page.evaluate(() => {
    const [navigation] = performance.getEntriesByType("navigation");
    const paint = performance.getEntriesByName("first-contentful-paint")[0]?.startTime;
    return { DOMContentLoaded: [navigation.domContentLoadedEventEnd, navigation.domContentLoadedEventEnd],
             "first paint": [paint, paint] };
  });
  for (const realm of [page, ...page.workers()]) {
    const [origin, entries] = await realm.evaluate(timesHere, DOWNLOADS);
    if (entries.some(([name]) => name.startsWith("versalo-worker:"))) times.worker = [origin - pageOrigin, origin - pageOrigin];
    for (const [name, start, duration] of entries) {
      times[name] ??= [origin + start - pageOrigin, origin + start + duration - pageOrigin];
    }
  }
  return times;
}

// A first visit in a profile of its own (so with nothing cached), ище typed
// as soon as the page has its elements: when its results are drawn, and the
// worker's measures. On "Slow 4G" (Lighthouse's figures: 150 ms, about 1.6
// Mbit/s down, 750 kbit/s up, through the DevTools protocol, which slows
// the page's worker too); with `cacheOff`, the browser's cache is not used
// at all, not even for what the page itself fetched a moment before.
async function firstVisit(browser, url, { slow = false, cacheOff = false, onTab } = {}) {
  const context = await browser.createBrowserContext();
  try {
    const tab = await context.newPage();
    if (slow) {
      const session = await tab.createCDPSession();
      await session.send("Network.enable");
      await session.send("Network.emulateNetworkConditions", {
        offline: false, latency: 150, downloadThroughput: (1.6e6 / 8) * 0.9, uploadThroughput: (750e3 / 8) * 0.9,
      });
    }
    if (cacheOff) await tab.setCacheEnabled(false);
    await tab.goto(url, { waitUntil: "domcontentloaded" });
    // Typed as soon as the box has the focus, which it takes itself (the
    // page's script has run by then: it runs before DOMContentLoaded), from
    // the keyboard alone (page.type would first look the box up in the
    // page, which costs puppeteer a few hundred ms on a first visit).
    while (!await tab.evaluate(() => document.activeElement?.id === "ending")) {
      await new Promise((done) => setTimeout(done, 5));
    }
    await tab.keyboard.type("ище");
    const more = onTab ? await onTab(tab) : {};
    await drawn(tab, "ище", 0, { timeout: 120000 });
    return { drawnAt: await results(tab, "drawnAt"), times: await visitTimes(tab), ...more, tab };
  } finally {
    if (!onTab) await context.close();
  }
}

// First visits in rounds, this site's and the older one's in turn; prints
// the medians beside the goal.
async function firstVisits(browser, servers, label, goal, rounds, options) {
  const visits = servers.map(() => []);
  for (let round = 0; round < rounds; ++round) {
    for (const [k, server] of servers.entries()) visits[k].push(await firstVisit(browser, server.url, options));
  }
  const ms = (values) => (values.length === 0 ? "-" : `${median(values).toFixed(0)}`);
  for (const [k, name] of ["this build", "before"].slice(0, servers.length).entries()) {
    const drawnAt = visits[k].map((visit) => visit.drawnAt);
    const at = (measure, end = 1) => visits[k].map((visit) => visit.times[measure]?.[end]).filter((t) => t !== undefined);
    const took = (measure) => visits[k].map((visit) => visit.times[measure])
      .filter((t) => t !== undefined).map(([start, end]) => end - start);
    console.log("first search, %s, %s: results of ище drawn %s ms after the page began to load " +
                "(median of %d; %s to %s), goal at most %d ms; the worker: core compiled by %s ms, " +
                "list held by %s ms (finding its lines %s ms), the core's search %s ms",
                label, name, ms(drawnAt), rounds, Math.min(...drawnAt).toFixed(0), Math.max(...drawnAt).toFixed(0), goal,
                ms(at("versalo-worker:core")), ms(at("versalo-worker:list")), ms(took("versalo-worker:list-hold")),
                ms(took("versalo-worker:search")));
    console.log("  its timeline (medians, ms): DOMContentLoaded %s, first paint %s, worker started %s, core " +
                "downloaded %s to %s, list %s to %s, core compiled %s, list held %s, search %s to %s, drawn %s",
                ms(at("DOMContentLoaded")), ms(at("first paint")), ms(at("worker")), ms(at("versalo.wasm", 0)),
                ms(at("versalo.wasm")), ms(at("rym.fc.gz", 0)), ms(at("rym.fc.gz")), ms(at("versalo-worker:core")),
                ms(at("versalo-worker:list")), ms(at("versalo-worker:search", 0)), ms(at("versalo-worker:search")),
                ms(drawnAt));
  }
}

// The processes under `pid`, this browser's renderers among them.
function descendants(pid) {
  const children = new Map();
  for (const entry of readdirSync("/proc")) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const parent = Number(readFileSync(`/proc/${entry}/stat`, "utf8").split(") ")[1].split(" ")[1]);
      children.set(parent, [...(children.get(parent) ?? []), Number(entry)]);
    } catch { /* gone */ }
  }
  const all = [];
  for (const queue = [pid]; queue.length > 0;) {
    for (const child of children.get(queue.shift()) ?? []) { all.push(child); queue.push(child); }
  }
  return all;
}

function rendererPeakMiB(browser) {
  let peak = 0;
  for (const pid of descendants(browser.process().pid)) {
    try {
      if (!readFileSync(`/proc/${pid}/cmdline`, "utf8").includes("--type=renderer")) continue;
      const hwm = /VmHWM:\s+(\d+)/.exec(readFileSync(`/proc/${pid}/status`, "utf8"));
      peak = Math.max(peak, Number(hwm[1]) / 1024);
    } catch { /* gone */ }
  }
  return peak;
}

const server = await serve(site);
const before = beforeSite ? await serve(beforeSite) : null;
const browser = await launch();
try {
  const servers = before ? [server, before] : [server];
  await firstVisits(browser, servers, "cold, 127.0.0.1", 600, Math.max(3, Math.ceil(runs / 2)));
  await firstVisits(browser, servers, "cache off, 127.0.0.1", 600, Math.max(3, Math.ceil(runs / 2)),
                    { cacheOff: true });
  await firstVisits(browser, servers, "Slow 4G", 2500, 3, { slow: true });

  const page = await browser.newPage();
  await page.goto(server.url);
  await page.waitForFunction(() => performance.getEntriesByName("versalo:index").length > 0, { timeout: 60000 });
  const [index] = await timings(page, "versalo:index");
  const indexBytes = index.memory;
  console.log("index: built in %s ms in the worker, %s bytes a line (%s KiB)",
              index.duration.toFixed(0), (indexBytes / 867136).toFixed(1),
              (indexBytes / 1024).toFixed(0));
  // From the last key of `ending` to its results drawn: the ending but its
  // last letter searched first, then the last key pressed.
  const keyToDrawn = async (label, ending) => {
    const drawnMs = [], coreMs = [];
    const head = ending.slice(0, -1), last = ending.slice(-1);
    for (let run = 0; run < runs; ++run) {
      let before = await shownCount(page);
      await setEnding(page, head, { input: true });
      if ([...head].length >= 2) await drawn(page, head, before);
      before = await shownCount(page);
      await page.focus("#ending");
      await page.keyboard.type(last);
      await drawn(page, ending, before);
      drawnMs.push(await results(page, "drawnMs"));
      coreMs.push(await results(page, "coreMs"));
    }
    console.log("key to results drawn, %s, %s (%d matches): median %s ms (core %s ms), min %s, max %s",
                label, ending, await results(page, "count"), median(drawnMs).toFixed(1), median(coreMs).toFixed(1),
                Math.min(...drawnMs).toFixed(1), Math.max(...drawnMs).toFixed(1));
  };
  const settings = [["file", false], ["reverse", false], ["syllables", false], ["file", true]];
  for (const [order, sound] of settings) {
    await page.select("#order", order);
    if (await page.$eval("#sound", (box) => box.checked) !== sound) await page.click("#sound");
    for (const ending of ["ище", "ина", "та"]) await keyToDrawn(`${order} order${sound ? ", by sound" : ""}`, ending);
  }
  // A word's closest rhymes, with its endings: the key that completes it.
  await page.select("#order", "file");
  await page.click("#sound");
  await page.click("#word");
  for (const word of ["гробище", "картина", "работа"]) await keyToDrawn("closest rhymes of the word", word);
  await page.click("#word");
  console.log("peak memory of the tab's renderer process: %s MiB", rendererPeakMiB(browser).toFixed(0));
  const sizes = Object.fromEntries(readdirSync(site).map((name) => [name, statSync(join(site, name)).size]));
  const total = Object.values(sizes).reduce((sum, size) => sum + size, 0);
  const list = frontDecode(gunzipSync(readFileSync(join(site, "rym.fc.gz")))).length;
  console.log("site: %s files, %s KiB transferred (list %s KiB front coded and gzipped, core %s KiB); %s KiB unpacked",
              Object.keys(sizes).length, (total / 1024).toFixed(0), (sizes["rym.fc.gz"] / 1024).toFixed(0),
              ((sizes["versalo.wasm"] + sizes["versalo.mjs"]) / 1024).toFixed(0),
              ((total - sizes["rym.fc.gz"] + list) / 1024).toFixed(0));

  // A first visit on a slow network: what comes when, and the bytes sent.
  {
    let sent = 0;
    const slow = await serve(site, "/", 0, { onRequest: (method, url, status, bytes) => { sent += bytes; } });
    const visit = await firstVisit(browser, slow.url, {
      slow: true,
      onTab: async (tab) => {
        await tab.waitForFunction(() => /%/.test(document.querySelector("#loading").textContent) ||
                                        performance.getEntriesByName("versalo:list").length > 0, { timeout: 120000 });
        return { progressAt: await tab.evaluate(() => performance.now()) };
      },
    });
    const tab = visit.tab;
    const paint = await tab.evaluate(() =>
      performance.getEntriesByName("first-contentful-paint")[0]?.startTime ?? NaN);
    const sentByResults = sent;
    await tab.evaluate(() => navigator.serviceWorker.ready);
    await new Promise((done) => setTimeout(done, 3000)); // the install's last fetches
    console.log("Slow 4G first visit: first paint (with \"Речникът се зарежда…\") %s ms, a percentage by %s ms, results of ище drawn " +
                "%s ms after the page began to load; the server sent %s KiB by then, %s KiB in all " +
                "once the service worker had the site",
                paint.toFixed(0), visit.progressAt.toFixed(0), visit.drawnAt.toFixed(0),
                (sentByResults / 1024).toFixed(0), (sent / 1024).toFixed(0));
    await tab.browserContext().close();
    await slow.close();
  }

  // Scrolling 8.6 million results of a list of one's own.
  {
    const folder = mkdtempSync(join(tmpdir(), "versalo-bench-"));
    const count = 8_600_000;
    writeFileSync(join(folder, "rym.txt"), Buffer.alloc(count * 4, "xta\n"));
    const tab = await browser.newPage();
    await tab.goto(server.url);
    await listIn(tab);
    await useList(tab, join(folder, "rym.txt"), { timeout: 120000 });
    const before = await shownCount(tab);
    await setEnding(tab, "ta", { input: true });
    await drawn(tab, "ta", before);
    const frames = await tab.evaluate(() => new Promise((done) => {
      const list = document.querySelector("#results");
      const gaps = [];
      let last = performance.now();
      let step = 0;
      const frame = () => {
        const now = performance.now();
        gaps.push(now - last);
        last = now;
        list.scrollTop = (list.scrollHeight - list.clientHeight) * (step / 240);
        if (++step <= 240) requestAnimationFrame(frame);
        else done(gaps.slice(2));
      };
      requestAnimationFrame(frame);
    }));
    console.log("scrolling %s results: time between frames median %s ms, max %s ms (%d frames)",
                (await results(tab, "count")).toLocaleString("en"), median(frames).toFixed(1),
                Math.max(...frames).toFixed(1), frames.length);
    await tab.close();
    rmSync(folder, { recursive: true, force: true });
  }

  // A list of one's own of 1 GiB: the Bulgarian list in CR LF, over and over.
  if (process.env.VERSALO_BENCH_BIG !== "0") {
    const folder = mkdtempSync(join(tmpdir(), "versalo-bench-"));
    const words = Buffer.from(Buffer.from(frontDecode(gunzipSync(readFileSync(join(site, "rym.fc.gz")))))
      .toString("latin1").replace(/\r?\n/g, "\r\n"), "latin1");
    const copies = Math.ceil((1 << 30) / words.length);
    writeFileSync(join(folder, "rym.txt"), Buffer.concat(Array(copies).fill(words)).subarray(0, 1 << 30));
    const big = await launch({ protocolTimeout: 600000 });
    const tab = await big.newPage();
    await tab.goto(server.url);
    await listIn(tab);
    // The longest task on the page's main thread from here on.
    await tab.evaluate(() => {
      window.longest = 0;
      new PerformanceObserver((list) => {
        for (const entry of list.getEntries()) window.longest = Math.max(window.longest, entry.duration);
      }).observe({ type: "longtask", buffered: false });
    });
    const started = Date.now();
    await useList(tab, join(folder, "rym.txt"), { timeout: 600000 });
    const loadedMs = Date.now() - started;
    const loadedPeak = rendererPeakMiB(big);
    const alone = [];
    for (let run = 0; run < 3; ++run) {
      const before = await shownCount(tab);
      await setEnding(tab, run % 2 ? "ища" : "ище", { input: true });
      await drawn(tab, run % 2 ? "ища" : "ище", before, { timeout: 600000 });
      if (run % 2 === 0) alone.push(await results(tab, "drawnMs"));
    }
    // та runs; ище comes 0.4 s into it.
    const during = [];
    for (let run = 0; run < 2; ++run) {
      const before = await shownCount(tab);
      await setEnding(tab, "та", { input: true });
      await tab.waitForSelector('#results[aria-busy="true"]');
      await new Promise((done) => setTimeout(done, 400));
      await setEnding(tab, "ище", { input: true });
      await drawn(tab, "ище", before, { timeout: 600000 });
      during.push(await results(tab, "drawnMs"));
      const shown = await shownCount(tab);
      await setEnding(tab, "ища", { input: true });
      await drawn(tab, "ища", shown, { timeout: 600000 });
    }
    console.log("1 GiB list of one's own: loaded in %s ms (tab's peak memory by then %s MiB); ище on its own %s ms, " +
                "typed 0.4 s into a search of та %s ms; tab's peak memory %s MiB (%s times the file); " +
                "longest main-thread task %s ms",
                loadedMs, loadedPeak.toFixed(0), median(alone).toFixed(0), median(during).toFixed(0), rendererPeakMiB(big).toFixed(0),
                (rendererPeakMiB(big) / 1024).toFixed(2), (await tab.evaluate(() => window.longest)).toFixed(0));
    await big.close();
    rmSync(folder, { recursive: true, force: true });
  }
} finally {
  await browser.close();
  await server.close();
  await before?.close();
}
