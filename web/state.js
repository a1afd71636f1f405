// The page's state, all of it in one object. Every change goes through
// update(), which hands the names of the parts that changed to each view
// that watches them; the views draw the page from the state and keep none
// of their own, so that a key, a worker's answer, Back and a resize all go
// the same way.
export const state = {
  // What the user asks for, as the controls and the address hold it.
  query: {
    ending: "", // the text in the box
    order: "file", // "file", "reverse" or "syllables"
    sound: false, // the final obstruents by sound
    word: false, // the box holds a whole word: its closest rhymes
    syllables: null, // the syllable counts kept, ascending; null: all
  },
  // The word list: null name for the Bulgarian list; progress: [done,
  // total] while one loads; the list before stays until a new one is in.
  list: { name: null, encoding: null, progress: [0, 0], loaded: false },
  // What the message line says: why the last request could not be done.
  message: "",
  // A search is running in the worker.
  busy: false,
  // The results listed: the search, what it was for, and its entries'
  // text as it comes from the worker, a chunk of rows at a time.
  //   {id, ending, word, count, bySyllables, groups: [{ending, count}],
  //    chunks: Map(chunk number -> rows)}
  results: null,
  // A word's endings with their counts, as buttons above the list: {word,
  // endings: [[ending, count], ...]}, or null.
  endings: null,
  // The selection, one flag an entry, and how many are set; the active
  // entry, which the keys move; and where a Shift range starts. Heading
  // rows are not entries.
  selection: { selected: new Uint8Array(0), count: 0, active: -1, anchor: -1 },
  // Entries last copied, said until the selection changes; null: none.
  copied: null,
  // A new version of the page is waiting: its service worker, or null.
  waiting: null,
};

const watchers = [];

// Calls `draw(changed)` after every update that changes one of `parts`
// (names of the state's fields); `changed` is the set of those changed.
export function watch(parts, draw) {
  watchers.push({ parts, draw });
}

// Sets the fields of `changes` on the state and draws what depends on them.
export function update(changes) {
  Object.assign(state, changes);
  const changed = new Set(Object.keys(changes));
  for (const { parts, draw } of watchers) {
    if (parts.some((part) => changed.has(part))) draw(changed);
  }
}
