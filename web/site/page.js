// The page's side of the game: the canvas fitted to the screen, the mouse and the finger, the
// 50 ms timer and the module's start. The program (platform/web_app.cpp) calls back through
// Module.melvaronPage.
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

  // What the tests and a bug report read: when the first picture arrived, the last error, what
  // the program printed and the page's own errors, where the picture is shown and what searches.
  // A test sets held to step the game itself, as the replay does (Module._melvaron_settle_step,
  // Module._melvaron_tick): the timer then runs without ticking. One that sets window.melvaron
  // to {held: true} before the page runs holds it from the start (a resumed game's timer runs at
  // once).
  const state = window.melvaron = {firstScreenMs: null, error: null, told: null, timerOn: false,
                                   search: null, printed: [], pageErrors: [], fit: null,
                                   held: Boolean(window.melvaron && window.melvaron.held)};
  window.addEventListener('error', (event) => state.pageErrors.push(String(event.message)));
  window.addEventListener('unhandledrejection',
                          (event) => state.pageErrors.push('unhandled: ' + event.reason));

  const page = {
    paint(image, left, top) {
      context.putImageData(image, left, top);
      if (state.firstScreenMs === null) {
        state.firstScreenMs = performance.now(); // since the page was asked for
        status.textContent = state.told || '';
        window.dispatchEvent(new Event('melvaron-first-screen'));
      }
    },
    cursor(name) { canvas.style.cursor = name; },
    timer(on, interval) {
      stopTimer();
      state.timerOn = on;
      if (on) timer = setInterval(() => {
        if (!state.held) Module._melvaron_tick();
      }, interval);
    },
    fail(message) {
      stopTimer();
      state.timerOn = false;
      state.error = message;
      status.textContent = 'error: ' + message;
    },
    // A line beside the picture that the game goes on under (null takes it away); a screen
    // reader hears it too, unless the game says it itself.
    tell(message, say = true) {
      state.told = message;
      if (state.error !== null) return;
      status.textContent = message || '';
      if (message && say && window.melvaronLiveRegion) melvaronLiveRegion.say(message);
    },
    // The game's record, asked for by the download link (Module._melvaron_record).
    record(text) {
      if (recordUrl) URL.revokeObjectURL(recordUrl);
      recordUrl = URL.createObjectURL(new Blob([text], {type: 'text/plain;charset=utf-8'}));
      recordLink.href = recordUrl;
    },
    print(text) {
      if (state.printed.length < 100) state.printed.push(text);
      console.error(text);
    },
  };
  const running = () => state.firstScreenMs !== null && state.error === null;

  // ---- The controls beside the picture: take-back, put again, the record ----
  // Take-back and putting again are the game's own keys (U, Shift+U), whatever makes them.
  const takeBackCode = melvaronFacts.keys.find((k) => k.key === 'u').code;
  const takeBack = (again) => {
    if (running()) Module._melvaron_key(takeBackCode, again ? 1 : 0);
  };
  const controls = document.getElementById('game-controls');
  const recordLink = document.getElementById('record');
  let recordUrl = null;
  document.getElementById('take-back').addEventListener('click', () => takeBack(false));
  document.getElementById('put-again').addEventListener('click', () => takeBack(true));
  recordLink.addEventListener('click', () => {
    if (running()) Module._melvaron_record(); // sets the link's address before it is followed
  });
  // Shown while a game has started, looked at now and then whatever moved the game.
  setInterval(() => {
    const shown = running() && Module._melvaron_record_started() !== 0;
    if (controls.hidden === shown) controls.hidden = !shown;
  }, 250);

  // ---- The picture as large as the screen allows ----
  // A whole number of CSS pixels per pixel of the picture wherever one fits, so that the pixels
  // stay even squares; a smaller screen gets the largest size that fits, in whole device pixels.
  // The bar goes below the picture or at its right, whichever leaves the picture larger.
  const bar = document.getElementById('bar');
  const BarHeight = 40, BarWidth = 100; // CSS pixels
  function fit() {
    const width = window.innerWidth, height = window.innerHeight;
    const ratio = window.devicePixelRatio || 1;
    const scaleIn = (w, h) => {
      const most = Math.max(0, Math.min(w / canvas.width, h / canvas.height));
      return most >= 1 ? Math.floor(most)
          : Math.max(1, Math.floor(canvas.width * most * ratio)) / ratio / canvas.width;
    };
    const below = scaleIn(width, height - BarHeight), beside = scaleIn(width - BarWidth, height);
    const side = beside > below;
    const scale = side ? beside : below;
    const w = canvas.width * scale, h = canvas.height * scale;
    // The picture and its bar centred together, on a device pixel.
    const [allW, allH] = side ? [w + BarWidth, h] : [w, h + BarHeight];
    const left = Math.max(0, Math.round((width - allW) / 2 * ratio) / ratio);
    const top = Math.max(0, Math.round((height - allH) / 2 * ratio) / ratio);
    Object.assign(canvas.style, {width: w + 'px', height: h + 'px', left: left + 'px',
                                 top: top + 'px'});
    // The bar has at least its room, and all there is up to the viewport's edge.
    const place = side ? {left: left + w, top, width: Math.max(BarWidth, width - left - w),
                          height: h}
                       : {left, top: top + h, width: w,
                          height: Math.max(BarHeight, height - top - h)};
    bar.className = side ? 'beside' : 'below';
    Object.assign(bar.style, Object.fromEntries(Object.entries(place).map(([k, v]) =>
                                                                          [k, v + 'px'])));
    state.fit = {scale, left, top, width: w, height: h, viewport: [width, height],
                 bar: {side: bar.className, ...place}, room: {below: BarHeight, beside: BarWidth}};
  }
  fit();
  window.addEventListener('resize', fit);
  window.addEventListener('orientationchange', fit);
  if (window.visualViewport) window.visualViewport.addEventListener('resize', fit);

  // Client pixels of a point of the page, whatever size the canvas is shown at; a point outside
  // the picture gives pixels outside it.
  function at(clientX, clientY) {
    const r = canvas.getBoundingClientRect();
    return [Math.floor((clientX - r.left) * canvas.width / r.width),
            Math.floor((clientY - r.top) * canvas.height / r.height)];
  }
  const inside = ([x, y]) => x >= 0 && y >= 0 && x < canvas.width && y < canvas.height;
  function move([x, y]) {
    if (running() && inside([x, y])) Module._melvaron_mouse_move(x, y);
  }
  function press(button, [x, y]) {
    if (running() && inside([x, y])) Module._melvaron_mouse_down(button, x, y);
  }

  // ---- The mouse (and a pen's hover): as on the desktop ----
  // A button pressed while another is held comes as a movement naming that button, whose bit in
  // event.buttons (1 main, 4 middle, 2 secondary, for the DOM's buttons 0, 1 and 2) is new.
  const ButtonBit = [1, 4, 2];
  let held = 0;
  canvas.addEventListener('pointermove', (event) => {
    if (event.pointerType === 'touch') return;
    const p = at(event.clientX, event.clientY);
    move(p);
    if (event.pointerType !== 'mouse') return;
    const bit = ButtonBit[event.button] || 0;
    if (event.buttons & bit & ~held) press(event.button, p);
    held = event.buttons;
  });
  // A press gives the game the keyboard: the browser would, but the press is cancelled below.
  // The focus ring stays for the keyboard's own way in (Tab).
  canvas.addEventListener('pointerdown', () => canvas.focus({preventScroll: true,
                                                             focusVisible: false}));
  canvas.addEventListener('pointerdown', (event) => {
    if (event.pointerType !== 'mouse') return;
    event.preventDefault();
    held = event.buttons;
    press(event.button, at(event.clientX, event.clientY));
  });
  document.addEventListener('pointerup', (event) => {
    if (event.pointerType === 'mouse') held = event.buttons;
  });
  // No text selection, no middle-button scrolling, no menus, no dragging of the picture.
  for (const name of ['mousedown', 'contextmenu', 'selectstart', 'dragstart'])
    document.addEventListener(name, (event) => event.preventDefault());

  // ---- The finger: a tap is a left press, a long press a right one ----
  // Both come with a movement to the point first, as a mouse would have made. A finger that
  // slides away, or a second finger, makes no press.
  const LongPressMs = 500, SlopPx = 12;
  // The least a finger surely hits, in CSS pixels: within that of the picture's right edge, where
  // no cell or panel item answers, a finger reaches the strip (a few pixels wide on a phone).
  const FingerPx = 24;
  let finger = null;

  function fingerTarget(clientX, clientY) {
    const p = at(clientX, clientY);
    const r = canvas.getBoundingClientRect();
    const edge = clientX - r.right; // from the picture's right edge, negative inside
    if (p[1] >= 0 && p[1] < canvas.height && edge >= -FingerPx && edge < FingerPx / 2 &&
        running() && !Module._melvaron_answers_at(Math.min(p[0], canvas.width - 1), p[1]))
      return {hover: p, press: [canvas.width - 1, p[1]]}; // the strip's last column
    return {hover: p, press: p};
  }
  function endFinger() {
    if (finger) clearTimeout(finger.long);
    finger = null;
  }
  // Two fingers put down together and lifted again without sliding: a take-back.
  const TwoFingerMs = 600;
  let pair = null;
  // The controls beside the picture take a finger as buttons do.
  const onControl = (event) => event.target instanceof Element &&
                               event.target.closest('.controls') !== null;
  document.addEventListener('pointerdown', (event) => {
    if (event.pointerType === 'mouse' || onControl(event)) return;
    event.preventDefault();
    if (finger && !pair && !event.isPrimary) {
      // The events' own times: a main thread busy between the two must not make a tap long.
      pair = {start: event.timeStamp,
              down: new Map([[finger.id, [finger.x, finger.y]],
                             [event.pointerId, [event.clientX, event.clientY]]])};
      endFinger();
      return;
    }
    if (!event.isPrimary || finger) {
      endFinger(); // a third finger, or a second that came late
      pair = null;
      return;
    }
    const target = fingerTarget(event.clientX, event.clientY);
    finger = {id: event.pointerId, x: event.clientX, y: event.clientY, target};
    move(target.hover);
    finger.long = setTimeout(() => {
      press(2, target.press);
      endFinger();
    }, LongPressMs);
  });
  document.addEventListener('pointermove', (event) => {
    if (finger && event.pointerId === finger.id &&
        Math.hypot(event.clientX - finger.x, event.clientY - finger.y) > SlopPx)
      endFinger();
    const from = pair && pair.down.get(event.pointerId);
    if (from && Math.hypot(event.clientX - from[0], event.clientY - from[1]) > SlopPx)
      pair = null; // a pinch or a swipe
  });
  document.addEventListener('pointerup', (event) => {
    if (pair && pair.down.delete(event.pointerId)) {
      if (!pair.down.size && event.timeStamp - pair.start <= TwoFingerMs) takeBack(false);
      if (!pair.down.size) pair = null;
      return;
    }
    if (!finger || event.pointerId !== finger.id) return;
    const target = finger.target;
    endFinger();
    press(0, target.press);
  });
  document.addEventListener('pointercancel', () => {
    endFinger();
    pair = null;
  });
  // Older touch browsers scroll, zoom or call out from touch events whatever touch-action says.
  for (const name of ['touchstart', 'touchmove', 'gesturestart'])
    document.addEventListener(name, (event) => {
      if (!onControl(event)) event.preventDefault();
    }, {passive: false});

  // Shared memory lets the program's own threads search, on every core; without it (no
  // isolation headers, an iframe, a browser without it) one worker with its own copy of the
  // engine does, talking by messages. ?search=worker asks for the second where both can run.
  const params = new URLSearchParams(window.location.search);
  if (typeof WebAssembly !== 'object') {
    page.fail('this browser cannot run WebAssembly, which the game is made of');
    return;
  }
  // Every file the page loads names its build, which its service worker answers from that
  // build's own cache. What the page's workers run later (the threads' script, the search
  // worker's files) is fetched once, here at the start, and made into the workers from the page's
  // own copy: a new build put on the host meanwhile never reaches a running page.
  async function own(name) {
    let response = null;
    try {
      response = await fetch(`${name}?build=${melvaronFacts.build}`);
    } catch (e) {
      // no answer at all
    }
    if (!response || !response.ok) throw new Error(`${name} could not be loaded`);
    return URL.createObjectURL(new Blob([await response.arrayBuffer()],
                                        {type: 'text/javascript'}));
  }
  const named = (file) => `${file}?build=${melvaronFacts.build}`;

  async function start(threaded) {
    status.textContent = 'Loading…';
    if (!threaded && typeof Worker !== 'function') {
      page.fail('this browser has no Web Workers, which the computer player needs');
      return;
    }
    state.search = threaded ? 'threads' : 'worker';
    const seed = params.get('seed');
    window.Module = {
      melvaronPage: page,
      arguments: seed === null ? [] : ['--seed', seed],
      locateFile: named,
      printErr: (text) => page.print(text),
      onAbort: (what) => page.fail('the program stopped: ' + what),
    };
    let main = named('melvaron-single.js');
    if (threaded) {
      // The threads' workers load the program's script and their own from the page's copies.
      try {
        const [script, worker] = await Promise.all([own('melvaron.js'), own('melvaron.worker.js')]);
        main = script;
        Module.locateFile = (file) => file === 'melvaron.worker.js' ? worker : named(file);
      } catch (e) {
        page.fail(e.message);
        return;
      }
    } else {
      melvaronSearchWorker.open(page.tell);
    }
    const script = document.createElement('script');
    script.src = main;
    script.onerror = () => page.fail(`${threaded ? 'melvaron.js' : 'melvaron-single.js'} could ` +
                                     'not be loaded');
    document.body.appendChild(script);
  }

  const isolated = window.crossOriginIsolated && typeof SharedArrayBuffer === 'function';
  if (!isolated && window.melvaronIsolating) {
    // The service worker may make the page isolated by loading it once more; where it cannot,
    // the page starts as it is.
    status.textContent = 'Preparing the page…';
    window.melvaronIsolating.then((reloading) => {
      if (!reloading) start(false);
    });
  } else {
    start(isolated && params.get('search') !== 'worker');
  }
})();
