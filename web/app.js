// The page: sends endings to the worker that holds the search core, and
// shows the matches in a list that draws only the rows in view.
// The worker first: it downloads the core and the list while the rest of
// the page starts (the row probe below lays the page out, which takes a
// while).
const worker = new Worker(new URL("worker.js", import.meta.url), { type: "module" });
worker.onmessage = answered;
// Numbers are written the Bulgarian way; the browser loads what that takes
// the first time (a tenth of a second here), so it does it now, once the
// page has painted, while the list comes, instead of when results do.
afterNextPaint(() => (0).toLocaleString("bg-BG"));
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
const SYLLABLES = (k) => (k === 1 ? "1 сричка" : `${k.toLocaleString("bg-BG")} срички`);

const $ = (id) => document.getElementById(id);
const form = $("search"), input = $("ending"), message = $("message"), countText = $("count");
const results = $("results"), spacer = $("spacer"), copyButton = $("copy"), file = $("file");
const copiedText = $("copied"), loading = $("loading");
const orderChoice = $("order"), soundChoice = $("sound"), wordChoice = $("word");
const syllablesBox = $("syllables"), endingsList = $("endings"), saveButton = $("save");

// A new list is pending until the worker has it; one that cannot be read
// leaves the list before it, its name and its results in place.
let pending = null; // {name}: a list on its way to the worker
let listRequest = 0; // the latest list handed to the worker
let running = null; // the id of the search the worker is running
let stopped = 0; // searches the worker dropped for a newer one
let whenListIn = () => {}; // what waits for the first list
let keptSyllables = null; // the syllable counts shown; null: all
let nextId = 1;
let latestSearch = 0; // answers to older searches are dropped
let latestEnding = ""; // and its ending
let lastEnding = null; // the ending typing last searched, so as not to repeat it
let typedAt = 0; // when the input that started the latest search came
let shownFor = null; // the ending whose results the list shows

// The list's state lives here; its rows only show it. The worker holds the
// matches; their text comes a chunk of rows at a time, as rows come into
// view (the first chunk with the results), so that a search costs what is
// shown, not what is found.
const CHUNK_ROWS = 256; // more than a screen holds; the first come with the results
let count = 0; // entries listed
let shownSearch = 0; // the search whose results are listed
let chunks = new Map(); // chunk number: its rows' text
const asked = new Set(); // chunks asked for, not yet come
const answers = new Map(); // request id: what waits for its rows
// Rows as the worker sends them: each followed by LF.
const linesOf = (text) => (text === "" ? [] : text.slice(0, -1).split("\n"));
const entryAt = (i) => chunks.get(Math.floor(i / CHUNK_ROWS))?.[i % CHUNK_ROWS];
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
  if (wordChoice.checked) {
    worker.postMessage({ type: "word", id: latestSearch, word: ending });
    return;
  }
  // In the page "?" is always a pattern: no word of a list holds one.
  worker.postMessage({ type: "search", id: latestSearch, ending, patterns: true, sound: soundChoice.checked,
                       order: orderChoice.value, syllables: keptSyllables ?? [], firstRows: CHUNK_ROWS });
}

// The ending in the box again, as the options now ask.
function searchAgain() {
  lastEnding = null;
  if (length(input.value) >= MIN_ENDING) search(input.value, { fromTyping: true });
}

// Hands a list to the worker: a File is passed, not copied; null is the
// Bulgarian list.
function loadList(chosen, name) {
  pending = chosen ? { name } : null;
  listRequest = nextId++;
  worker.postMessage({ type: "list", id: listRequest, file: chosen });
}

function showProgress(done, total) {
  loading.textContent = `Речникът се зарежда… ${Math.floor((100 * done) / total)}%`;
}

function setRunning(id) {
  running = id;
  if (id !== null) results.dataset.busy = "running";
  else delete results.dataset.busy;
}

