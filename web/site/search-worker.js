// The page's search worker, for pages without shared memory: its own copy of the engine
// (melvaron-search.js), one search per message, answered with progress messages and the result.
// The page stops a search by ending this worker; it makes a new one for the next search.
'use strict';
let board = 0; // the board's place in the engine's memory, once it is running
var Module = {
  onRuntimeInitialized() {
    board = Module._malloc(112 * 4);
    postMessage({ready: true});
  },
  printErr: (text) => postMessage({error: text}),
  onAbort: (what) => postMessage({error: 'the search stopped: ' + what}),
};
onmessage = (event) => {
  const job = event.data;
  HEAP32.set(job.board, board >> 2);
  const result = Module._melvaron_search(job.id, job.side, job.depth, board, job.random);
  postMessage({id: job.id, result});
};
importScripts('melvaron-search.js');
