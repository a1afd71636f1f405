// The page: a box for an ending, its options, and the matches in a list
// that draws only the rows in view. The search runs in a worker that holds
// the core and the word list.
//   state.js        the page's state, and the views that draw it
//   worker_start.js starts the worker, which downloads the core and the list
//                   (the page takes it on its own, before the rest)
//   core_client.js  the worker: lists, searches, rows
//   result_list.js  the list, its selection, copying and saving
//   controls.js     the box, the options and the lines around the list
//   address.js      the search in the address, and the history
import { firstListIn, loadList } from "./core_client.js";
import { searchOnOpening } from "./address.js";
import "./controls.js";
import "./result_list.js";
import { state, update, watch } from "./state.js";

loadList(null);
searchOnOpening(document.getElementById("ending").value);

// A new version of the page: said, with a button that loads it. One that
// was already waiting when the page loaded is loaded at once, so that a
// reload always brings the newest build.
let updating = false;
function takeUpdate(waiting) {
  updating = true;
  waiting.postMessage("skip-waiting");
}
watch(["waiting"], () => { document.getElementById("update").hidden = state.waiting === null; });
document.getElementById("reload").addEventListener("click", () => takeUpdate(state.waiting));

function registerServiceWorker() {
  navigator.serviceWorker.register(new URL("sw.js", import.meta.url)).then((registration) => {
    if (registration.waiting && navigator.serviceWorker.controller) takeUpdate(registration.waiting);
    registration.addEventListener("updatefound", () => {
      const incoming = registration.installing;
      incoming?.addEventListener("statechange", () => {
        if (incoming.state === "installed" && navigator.serviceWorker.controller) update({ waiting: incoming });
      });
    });
  }).catch(() => {});
}
if ("serviceWorker" in navigator) {
  navigator.serviceWorker.addEventListener("controllerchange", () => {
    if (updating) location.reload();
  });
  // On a first visit the service worker, which downloads the whole site,
  // waits for the list, so that they do not share a slow connection.
  if (navigator.serviceWorker.controller) registerServiceWorker();
  else firstListIn().then(registerServiceWorker);
}
