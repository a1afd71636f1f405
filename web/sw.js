// Keeps the page, the core and the word list for use without a network.
// The build writes in each file with a hash of its contents. A new build is
// a new cache, filled with the files from the old caches whose hash has
// not changed and from the network for the rest, so a changed file is the
// only one downloaded again. A new version waits until the page says to go
// on (its "Обнови" button, or the page's next load), then takes over.
const CACHE = "versalo-@VERSION@";
const FILES = @FILES@; // [path, hash]

const scope = () => self.registration.scope;
const keyOf = (path, hash) => new URL(`${path}?v=${hash}`, scope()).href;

self.addEventListener("install", (event) => {
  event.waitUntil((async () => {
    const cache = await caches.open(CACHE);
    const older = (await caches.keys()).filter((key) => key.startsWith("versalo-") && key !== CACHE);
    for (const [path, hash] of FILES) {
      const key = keyOf(path, hash);
      let response;
      for (const name of older) {
        response = await (await caches.open(name)).match(key);
        if (response) break;
      }
      if (!response) {
        response = await fetch(new URL(path, scope()), { cache: "no-cache" });
        if (!response.ok) throw new Error(`${path}: ${response.status}`);
      }
      await cache.put(key, response);
    }
  })());
});

self.addEventListener("message", (event) => {
  if (event.data === "skip-waiting") self.skipWaiting();
});

self.addEventListener("activate", (event) => {
  event.waitUntil(
    caches.keys().then((keys) =>
      Promise.all(keys.filter((key) => key.startsWith("versalo-") && key !== CACHE)
        .map((key) => caches.delete(key)))));
});

// A file of the site from the cache; anything else from the network.
self.addEventListener("fetch", (event) => {
  if (event.request.method !== "GET") return;
  const url = new URL(event.request.url);
  if (!url.href.startsWith(scope())) return;
  const path = url.pathname.slice(new URL(scope()).pathname.length) || "./";
  const file = FILES.find(([name]) => name === path);
  if (!file) return;
  event.respondWith(
    caches.open(CACHE)
      .then((cache) => cache.match(keyOf(...file)))
      .then((hit) => hit || fetch(event.request)));
});
