// The page: sends endings to the worker that holds the search core, and
// shows the matches in a list that draws only the rows in view.
const TOO_SHORT = "Какво от \">1 буква\" не разбрахте?";
const LIST_MISSING = "rym.txt?";
const NOT_CP1251 = "Това окончание има знак, който няма място в Windows-1251, кодировката на речника.";
const NO_CORE = "Търсачката не можа да се зареди в този браузър. Презаредете страницата; ако не помогне, " +
  "опитайте с по-нов браузър.";
const MIN_ENDING = 2;
// The row height, which style.css sets (in rem, so it follows the user's
// text size), measured once in px.
const ROW = (() => {
  const probe = document.createElement("div");
  probe.className = "row";
  probe.textContent = "x";
  document.getElementById("results").appendChild(probe);
  const height = probe.getBoundingClientRect().height || 24;
  probe.remove();
  return height;
})();
// A search that has run this long when a newer ending comes is stopped, by
// ending its worker: reloading the list in a new one costs less by then.
// The list tells it in data-busy: "running", then "long".
const RESTART_AFTER_MS = 250;

const $ = (id) => document.getElementById(id);
const form = $("search"), input = $("ending"), message = $("message"), countText = $("count");
const results = $("results"), spacer = $("spacer"), copyButton = $("copy"), file = $("file");
const copiedText = $("copied"), loading = $("loading");

let worker = startWorker();
// The user's list: its File, kept for a new worker (never read here), and
// the encoding a worker found it in; null: the Bulgarian one. A new one is
// pending until a worker has it; one that cannot be read leaves the list
// before it, its name and its results in place.
let ownList = null;
let ownEncoding;
let ownName = ""; // its file's name
let pending = null; // {file, name}: a list on its way to the worker
let loadingNew = false; // the list on its way is a new one, not one for a restarted worker
let listRequest = 0; // the latest list handed to a worker
let running = null; // {id, long}: the search the worker is running, and whether for long
let restarts = 0;
let nextId = 1;
let latestSearch = 0; // answers to older searches are dropped
let latestEnding = ""; // and its ending
let lastEnding = null; // the ending typing last searched, so as not to repeat it
let typedAt = 0; // when the input that started the latest search came
let shownFor = null; // the ending whose results the list shows

// The list's state lives here; its rows only show it.
let entries = [];
let selected = new Uint8Array(0);
let active = -1; // the row that the keys move, always drawn
let anchor = -1; // where a Shift range starts

function say(text) { message.textContent = text; }

// An ending's length in Windows-1251 bytes: one per character it can write.
const length = (ending) => [...ending].length;

function search(ending, { fromTyping = false, at = performance.now() } = {}) {
  if (length(ending) < MIN_ENDING) {
    if (!fromTyping) say(TOO_SHORT);
    lastEnding = null; // typed again, it searches again
    return;
  }
  if (fromTyping && ending === lastEnding) return;
  lastEnding = latestEnding = ending;
  latestSearch = nextId++;
  typedAt = at;
  if (running?.long) restartWorker();
  worker.postMessage({ type: "search", id: latestSearch, ending });
}

function startWorker() {
  const started = new Worker(new URL("worker.js", import.meta.url), { type: "module" });
  started.onmessage = answered;
  return started;
}

// Hands the list to the worker: a File is passed, not copied, and one a
// worker has looked through already is not read again.
function sendList() {
  listRequest = nextId++;
  const [file, encoding] = pending ? [pending.file, undefined] : [ownList, ownEncoding];
  worker.postMessage({ type: "list", id: listRequest, file, encoding });
}

function restartWorker() {
  worker.terminate();
  worker = startWorker();
  setRunning(null);
  ++restarts;
  sendList();
}

function loadList(chosen, name) {
  pending = chosen ? { file: chosen, name } : null;
  loadingNew = true;
  sendList();
}

function setRunning(search) {
  running = search;
  if (search) results.dataset.busy = search.long ? "long" : "running";
  else delete results.dataset.busy;
}

