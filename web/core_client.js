// The page's side of the worker that holds the search core and the word
// list (worker.js has the messages): sends it lists, searches and requests
// for rows, and turns its answers into changes of the page's state. Answers
// to requests that newer ones have replaced are dropped.
import { state, update } from "./state.js";
import { worker } from "./worker_start.js";

export const TOO_SHORT = "Какво от \">1 буква\" не разбрахте?";
export const LIST_MISSING = "rym.txt?";
const NOT_CP1251 = "Това окончание има знак, който няма място в Windows-1251, кодировката на речника.";
const NO_CORE = "Търсачката не можа да се зареди в този браузър. Презаредете страницата; ако не помогне, " +
  "опитайте с по-нов браузър.";
const SAID = { "too-short": TOO_SHORT, "not-cp1251": NOT_CP1251, "list-missing": LIST_MISSING };
export const MIN_ENDING = 2;
// Rows that come with the results: more than a screen holds. The rest come
// a chunk at a time, as they come into view, so that a search costs what is
// shown, not what is found.
export const CHUNK_ROWS = 256;

// An ending's length in Windows-1251 bytes: one per character it can write.
export const lengthOf = (ending) => [...ending].length;
// Rows as the worker sends them: each followed by LF.
const linesOf = (text) => (text === "" ? [] : text.slice(0, -1).split("\n"));

// Numbers are written the Bulgarian way; the browser loads what that takes
// the first time (a tenth of a second here), so it does it once the page has
// painted, while the list comes, instead of when the first results do.
afterNextPaint(() => (0).toLocaleString("bg-BG"));
let nextId = 1;
// The latest search asked for: its query, and when the key that asked came.
// Answers to older ones are dropped.
let latest = { id: 0, ending: "", word: false, at: 0 };
let searched = null; // what typing last searched, so as not to repeat it
let listRequest = 0; // the latest list handed to the worker
let pendingName = null; // the name of a list of one's own on its way
let listAskedAt = 0;
const waitingRows = new Map(); // request id: what waits for its rows
const askedChunks = new Set(); // chunks of the results asked for, not yet come
const listIn = []; // what waits for the first list

// Searches the query, as the state holds it. Typing (`typed`) does not
// repeat the search it made last, and says nothing of an ending too short;
// Enter, the button and the address always search. `at`: when the key or
// click came, for the time from it to the results drawn.
export function search({ typed = false, at = performance.now() } = {}) {
  const query = state.query;
  const key = JSON.stringify(query);
  if (lengthOf(query.ending) < MIN_ENDING) {
    if (!typed) update({ message: TOO_SHORT });
    searched = null; // typed again, it searches again
    return;
  }
  if (typed && key === searched) return;
  searched = key;
  latest = { id: nextId++, ending: query.ending, word: query.word, query: key, at };
  // In the page "?" is always a pattern: no word of a list holds one.
  worker.postMessage({ type: "search", id: latest.id, ending: query.ending, word: query.word, patterns: true,
                       sound: query.sound, order: query.order, syllables: query.syllables ?? [],
                       firstRows: CHUNK_ROWS });
}

// Hands a list to the worker: a File is passed, not copied; null is the
// Bulgarian list, which the worker downloads.
export function loadList(file) {
  pendingName = file ? file.name : null;
  listRequest = nextId++;
  listAskedAt = performance.now();
  worker.postMessage({ type: "list", id: listRequest, file });
}

// Resolves once the first list is in (or could not be read).
export const firstListIn = () => new Promise((resolve) => {
  if (state.list.loaded) resolve();
  else listIn.push(resolve);
});

const progress = (done, total) => update({ list: { ...state.list, progress: [done, total] } });

// Runs `callback` once the next frame has been painted: a task queued from
// that frame's animation callback runs after its paint.
export function afterNextPaint(callback) {
  requestAnimationFrame(() => {
    const channel = new MessageChannel();
    channel.port1.onmessage = callback;
    channel.port2.postMessage(null);
  });
}