function answered({ data }) {
  if (data.type === "started") {
    setRunning(data.id);
  } else if (data.type === "index") {
    document.body.dataset.index = "ready";
    document.body.dataset.indexMs = data.ms.toFixed(0);
    document.body.dataset.indexBytes = String(data.memory);
  } else if (data.type === "rows") {
    gotRows(data);
  } else if (data.type === "endings") {
    if (data.id === latestSearch) showEndings(data);
  } else if (data.type === "progress") {
    if (data.id === listRequest && data.total > 0) showProgress(data.done, data.total);
  } else if (data.type === "list") {
    if (data.id === listRequest) {
      loading.textContent = "";
      // A list of one's own is named, with the encoding it was read in,
      // once it is in.
      if (data.ok && pending) {
        const encoding = data.encoding === "utf-8" ? "UTF-8" : "Windows-1251";
        $("list-name").textContent = `Речник: ${pending.name} (${encoding})`;
      }
      if (data.ok) delete document.body.dataset.index; // the new list's comes later
      pending = null;
      // The last ending searched, again, on the new list, unless it was
      // asked for after the list (the worker takes them in order).
      if (data.ok && latestEnding !== "" && latestSearch < data.id) {
        lastEnding = null;
        search(latestEnding, { fromTyping: true });
      }
    }
    if (!data.ok) say(LIST_MISSING);
    document.body.dataset.list = data.ok ? "ready" : "missing";
    // How many lists the page has taken, so that automation can tell the
    // list it chose is in, whatever its name.
    if (data.ok) document.body.dataset.lists = String(Number(document.body.dataset.lists ?? 0) + 1);
    document.body.dataset.listMs = JSON.stringify(data.ms);
    whenListIn();
    whenListIn = () => {};
  } else if (data.type === "error") {
    // The worker's own words are for developers: the console has them.
    console.error(data.message);
    say(NO_CORE);
  } else if (data.type === "result") {
    if (running === data.id) setRunning(null);
    if (data.status === "stopped") ++stopped;
    else if (data.id === latestSearch) show(data);
  }
}

// A word's endings, each a button that searches it.
function showEndings({ status, endings }) {
  if (saidInstead(status)) return;
  endingsList.replaceChildren(...endings.map(([ending, count]) => {
    const item = document.createElement("li");
    const button = document.createElement("button");
    button.type = "button";
    button.textContent = `-${ending}: ${count.toLocaleString("bg-BG")}`;
    button.setAttribute("aria-label", `${ending}, ${count} думи`);
    button.addEventListener("click", () => {
      wordChoice.checked = false;
      showWordMode();
      input.value = ending;
      lastEnding = null;
      search(ending);
    });
    item.appendChild(button);
    return item;
  }));
  endingsList.hidden = false;
  endingsList.dataset.word = latestEnding;
}

function showWordMode() {
  endingsList.hidden = !wordChoice.checked;
  if (!wordChoice.checked) endingsList.replaceChildren();
}

// The matches by syllables, each a box that keeps or leaves out that count.
function showSyllables(bySyllables) {
  const counts = bySyllables.map((n, k) => [k, n]).filter(([, n]) => n > 0);
  syllablesBox.replaceChildren(...counts.flatMap(([k, n], i) => {
    const label = document.createElement("label");
    const box = document.createElement("input");
    box.type = "checkbox";
    box.dataset.syllables = String(k);
    box.checked = keptSyllables === null || keptSyllables.includes(k);
    box.addEventListener("change", () => {
      const boxes = [...syllablesBox.querySelectorAll("input")];
      const kept = boxes.filter((b) => b.checked).map((b) => Number(b.dataset.syllables));
      keptSyllables = kept.length === boxes.length ? null : kept;
      searchAgain();
    });
    label.append(box, `${SYLLABLES(k)}: ${n.toLocaleString("bg-BG")}`);
    return i > 0 ? [" · ", label] : [label];
  }));
}

// Says why an ending or word could not be searched, if it could not.
function saidInstead(status) {
  const why = { "too-short": TOO_SHORT, "not-cp1251": NOT_CP1251, "list-missing": LIST_MISSING }[status];
  if (why) say(why);
  return why !== undefined;
}

