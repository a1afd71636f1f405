// Holds the search core and the word list, off the page's main thread. The
// list is read once and held in the core's memory; searches run there.
//
// Messages from the page, each with an id that the answer carries back:
//   {type: "list", id, file}     file: the user's own list, a File, or null
//                                for the Bulgarian list, which the worker
//                                downloads itself (it starts as soon as the
//                                worker does, since the page begins with it)
//   {type: "search", id, ending, word, patterns, sound, order, syllables,
//    firstRows}                  ending: the text typed; word: it is a
//                                whole word, whose endings and closest
//                                rhymes are asked for; patterns: "?" is
//                                any one letter; sound: rhymes by sound;
//                                order: "file", "reverse" or "syllables";
//                                syllables: the counts kept, [] for all;
//                                firstRows: how many rows come with the
//                                results
//   {type: "rows", id, search, first, count}
//                                the text of results [first, first + count)
//                                of search `search`
//   {type: "download", name, status, headers, body | bytes | failed}
//                                the core ("core") or the Bulgarian list
//                                ("list"), as the page downloaded it
//                                (worker_start.js tells how)
// Messages of any other type are ignored.
// Answers:
//   {type: "progress", id, done, total}
//                                bytes of a list read (or downloaded) so far
//   {type: "started", id}        a search begins
//   {type: "list", id, ok, encoding, lines, ms}
//                                ok: false when the list could not be read
//                                (the one before stays); encoding:
//                                "windows-1251" or "utf-8"; ms: {core, read,
//                                held}, when the core and the list were in,
//                                and how long holding the list took
//   {type: "index", id, ms, memory}
//                                the list's index is built: searches look
//                                endings up instead of reading every line
//   {type: "error", id, message} the request failed outright
//   {type: "result", id, status, count, text, bySyllables, groups, ms}
//     status: "listed", "list-missing", "too-short", "not-cp1251",
//     "cut-short", or "stopped" when a newer search came first; count: the
//     matches; text: the first firstRows of them, one per line (the rest
//     come when asked for); bySyllables: matches of k syllables at k, before
//     any were left out; groups: for a word, its closest rhymes' groups in
//     the order of the matches, each as "ENDING\tCOUNT\n" (the ending the
//     group shares with the word); ms: how long the core took.
//   {type: "rows", id, search, first, text}
//     text: the rows asked for, one per line; null when search `search` is
//     no longer the latest.
//   {type: "endings", id, status, endings}
//     before a word's result: status: as a result's; endings: [[ending,
//     count], ...], from two letters up
//
// Timings, for the benchmark and for developers, are User Timing measures
// in the worker's own timeline (its clock starts when the worker does):
// "versalo-worker:core" (to the core compiled), "versalo-worker:list" (from
// a list asked for to the list held), of it "versalo-worker:list-hold" (the
// core finding its lines), "versalo-worker:search" (the core's part of each
// search) and "versalo-worker:index".

// The core and the Bulgarian list come from the page, which starts both
// downloads as it starts this worker (worker_start.js), each as an answer
// whose body comes as it downloads; the page always begins with that list,
// which is unpacked as it comes, while the core compiles.
const downloads = {};
for (const name of ["core", "list"]) {
  downloads[name] = {};
  downloads[name].answer = new Promise((resolve, reject) => Object.assign(downloads[name], { resolve, reject }));
}
// A {type: "download"} message from the page, as an answer.
function downloaded({ name, failed, status, headers, body, bytes }) {
  const download = downloads[name];
  if (!download) return;
  if (failed !== undefined) download.reject(new Error(`${name}: ${failed}`));
  else download.resolve(new Response(body ?? bytes, { status, headers }));
}
const coreBytes = downloads.core.answer;
coreBytes.catch(() => {}); // told when the core is awaited
let shippedList = unpacking(downloads.list.answer);

