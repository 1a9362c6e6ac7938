// The search worker of a page without shared memory, both ends of its messages in one place:
// loaded by the page, it is the page's side (page.js opens it; the game, web/app/page_search.cpp,
// starts and cancels searches through melvaronSearchWorker and hears of their progress and
// results through the module's exports); run as the worker, it is the worker's side, with its
// own copy of the engine (melvaron-search.js, web/app/search_worker_main.cpp). Each message is
// {kind, ...fields} in the shape the program gives (melvaronFacts.searchMessages).
//
// A cancel ends the worker at once, since a busy worker reads no message, and a fresh one is
// started for the next search: the search needs no stop flag.
'use strict';
if (typeof document === 'undefined') importScripts('facts.js');
(function () {
  const {searchMessages: shapes, boardSize} = melvaronFacts;
  // A message from its fields' values, in its shape's order; and the values of one.
  const message = (kind, ...values) =>
      Object.fromEntries([['kind', kind], ...shapes[kind].map((field, i) => [field, values[i]])]);
  const values = (m) => shapes[m.kind].map((field) => m[field]);

  // ---- The worker's side ----
  if (typeof document === 'undefined') {
    let board = 0; // the board's place in the engine's memory, once it is running
    globalThis.Module = {
      onRuntimeInitialized() {
        board = Module._malloc(boardSize * 4);
        postMessage(message('ready'));
      },
      printErr: (text) => postMessage(message('error', text)),
      onAbort: (what) => postMessage(message('error', 'the search stopped: ' + what)),
    };
    // What the engine reports of its running search.
    globalThis.melvaronSearchWorker = {
      progress: (id, progress) => postMessage(message('progress', id, progress)),
    };
    onmessage = (event) => {
      const job = event.data;
      HEAP32.set(job.board, board >> 2);
      const args = values(job);
      args[shapes.start.indexOf('board')] = board;
      postMessage(message('result', job.id, Module._melvaron_search(...args)));
    };
    importScripts('melvaron-search.js');
    return;
  }

  // ---- The page's side ----
  let worker = null, ready = false;
  let current = null; // the id of the search the worker runs or will run
  let pending = null; // a search waiting for the worker to be ready
  let fail = null;

  function spawn() {
    ready = false;
    worker = new Worker('search-worker.js');
    worker.onmessage = (event) => {
      const m = event.data;
      if (m.kind === 'ready') {
        ready = true;
        if (pending) worker.postMessage(pending);
        pending = null;
      } else if (m.kind === 'error') {
        console.error(m.text);
      } else if (m.id === current) {
        if (m.kind === 'result') current = null;
        const answer = m.kind === 'result' ? Module._melvaron_search_result
                                           : Module._melvaron_search_progress;
        answer(...values(m));
      }
    };
    worker.onerror = (event) => {
      event.preventDefault();
      fail('the computer player stopped: ' + (event.message || 'its worker could not run'));
    };
  }

  window.melvaronSearchWorker = {
    // Starts the worker; onFailure(message) hears that it could not run.
    open(onFailure) {
      fail = onFailure;
      spawn();
    },
    // A search, its fields in the start message's order; false where the page opened no
    // worker, and the program searches by itself.
    start(...fields) {
      if (!worker) return false;
      const job = message('start', ...fields);
      current = job.id;
      if (ready) worker.postMessage(job);
      else pending = job;
      return true;
    },
    cancel(id) {
      if (!worker || id !== current) return;
      current = null;
      pending = null;
      worker.terminate();
      spawn();
    },
  };
})();