function show({ status, count: found, text, ms, bySyllables }) {
  if (saidInstead(status)) return;
  // A list read only in part still shows what was found before the fault.
  say(status === "cut-short" ? LIST_MISSING : "");
  count = found;
  shownSearch = latestSearch;
  chunks = new Map([[0, linesOf(text)]]);
  asked.clear();
  highlighted = [...latestEnding].length;
  showSyllables(bySyllables);
  saveButton.disabled = count === 0;
  selected = new Uint8Array(count);
  active = anchor = -1;
  shownFor = latestEnding;
  showCount();
  results.dataset.count = String(count);
  spacer.style.height = `${Math.min(count * ROW, MAX_HEIGHT)}px`;
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
  const found = `Намерени: ${count.toLocaleString("bg-BG")}`;
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
const scaled = () => count * ROW > MAX_HEIGHT;
const topRows = () => Math.max(1, count - results.clientHeight / ROW);
const scrollRange = () => Math.max(1, MAX_HEIGHT - results.clientHeight);
const topRowAt = (scrollTop) => (scaled() ? (scrollTop / scrollRange()) * topRows() : scrollTop / ROW);
const scrollTopFor = (row) => (scaled() ? (row / topRows()) * scrollRange() : row * ROW);
// Where a row goes: scrolled with the list unscaled; placed in the view
// from the fractional top row when scaled.
let topRow = 0;
const rowTop = (i) => (scaled() ? results.scrollTop + (i - topRow) * ROW : i * ROW);

let anySelected = false; // kept by draw's callers, so that a frame never walks the entries
// The characters of each row that the ending matched.
let highlighted = 0;

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
  const last = Math.min(count, Math.ceil(topRow + results.clientHeight / ROW) + 5);
  const shown = new Set();
  for (let i = first; i < last; ++i) shown.add(i);
  if (active >= 0) shown.add(active);
  for (const row of [...results.querySelectorAll(".row")]) {
    if (!shown.has(Number(row.dataset.index))) row.remove();
  }
  const present = new Map([...results.querySelectorAll(".row")].map((row) => [Number(row.dataset.index), row]));
  for (const i of shown) {
    let row = present.get(i);
    const text = entryAt(i);
    // A row whose text has not come yet is drawn once it comes.
    if (text === undefined) {
      askChunk(Math.floor(i / CHUNK_ROWS));
      continue;
    }
    if (!row) {
      row = document.createElement("div");
      row.className = "row";
      row.setAttribute("role", "option");
      row.dataset.index = String(i);
      row.id = `row-${i}`;
      // The matched ending stands out: one character a byte of it.
      const cut = Math.max(0, text.length - highlighted);
      const mark = document.createElement("mark");
      mark.textContent = text.slice(cut);
      row.append(text.slice(0, cut), mark);
      results.appendChild(row);
    }
    row.style.top = `${rowTop(i)}px`;
    row.setAttribute("aria-selected", selected[i] ? "true" : "false");
    row.setAttribute("aria-setsize", String(count));
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
  if (active >= 0 || count === 0) return;
  active = Math.min(count - 1, Math.ceil(topRow));
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
  if (count === 0) return;
  i = Math.max(0, Math.min(count - 1, i));
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
                  PageUp: active - page, Home: 0, End: count - 1 };
  const control = event.ctrlKey || event.metaKey;
  if (event.key in moves) {
    moveTo(active < 0 && event.key.startsWith("Arrow") ? 0 : moves[event.key],
           { extend, focusOnly: control && !extend });
    event.preventDefault();
  } else if (event.key === " " && count > 0) {
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

// Asks the worker for a chunk of rows to show.
function askChunk(chunk) {
  if (asked.has(chunk)) return;
  asked.add(chunk);
  worker.postMessage({ type: "rows", id: nextId++, search: shownSearch, first: chunk * CHUNK_ROWS,
                       count: CHUNK_ROWS });
}

// The text of rows [first, first + n) of the results listed, from the
// worker: for copying, saving and tests, never kept. Null when newer
// results came meanwhile.
function rowsOf(first, n) {
  const id = nextId++;
  worker.postMessage({ type: "rows", id, search: shownSearch, first, count: n });
  return new Promise((resolve) => answers.set(id, resolve));
}

function gotRows({ id, search, first, text }) {
  const waiting = answers.get(id);
  if (waiting) {
    answers.delete(id);
    waiting(text === null ? null : linesOf(text));
    return;
  }
  if (search !== shownSearch || text === null) return;
  const chunk = first / CHUNK_ROWS;
  chunks.set(chunk, linesOf(text));
  asked.delete(chunk);
  draw({ selection: false });
}

// The selected entries' text, one per line: at once when every one has
// come to the page, else from the worker.
function selectedNow() {
  const lines = [];
  for (let i = 0; i < count; ++i) {
    if (!selected[i]) continue;
    const text = entryAt(i);
    if (text === undefined) return null;
    lines.push(text);
  }
  return lines.join("\n");
}

async function selectedText() {
  const now = selectedNow();
  if (now !== null) return now;
  const first = selected.indexOf(1), last = selected.lastIndexOf(1);
  const texts = await rowsOf(first, last - first + 1);
  if (texts === null) return "";
  return texts.filter((_, k) => selected[first + k]).join("\n");
}

// Ctrl+C in the list copies the selected entries, one per line.
document.addEventListener("copy", (event) => {
  if (document.activeElement !== results || !selected.some((on) => on)) return;
  event.preventDefault();
  const now = selectedNow();
  if (now !== null) {
    event.clipboardData.setData("text/plain", now);
    copied();
  } else {
    // Rows still in the worker: written once they come.
    copyToClipboard();
  }
});

// Says how many entries went to the clipboard, until the next change.
function copied() {
  let count = 0;
  selected.forEach((on) => { count += on; });
  copiedText.textContent = `Копирани: ${count.toLocaleString("bg-BG")}`;
}

async function copyToClipboard() {
  try {
    await navigator.clipboard.writeText(await selectedText());
    say("");
    copied();
  } catch (error) {
    say("Копирането не успя: браузърът не разреши достъп до клипборда.");
  }
}
copyButton.addEventListener("click", copyToClipboard);

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

// Every entry, from the worker; null when newer results came meanwhile.
const allEntries = async () => (count === 0 ? [] : rowsOf(0, count));

// The results as a UTF-8 text file, one per line.
saveButton.addEventListener("click", async () => {
  const name = `рими-${shownFor}.txt`;
  const texts = await allEntries();
  if (texts === null) return;
  const link = document.createElement("a");
  link.href = URL.createObjectURL(new Blob([texts.map((text) => `${text}\n`).join("")],
                                           { type: "text/plain;charset=utf-8" }));
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60_000);
});

orderChoice.addEventListener("change", searchAgain);
soundChoice.addEventListener("change", searchAgain);
wordChoice.addEventListener("change", () => {
  showWordMode();
  searchAgain();
});

// For tests and other automation: the entries listed, all of them, ...
// and how many searches the worker dropped for a newer one.
window.versalo = { entries: allEntries, stopped: () => stopped };

loadList(null, "");
// What was typed before this script ran is searched now.
if (input.value !== "") search(input.value, { fromTyping: true });
// A new version of the page: said, with a button that loads it. One that
// was already waiting when the page loaded is loaded at once, so that a
// reload always brings the newest build.
let updating = false;
function update(waiting) {
  updating = true;
  waiting.postMessage("skip-waiting");
}
function registerServiceWorker() {
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
if ("serviceWorker" in navigator) {
  navigator.serviceWorker.addEventListener("controllerchange", () => {
    if (updating) location.reload();
  });
  // On a first visit the service worker, which downloads the whole site,
  // waits for the list, so that they do not share a slow connection.
  if (navigator.serviceWorker.controller) registerServiceWorker();
  else whenListIn = registerServiceWorker;
}
