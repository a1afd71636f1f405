// Keeps the page, the core and the word list for use without a network.
// The build writes the file list and a hash of the files in; a new hash is
// a new cache, and the old one goes once the new worker takes over.
const CACHE = "versalo-@VERSION@";
const FILES = @FILES@;

self.addEventListener("install", (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)));
});

self.addEventListener("activate", (event) => {
  event.waitUntil(
    caches.keys().then((keys) =>
      Promise.all(keys.filter((key) => key.startsWith("versalo-") && key !== CACHE)
        .map((key) => caches.delete(key)))));
});

// The cache first; the network for anything else.
self.addEventListener("fetch", (event) => {
  if (event.request.method !== "GET") return;
  event.respondWith(
    caches.open(CACHE)
      .then((cache) => cache.match(event.request, { ignoreSearch: true }))
      .then((hit) => hit || fetch(event.request)));
});
