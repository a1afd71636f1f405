// Starts the worker that holds the search core and the word list, and
// downloads both for it. The page takes this module on its own, "async",
// so that it runs as soon as it comes, before the page's other modules
// have come and run. The downloads start here rather than in the worker:
// a worker takes a while to start, and first fetches its own script, on a
// slow network a round trip or more. core_client.js takes the same worker
// from here. The worker speaks only when spoken to, so nothing it says is
// lost before the page listens.
export const worker = new Worker(new URL("worker.js", import.meta.url), { type: "module" });

// The downloads start once the page's scripts have run and the frame that
// shows what they drew has been painted, so that on a slow network they do
// not take the bandwidth that the page's own first paints need (a tab out
// of sight paints nothing: there they start as soon as the scripts have
// run). Each download goes to the worker as a {type: "download", name, status,
// headers, body} message as soon as its answer starts: body is the
// answer's stream, handed over, not copied; where a browser cannot hand a
// stream over, the whole answer's bytes follow instead (bytes). A download
// that fails sends {type: "download", name, failed}.
function download(name, file) {
  const failed = (error) => worker.postMessage({ type: "download", name, failed: String(error) });
  fetch(new URL(file, import.meta.url)).then((response) => {
    const answer = { type: "download", name, status: response.status,
                     headers: [...response.headers].filter(([key]) => /^content-(type|length)$/.test(key)) };
    try {
      worker.postMessage({ ...answer, body: response.body }, [response.body]);
    } catch {
      response.arrayBuffer().then((bytes) => worker.postMessage({ ...answer, bytes }, [bytes]), failed);
    }
  }, failed);
}

const downloadBoth = () => {
  download("core", "versalo.wasm");
  download("list", "rym.fc.gz");
};
const afterPaint = () => {
  if (document.visibilityState === "hidden") downloadBoth();
  else requestAnimationFrame(() => setTimeout(downloadBoth));
};
if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", afterPaint, { once: true });
else afterPaint();