// The core, compiled as its bytes come in; where the server does not say
// that they are WebAssembly, from the whole of them. A core that cannot be
// compiled rejects.
const core = import("./versalo.mjs").then(({ default: createVersalo }) => new Promise((resolve, reject) => {
  createVersalo({
    instantiateWasm(imports, receive) {
      WebAssembly.instantiateStreaming(coreBytes.then((response) => response.clone()), imports)
        .catch(() => coreBytes.then((response) => response.arrayBuffer())
          .then((bytes) => WebAssembly.instantiate(bytes, imports)))
        .then(({ instance }) => receive(instance), reject);
      return {};
    },
  }).then(resolve, reject);
})).finally(() => performance.measure("versalo-worker:core", { start: 0 }));

const STATUS = ["listed", "list-missing", "too-short", "not-cp1251", "cut-short", "running"];
const ORDERS = { file: 0, reverse: 1, syllables: 2 };
const CHUNK = 16 << 20; // bytes read at a time from a file of one's own
// Bytes of the list a scan looks at between two looks at the page's
// messages: a few milliseconds' work, so that a newer ending is taken up at
// once.
const SLICE = 8 << 20;
let resultOf = null; // the search whose results the core holds
let heldList = null; // the id of the list the core holds

const progress = (id, done, total) => postMessage({ type: "progress", id, done, total });

// The Bulgarian list, shipped front coded and gzipped, unpacked as it
// downloads, from the moment the download starts: the unpacked pieces wait
// in `pieces` until the core takes them. `done` and `total`: the bytes
// downloaded so far, of how many (0: not said); `heard` is called as more
// come, and whenever a piece, the end or a failure does.
function unpacking(download) {
  const list = { pieces: [], ended: false, failed: null, done: 0, total: 0, heard: () => {} };
  (async () => {
    const response = await download;
    if (!response.ok) throw new Error(`rym.fc.gz: ${response.status}`);
    list.total = Number(response.headers.get("content-length")) || 0;
    const counted = new TransformStream({
      transform(piece, onward) {
        list.done += piece.length;
        list.heard();
        onward.enqueue(piece);
      },
    });
    const reader = response.body.pipeThrough(counted).pipeThrough(new DecompressionStream("gzip")).getReader();
    for (;;) {
      const { value, done } = await reader.read();
      if (done) break;
      list.pieces.push(value);
      list.heard();
    }
    list.ended = true;
  })().catch((error) => { list.failed = error; }).finally(() => list.heard());
  return list;
}

// The Bulgarian list into the core: each unpacked piece is handed to the
// core's decoder, which writes the list straight into its memory. The
// page's download serves the first list asked for; any later one is
// downloaded again, here.
async function bulgarianListInto(module, id) {
  const list = shippedList ?? unpacking(fetch(new URL("rym.fc.gz", import.meta.url)));
  shippedList = null;
  // With more than half the download to come (a slow network), the core's
  // code for finding the list's lines and scanning it is readied meanwhile.
  if (list.total > 0 && list.done < list.total / 2) module._versalo_warm_up();
  let told = -1;
  const tell = () => {
    if (list.total > 0 && list.done !== told) progress(id, list.done, list.total);
    told = list.done;
  };
  module._versalo_front_begin();
  for (;;) {
    tell();
    for (const value of list.pieces.splice(0)) {
      const at = module._versalo_front_piece(value.length) >>> 0;
      if (at === 0 && value.length > 0) throw new Error("no memory for the list");
      module.HEAPU8.set(value, at);
      if (!module._versalo_front_feed(value.length)) throw new Error("rym.fc.gz is not a front-coded list");
    }
    if (list.failed) throw list.failed;
    if (list.ended) break;
    await new Promise((resolve) => { list.heard = resolve; });
  }
  if (!module._versalo_front_end()) throw new Error("rym.fc.gz ends part way through");
}

// Whether bytes, fed in pieces, are UTF-8 with bytes over 0x7F: text in
// Windows-1251 almost never is valid UTF-8. A sequence cut by a piece's end
// waits for the next piece.
class Utf8Check {
  constructor() { this.valid = true; this.high = false; this.carry = new Uint8Array(0); }

