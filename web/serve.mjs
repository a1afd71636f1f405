// Serves the web page's folder on 127.0.0.1, with nothing but Node.js:
//   node web/serve.mjs SITE [PORT]   (PORT 0 or none: a free one; it is printed)
import { readFileSync, statSync } from "node:fs";
import { createServer } from "node:http";
import { extname, join, normalize, resolve } from "node:path";
import { argv } from "node:process";
import { pathToFileURL } from "node:url";

const TYPES = {
  ".html": "text/html; charset=utf-8", ".js": "text/javascript", ".mjs": "text/javascript",
  ".css": "text/css", ".wasm": "application/wasm", ".gz": "application/gzip",
  ".txt": "text/plain; charset=utf-8",
};

// Serves `site` under `prefix` (the tests give it a path of its own, to show
// that the page works under any path) on `port` of 127.0.0.1, 0 for a free
// one. Resolves to the page's address and a function that stops the server,
// open connections included.
export function serve(site, prefix = "/", port = 0) {
  const server = createServer((request, response) => {
    const path = decodeURIComponent(new URL(request.url, "http://x").pathname);
    if (!path.startsWith(prefix)) { response.writeHead(404).end(); return; }
    const name = normalize(path.slice(prefix.length) || "index.html");
    const file = join(site, name.endsWith("/") ? name + "index.html" : name);
    if (name.startsWith("..") || !statSync(file, { throwIfNoEntry: false })?.isFile()) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { "content-type": TYPES[extname(file)] ?? "application/octet-stream",
                              "cache-control": "no-cache" });
    response.end(readFileSync(file));
  });
  return new Promise((resolve) => {
    server.listen(port, "127.0.0.1", () => resolve({
      url: `http://127.0.0.1:${server.address().port}${prefix}`,
      close: () => new Promise((done) => { server.closeAllConnections(); server.close(done); }),
    }));
  });
}

if (import.meta.url === pathToFileURL(argv[1]).href) {
  const { url } = await serve(resolve(argv[2] ?? "."), "/", Number(argv[3] ?? 0));
  console.log(`Versalo is served at ${url} (Ctrl+C ends it)`);
}
