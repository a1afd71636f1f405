// The results: a list that draws only the rows in view, with the selection
// and the keys of a multi-select listbox, copying and saving. The entries'
// text, the selection and the active entry live in the page's state; the
// rows only show them.
//
// A word's closest rhymes come in groups, by the ending they share with the
// word, longest first: each group has a heading row before its entries
// ("-лбище · 3"). Heading rows are not entries: the keys skip them, and they
// are never selected, copied or saved. Rows are counted on screen, heading
// rows among them; entries are counted among the entries alone.
import { CHUNK_ROWS, afterNextPaint, askChunk, rowsOf } from "./core_client.js";
import { state, update, watch } from "./state.js";

const $ = (id) => document.getElementById(id);
const list = $("results"), spacer = $("spacer"), copyButton = $("copy"), saveButton = $("save");
const copiedText = $("copied");

// The row height, which style.css sets (in rem, so it follows the user's
// text size), measured once in px.
const ROW = (() => {
  const probe = document.createElement("div");
  probe.className = "row";
  probe.textContent = "x";
  list.appendChild(probe);
  const height = probe.getBoundingClientRect().height || 24;
  probe.remove();
  return height;
})();

// Browsers cap an element's height (Chromium at 33,554,428 px, Firefox
// lower): past this, the spacer stays this tall and a scroll position
// stands for a fraction of the way through the rows.
const MAX_HEIGHT = 15_000_000;

// Where the groups' heading rows stand: group g's heading is row
// headings[g], and its entries follow it.
let headings = [];
const entryCount = () => state.results?.count ?? 0;
const rowCount = () => entryCount() + headings.length;
// The group of entry i: the last whose first entry is at or before it.
function groupOf(i) {
  let lo = 0, hi = headings.length - 1;
  while (lo < hi) {
    const mid = (lo + hi + 1) >> 1;
    if (headings[mid] - mid <= i) lo = mid; else hi = mid - 1;
  }
  return lo;
}
const rowOfEntry = (i) => (headings.length === 0 ? i : i + groupOf(i) + 1);
// What row r shows: {entry: i} or {group: g}.
function atRow(r) {
  if (headings.length === 0) return { entry: r };
  let lo = 0, hi = headings.length - 1;
  while (lo < hi) {
    const mid = (lo + hi + 1) >> 1;
    if (headings[mid] <= r) lo = mid; else hi = mid - 1;
  }
  return headings[lo] === r ? { group: lo } : { entry: r - lo - 1 };
}
const entryText = (i) => state.results?.chunks.get(Math.floor(i / CHUNK_ROWS))?.[i % CHUNK_ROWS];

// Past the cap, the view's top row, a fraction, runs from 0 to the last row
// that can be at the top as the scroll position runs over its range.
const scaled = () => rowCount() * ROW > MAX_HEIGHT;
const topRows = () => Math.max(1, rowCount() - list.clientHeight / ROW);
const scrollRange = () => Math.max(1, MAX_HEIGHT - list.clientHeight);
const topRowAt = (scrollTop) => (scaled() ? (scrollTop / scrollRange()) * topRows() : scrollTop / ROW);
const scrollTopFor = (row) => (scaled() ? (row / topRows()) * scrollRange() : row * ROW);
// The view's top row, a fraction, and the scroll position a move set, for
// which it stands while the browser keeps its scroll there (it may round).
let topRow = 0;
let wantedScrollTop = null;
const rowTop = (r) => (scaled() ? list.scrollTop + (r - topRow) * ROW : r * ROW);

let shownId = null; // the search whose rows the list shows
const drawn = new Map(); // row number: its element

function makeRow(at) {
  const row = document.createElement("div");
  row.className = "row";
  if (at.group !== undefined) {
    const { ending, count } = state.results.groups[at.group];
    row.classList.add("heading");
    row.id = `group-${at.group}`;
    row.setAttribute("role", "presentation");
    row.textContent = `-${ending} · ${count.toLocaleString("bg-BG")}`;
    return row;
  }
  const text = entryText(at.entry);
  row.setAttribute("role", "option");
  row.dataset.index = String(at.entry);
  row.id = `row-${at.entry}`;
  // The matched ending stands out, one character a byte of it: the shared
  // ending of its group for closest rhymes.
  const { results } = state;
  const marked = [...(results.word ? results.groups[groupOf(at.entry)].ending : results.ending)].length;
  const cut = Math.max(0, text.length - marked);
  const mark = document.createElement("mark");
  mark.textContent = text.slice(cut);
  row.append(text.slice(0, cut), mark);
  return row;
}

