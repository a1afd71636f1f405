// Turns a front-coded word list (web/front_code.py writes it) back into the
// list's own bytes.
const MAGIC = [0x56, 0x46, 0x43, 0x31]; // "VFC1"
const LF = 0x0a;

// `coded`: a Uint8Array. Returns the list as a Uint8Array; throws on bytes
// that are not a front-coded list.
export function frontDecode(coded) {
  if (coded.length < 5 || MAGIC.some((byte, i) => coded[i] !== byte)) {
    throw new Error("not a front-coded list");
  }
  const flags = coded[4];
  if (flags > 3 || ((flags & 2) !== 0 && coded.length < 13)) throw new Error("not a front-coded list");
  const endsWithLf = (flags & 1) !== 0;
  // The list's size, when it is given.
  let expected = -1;
  let at = 5;
  if ((flags & 2) !== 0) {
    expected = 0;
    for (let i = 7; i >= 0; --i) expected = expected * 256 + coded[5 + i];
    at = 13;
  }
  // Lines are short: byte by byte beats the typed-array calls per line.
  let out = new Uint8Array(Math.max(1024, expected >= 0 ? expected + 1 : coded.length * 8));
  let size = 0;
  let previous = 0; // where the line before starts in `out`
  const length = coded.length;
  while (at < length) {
    const shared = coded[at++];
    if (size + shared + (length - at) + 1 > out.length) {
      const grown = new Uint8Array(Math.max(out.length * 2, size + shared + (length - at) + 1));
      grown.set(out.subarray(0, size));
      out = grown;
    }
    const start = size;
    for (let i = 0; i < shared; ++i) out[size++] = out[previous + i];
    let byte;
    while (at < length && (byte = coded[at++]) !== LF) out[size++] = byte;
    if (byte !== LF) throw new Error("a front-coded line without its end");
    out[size++] = LF;
    previous = start;
  }
  if (!endsWithLf && size > 0) --size; // the last line had no line feed
  if (expected >= 0 && size !== expected) throw new Error("a front-coded list of another size than it says");
  return out.slice(0, size);
}
