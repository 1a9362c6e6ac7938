// The game's facts for the page, its workers and the page's tests, each from the program's own
// headers: the web build fills in every mark, and the build's hash last. The page and the
// workers load it as a script (melvaronFacts); node requires it from the built site.
'use strict';
globalThis.melvaronFacts = Object.freeze({
  // A hash of every file the site serves: the service worker's cache is named by it.
  build: '{{melvaron:BUILD}}',
  // The client area: the picture, and the strip at its right edge.
  client: {width: {{melvaron:CLIENT_WIDTH}}, height: {{melvaron:CLIENT_HEIGHT}}},
  strip: {{melvaron:STRIP}},
  // Where the side panel shows its messages, the search's progress among them.
  messageArea: {{melvaron:MESSAGE_AREA}},
  // The board as the search reads it: this many cells, a 32-bit number each.
  boardSize: {{melvaron:BOARD_SIZE}},
  // The most threads one search works on.
  searchThreadsMax: {{melvaron:SEARCH_THREADS_MAX}},
  // The game's states by their names in the program, and the highest at which a person is
  // awaited (above it, the timer runs the game).
  states: {{melvaron:STATES}},
  awaitedMax: {{melvaron:AWAITED_MAX}},
  // What one step of a settle did (Module._melvaron_settle_step).
  settleSteps: {{melvaron:SETTLE_STEPS}},
  // The keys the game takes: the browser's number and name for each (KeyboardEvent.keyCode and
  // .key, a letter in lower case), and whether it repeats while held.
  keys: {{melvaron:KEYS}},
  // The keys as session scripts name them: the browser's name, and whether Shift is held.
  keyNames: {{melvaron:KEY_NAMES}},
  // Undo and redo with Ctrl: Ctrl with the letter key (and shift) is the key numbered code,
  // with Shift where asShift.
  ctrlKeys: {{melvaron:CTRL_KEYS}},
  // The messages between the page and its search worker: each kind's fields, in the order the
  // program passes them.
  searchMessages: {{melvaron:SEARCH_MESSAGES}},
  // The result the page hands the program for a search its worker could not run.
  searchFailed: {{melvaron:SEARCH_FAILED}},
  // The game server's protocol for a game with a friend: the endpoint and the message cap, the
  // lengths of a game's id, a secret and a history's digest (hex digits), the events' kinds and
  // the ends' reasons in the order the program numbers them, the refusals' codes by name and
  // the close codes.
  protocol: {{melvaron:PROTOCOL}},
});
if (typeof module === 'object' && module.exports) module.exports = globalThis.melvaronFacts;
