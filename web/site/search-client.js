// The page's side of its search worker (web/site/search-worker.js), for pages without shared memory:
// the game (web/app/page_search.cpp) starts and cancels searches through melvaronSearch, and hears of
// their progress and results through the module's exported functions. A cancel ends the worker
// at once, since a busy worker reads no message, and a fresh one is started for the next search.
'use strict';
function melvaronStartSearchWorker(fail) {
  let worker = null, ready = false;
  let current = null; // the id of the search the worker runs or will run
  let pending = null; // a search waiting for the worker to be ready

  function spawn() {
    ready = false;
    worker = new Worker('search-worker.js');
    worker.onmessage = (event) => {
      const m = event.data;
      if (m.ready) {
        ready = true;
        if (pending) worker.postMessage(pending);
        pending = null;
      } else if (m.error !== undefined) {
        console.error(m.error);
      } else if (m.id === current) {
        if (m.result === undefined) {
          Module._melvaron_search_progress(m.id, m.progress);
        } else {
          current = null;
          Module._melvaron_search_result(m.id, m.result);
        }
      }
    };
    worker.onerror = (event) => {
      event.preventDefault();
      fail('the computer player stopped: ' + (event.message || 'its worker could not run'));
    };
  }

  globalThis.melvaronSearch = {
    start(id, side, depth, board, random) {
      current = id;
      const job = {id, side, depth, board, random};
      if (ready) worker.postMessage(job);
      else pending = job;
    },
    cancel(id) {
      if (id !== current) return;
      current = null;
      pending = null;
      worker.terminate();
      spawn();
    },
  };
  spawn();
}
