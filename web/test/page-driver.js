// The browser test's hold on one page: what it runs there (inPage: each function runs in the
// page through tab.run, so it takes nothing from here but its argument), waiting for the page,
// and reading its fit, its live region and its focus.
'use strict';
const {check} = require('./report');

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// ---- What runs in the page ----
const inPage = {
  ready: () => window.melvaron && (window.melvaron.firstScreenMs !== null ||
      window.melvaron.error !== null || window.melvaron.pageErrors.length > 0),
  loading: () => ({status: document.getElementById('status').textContent,
                   state: document.readyState, isolated: window.crossOriginIsolated,
                   controller: navigator.serviceWorker && navigator.serviceWorker.controller &&
                               navigator.serviceWorker.controller.state,
                   program: typeof Module === 'object' && Module.calledRun ? 'running'
                            : typeof Module === 'object' ? 'loading' : 'none',
                   printed: window.melvaron ? window.melvaron.printed.slice(0, 3) : null}),
  loaded: () => ({firstScreenMs: window.melvaron.firstScreenMs, error: window.melvaron.error,
                  pageErrors: window.melvaron.pageErrors, isolated: window.crossOriginIsolated,
                  search: window.melvaron.search,
                  status: document.getElementById('status').textContent}),
  // Holds the page's timer, so that the game moves on only by the test's own ticks and settles,
  // as in the replay, and logs every movement and press the page hands the program, with the
  // state each left and how long it took.
  hook: () => {
    window.melvaron.held = true;
    const log = window.testLog = {events: [], settle: null, menus: {shown: 0, suppressed: 0}};
    // The module replaces an export's first stub with the function itself: the wrapper stays
    // and calls whichever is current.
    const wrap = (name, kind) => {
      let handler = Module[name];
      const wrapped = (...a) => {
        const start = performance.now();
        const result = handler(...a);
        log.events.push({kind, a, state: Module._melvaron_state(),
                         ms: Math.round(performance.now() - start)});
        return result;
      };
      Object.defineProperty(Module, name, {get: () => wrapped, set: (f) => { handler = f; },
                                           configurable: true});
    };
    wrap('_melvaron_mouse_move', 'move');
    wrap('_melvaron_mouse_down', 'down');
    // Listening on the window, after the page's own handler has had its turn.
    window.addEventListener('contextmenu', (e) => {
      if (e.defaultPrevented) log.menus.suppressed++; else log.menus.shown++;
    });
    return window.melvaron.fit;
  },
  // The replay's "tick N": N ticks of the page's timer, given by the test.
  tick: (n) => {
    for (let i = 0; i < n; i++) Module._melvaron_tick();
  },
  // The replay's "settle MAX" (most null: no bound), step by step through the page's own
  // export, letting the page run while the computer thinks; settled() tells its end. A search
  // is asked after again soon, then less often, at most once a tick (50 ms) as the page's own
  // timer would: a long search leaves the machine to the other pages.
  settle: (most) => {
    const {awaited, searching} = melvaronFacts.settleSteps;
    const run = window.testLog.settle = {ticks: 0, done: false, error: null};
    const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
    (async () => {
      try {
        let wait = 1;
        while ((most === null || run.ticks < most) && window.melvaron.error === null) {
          const step = Module._melvaron_settle_step();
          if (step === awaited) break;
          if (step === searching) {
            await pause(wait);
            wait = Math.min(2 * wait, 50);
            continue;
          }
          wait = 1;
          if (++run.ticks % 20 === 0) await pause(0); // the page's own work goes on
        }
      } catch (e) {
        run.error = String(e);
      } finally {
        run.done = true;
      }
    })();
  },
  settled: () => window.testLog.settle.done && window.testLog.settle,
  fit: () => {
    const r = document.getElementById('screen').getBoundingClientRect();
    return {fit: window.melvaron.fit, rect: [r.left, r.top, r.width, r.height],
            scroll: [window.scrollX, window.scrollY],
            zoom: window.visualViewport ? window.visualViewport.scale : 1,
            overflow: [document.documentElement.scrollWidth - window.innerWidth,
                       document.documentElement.scrollHeight - window.innerHeight],
            touchAction: getComputedStyle(document.body).touchAction};
  },
  events: (from) => window.testLog.events.slice(from),
  count: () => window.testLog.events.length,
  said: () => window.melvaronLiveRegion.said,
  end: () => ({error: window.melvaron.error, pageErrors: window.melvaron.pageErrors,
               printed: window.melvaron.printed, menus: window.testLog.menus,
               memory: HEAP8.buffer.byteLength / 1048576}),
  memory: () => HEAP8.buffer.byteLength / 1048576,
  // The SHA-256 of the canvas's R, G and B bytes, rows from the top, as the replay's --hash.
  hash: async () => {
    const screen = document.getElementById('screen');
    const rgba = screen.getContext('2d').getImageData(0, 0, screen.width, screen.height).data;
    const rgb = new Uint8Array(rgba.length / 4 * 3);
    for (let i = 0, j = 0; i < rgba.length; i += 4, j += 3) rgb.set(rgba.subarray(i, i + 3), j);
    const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', rgb));
    return [...digest].map((b) => b.toString(16).padStart(2, '0')).join('');
  },
  // Differing pixels between the canvas and a PNG, and the first of them.
  compare: async (png) => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + png;
    await image.decode();
    const other = document.createElement('canvas');
    other.width = image.width;
    other.height = image.height;
    const context = other.getContext('2d');
    context.drawImage(image, 0, 0);
    const screen = document.getElementById('screen');
    if (image.width !== screen.width || image.height !== screen.height)
      return {count: -1, first: `size ${image.width} x ${image.height}`};
    const a = screen.getContext('2d').getImageData(0, 0, screen.width, screen.height).data;
    const b = context.getImageData(0, 0, image.width, image.height).data;
    let count = 0, first = null;
    for (let i = 0; i < a.length; i += 4) {
      if (a[i] !== b[i] || a[i + 1] !== b[i + 1] || a[i + 2] !== b[i + 2]) {
        if (!count++) first = `(${(i / 4) % screen.width}, ${Math.floor(i / 4 / screen.width)})`;
      }
    }
    return {count, first};
  },
  // A 10 ms timer loop's longest gap, and how often the message area changed while the
  // computer was thinking: watched for at least ms, and on until the progress has changed
  // `wanted` times or the deadline passes, since a busy machine may hold the search back. The
  // page's own timer runs the game meanwhile.
  watch: ({ms, wanted, deadline}) => new Promise((resolve) => {
    const {messageArea: area, states} = melvaronFacts;
    const context = document.getElementById('screen').getContext('2d');
    window.melvaron.held = false;
    const start = performance.now();
    let last = start, gap = 0, changes = 0, previous = null, thinking = 0, samples = 0;
    const cursors = new Set();
    const loop = setInterval(() => {
      const now = performance.now();
      gap = Math.max(gap, now - last);
      last = now;
    }, 10);
    const sample = setInterval(() => {
      samples++;
      // Only a change between two samples of one search counts: a new search shows anew.
      if (Module._melvaron_state() === states.gsThinking) {
        thinking++;
        cursors.add(document.getElementById('screen').style.cursor);
        const pixels = context.getImageData(area.left, area.top, area.right - area.left,
                                            area.bottom - area.top).data;
        let hash = 0;
        for (let i = 0; i < pixels.length; i++) hash = (hash * 31 + pixels[i]) | 0;
        if (previous !== null && hash !== previous) changes++;
        previous = hash;
      } else {
        previous = null;
      }
      const elapsed = performance.now() - start;
      if ((elapsed >= ms && changes >= wanted) || elapsed >= deadline) {
        clearInterval(loop);
        clearInterval(sample);
        window.melvaron.held = true;
        resolve({gap: Math.round(gap), changes, thinking, samples, cursors: [...cursors],
                 elapsed: Math.round(elapsed)});
      }
    }, 100);
  }),
};