  feed(piece) {
    if (!this.valid) return;
    let bytes = piece;
    if (this.carry.length > 0) {
      bytes = new Uint8Array(this.carry.length + piece.length);
      bytes.set(this.carry);
      bytes.set(piece, this.carry.length);
    }
    let i = 0;
    for (; i < bytes.length; ++i) {
      const lead = bytes[i];
      if (lead < 0x80) continue;
      this.high = true;
      let more, least;
      if (lead >= 0xc2 && lead <= 0xdf) [more, least] = [1, 0x80];
      else if (lead >= 0xe0 && lead <= 0xef) [more, least] = [2, 0x800];
      else if (lead >= 0xf0 && lead <= 0xf4) [more, least] = [3, 0x10000];
      else { this.valid = false; return; }
      if (i + more >= bytes.length) break; // the rest comes with the next piece
      let code = lead & (0x3f >> more);
      for (let k = 1; k <= more; ++k) {
        const next = bytes[i + k];
        if ((next & 0xc0) !== 0x80) { this.valid = false; return; }
        code = (code << 6) | (next & 0x3f);
      }
      if (code < least || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
        this.valid = false;
        return;
      }
      i += more;
    }
    this.carry = bytes.slice(i);
  }

  isUtf8() { return this.valid && this.high && this.carry.length === 0; }
}

// Reads a file into the core's memory, once, piece by piece, finding out
// its encoding on the way and telling how far it got. Throws when the file
// cannot be read (a folder, say), changes meanwhile, or memory runs out.
// Each piece is read with FileReaderSync, which a worker always has: a
// "byob" read of the file's stream was seen here to wait forever now and
// then (Chromium, a file chosen after a large search), and the worker with
// it; a piece read at once cannot.
function readInto(module, file, id) {
  const at = module._versalo_list_buffer(file.size) >>> 0;
  if (at === 0 && file.size > 0) throw new Error("no memory for the list");
  const check = new Utf8Check();
  const reader = new FileReaderSync();
  let done = 0, told = 0;
  while (done < file.size) {
    const piece = new Uint8Array(reader.readAsArrayBuffer(file.slice(done, done + CHUNK)));
    if (piece.length === 0) break;
    module.HEAPU8.set(piece, at + done);
    check.feed(piece);
    done += piece.length;
    if (done - told >= CHUNK || done === file.size) {
      progress(id, done, file.size);
      told = done;
    }
  }
  if (done !== file.size) throw new Error("the file shrank while it was read");
  return check.isUtf8();
}

async function setList({ id, file }) {
  const start = performance.now();
  const module = await core;
  const coreAt = performance.now();
  let ok = true, utf8 = false;
  try {
    if (file) utf8 = readInto(module, file, id);
    else await bulgarianListInto(module, id);
  } catch (error) {
    // A list that cannot be read leaves the one before in place; with no
    // list at all the search says "rym.txt?", as the program does.
    console.error(error);
    ok = false;
  }
  const readAt = performance.now();
  // Converted to Windows-1251 when it can be: the page still says what the
  // file was.
  if (ok && module._versalo_list_ready(utf8 ? 1 : 0) < 0) ok = false;
  else if (ok) {
    resultOf = null; // the results were the old list's
    heldList = id;
  }
  const heldAt = performance.now();
  performance.measure("versalo-worker:list-hold", { start: readAt, end: heldAt });
  performance.measure("versalo-worker:list", { start, end: heldAt });
  const ms = { core: coreAt - start, read: readAt - start, held: heldAt - readAt };
  postMessage({ type: "list", id, ok, encoding: utf8 ? "utf-8" : "windows-1251",
                lines: module._versalo_list_lines(), ms });
  if (ok) indexWhenQuiet(id);
}

// Building the index holds the worker for a few tenths of a second, and
// a search asked for meanwhile waits for it; until it is built, searches
// read every line, a few tens of ms. So it is built once the page has asked
// for nothing for QUIET ms: the first searches, typed while the page
// loads, are answered at once, and the index comes when typing pauses.
const QUIET = 500;
let indexDue = null; // {id, timer}: the list whose index waits to be built
function indexWhenQuiet(id) {
  clearTimeout(indexDue?.timer);
  indexDue = {
    id,
    timer: setTimeout(() => {
      indexDue = null;
      queue = queue.then(() => buildIndex(id)).catch(() => {});
    }, QUIET),
  };
}