function answered({ data }) {
  if (data.type === "started") {
    const search = { id: data.id, long: false };
    setRunning(search);
    setTimeout(() => {
      if (running !== search) return;
      search.long = true;
      setRunning(search);
    }, RESTART_AFTER_MS);
  } else if (data.type === "progress") {
    if (data.id === listRequest && data.total > 0) {
      loading.textContent = `Речникът се зарежда… ${Math.floor((100 * data.done) / data.total)}%`;
    }
  } else if (data.type === "list") {
    if (data.id === listRequest) {
      loading.textContent = "";
      // A list of one's own is named, with the encoding it was read in,
      // once it is in.
      if (data.ok && pending) {
        [ownList, ownName, ownEncoding] = [pending.file, pending.name, data.encoding];
        const encoding = data.encoding === "utf-8" ? "UTF-8" : "Windows-1251";
        $("list-name").textContent = `Речник: ${ownName} (${encoding})`;
      }
      pending = null;
      // The last ending searched, again, on the new list.
      if (data.ok && loadingNew && latestEnding !== "") {
        lastEnding = null;
        search(latestEnding, { fromTyping: true });
      }
      loadingNew = false;
    }
    if (!data.ok) say(LIST_MISSING);
    document.body.dataset.list = data.ok ? "ready" : "missing";
  } else if (data.type === "error") {
    // The worker's own words are for developers: the console has them.
    console.error(data.message);
    say(NO_CORE);
  } else if (data.type === "result") {
    if (running?.id === data.id) setRunning(null);
    if (data.id === latestSearch) show(data);
  }
}

function show({ status, count, text, ms }) {
  if (status === "too-short") { say(TOO_SHORT); return; }
  if (status === "not-cp1251") { say(NOT_CP1251); return; }
  if (status === "list-missing") { say(LIST_MISSING); return; }
  // A list read only in part still shows what was found before the fault.
  say(status === "cut-short" ? LIST_MISSING : "");
  const joined = new TextDecoder().decode(text);
  entries = count === 0 ? [] : joined.slice(0, -1).split("\n");
  selected = new Uint8Array(entries.length);
  active = anchor = -1;
  shownFor = latestEnding;
  showCount();
  results.dataset.count = String(entries.length);
  spacer.style.height = `${Math.min(entries.length * ROW, MAX_HEIGHT)}px`;
  results.scrollTop = 0;
  topRow = 0;
  wantedScrollTop = null;
  for (const row of [...results.querySelectorAll(".row")]) row.remove(); // they show the old entries
  draw();
  // On screen once the next frame has been painted: a task queued from
  // that frame's animation callback runs after its paint. That is the time
  // from the key to the results seen.
  const started = typedAt, ending = latestEnding;
  afterNextPaint(() => {
    results.dataset.drawnMs = (performance.now() - started).toFixed(1);
    results.dataset.coreMs = ms.toFixed(1);
    results.dataset.ending = ending;
    results.dataset.drawnAt = performance.now().toFixed(1); // since the page began to load
    results.dataset.shown = String(Number(results.dataset.shown ?? 0) + 1);
  });
}

// How many entries the list shows, and, while the box holds another
// ending, which ending they are for.
function showCount() {
  if (shownFor === null) return;
  const found = `Намерени: ${entries.length.toLocaleString("bg-BG")}`;
  countText.textContent = input.value === shownFor ? found : `${found} за „${shownFor}“`;
}

function afterNextPaint(callback) {
  requestAnimationFrame(() => {
    const channel = new MessageChannel();
    channel.port1.onmessage = callback;
    channel.port2.postMessage(null);
  });
}

// Browsers cap an element's height (Chromium at 33,554,428 px, Firefox
// lower): past this, the spacer stays this tall and a scroll position
// stands for a fraction of the way through the entries.
const MAX_HEIGHT = 15_000_000;

// Past the cap, the view's top row, a fraction, runs from 0 to the last
// row that can be at the top as the scroll position runs over its range.
const scaled = () => entries.length * ROW > MAX_HEIGHT;
const topRows = () => Math.max(1, entries.length - results.clientHeight / ROW);
const scrollRange = () => Math.max(1, MAX_HEIGHT - results.clientHeight);
const topRowAt = (scrollTop) => (scaled() ? (scrollTop / scrollRange()) * topRows() : scrollTop / ROW);
const scrollTopFor = (row) => (scaled() ? (row / topRows()) * scrollRange() : row * ROW);
// Where a row goes: scrolled with the list unscaled; placed in the view
// from the fractional top row when scaled.
let topRow = 0;
const rowTop = (i) => (scaled() ? results.scrollTop + (i - topRow) * ROW : i * ROW);

let anySelected = false; // kept by draw's callers, so that a frame never walks the entries

