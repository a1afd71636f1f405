// The front-coded list: web/front_code.py writes it at build time, and
// web/front_coding.mjs, in the page's worker, must give back exactly the
// bytes it was made from.
//   VERSALO_LIST=build/wasm/web/rym.txt VERSALO_SITE=build/wasm/site node --test front_coding.test.mjs
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { after, test } from "node:test";
import { fileURLToPath } from "node:url";
import { gunzipSync } from "node:zlib";

import { frontDecode } from "../../web/front_coding.mjs";

const ENCODER = resolve(dirname(fileURLToPath(import.meta.url)), "../../web/front_code.py");
const work = mkdtempSync(join(tmpdir(), "versalo-fc-"));
after(() => rmSync(work, { recursive: true, force: true }));

// Many lists at once through the encoder: one process start for them all.
function encodeAll(lists) {
  const sources = lists.map((bytes, i) => {
    const source = join(work, `list-${i}`);
    writeFileSync(source, bytes);
    return source;
  });
  execFileSync("python3", [ENCODER, ...sources.flatMap((source) => [source, `${source}.fc`])]);
  return sources.map((source) => new Uint8Array(readFileSync(`${source}.fc`)));
}

test("lists come back byte for byte", () => {
  const cases = [
    "", "\n", "\n\n", "a", "a\n", "ab\nab\nab", "ab\nabc\nab\n", "котка\r\nкотки\r\n",
    `${"x".repeat(300)}\n${"x".repeat(300)}y\n${"x".repeat(299)}\n`, // more than 255 shared
    "a\0b\nа\0c\n\x1a\nafter\r", "\r\n\r\r\n", "b\na\nb\n",
  ].map((text) => Buffer.from(text, "latin1"));
  // And random ones, of the bytes the line rules name and a few others.
  let seed = 7;
  const random = () => (seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648;
  const alphabet = [0x0a, 0x0d, 0x00, 0x1a, 0x61, 0x62, 0xe0, 0xff];
  for (let i = 0; i < 60; ++i) {
    cases.push(Buffer.from(Array.from({ length: Math.floor(random() * 400) },
                                      () => alphabet[Math.floor(random() * alphabet.length)])));
  }
  const coded = encodeAll(cases);
  cases.forEach((bytes, i) => {
    assert.deepEqual(Buffer.from(frontDecode(coded[i])), bytes, JSON.stringify(bytes.toString("latin1")));
  });
});

test("what is not a front-coded list is refused", () => {
  assert.throws(() => frontDecode(new Uint8Array([1, 2, 3])), /not a front-coded list/);
  assert.throws(() => frontDecode(Buffer.from("VFC1\x01\x00no end")), /without its end/);
});

test("the site's list is the Windows package's rym.txt, byte for byte", { skip: !process.env.VERSALO_SITE },
     () => {
  const shipped = readFileSync(join(process.env.VERSALO_SITE, "rym.fc.gz"));
  const list = readFileSync(process.env.VERSALO_LIST);
  assert.ok(shipped.length < 0.35e6, `the list is ${shipped.length} bytes over the wire`);
  assert.ok(Buffer.from(frontDecode(gunzipSync(shipped))).equals(list));
});
