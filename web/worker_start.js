// Starts the worker that holds the search core and the word list. The page
// takes this module on its own, "async", so that it runs as soon as it
// comes, before the page's other modules have come and run: the worker
// starts its downloads of the core and the list that much sooner.
// core_client.js takes the same worker from here. The worker speaks only
// when spoken to, so nothing it says is lost before the page listens.
export const worker = new Worker(new URL("worker.js", import.meta.url), { type: "module" });
