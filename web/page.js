// The page's side of the game: the canvas, the mouse, the 50 ms timer and the module's start.
// The program (platform/web_app.cpp) calls back through Module.melvaronPage.
'use strict';
(function () {
  const canvas = document.getElementById('screen');
  const status = document.getElementById('status');
  const context = canvas.getContext('2d', {alpha: false});
  let timer = null;

  function stopTimer() {
    if (timer !== null) clearInterval(timer);
    timer = null;
  }

  // What the tests and a bug report read: when the first picture arrived, the last error.
  const state = window.melvaron =
      {firstScreenMs: null, error: null, timerOn: false, search: null};

  const page = {
    paint(image, left, top) {
      context.putImageData(image, left, top);
      if (state.firstScreenMs === null) {
        state.firstScreenMs = performance.now(); // since the page was asked for
        status.textContent = '';
      }
    },
    cursor(name) { canvas.style.cursor = name; },
    timer(on, interval) {
      stopTimer();
      state.timerOn = on;
      if (on) timer = setInterval(() => Module._melvaron_tick(), interval);
    },
    fail(message) {
      stopTimer();
      state.timerOn = false;
      state.error = message;
      status.textContent = 'error: ' + message;
    },
  };

  // Client pixels, whatever size the canvas is shown at.
  function at(event) {
    const r = canvas.getBoundingClientRect();
    return [Math.floor((event.clientX - r.left) * canvas.width / r.width),
            Math.floor((event.clientY - r.top) * canvas.height / r.height)];
  }
  canvas.addEventListener('mousemove', (event) => {
    const [x, y] = at(event);
    Module._melvaron_mouse_move(x, y);
  });
  canvas.addEventListener('mousedown', (event) => {
    event.preventDefault(); // no text selection, no middle-button scrolling
    const [x, y] = at(event);
    Module._melvaron_mouse_down(event.button, x, y);
  });
  canvas.addEventListener('contextmenu', (event) => event.preventDefault());

  // Shared memory lets the program's own threads search, on every core; without it (no
  // isolation headers, an iframe, a browser without it) one worker with its own copy of the
  // engine does, talking by messages. ?search=worker asks for the second where both can run.
  const params = new URLSearchParams(window.location.search);
  const threaded = window.crossOriginIsolated && typeof SharedArrayBuffer === 'function' &&
                   params.get('search') !== 'worker';
  if (typeof WebAssembly !== 'object') {
    page.fail('this browser cannot run WebAssembly, which the game is made of');
    return;
  }
  if (!threaded && window.melvaronIsolating) {
    status.textContent = 'Preparing the page…'; // the service worker reloads it, isolated
    return;
  }
  if (!threaded && typeof Worker !== 'function') {
    page.fail('this browser has no Web Workers, which the computer player needs');
    return;
  }
  state.search = threaded ? 'threads' : 'worker';
  if (!threaded) melvaronStartSearchWorker(page.fail);

  const seed = params.get('seed');
  window.Module = {
    melvaronPage: page,
    arguments: seed === null ? [] : ['--seed', seed],
    printErr: (text) => console.error(text),
    onAbort: (what) => page.fail('the program stopped: ' + what),
  };
  const script = document.createElement('script');
  const name = threaded ? 'melvaron.js' : 'melvaron-single.js';
  script.src = name;
  script.onerror = () => page.fail(name + ' could not be loaded');
  document.body.appendChild(script);
})();