// Draws the rows in view, and the active entry's, and nothing else.
function drawRows() {
  if (list.scrollTop !== wantedScrollTop) {
    wantedScrollTop = null;
    topRow = topRowAt(list.scrollTop);
  }
  const { selected, active } = state.selection;
  const rows = rowCount();
  const first = Math.max(0, Math.floor(topRow) - 5);
  const last = Math.min(rows, Math.ceil(topRow + list.clientHeight / ROW) + 5);
  const wanted = new Set();
  for (let r = first; r < last; ++r) wanted.add(r);
  if (active >= 0) wanted.add(rowOfEntry(active));
  for (const [r, row] of drawn) {
    if (!wanted.has(r)) { row.remove(); drawn.delete(r); }
  }
  for (const r of wanted) {
    const at = atRow(r);
    // A row whose text has not come yet is drawn once it comes.
    if (at.entry !== undefined && entryText(at.entry) === undefined) {
      askChunk(Math.floor(at.entry / CHUNK_ROWS));
      continue;
    }
    let row = drawn.get(r);
    if (!row) {
      row = makeRow(at);
      list.appendChild(row);
      drawn.set(r, row);
    }
    row.style.top = `${rowTop(r)}px`;
    if (at.entry === undefined) continue;
    row.setAttribute("aria-selected", selected[at.entry] ? "true" : "false");
    row.setAttribute("aria-setsize", String(entryCount()));
    row.setAttribute("aria-posinset", String(at.entry + 1));
    row.classList.toggle("active", at.entry === active);
  }
  if (active >= 0) list.setAttribute("aria-activedescendant", `row-${active}`);
  else list.removeAttribute("aria-activedescendant");
}

// New results: the rows of the old are gone, the view is at the top. Once
// the next frame is painted, the time from the key to the results seen is
// measured.
function drawResults() {
  const { results } = state;
  if (results?.id === shownId) return drawRows();
  shownId = results?.id ?? null;
  headings = [];
  let entries = 0;
  for (const { count } of results?.groups ?? []) {
    headings.push(entries + headings.length);
    entries += count;
  }
  for (const row of drawn.values()) row.remove();
  drawn.clear();
  spacer.style.height = `${Math.min(rowCount() * ROW, MAX_HEIGHT)}px`;
  // Setting the scroll position lays the page out; reading it and the
  // view's height right after costs nothing, so long as nothing changes
  // in between (the button is set after the rows).
  list.scrollTop = 0;
  topRow = 0;
  wantedScrollTop = null;
  drawRows();
  saveButton.disabled = entryCount() === 0;
  if (!results) return;
  const { ending, word, count, at, coreMs } = results;
  afterNextPaint(() => performance.measure("versalo:drawn", { start: at, detail: { ending, word, count, coreMs } }));
}

// New results come with a new selection, drawn with their rows: drawing
// the rows again would lay the page out once more before its frame.
function drawSelection(changed) {
  copyButton.disabled = state.selection.count === 0;
  if (!changed.has("results")) drawRows();
}

watch(["results"], drawResults);
watch(["selection"], drawSelection);
watch(["copied"], () => {
  copiedText.textContent = state.copied === null ? "" : `Копирани: ${state.copied.toLocaleString("bg-BG")}`;
});
watch(["busy"], () => {
  if (state.busy) list.setAttribute("aria-busy", "true");
  else list.removeAttribute("aria-busy");
});

list.addEventListener("scroll", () => requestAnimationFrame(drawRows), { passive: true });
new ResizeObserver(() => drawRows()).observe(list);

// Changes the selection, and what was said of copying goes with it. The
// flags change in place (a list may hold millions of entries), by `change`,
// which returns how many are now selected; the change still goes through
// the state.
function select(active, anchor, change = (selected, count) => count) {
  const { selected, count } = state.selection;
  update({ selection: { selected, count: change(selected, count), active, anchor }, copied: null });
}
const only = (i) => (selected) => {
  selected.fill(0);
  selected[i] = 1;
  return 1;
};
const range = (from, to) => (selected) => {
  const [lo, hi] = from < to ? [from, to] : [to, from];
  selected.fill(0);
  selected.fill(1, lo, hi + 1);
  return hi - lo + 1;
};
const toggle = (i) => (selected, count) => {
  selected[i] ^= 1;
  return count + (selected[i] ? 1 : -1);
};
const all = (selected) => selected.fill(1).length;

// Scrolls so that the view starts at row `row` (a fraction).
function scrollToRow(row) {
  list.scrollTop = scrollTopFor(row);
  topRow = row;
  wantedScrollTop = list.scrollTop;
}

// Moves the active entry to `i`: selecting only it, extending the selection
// from the anchor to it, or, with `focusOnly`, leaving the selection as it
// is (Ctrl with the keys, as the WAI-ARIA multi-select listbox has it). The
// view scrolls only as far as needed to show it, with its group's heading
// when it is the group's first entry.
function moveTo(i, { extend = false, focusOnly = false } = {}) {
  const count = entryCount();
  if (count === 0) return;
  i = Math.max(0, Math.min(count - 1, i));
  const row = rowOfEntry(i);
  const top = row > 0 && atRow(row - 1).group !== undefined ? row - 1 : row;
  const view = list.clientHeight / ROW;
  if (top < topRow) scrollToRow(top);
  else if (row + 1 > topRow + view) scrollToRow(row + 1 - view);
  const { anchor } = state.selection;
  if (focusOnly) select(i, anchor);
  else if (extend && anchor >= 0) select(i, anchor, range(anchor, i));
  else select(i, i, only(i));
}

