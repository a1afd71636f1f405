// Holds the search core and the word list, off the page's main thread.
//
// Messages from the page, each with an id that the answer carries back:
//   {type: "list", id, file, encoding}
//                                file: the user's own list, a File (read
//                                where it lies, never copied whole), or null
//                                for the Bulgarian list; encoding: what an
//                                earlier worker found the file to be, so
//                                that it is not read again, or undefined
//   {type: "search", id, ending} ending: the text typed, as a string
// Answers:
//   {type: "progress", id, done, total}
//                                bytes of a list read (or downloaded) so far
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
const BULGARIAN = "/rym.txt"; // in the module's memory
const OWN = "/own"; // the user's file, mounted where it lies
const NONE = "/none"; // no list: the search says "rym.txt?"
const CHUNK = 8 << 20; // bytes read at a time while a file is looked through
const core = createVersalo();

let listPath = NONE;
let utf8List = false;

const progress = (id, done, total) => postMessage({ type: "progress", id, done, total });

// The Bulgarian list, shipped front coded and gzipped; its download is told
// as it goes.
async function bulgarianList(id) {
  const response = await fetch(new URL("rym.fc.gz", import.meta.url));
  if (!response.ok) throw new Error(`rym.fc.gz: ${response.status}`);
  const total = Number(response.headers.get("content-length")) || 0;
  const chunks = [];
  let done = 0;
  for (const reader = response.body.getReader(); ;) {
    const { value, done: end } = await reader.read();
    if (end) break;
    chunks.push(value);
    done += value.length;
    progress(id, done, total);
  }
  const unpacked = new Blob(chunks).stream().pipeThrough(new DecompressionStream("gzip"));
  return frontDecode(new Uint8Array(await new Response(unpacked).arrayBuffer()));
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

// Reads a file once, piece by piece, to find out its encoding, telling how
// far it got; throws when the file cannot be read (a folder, say).
function encodingOf(file, id) {
  const reader = new FileReaderSync();
  const check = new Utf8Check();
  for (let at = 0; at < file.size; at += CHUNK) {
    check.feed(new Uint8Array(reader.readAsArrayBuffer(file.slice(at, at + CHUNK))));
    progress(id, Math.min(file.size, at + CHUNK), file.size);
  }
  return check.isUtf8() ? "utf-8" : "windows-1251";
}

async function setList({ id, file, encoding }) {
  const module = await core;
  const { FS } = module;
  let ok = true;
  // A list that cannot be read leaves the one before in place.
  try {
    if (file) {
      const found = encoding ?? encodingOf(file, id);
      if (FS.analyzePath(OWN).exists) {
        FS.unmount(OWN);
        FS.rmdir(OWN);
      }
      FS.mkdir(OWN);
      FS.mount(FS.filesystems.WORKERFS, { blobs: [{ name: "rym.txt", data: file }] }, OWN);
      utf8List = found === "utf-8";
      listPath = `${OWN}/rym.txt`;
    } else {
      FS.writeFile(BULGARIAN, await bulgarianList(id));
      utf8List = false;
      listPath = BULGARIAN;
    }
  } catch (error) {
    // With no list at all (none could ever be read) the search says
    // "rym.txt?", as the program does.
    ok = false;
  }
  postMessage({ type: "list", id, ok, encoding: utf8List ? "utf-8" : "windows-1251" });
}

async function search({ id, ending }) {
  const module = await core;
  postMessage({ type: "started", id });
  const start = performance.now();
  const code = module.ccall("versalo_search", "number", ["string", "number", "string"],
                            [ending, utf8List ? 1 : 0, listPath]);
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
