// Holds the search core and the word list, off the page's main thread.
//
// Messages from the page, each with an id that the answer carries back:
//   {type: "list", id, bytes}    bytes: an ArrayBuffer with the user's own
//                                list, or null for the Bulgarian list
//   {type: "search", id, ending} ending: the text typed, as a string
// Answers:
//   {type: "started", id}        a search begins (the page may end this
//                                worker to stop it)
//   {type: "list", id, ok, encoding}
//                                ok: false when the list could not be read;
//                                encoding: "windows-1251" or "utf-8"
//   {type: "error", id, message} the request failed outright
//   {type: "result", id, status, count, text, ms}
//     status: "listed", "list-missing", "too-short", "not-cp1251" or
//     "cut-short"; text: the matches, one per line (UTF-8 bytes, as an
//     ArrayBuffer handed over); ms: how long the core took.
import { frontDecode } from "./front_coding.mjs";
import createVersalo from "./versalo.mjs";

const STATUS = ["listed", "list-missing", "too-short", "not-cp1251", "cut-short"];
const LIST = "/rym.txt";
const core = createVersalo();

// The Bulgarian list, shipped front coded and gzipped.
async function bulgarianList() {
  const response = await fetch(new URL("rym.fc.gz", import.meta.url));
  if (!response.ok) throw new Error(`rym.fc.gz: ${response.status}`);
  const unpacked = response.body.pipeThrough(new DecompressionStream("gzip"));
  return frontDecode(new Uint8Array(await new Response(unpacked).arrayBuffer()));
}

// A list is UTF-8 when it has bytes over 0x7F and they all make valid
// UTF-8: text in Windows-1251 almost never does. Otherwise it is read as
// Windows-1251, the program's code page.
function isUtf8(bytes) {
  let high = false;
  for (let i = 0; i < bytes.length; ++i) {
    const lead = bytes[i];
    if (lead < 0x80) continue;
    high = true;
    let more, least;
    if (lead >= 0xc2 && lead <= 0xdf) [more, least] = [1, 0x80];
    else if (lead >= 0xe0 && lead <= 0xef) [more, least] = [2, 0x800];
    else if (lead >= 0xf0 && lead <= 0xf4) [more, least] = [3, 0x10000];
    else return false;
    let code = lead & (0x3f >> more);
    for (let k = 1; k <= more; ++k) {
      const next = bytes[i + k];
      if (next === undefined || (next & 0xc0) !== 0x80) return false;
      code = (code << 6) | (next & 0x3f);
    }
    if (code < least || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return false;
    i += more;
  }
  return high;
}

let utf8List = false;

async function setList({ id, bytes }) {
  const module = await core;
  let ok = true;
  try {
    const list = bytes ? new Uint8Array(bytes) : await bulgarianList();
    utf8List = bytes !== null && isUtf8(list);
    module.FS.writeFile(LIST, list);
  } catch (error) {
    // With no list at all the search says "rym.txt?", as the program does.
    try { module.FS.unlink(LIST); } catch (ignored) { /* there was none */ }
    ok = false;
  }
  postMessage({ type: "list", id, ok, encoding: utf8List ? "utf-8" : "windows-1251" });
}

async function search({ id, ending }) {
  const module = await core;
  postMessage({ type: "started", id });
  const start = performance.now();
  const code = module.ccall("versalo_search", "number", ["string", "number"], [ending, utf8List ? 1 : 0]);
  const status = STATUS[code];
  let text = new ArrayBuffer(0);
  let count = 0;
  if (status === "listed" || status === "cut-short") {
    const at = module._versalo_results();
    text = module.HEAPU8.slice(at, at + module._versalo_results_size()).buffer;
    count = module._versalo_result_count();
  }
  const ms = performance.now() - start;
  postMessage({ type: "result", id, status, count, text, ms }, [text]);
}

// Lists and searches run in the order they came, one at a time; a search
// that a newer one has superseded by the time its turn comes is skipped.
let queue = Promise.resolve();
let latestSearch = null;
onmessage = ({ data }) => {
  let job;
  if (data.type === "list") {
    job = () => setList(data);
  } else {
    latestSearch = data.id;
    job = () => data.id === latestSearch && search(data);
  }
  // A failure (the core could not load, say) is told, and the queue goes on.
  queue = queue.then(job).catch((error) =>
    postMessage({ type: "error", id: data.id, message: String(error) }));
};