// Entering the list names an entry at once: the active one, or the first
// in view.
list.addEventListener("focus", () => {
  const { active, anchor } = state.selection;
  if (active >= 0 || entryCount() === 0) return;
  let r = Math.ceil(topRow);
  if (atRow(r).group !== undefined) ++r;
  select(Math.min(entryCount() - 1, atRow(Math.min(r, rowCount() - 1)).entry ?? 0), anchor);
});

// A finger has no Shift or Ctrl: a tap adds an entry to the selection, or
// takes it out, and a swipe only scrolls (taps are clicks; swipes are not).
let touching = false;
list.addEventListener("pointerdown", (event) => {
  touching = event.pointerType === "touch" || event.pointerType === "pen";
}, { capture: true });
const entryAt = (event) => {
  const row = event.target.closest(".row[data-index]");
  return row ? Number(row.dataset.index) : -1;
};
list.addEventListener("click", (event) => {
  const i = entryAt(event);
  if (touching && i >= 0) select(i, i, toggle(i));
});

list.addEventListener("mousedown", (event) => {
  const i = entryAt(event);
  if (i < 0 || touching) return;
  const { anchor } = state.selection;
  if (event.shiftKey && anchor >= 0) select(i, anchor, range(anchor, i));
  else if (event.ctrlKey || event.metaKey) select(i, i, toggle(i));
  else select(i, i, only(i));
  list.focus();
});

list.addEventListener("keydown", (event) => {
  const { active } = state.selection;
  const count = entryCount();
  const page = Math.max(1, Math.floor(list.clientHeight / ROW) - 1);
  const control = event.ctrlKey || event.metaKey;
  // A page moves by rows on screen; landing on a heading, it takes the
  // group's first entry.
  const byPage = (rows) => {
    if (active < 0) return 0;
    const at = atRow(Math.max(0, Math.min(rowCount() - 1, rowOfEntry(active) + rows)));
    return at.entry ?? headings[at.group] - at.group;
  };
  const moves = { ArrowDown: active + 1, ArrowUp: active - 1, PageDown: byPage(page), PageUp: byPage(-page),
                  Home: 0, End: count - 1 };
  if (event.key in moves) {
    moveTo(active < 0 && event.key.startsWith("Arrow") ? 0 : moves[event.key],
           { extend: event.shiftKey, focusOnly: control && !event.shiftKey });
    event.preventDefault();
  } else if (event.key === " " && count > 0) {
    // Space toggles the active entry, and it becomes the anchor.
    const i = Math.max(0, active);
    select(i, i, toggle(i));
    event.preventDefault();
  } else if (event.code === "KeyA" && control) { // any layout
    select(active, state.selection.anchor, all);
    event.preventDefault();
  }
});

// The selected entries' text, one per line: at once when every one has come
// to the page, else null.
function selectedNow() {
  const { selected } = state.selection;
  const lines = [];
  for (let i = 0; i < selected.length; ++i) {
    if (!selected[i]) continue;
    const text = entryText(i);
    if (text === undefined) return null;
    lines.push(text);
  }
  return lines.join("\n");
}

// The same, from the worker when some have not come.
async function selectedText() {
  const now = selectedNow();
  if (now !== null) return now;
  const { selected } = state.selection;
  const first = selected.indexOf(1), last = selected.lastIndexOf(1);
  const texts = await rowsOf(first, last - first + 1);
  if (texts === null) return "";
  return texts.filter((_, k) => selected[first + k]).join("\n");
}

const copied = () => update({ copied: state.selection.count });

async function copyToClipboard() {
  try {
    await navigator.clipboard.writeText(await selectedText());
    update({ message: "" });
    copied();
  } catch (error) {
    update({ message: "Копирането не успя: браузърът не разреши достъп до клипборда." });
  }
}
copyButton.addEventListener("click", copyToClipboard);

// Ctrl+C in the list copies the selected entries, one per line.
document.addEventListener("copy", (event) => {
  if (document.activeElement !== list || state.selection.count === 0) return;
  event.preventDefault();
  const now = selectedNow();
  if (now !== null) {
    event.clipboardData.setData("text/plain", now);
    copied();
  } else {
    copyToClipboard(); // entries still in the worker: written once they come
  }
});

// The results as a UTF-8 text file, one entry a line.
saveButton.addEventListener("click", async () => {
  const { results } = state;
  const name = `рими-${results.ending}.txt`;
  const texts = results.count === 0 ? [] : await rowsOf(0, results.count);
  if (texts === null) return; // newer results came meanwhile
  const link = document.createElement("a");
  link.href = URL.createObjectURL(new Blob([texts.map((text) => `${text}\n`).join("")],
                                           { type: "text/plain;charset=utf-8" }));
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60_000);
});
