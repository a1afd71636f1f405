// Serves the web page's folder on 127.0.0.1, with nothing but Node.js:
//   node web/serve.mjs SITE [PORT]   (PORT 0 or none: a free one; it is printed)
//
// Every request gets an answer and the server goes on serving: a path that
// cannot be decoded or holds a NUL is a 400, one that names no file of the
// site (outside it, too long, a file taken for a folder) a 404, a method
// other than GET and HEAD a 405. Files carry an ETag (304 when it matches),
// text goes gzipped to a browser that takes it, and every answer carries
// the page's security policy.
import { createHash } from "node:crypto";
import { readFileSync, statSync } from "node:fs";
import { createServer } from "node:http";
import { extname, join, normalize, resolve, sep } from "node:path";
import { argv } from "node:process";
import { pathToFileURL } from "node:url";
import { gzipSync } from "node:zlib";

const TYPES = {
  ".html": "text/html; charset=utf-8", ".js": "text/javascript", ".mjs": "text/javascript",
  ".css": "text/css", ".wasm": "application/wasm", ".gz": "application/gzip",
  ".txt": "text/plain; charset=utf-8", ".json": "application/json",
  ".webmanifest": "application/manifest+json", ".png": "image/png", ".ico": "image/x-icon",
};
const COMPRESSIBLE = new Set([".html", ".js", ".mjs", ".css", ".txt", ".json", ".webmanifest",
                              ".wasm"]);

// The same policy the page states in its own meta tag, so that any static
// host gets it; here it comes as headers too.
export const SECURITY_HEADERS = {
  "content-security-policy": "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; " +
    "object-src 'none'; base-uri 'none'; form-action 'none'",
  "x-content-type-options": "nosniff",
  "referrer-policy": "no-referrer",
};

// The site file a request's path names, or an HTTP status: 400 for a path
// that cannot be decoded or holds a NUL, 404 for one that names no file of
// the site.
function fileFor(site, prefix, url) {
  let path;
  try {
    path = decodeURIComponent(new URL(url, "http://x").pathname);
  } catch {
    return 400;
  }
  if (path.includes("\0")) return 400;
  if (!path.startsWith(prefix)) return 404;
  const name = normalize(path.slice(prefix.length) || "index.html");
  if (name.startsWith("..") || name.split(sep).includes("..")) return 404;
  const file = join(site, name.endsWith(sep) ? name + "index.html" : name);
  if (!file.startsWith(site + sep)) return 404;
  try {
    // A name too long, or a file taken for a folder, is no file here.
    return statSync(file, { throwIfNoEntry: false })?.isFile() ? file : 404;
  } catch {
    return 404;
  }
}

function answer(site, prefix, request, response) {
  if (request.method !== "GET" && request.method !== "HEAD") {
    response.writeHead(405, { allow: "GET, HEAD", ...SECURITY_HEADERS }).end();
    return;
  }
  const file = fileFor(site, prefix, request.url);
  if (typeof file === "number") {
    response.writeHead(file, SECURITY_HEADERS).end();
    return;
  }
  let body = readFileSync(file);
  const type = extname(file);
  const etag = `"${createHash("sha256").update(body).digest("base64url").slice(0, 27)}"`;
  const headers = {
    "content-type": TYPES[type] ?? "application/octet-stream",
    "cache-control": "no-cache",
    etag,
    vary: "accept-encoding",
    ...SECURITY_HEADERS,
  };
  const matches = (request.headers["if-none-match"] ?? "").split(",").map((tag) => tag.trim());
  if (matches.includes(etag) || matches.includes("*")) {
    response.writeHead(304, headers).end();
    return;
  }
  if (COMPRESSIBLE.has(type) && /\bgzip\b/.test(request.headers["accept-encoding"] ?? "")) {
    body = gzipSync(body);
    headers["content-encoding"] = "gzip";
  }
  headers["content-length"] = body.length;
  response.writeHead(200, headers);
  response.end(request.method === "HEAD" ? undefined : body);
}

// Serves `site` under `prefix` (the tests give it a path of its own, to show
// that the page works under any path) on `port` of 127.0.0.1, 0 for a free
// one; `onRequest`, if given, hears of each request (method, URL, status,
// and the bytes sent for it, headers included).
// Resolves to the page's address and a function that stops the server, open
// connections included.
export function serve(site, prefix = "/", port = 0, { onRequest } = {}) {
  site = resolve(site);
  const server = createServer((request, response) => {
    if (onRequest) {
      const written = request.socket.bytesWritten;
      response.on("finish", () => onRequest(request.method, request.url, response.statusCode,
                                            request.socket.bytesWritten - written));
    }
    try {
      answer(site, prefix, request, response);
    } catch {
      // A file that vanished between its look-up and its reading, say.
      if (!response.headersSent) response.writeHead(500, SECURITY_HEADERS).end();
      else response.destroy();
    }
  });
  // A request Node cannot even parse gets its 400 too.
  server.on("clientError", (_, socket) => {
    if (socket.writable) socket.end("HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n");
    else socket.destroy();
  });
  return new Promise((done) => {
    server.listen(port, "127.0.0.1", () => done({
      url: `http://127.0.0.1:${server.address().port}${prefix}`,
      close: () => new Promise((closed) => { server.closeAllConnections(); server.close(closed); }),
    }));
  });
}

if (import.meta.url === pathToFileURL(argv[1]).href) {
  const { url } = await serve(resolve(argv[2] ?? "."), "/", Number(argv[3] ?? 0));
  console.log(`Versalo is served at ${url} (Ctrl+C ends it)`);
}