// Draws the rows in view, and the active one, and nothing else.
function draw({ selection = true } = {}) {
  if (selection) {
    anySelected = selected.some((on) => on);
    copiedText.textContent = ""; // the selection has changed since
  }
  // A position a move asked for stands while the browser keeps its scroll
  // there (it may round it); any other comes from the scroll position.
  if (results.scrollTop !== wantedScrollTop) {
    wantedScrollTop = null;
    topRow = topRowAt(results.scrollTop);
  }
  const first = Math.max(0, Math.floor(topRow) - 5);
  const last = Math.min(entries.length, Math.ceil(topRow + results.clientHeight / ROW) + 5);
  const shown = new Set();
  for (let i = first; i < last; ++i) shown.add(i);
  if (active >= 0) shown.add(active);
  for (const row of [...results.querySelectorAll(".row")]) {
    if (!shown.has(Number(row.dataset.index))) row.remove();
  }
  const present = new Map([...results.querySelectorAll(".row")].map((row) => [Number(row.dataset.index), row]));
  for (const i of shown) {
    let row = present.get(i);
    if (!row) {
      row = document.createElement("div");
      row.className = "row";
      row.setAttribute("role", "option");
      row.dataset.index = String(i);
      row.id = `row-${i}`;
      row.textContent = entries[i];
      results.appendChild(row);
    }
    row.style.top = `${rowTop(i)}px`;
    row.setAttribute("aria-selected", selected[i] ? "true" : "false");
    row.setAttribute("aria-setsize", String(entries.length));
    row.setAttribute("aria-posinset", String(i + 1));
    row.classList.toggle("active", i === active);
  }
  copyButton.disabled = !anySelected;
  if (active >= 0) results.setAttribute("aria-activedescendant", `row-${active}`);
  else results.removeAttribute("aria-activedescendant");
}

results.addEventListener("scroll", () => requestAnimationFrame(() => draw({ selection: false })),
                        { passive: true });
// Entering the list names an entry at once: the active one, or the first
// in view.
results.addEventListener("focus", () => {
  if (active >= 0 || entries.length === 0) return;
  active = Math.min(entries.length - 1, Math.ceil(topRow));
  draw();
});
new ResizeObserver(() => draw({ selection: false })).observe(results);

function selectOnly(i) {
  selected.fill(0);
  if (i >= 0) selected[i] = 1;
}

function selectRange(from, to) {
  selected.fill(0);
  const [lo, hi] = from < to ? [from, to] : [to, from];
  selected.fill(1, lo, hi + 1);
}

// The scroll position the last move set, for which its top row stands.
let wantedScrollTop = null;

// Scrolls so that the view starts at row `row` (a fraction).
function scrollToRow(row) {
  results.scrollTop = scrollTopFor(row);
  topRow = row;
  wantedScrollTop = results.scrollTop;
}

// Moves the active row to `i`: selecting only it, extending the selection
// from the anchor to it, or, with `focusOnly`, leaving the selection as it
// is (Ctrl with the keys, as the WAI-ARIA multi-select listbox has it).
function moveTo(i, { extend = false, focusOnly = false } = {}) {
  if (entries.length === 0) return;
  i = Math.max(0, Math.min(entries.length - 1, i));
  if (focusOnly) { /* the selection stays */ }
  else if (extend && anchor >= 0) selectRange(anchor, i);
  else { selectOnly(i); anchor = i; }
  active = i;
  // Scroll only as far as needed to show it.
  const view = results.clientHeight / ROW;
  if (i < topRow) scrollToRow(i);
  else if (i + 1 > topRow + view) scrollToRow(i + 1 - view);
  draw();
}

// A finger has no Shift or Ctrl: a tap adds a row to the selection, or
// takes it out, and a swipe only scrolls (taps are clicks; swipes are not).
let touching = false;
results.addEventListener("pointerdown", (event) => {
  touching = event.pointerType === "touch" || event.pointerType === "pen";
}, { capture: true });
results.addEventListener("click", (event) => {
  const row = event.target.closest(".row");
  if (!touching || !row) return;
  const i = Number(row.dataset.index);
  selected[i] = selected[i] ? 0 : 1;
  anchor = active = i;
  draw();
});