// Polls fn(arg) in the page until it gives a true value. A page that reloads meanwhile (the
// service worker taking over) is asked again.
async function waitFor(tab, fn, arg, deadline, what) {
  const end = Date.now() + deadline;
  for (;;) {
    let value, failure = null;
    try {
      value = await tab.run(fn, arg);
    } catch (e) {
      if (!/context was destroyed|navigat/i.test(e.message)) throw e;
      failure = e;
    }
    if (value) return value;
    if (Date.now() > end)
      throw new Error(`${what}: not within ${deadline / 1000} s` +
                      (failure ? ` (${failure.message.split('\n')[0]})` : ''));
    await sleep(20);
  }
}

// Whether the fit of a picture of size client is the largest that the rule allows: a whole-number
// scale where one fits, else all the room there is (to a device pixel), with the bar below the
// picture or beside it, whichever leaves more; the two inside the viewport, centred together,
// and the bar off the picture.
function fitProblem({fit, rect}, ratio, client) {
  const [vw, vh] = fit.viewport;
  const {bar, room} = fit;
  const scaleIn = (w, h) => {
    const most = Math.min(w / client.width, h / client.height);
    return most >= 1 ? Math.floor(most) : most;
  };
  const expected = Math.max(scaleIn(vw, vh - room.below), scaleIn(vw - room.beside, vh));
  const width = client.width * expected;
  const problems = [];
  if (fit.width > width + 1e-6 || fit.width < width - 1 / ratio - 1e-6)
    problems.push(`scale ${fit.scale.toFixed(4)}, not ${expected.toFixed(4)}`);
  const right = fit.left + fit.width + (bar.side === 'beside' ? room.beside : 0);
  const bottom = fit.top + fit.height + (bar.side === 'below' ? room.below : 0);
  if (fit.left < 0 || fit.top < 0 || right > vw + 1e-6 || bottom > vh + 1e-6)
    problems.push('not all visible');
  if (Math.abs(vw - right - fit.left) > 1 || Math.abs(vh - bottom - fit.top) > 1)
    problems.push('not centred');
  const apart = bar.side === 'beside' ? bar.left >= fit.left + fit.width - 1e-6
                                      : bar.top >= fit.top + fit.height - 1e-6;
  if (!apart) problems.push(`the bar (${bar.side}) on the picture`);
  if ([fit.left, fit.top, fit.width, fit.height].some((v, i) => Math.abs(v - rect[i]) > 0.05))
    problems.push(`shown at ${rect.map((v) => v.toFixed(1)).join(', ')}`);
  return problems.join('; ');
}
const fitText = ({fit}) => `${fit.viewport.join(' x ')}: scale ${fit.scale.toFixed(3)}, ` +
    `${fit.width.toFixed(1)} x ${fit.height.toFixed(1)} at (${fit.left.toFixed(1)}, ` +
    `${fit.top.toFixed(1)}), the bar ${fit.bar.side}`;

