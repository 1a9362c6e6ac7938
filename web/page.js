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
  const state = window.melvaron = {firstScreenMs: null, error: null, timerOn: false};

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

  if (!window.crossOriginIsolated) {
    status.textContent = window.melvaronIsolating
        ? 'Preparing the page…'
        : 'This page needs cross-origin isolation (the Cross-Origin-Opener-Policy and ' +
          'Cross-Origin-Embedder-Policy headers) to run the computer player on a worker.';
    return;
  }

  const seed = new URLSearchParams(window.location.search).get('seed');
  window.Module = {
    melvaronPage: page,
    arguments: seed === null ? [] : ['--seed', seed],
    printErr: (text) => console.error(text),
    onAbort: (what) => page.fail('the program stopped: ' + what),
  };
  const script = document.createElement('script');
  script.src = 'melvaron.js';
  script.onerror = () => page.fail('melvaron.js could not be loaded');
  document.body.appendChild(script);
})();
