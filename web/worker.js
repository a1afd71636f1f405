// Holds the search core and the word list, off the page's main thread.
//
// Messages from the page, each with an id that the answer carries back:
//   {type: "list", id, bytes}    bytes: an ArrayBuffer with the user's own
//                                list, or null for the Bulgarian list
//   {type: "search", id, ending} ending: the text typed, as a string
// Answers:
//   {type: "started", id}        a search begins (the page may end this
//                                worker to stop it)
//   {type: "list", id, ok}       ok: false when the list could not be read
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

async function setList({ id, bytes }) {
  const module = await core;
  let ok = true;
  try {
    module.FS.writeFile(LIST, bytes ? new Uint8Array(bytes) : await bulgarianList());
  } catch (error) {
    // With no list at all the search says "rym.txt?", as the program does.
    try { module.FS.unlink(LIST); } catch (ignored) { /* there was none */ }
    ok = false;
  }
  postMessage({ type: "list", id, ok });
}

async function search({ id, ending }) {
  const module = await core;
  postMessage({ type: "started", id });
  const start = performance.now();
  const code = module.ccall("versalo_search", "number", ["string"], [ending]);
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
