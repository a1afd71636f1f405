// web/serve.mjs against requests no browser sends: each gets its status,
// and the server still serves the page after all of them.
//   node --test serve.test.mjs
import assert from "node:assert/strict";
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { connect } from "node:net";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";
import { gunzipSync } from "node:zlib";

import { serve } from "../../web/serve.mjs";

const work = mkdtempSync(join(tmpdir(), "versalo-serve-"));
const site = join(work, "site");
const PAGE = "<!doctype html><title>Versalo</title>";
let server, port;

before(async () => {
  mkdirSync(join(site, "sub"), { recursive: true });
  writeFileSync(join(site, "index.html"), PAGE);
  writeFileSync(join(site, "app.js"), "export {};\n".repeat(100));
  writeFileSync(join(site, "rym.fc.gz"), Buffer.from([0x1f, 0x8b, 8, 0]));
  writeFileSync(join(work, "secret.txt"), "not for the web");
  server = await serve(site, "/versalo/");
  port = Number(new URL(server.url).port);
});

after(async () => {
  await server?.close();
  rmSync(work, { recursive: true, force: true });
});

// Sends `head` as it stands (a request line and headers) and resolves to
// the status, the headers and the body of the answer.
function raw(head) {
  return new Promise((done, fail) => {
    const socket = connect(port, "127.0.0.1", () => socket.end(head));
    const chunks = [];
    socket.on("data", (chunk) => chunks.push(chunk));
    socket.on("error", fail);
    socket.on("close", () => {
      const all = Buffer.concat(chunks);
      const split = all.indexOf("\r\n\r\n");
      const lines = all.subarray(0, split).toString("latin1").split("\r\n");
      const headers = Object.fromEntries(lines.slice(1).map((line) => {
        const colon = line.indexOf(":");
        return [line.slice(0, colon).toLowerCase(), line.slice(colon + 1).trim()];
      }));
      done({ status: Number(lines[0].split(" ")[1]), headers, body: all.subarray(split + 4) });
    });
  });
}

const request = (method, path, headers = "") =>
  raw(`${method} ${path} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n${headers}\r\n`);

test("hostile requests get their status, and the page is served after them", async () => {
  const cases = [
    ["GET", "/versalo/%", 400],                      // a lone percent
    ["GET", "/versalo/%E0%A4%A", 400],               // a UTF-8 sequence cut short
    ["GET", "/versalo/index.html%00.txt", 400],      // a NUL
    ["GET", `/versalo/${"a".repeat(300)}`, 404],     // a name longer than any file's
    ["GET", `/versalo/${"a/".repeat(3000)}x`, 404],  // a path longer than any
    ["GET", "/versalo/index.html/x", 404],           // a file taken for a folder
    ["GET", "/versalo/sub", 404],                    // a folder
    ["GET", "/versalo/../secret.txt", 404],          // out of the site
    ["GET", "/versalo/%2e%2e/secret.txt", 404],
    ["GET", "/versalo/..%2fsecret.txt", 404],
    ["GET", "/versalo/sub/..%2f..%2fsecret.txt", 404],
    ["GET", "/versalo/..%5csecret.txt", 404],
    ["GET", "/elsewhere/index.html", 404],           // outside the prefix
    ["GET", "*", 404],
    ["POST", "/versalo/index.html", 405],
    ["DELETE", "/versalo/index.html", 405],
    ["PUT", "/versalo/index.html", 405],
    ["OPTIONS", "/versalo/", 405],
  ];
  for (const [method, path, status] of cases) {
    const got = await request(method, path);
    assert.equal(got.status, status, `${method} ${path.slice(0, 60)}`);
    assert.equal(got.headers["x-content-type-options"], "nosniff", `${method} ${path.slice(0, 60)}`);
    if (status === 405) assert.equal(got.headers.allow, "GET, HEAD");
    assert.ok(!got.body.toString().includes("not for the web"));
  }
  // What Node cannot parse at all.
  for (const head of ["HELLO\r\n\r\n", "GET / HTTP/1.1\r\nHost: x\r\nBad Header\r\n\r\n",
                      `GET / HTTP/1.1\r\nHost: x\r\nX-Long: ${"x".repeat(20000)}\r\n\r\n`]) {
    assert.equal((await raw(head)).status, 400, head.slice(0, 30));
  }
  const page = await request("GET", "/versalo/");
  assert.equal(page.status, 200);
  assert.equal(page.body.toString(), PAGE);
});

test("files carry their type, the policy, an ETag, and text goes gzipped", async () => {
  const plain = await request("GET", "/versalo/app.js");
  assert.equal(plain.status, 200);
  assert.equal(plain.headers["content-type"], "text/javascript");
  assert.match(plain.headers["content-security-policy"], /default-src 'self'/);
  assert.match(plain.headers["content-security-policy"], /script-src 'self' 'wasm-unsafe-eval'/);
  assert.equal(plain.headers["referrer-policy"], "no-referrer");
  assert.equal(plain.headers["content-encoding"], undefined);
  const etag = plain.headers.etag;
  assert.match(etag, /^"[^"]+"$/);

  const zipped = await request("GET", "/versalo/app.js", "Accept-Encoding: br, gzip\r\n");
  assert.equal(zipped.headers["content-encoding"], "gzip");
  assert.equal(gunzipSync(zipped.body).toString(), plain.body.toString());
  assert.ok(zipped.body.length < plain.body.length);
  // Already compressed: sent as it is.
  const list = await request("GET", "/versalo/rym.fc.gz", "Accept-Encoding: gzip\r\n");
  assert.equal(list.headers["content-encoding"], undefined);

  const again = await request("GET", "/versalo/app.js", `If-None-Match: "other", ${etag}\r\n`);
  assert.equal(again.status, 304);
  assert.equal(again.body.length, 0);
  assert.equal((await request("GET", "/versalo/app.js", 'If-None-Match: "other"\r\n')).status, 200);

  const head = await request("HEAD", "/versalo/index.html");
  assert.equal(head.status, 200);
  assert.equal(head.headers["content-length"], String(PAGE.length));
  assert.equal(head.body.length, 0);
});
