// The web page's speed and memory in headless Chromium, on the Bulgarian
// word list, served from 127.0.0.1:
//  - the first search: from the start of loading the page to the results of
//    an ending typed at once, drawn;
//  - from a key press to the results drawn, for a rare, a middling and a
//    common ending (medians of RUNS);
//  - the peak memory of the tab's renderer process, and the site's size.
//   node bench/web_bench.mjs SITE [RUNS]
import { readdirSync, readFileSync, statSync } from "node:fs";
import { join } from "node:path";
import { gunzipSync } from "node:zlib";

import { frontDecode } from "../web/front_coding.mjs";
import { drawn, launch, serve, setEnding, shownCount } from "../tools/browser.mjs";

const [site, runsArg] = process.argv.slice(2);
const runs = Number(runsArg ?? 15);
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const results = (page, key) => page.$eval("#results", (list, key) => Number(list.dataset[key]), key);

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
const browser = await launch();
try {
  const page = await browser.newPage();
  await page.setCacheEnabled(false);
  await page.goto(server.url, { waitUntil: "domcontentloaded" });
  await page.type("#ending", "ище");
  await drawn(page, "ище", 0);
  console.log("first search: results of ище drawn %s ms after the page began to load",
              (await results(page, "drawnAt")).toFixed(0));

  for (const ending of ["ище", "ина", "та"]) {
    const drawnMs = [], coreMs = [];
    const head = ending.slice(0, -1), last = ending.slice(-1);
    for (let run = 0; run < runs; ++run) {
      // The ending but its last letter, searched; then the last key.
      let before = await shownCount(page);
      await setEnding(page, head, { input: true });
      if ([...head].length >= 2) await drawn(page, head, before);
      before = await shownCount(page);
      await page.keyboard.type(last);
      await drawn(page, ending, before);
      drawnMs.push(await results(page, "drawnMs"));
      coreMs.push(await results(page, "coreMs"));
    }
    console.log("key to results drawn, %s (%d matches): median %s ms (core %s ms), min %s, max %s",
                ending, await results(page, "count"), median(drawnMs).toFixed(1),
                median(coreMs).toFixed(1), Math.min(...drawnMs).toFixed(1),
                Math.max(...drawnMs).toFixed(1));
  }
  console.log("peak memory of the tab's renderer process: %s MiB", rendererPeakMiB(browser).toFixed(0));
  const sizes = Object.fromEntries(readdirSync(site).map((name) => [name, statSync(join(site, name)).size]));
  const total = Object.values(sizes).reduce((sum, size) => sum + size, 0);
  const list = frontDecode(gunzipSync(readFileSync(join(site, "rym.fc.gz")))).length;
  console.log("site: %s files, %s KiB transferred (list %s KiB front coded and gzipped, core %s KiB); %s KiB unpacked",
              Object.keys(sizes).length, (total / 1024).toFixed(0), (sizes["rym.fc.gz"] / 1024).toFixed(0),
              ((sizes["versalo.wasm"] + sizes["versalo.mjs"]) / 1024).toFixed(0),
              ((total - sizes["rym.fc.gz"] + list) / 1024).toFixed(0));
} finally {
  await browser.close();
  await server.close();
}