async function buildIndex(id) {
  if (id !== heldList) return; // a newer list came meanwhile: its own follows
  const module = await core;
  const start = performance.now();
  if (module._versalo_build_index()) {
    const { duration } = performance.measure("versalo-worker:index", { start });
    postMessage({ type: "index", id, ms: duration, memory: module._versalo_index_memory() });
  }
}

// Lets the messages that came meanwhile be taken, then goes on.
const messagesTaken = () => new Promise((resolve) => {
  const channel = new MessageChannel();
  channel.port1.onmessage = resolve;
  channel.port2.postMessage(null);
});

async function search({ id, ending, word, patterns, sound, order, syllables, firstRows }) {
  const module = await core;
  postMessage({ type: "started", id });
  const start = performance.now();
  const options = [sound ? 1 : 0, ORDERS[order] ?? 0, (syllables ?? []).join(",")];
  if (word) {
    const status = wordEndings(module, id, ending);
    if (status !== "listed") return answer(id, start, { status, count: 0, text: "", bySyllables: [] });
    const found = STATUS[module.ccall("versalo_closest_rhymes", "number", ["string", "number", "number", "string"],
                                      [ending, ...options])];
    const groups = module.UTF8ToString(module._versalo_rhyme_groups() >>> 0);
    return answer(id, start, { ...results(module, id, found, firstRows), groups });
  }
  let status = STATUS[module.ccall("versalo_search", "number",
                                   ["string", "number", "number", "number", "string"],
                                   [ending, patterns ? 1 : 0, ...options])];
  while (status === "running") {
    await messagesTaken();
    if (id !== latestSearch) {
      postMessage({ type: "result", id, status: "stopped" });
      return;
    }
    status = STATUS[module._versalo_search_step(SLICE)];
  }
  answer(id, start, results(module, id, status, firstRows));
}

// What a search found, with its first rows, for its "result".
function results(module, id, status, firstRows) {
  let text = "", count = 0, bySyllables = [];
  if (status === "listed" || status === "cut-short") {
    resultOf = id;
    count = module._versalo_result_count();
    text = module.UTF8ToString(module._versalo_rows(0, firstRows) >>> 0);
    const counts = module.UTF8ToString(module._versalo_by_syllables() >>> 0);
    bySyllables = counts === "" ? [] : counts.split(",").map(Number);
  }
  return { status, count, text, bySyllables };
}

// Sends a search's result, with the time the core took since `start`.
function answer(id, start, found) {
  const { duration } = performance.measure("versalo-worker:search", { start });
  postMessage({ type: "result", id, ...found, ms: duration });
}

async function rows({ id, search: of, first, count }) {
  const module = await core;
  const text = of === resultOf ? module.UTF8ToString(module._versalo_rows(first, count) >>> 0) : null;
  postMessage({ type: "rows", id, search: of, first, text });
}

// Tells a word's endings with their counts; returns the status.
function wordEndings(module, id, word) {
  const status = STATUS[module.ccall("versalo_word_endings", "number", ["string"], [word])];
  const endings = status !== "listed" ? [] : module.UTF8ToString(module._versalo_text() >>> 0).split("\n")
    .filter((line) => line !== "")
    .map((line) => { const [ending, count] = line.split("\t"); return [ending, Number(count)]; });
  postMessage({ type: "endings", id, status, endings });
  return status;
}

// Lists, searches and words run in the order they came, one at a time; a
// search that a newer one has superseded by the time its turn comes is
// skipped, and one that is running stops at its next slice.
let queue = Promise.resolve();
let latestSearch = null;
onmessage = ({ data }) => {
  if (data.type === "download") return downloaded(data);
  if (indexDue !== null) indexWhenQuiet(indexDue.id); // not quiet yet
  let job;
  if (data.type === "list") {
    job = () => setList(data);
  } else if (data.type === "rows") {
    job = () => rows(data);
  } else if (data.type === "search") {
    latestSearch = data.id;
    job = () => (data.id === latestSearch ? search(data) : postMessage({ type: "result", id: data.id, status: "stopped" }));
  } else {
    return;
  }
  // A failure (the core could not load, say) is told, and the queue goes on.
  queue = queue.then(job).catch((error) =>
    postMessage({ type: "error", id: data.id, message: String(error) }));
};
