// The address holds the search: ?q=ENDING, and order=reverse|syllables,
// sound=1, word=1 and syllables=2,3 when they differ from the defaults (the
// names and values are versalo-find's). A value that makes no sense is
// taken as the default, never as an error.
//
// Each search the user makes has its own entry in the history, so that Back
// and Forward move between searches and show each again. A search is made
// by Enter, the button, a click on an ending, opening an address, coming to
// it with Back or Forward, or by its results standing for two seconds with
// no change. The first change after a made search starts a new entry; the
// changes after it update that entry in place, so that typing never buries
// the searches before it under one entry a letter.
import { MIN_ENDING, lengthOf, search } from "./core_client.js";
import { state, update, watch } from "./state.js";

const ORDERS = ["file", "reverse", "syllables"];
const STANDS_MS = 2000;
// Syllable counts worth keeping: a word of more is not a word.
const MOST_SYLLABLES = 99;

// The query an address asks for.
export function queryOf(search) {
  const asked = new URLSearchParams(search);
  const order = asked.get("order");
  let syllables = null;
  if (/^\d{1,2}(,\d{1,2})*$/.test(asked.get("syllables") ?? "")) {
    const counts = asked.get("syllables").split(",").map(Number).filter((k) => k >= 1 && k <= MOST_SYLLABLES);
    syllables = counts.length > 0 ? [...new Set(counts)].sort((a, b) => a - b) : null;
  }
  return { ending: asked.get("q") ?? "", order: ORDERS.includes(order) ? order : "file",
           sound: asked.get("sound") === "1", word: asked.get("word") === "1", syllables };
}

// The address of a query: the page's own, with what differs from the
// defaults.
export function addressOf({ ending, order, sound, word, syllables }) {
  const asked = new URLSearchParams();
  if (ending !== "") asked.set("q", ending);
  if (order !== "file") asked.set("order", order);
  if (sound) asked.set("sound", "1");
  if (word) asked.set("word", "1");
  if (syllables !== null) asked.set("syllables", syllables.join(","));
  const text = asked.toString();
  return location.pathname + (text === "" ? "" : `?${text}`);
}

// Whether the current entry holds a made search; kept in the entry, so
// that it holds again when Back or Forward comes to it.
let made = false;
let standing = 0;

// The address changes in place once typing pauses, so that a fast typist
// never meets a browser's ration of history calls (Safari's is 100 in 30
// s); a call past it is dropped, and the next one catches up.
const SETTLES_MS = 300;
let settling = 0;

function write(push) {
  clearTimeout(settling);
  const address = addressOf(state.query);
  try {
    if (push) history.pushState({ made }, "", address);
    else history.replaceState({ made }, "", address);
  } catch (error) {
    console.warn(error);
  }
}

// The query changed by typing or an option: in a new entry after a made
// search, at once; else in the same entry, once the changes settle.
export function searchChanged() {
  clearTimeout(standing);
  if (made) {
    made = false;
    write(true);
  } else {
    clearTimeout(settling);
    settling = setTimeout(() => write(false), SETTLES_MS);
  }
}

// The query was searched on purpose: a new entry after a made search, the
// same one after typing.
export function searchMade() {
  clearTimeout(standing);
  const push = made && addressOf(state.query) !== location.pathname + location.search;
  made = true;
  write(push);
}

// Results that stand make their search.
let shownId = null;
watch(["results"], () => {
  if (state.results?.id === shownId) return; // more rows of the same results
  shownId = state.results?.id;
  clearTimeout(standing);
  if (made || state.results?.query !== JSON.stringify(state.query)) return;
  standing = setTimeout(() => {
    made = true;
    write(false);
  }, STANDS_MS);
});

// Shows the search the address asks for, as a made search: on opening the
// page, and on Back and Forward. An ending too short to search shows in the
// box alone, and the first key after it changes the same entry.
export function searchAddress() {
  clearTimeout(standing);
  const query = queryOf(location.search);
  const searches = lengthOf(query.ending) >= MIN_ENDING;
  update({ query, message: "" });
  made = searches;
  write(false); // the address as the page understood it
  if (searches) search();
  else update({ results: null, endings: null, selection: { selected: new Uint8Array(0), count: 0, active: -1, anchor: -1 } });
}

window.addEventListener("popstate", () => searchAddress());

// The page's first search: the address's, or, when it asks for none, what
// was typed before the page's script ran, as typing searches.
export function searchOnOpening(typed) {
  if (new URLSearchParams(location.search).has("q") || typed === "") {
    searchAddress();
    return;
  }
  update({ query: { ...queryOf(location.search), ending: typed } });
  searchChanged();
  search({ typed: true });
}