results.addEventListener("mousedown", (event) => {
  const row = event.target.closest(".row");
  if (!row || touching) return;
  const i = Number(row.dataset.index);
  if (event.shiftKey && anchor >= 0) {
    selectRange(anchor, i);
  } else if (event.ctrlKey || event.metaKey) {
    selected[i] = selected[i] ? 0 : 1;
    anchor = i;
  } else {
    selectOnly(i);
    anchor = i;
  }
  active = i;
  results.focus();
  draw();
});

results.addEventListener("keydown", (event) => {
  const page = Math.max(1, Math.floor(results.clientHeight / ROW) - 1);
  const extend = event.shiftKey;
  const moves = { ArrowDown: active + 1, ArrowUp: active - 1, PageDown: active + page,
                  PageUp: active - page, Home: 0, End: entries.length - 1 };
  const control = event.ctrlKey || event.metaKey;
  if (event.key in moves) {
    moveTo(active < 0 && event.key.startsWith("Arrow") ? 0 : moves[event.key],
           { extend, focusOnly: control && !extend });
    event.preventDefault();
  } else if (event.key === " " && entries.length > 0) {
    // Space toggles the active entry, and it becomes the anchor.
    if (active < 0) active = 0;
    selected[active] = selected[active] ? 0 : 1;
    anchor = active;
    draw();
    event.preventDefault();
  } else if (event.code === "KeyA" && control) { // any layout
    selected.fill(1);
    draw();
    event.preventDefault();
  }
});

function selectedText() {
  const lines = [];
  selected.forEach((on, i) => { if (on) lines.push(entries[i]); });
  return lines.join("\n");
}

// Ctrl+C in the list copies the selected entries, one per line.
document.addEventListener("copy", (event) => {
  if (document.activeElement !== results || !selected.some((on) => on)) return;
  event.clipboardData.setData("text/plain", selectedText());
  event.preventDefault();
  copied();
});

// Says how many entries went to the clipboard, until the next change.
function copied() {
  let count = 0;
  selected.forEach((on) => { count += on; });
  copiedText.textContent = `Копирани: ${count.toLocaleString("bg-BG")}`;
}

copyButton.addEventListener("click", async () => {
  try {
    await navigator.clipboard.writeText(selectedText());
    say("");
    copied();
  } catch (error) {
    say("Копирането не успя: браузърът не разреши достъп до клипборда.");
  }
});

input.addEventListener("input", (event) => {
  say("");
  showCount();
  search(input.value, { fromTyping: true, at: event.timeStamp });
});
form.addEventListener("submit", (event) => {
  event.preventDefault();
  lastEnding = null; // Enter and the button always search
  search(input.value, { at: event.timeStamp });
});

// A list of the user's own, from the picker or dropped on the page. It is
// read in the browser, by the worker, where it lies, and goes nowhere else.
function useFile(chosen) {
  if (!chosen) return;
  say("");
  loadList(chosen, chosen.name);
}
file.addEventListener("change", () => {
  const chosen = file.files[0];
  file.value = ""; // so that choosing the same file again reads it again
  useFile(chosen);
});
document.addEventListener("dragover", (event) => {
  event.preventDefault();
  document.body.classList.add("dragging");
});
document.addEventListener("dragleave", () => document.body.classList.remove("dragging"));
document.addEventListener("drop", (event) => {
  event.preventDefault();
  document.body.classList.remove("dragging");
  useFile(event.dataTransfer.files[0]);
});

// For tests and other automation: the entries listed, all of them, ...
// and how often a search was stopped by ending its worker.
window.versalo = { entries: () => entries.slice(), restarts: () => restarts };

loadList(null, "");
// A new version of the page: said, with a button that loads it. One that
// was already waiting when the page loaded is loaded at once, so that a
// reload always brings the newest build.
let updating = false;
function update(waiting) {
  updating = true;
  waiting.postMessage("skip-waiting");
}
if ("serviceWorker" in navigator) {
  navigator.serviceWorker.addEventListener("controllerchange", () => {
    if (updating) location.reload();
  });
  navigator.serviceWorker.register(new URL("sw.js", import.meta.url)).then((registration) => {
    if (registration.waiting && navigator.serviceWorker.controller) update(registration.waiting);
    registration.addEventListener("updatefound", () => {
      const incoming = registration.installing;
      incoming?.addEventListener("statechange", () => {
        if (incoming.state !== "installed" || !navigator.serviceWorker.controller) return;
        $("update").hidden = false;
        $("reload").onclick = () => update(incoming);
      });
    });
  }).catch(() => {});
}
