// The controls above and below the list: the box, the button and the
// options; the counts by syllables and a word's endings, each a control
// that searches; the message, count and loading lines; the list of one's
// own. They are drawn from the page's state, and what the user does with
// them changes the state, searches, and goes into the address.
import { MIN_ENDING, lengthOf, loadList, search } from "./core_client.js";
import { searchChanged, searchMade } from "./address.js";
import { state, update, watch } from "./state.js";

const $ = (id) => document.getElementById(id);
const form = $("search"), input = $("ending"), orderChoice = $("order"), soundChoice = $("sound");
const wordChoice = $("word"), syllablesBox = $("syllables"), endingsList = $("endings");
const message = $("message"), countText = $("count"), loading = $("loading"), file = $("file");
const SYLLABLES = (k) => (k === 1 ? "1 сричка" : `${k.toLocaleString("bg-BG")} срички`);

// The query with `changes`, searched as typing searches: the first change
// after a search that was made starts a new entry in the history.
function changeQuery(changes, at) {
  update({ query: { ...state.query, ...changes } });
  searchChanged();
  search({ typed: true, at });
}

input.addEventListener("input", (event) => {
  update({ message: "" });
  changeQuery({ ending: input.value }, event.timeStamp);
});
// Enter and the button always search, and make the search one that Back
// comes back to; an ending too short is said, and is no search made.
form.addEventListener("submit", (event) => {
  event.preventDefault();
  update({ query: { ...state.query, ending: input.value } });
  if (lengthOf(input.value) >= MIN_ENDING) searchMade();
  else searchChanged();
  search({ at: event.timeStamp });
});
orderChoice.addEventListener("change", () => changeQuery({ order: orderChoice.value }));
soundChoice.addEventListener("change", () => changeQuery({ sound: soundChoice.checked }));
wordChoice.addEventListener("change", () => {
  if (!wordChoice.checked) update({ endings: null }); // a word's, no longer asked for
  changeQuery({ word: wordChoice.checked });
});

function drawQuery() {
  const { ending, order, sound, word } = state.query;
  if (input.value !== ending) input.value = ending;
  orderChoice.value = order;
  soundChoice.checked = sound;
  wordChoice.checked = word;
  endingsList.hidden = !word || state.endings === null;
  drawCount();
}

// How many entries the list shows, and, while the box holds another
// ending, which ending they are for.
function drawCount() {
  const { results } = state;
  if (!results) {
    countText.textContent = "";
    return;
  }
  const found = `Намерени: ${results.count.toLocaleString("bg-BG")}`;
  countText.textContent = input.value === results.ending ? found : `${found} за „${results.ending}“`;
}

// The matches by syllables, each a box that keeps or leaves out that count:
// one line, which scrolls sideways when it is longer than the screen.
function drawSyllables() {
  const kept = state.query.syllables;
  const counts = (state.results?.bySyllables ?? []).map((n, k) => [k, n]).filter(([, n]) => n > 0);
  syllablesBox.replaceChildren(...counts.flatMap(([k, n], i) => {
    const label = document.createElement("label");
    const box = document.createElement("input");
    box.type = "checkbox";
    box.value = String(k);
    box.checked = kept === null || kept.includes(k);
    label.append(box, `${SYLLABLES(k)}: ${n.toLocaleString("bg-BG")}`);
    return i > 0 ? [" · ", label] : [label];
  }));
}
syllablesBox.addEventListener("change", () => {
  const boxes = [...syllablesBox.querySelectorAll("input")];
  const kept = boxes.filter((box) => box.checked).map((box) => Number(box.value));
  changeQuery({ syllables: kept.length === boxes.length ? null : kept });
});

// A word's endings, each a button that searches it as an ending.
function drawEndings() {
  endingsList.hidden = !state.query.word || state.endings === null;
  endingsList.replaceChildren(...(state.endings?.endings ?? []).map(([ending, count]) => {
    const item = document.createElement("li");
    const button = document.createElement("button");
    button.type = "button";
    button.value = ending;
    button.textContent = `-${ending}: ${count.toLocaleString("bg-BG")}`;
    button.setAttribute("aria-label", `${ending}, ${count} думи`);
    item.appendChild(button);
    return item;
  }));
}
endingsList.addEventListener("click", (event) => {
  const button = event.target.closest("button");
  if (!button) return;
  update({ query: { ...state.query, ending: button.value, word: false }, endings: null, message: "" });
  searchMade();
  search({ at: event.timeStamp });
});

function drawList() {
  const { name, encoding, progress } = state.list;
  if (progress === null) loading.textContent = "";
  else if (progress[1] > 0) loading.textContent = `Речникът се зарежда… ${Math.floor((100 * progress[0]) / progress[1])}%`;
  // A list of one's own is named, with the encoding it was read in, once
  // it is in.
  if (name !== null) {
    $("list-name").textContent = `Речник: ${name} (${encoding === "utf-8" ? "UTF-8" : "Windows-1251"})`;
  }
}

watch(["query"], drawQuery);
watch(["results"], () => { drawCount(); drawSyllables(); });
watch(["endings"], drawEndings);
watch(["message"], () => { message.textContent = state.message; });
watch(["list"], drawList);

// A list of the user's own, from the picker or dropped on the page. It is
// read in the browser, by the worker, where it lies, and goes nowhere else.
function useFile(chosen) {
  if (!chosen) return;
  update({ message: "" });
  loadList(chosen);
}
file.addEventListener("change", () => {
  const chosen = file.files[0];
  file.value = ""; // so that choosing the same file again reads it again
  useFile(chosen);
});
document.addEventListener("dragover", (event) => {
  event.preventDefault();
  document.body.classList.add("dragging");
});
document.addEventListener("dragleave", () => document.body.classList.remove("dragging"));
document.addEventListener("drop", (event) => {
  event.preventDefault();
  document.body.classList.remove("dragging");
  useFile(event.dataTransfer.files[0]);
});