// The live region's lines as the browser's accessibility tree holds them (Chromium's, through
// the DevTools protocol): the text under the log named "Game messages", in order. Elsewhere, as
// the page holds them.
async function liveRegionLines(tab) {
  if (!tab.page) {
    return tab.run(() => [...document.querySelectorAll('#spoken p')].map((p) => p.textContent));
  }
  const cdp = await tab.page.context().newCDPSession(tab.page);
  try {
    const {nodes} = await cdp.send('Accessibility.getFullAXTree');
    const byId = new Map(nodes.map((n) => [n.nodeId, n]));
    const log = nodes.find((n) => n.role && n.role.value === 'log' &&
                                  n.name && n.name.value === 'Game messages');
    if (!log) return null;
    const lines = [];
    const walk = (node) => {
      if (node.role && node.role.value === 'StaticText') lines.push(node.name.value);
      else for (const id of node.childIds || []) if (byId.has(id)) walk(byId.get(id));
    };
    walk(log);
    return lines;
  } finally {
    await cdp.detach();
  }
}

// The canvas takes the focus by Tab, shows a ring around it and is named for the game; the live
// region is polite and holds nothing on the canvas.
async function checkFocus(tab, where) {
  await tab.key('Tab');
  const focus = await tab.run(() => {
    const canvas = document.getElementById('screen');
    const style = getComputedStyle(canvas);
    const spoken = document.getElementById('spoken');
    const region = spoken.getBoundingClientRect(), screen = canvas.getBoundingClientRect();
    return {focused: document.activeElement === canvas,
            ring: style.outlineStyle !== 'none' && parseFloat(style.outlineWidth) >= 2,
            named: canvas.getAttribute('aria-label') === document.title,
            live: spoken.getAttribute('aria-live'),
            apart: region.width * region.height <= 1 || region.left >= screen.right ||
                   region.top >= screen.bottom};
  });
  check(focus.focused && focus.ring,
        `${where}: Tab focuses the canvas, with a focus ring (${JSON.stringify(focus)})`);
  check(focus.named && focus.live === 'polite' && focus.apart,
        `${where}: the canvas is named for the game and the polite live region is off it`);
}

// After a click on the picture the canvas has the keyboard's focus, without the ring that the
// keyboard's own way in (Tab) shows.
async function checkClickFocus(tab, where) {
  const focus = await tab.run(() => {
    const canvas = document.getElementById('screen');
    const style = getComputedStyle(canvas);
    return {focused: document.activeElement === canvas,
            ring: style.outlineStyle !== 'none' && parseFloat(style.outlineWidth) > 0};
  });
  check(focus.focused && !focus.ring,
        `${where}: a click gives the canvas the keyboard, without a focus ring ` +
        `(${JSON.stringify(focus)})`);
}

module.exports = {inPage, waitFor, sleep, fitProblem, fitText, liveRegionLines, checkFocus,
                  checkClickFocus};
