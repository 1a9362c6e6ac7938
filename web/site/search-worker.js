// The search worker of a page without shared memory, both ends of its messages in one place:
// loaded by the page, it is the page's side (page.js opens it; the game, web/app/page_search.cpp,
// starts and cancels searches through melvaronSearchWorker and hears of their progress and
// results through the module's exports); run as the worker, it is the worker's side, with its
// own copy of the engine (melvaron-search.js, web/app/search_worker_main.cpp). Each message is
// {kind, ...fields} in the shape the program gives (melvaronFacts.searchMessages).
//
// A cancel ends the worker at once, since a busy worker reads no message, and a fresh one is
// started for the next search: the search needs no stop flag. The page fetches the worker's
// files once, at its start, and makes every worker from them: a page never runs another build's
// engine, whatever the host serves later.
'use strict';
(function () {
  const {searchMessages: shapes, boardSize, build} = melvaronFacts;
  // A message from its fields' values, in its shape's order; and the values of one.
  const message = (kind, ...values) =>
      Object.fromEntries([['kind', kind], ...shapes[kind].map((field, i) => [field, values[i]])]);
  const values = (m) => shapes[m.kind].map((field) => m[field]);

  // ---- The worker's side ----
  // Made from the texts of facts.js and this file; its engine comes in the first message.
  if (typeof document === 'undefined') {
    let board = 0; // the board's place in the engine's memory, once it is running
    onmessage = (event) => {
      const job = event.data;
      if (job.kind === 'load') {
        globalThis.Module = {
          wasmBinary: job.wasm,
          onRuntimeInitialized() {
            board = Module._malloc(boardSize * 4);
            postMessage(message('ready'));
          },
          printErr: (text) => postMessage(message('print', text)),
          onAbort: (what) => postMessage(message('failed', 'its engine stopped: ' + what)),
        };
        importScripts(job.engine);
        return;
      }
      HEAP32.set(job.board, board >> 2);
      const args = values(job);
      args[shapes.start.indexOf('board')] = board;
      postMessage(message('result', job.id, Module._melvaron_search(...args)));
    };
    // What the engine reports of its running search.
    globalThis.melvaronSearchWorker = {
      progress: (id, progress) => postMessage(message('progress', id, progress)),
    };
    return;
  }

  // ---- The page's side ----
  // The worker's files, fetched once (again only after a failure): the worker's script (facts.js
  // and this file as one text), its engine's script and the engine's wasm.
  let files = null;
  function fetchFiles() {
    const get = async (name) => {
      let response = null;
      try {
        response = await fetch(`${name}?build=${build}`);
      } catch (e) {
        // no answer at all
      }
      if (!response || !response.ok) throw new Error(`${name} could not be loaded`);
      return response.arrayBuffer();
    };
    const script = (...parts) => URL.createObjectURL(new Blob(parts, {type: 'text/javascript'}));
    return Promise.all(['facts.js', 'search-worker.js', 'melvaron-search.js',
                        'melvaron-search.wasm'].map(get))
        .then(([facts, worker, engine, wasm]) =>
              ({worker: script(facts, '\n', worker), engine: script(engine), wasm}));
  }

  let opened = false, told = null;
  let worker = null;    // the running worker, or null while one is made or after a failure
  let making = false;   // a worker is being made, once its files are there
  let generation = 0;   // counts the workers made and stopped: a stopped one's news is old
  let ready = false;    // the worker's engine takes searches
  let job = null;     // the search the worker runs or will run, as its start message
  let retried = false; // the search has failed once and runs again on a fresh worker

  function stop() {
    generation++;
    if (worker) worker.terminate();
    worker = null;
    making = false;
    ready = false;
  }
  function spawn() {
    stop();
    const mine = generation;
    making = true;
    files = files || fetchFiles();
    files.then((f) => {
      if (mine !== generation) return;
      making = false;
      worker = new Worker(f.worker);
      worker.onmessage = (event) => {
        if (mine === generation) heard(event.data);
      };
      worker.onerror = (event) => {
        event.preventDefault();
        if (mine === generation) failed(event.message || 'its worker could not run');
      };
      worker.postMessage(message('load', f.engine, f.wasm));
    }, (error) => {
      files = null;
      if (mine === generation) failed(error.message);
    });
  }
  function heard(m) {
    if (m.kind === 'ready') {
      ready = true;
      if (job) worker.postMessage(job);
    } else if (m.kind === 'print') {
      console.error(m.text);
    } else if (m.kind === 'failed') {
      failed(m.text);
    } else if (job && m.id === job.id) {
      if (m.kind === 'result') {
        job = null;
        told(null); // whatever failed before, the computer player searches again
      }
      const answer = m.kind === 'result' ? Module._melvaron_search_result
                                         : Module._melvaron_search_progress;
      answer(...values(m));
    }
  }
  // The worker stopped or could not start: a search it had runs once more on a fresh worker;
  // a second failure is told, and the game hears that the search failed.
  function failed(why) {
    stop();
    if (!job) return; // the next search makes a fresh worker
    if (!retried) {
      retried = true;
      spawn();
      return;
    }
    const id = job.id;
    job = null;
    told(`The computer player could not search: ${why}. YES starts a new game, NO tries again.`);
    Module._melvaron_search_result(id, melvaronFacts.searchFailed);
  }

  window.melvaronSearchWorker = {
    // Fetches the worker's files and starts a worker; tell(why) shows why the computer player
    // could not search, and tell(null) that it searches again.
    open(tell) {
      opened = true;
      told = tell;
      spawn();
    },
    // A search, its fields in the start message's order; false where the page opened no
    // worker, and the program searches by itself.
    start(...fields) {
      if (!opened) return false;
      job = message('start', ...fields);
      retried = false;
      if (ready) worker.postMessage(job);
      else if (!worker && !making) spawn();
      return true;
    },
    cancel(id) {
      if (!job || id !== job.id) return;
      job = null;
      spawn();
    },
  };
})();