// Asks for the text of a chunk of the results listed; it is drawn once it
// comes.
export function askChunk(chunk) {
  if (askedChunks.has(chunk) || !state.results) return;
  askedChunks.add(chunk);
  worker.postMessage({ type: "rows", id: nextId++, search: state.results.id, first: chunk * CHUNK_ROWS,
                       count: CHUNK_ROWS });
}

// The text of entries [first, first + n) of the results listed, from the
// worker: for copying and saving, never kept. Null when newer results came
// meanwhile.
export function rowsOf(first, n) {
  const id = nextId++;
  worker.postMessage({ type: "rows", id, search: state.results?.id, first, count: n });
  return new Promise((resolve) => waitingRows.set(id, resolve));
}

// Says why a search could not be done, when it could not.
function saidInstead(status) {
  const why = SAID[status];
  if (why) update({ message: why });
  return why !== undefined;
}

const groupsOf = (text) => linesOf(text).map((line) => {
  const [ending, count] = line.split("\t");
  return { ending, count: Number(count) };
});

function listed({ id, status, count, text, bySyllables, groups, ms }) {
  if (saidInstead(status)) return;
  askedChunks.clear();
  update({
    // A list read only in part still shows what was found before the fault.
    message: status === "cut-short" ? LIST_MISSING : "",
    results: { id, ending: latest.ending, word: latest.word, query: latest.query, count, bySyllables,
               at: latest.at, coreMs: ms,
               groups: groups === undefined ? [] : groupsOf(groups), chunks: new Map([[0, linesOf(text)]]) },
    selection: { selected: new Uint8Array(count), count: 0, active: -1, anchor: -1 },
    copied: null,
  });
}

function listAnswered({ id, ok, encoding, lines, ms }) {
  if (id === listRequest) {
    const named = ok && pendingName !== null;
    update({ list: { name: named ? pendingName : state.list.name, encoding: named ? encoding : state.list.encoding,
                     progress: null, loaded: true } });
    pendingName = null;
    // The last search, again, on the new list, unless it was asked for
    // after the list (the worker takes them in order).
    if (ok && latest.id !== 0 && latest.id < id) {
      searched = null;
      search({ typed: true });
    }
  }
  if (!ok) update({ message: LIST_MISSING });
  performance.measure("versalo:list", { start: listAskedAt, detail: { ok, encoding, lines, ...ms } });
  for (const resolve of listIn.splice(0)) resolve();
}

worker.onmessage = ({ data }) => {
  switch (data.type) {
    case "started":
      update({ busy: true });
      break;
    case "result":
      if (data.status === "stopped") performance.mark("versalo:stopped", { detail: { id: data.id } });
      if (data.id === latest.id) update({ busy: false });
      if (data.id === latest.id && data.status !== "stopped") listed(data);
      break;
    case "endings":
      if (data.id === latest.id && !saidInstead(data.status)) {
        update({ endings: { word: latest.ending, endings: data.endings } });
      }
      break;
    case "rows": {
      const waiting = waitingRows.get(data.id);
      if (waiting) {
        waitingRows.delete(data.id);
        waiting(data.text === null ? null : linesOf(data.text));
      } else if (data.search === state.results?.id && data.text !== null) {
        const chunk = data.first / CHUNK_ROWS;
        askedChunks.delete(chunk);
        const chunks = new Map(state.results.chunks).set(chunk, linesOf(data.text));
        update({ results: { ...state.results, chunks } });
      }
      break;
    }
    case "progress":
      if (data.id === listRequest && data.total > 0) progress(data.done, data.total);
      break;
    case "list":
      listAnswered(data);
      break;
    case "index":
      // The list's index is built: searches look endings up from now on.
      performance.measure("versalo:index", { start: performance.now() - data.ms, duration: data.ms,
                                             detail: { memory: data.memory } });
      break;
    case "error":
      // The worker's own words are for developers: the console has them.
      console.error(data.message);
      update({ message: NO_CORE });
      break;
  }
};
