#!/usr/bin/env node
// The web page's test in real browsers: plays each session script of sessions/ in Chromium,
// Firefox and WebKit against the served page and compares the canvas, pixel for pixel, with the
// native melvaron-replay's pictures of the same script. Chromium also plays by finger on an
// emulated phone held both ways, checks the picture's fit, installs the site, replaces it with
// a new build and plays a whole game with the server gone.
//
// A session's keys go to the canvas, which takes the focus by Tab; at each "speech" the lines
// the page's live region gained (in Chromium, as its accessibility tree holds them) must be the
// lines the replay prints there.
//
// Besides the replay's commands, a session may hold directives for the page alone, as comments
// the replay tool skips:
//   # web: watch MS  the page's main thread never stalls for a second while the computer
//                    thinks, watched for MS ms and on until the progress in the message area
//                    has advanced three times
//   # web: answered  the next press is answered by its own handler: a person is awaited as
//                    soon as it returns, without a tick
//   # web: once      the session is played in the first engine only (a long game)
// A "tick N" waits until the page's timer has ticked N times more; "settle" waits until a
// person is awaited. No check stands on the clock but for bounds far above what is measured.
//
//   node test-web.js SITE_DIR MELVARON_REPLAY [--engine NAME]... [SESSION...]
// NAME is chromium, firefox or webkit (all three when none is given). Prints one line per
// check; writes "PASSED FAILED" to $MELVARON_TEST_REPORT when it is set.
'use strict';
const {AsyncLocalStorage} = require('async_hooks');
const {spawn, execFileSync} = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {ENGINES, engineNamed, playwrightTab, started, stopped} = require('./browsers');

const StateAwaiting = 100; // a person is awaited at this state number and below
const StateThinking = 115;
const MaxLoadMB = 160;
const MaxStallMs = 1000;   // the main thread's longest stall while the computer thinks
const MaxAnswerMs = 500;   // a press's own handler during a search; a tick is 50 ms
const LoadDeadline = 60000;
const ProgressShown = 3;   // the message area's changes a watch waits for
const SettleDeadline = 600000;
const LongPressMs = 500;   // the page's long press
const FingerPx = 24;       // the strip's target for a finger, in CSS pixels
const Phone = {width: 412, height: 915, deviceScaleFactor: 2.625};
const FitViewports = [[412, 915], [915, 412], [667, 375], [1180, 820]];
// More of the address for every page, e.g. search=worker for the page without threads.
const Query = process.env.MELVARON_WEB_QUERY ? '&' + process.env.MELVARON_WEB_QUERY : '';
// The replay's key names as the DOM's.
const Keys = {left: 'ArrowLeft', right: 'ArrowRight', up: 'ArrowUp', down: 'ArrowDown',
              tab: 'Tab', 'shift+tab': 'Shift+Tab', enter: 'Enter', space: ' ', escape: 'Escape',
              b: 'b', r: 'r'};

function usage(message) {
  console.error(`error: ${message}`);
  console.error('usage: node test-web.js SITE_DIR MELVARON_REPLAY [--engine NAME]... [SESSION...]');
  process.exit(2);
}

const args = process.argv.slice(2);
const engines = [], positional = [];
for (let i = 0; i < args.length; i++) {
  if (args[i] === '--engine') {
    engines.push(engineNamed(args[++i], usage));
  } else {
    positional.push(path.resolve(args[i]));
  }
}
const [site, replay, ...given] = positional;
if (!site || !replay) usage('SITE_DIR and MELVARON_REPLAY are needed');
if (!fs.existsSync(path.join(site, 'index.html'))) usage(`no index.html in ${site}`);
if (!engines.length) engines.push('chromium', 'firefox', 'webkit');
// The golden pictures every front end must show: a script, and each shot's hash.
const Golden = path.join(__dirname, '..', '..', 'tests', 'golden');
const sessions = given.length ? given
    : fs.readdirSync(path.join(__dirname, 'sessions')).filter((f) => f.endsWith('.txt')).sort()
        .map((f) => path.join(__dirname, 'sessions', f))
        .concat([path.join(Golden, 'screens.txt')]);
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'melvaron-web-'));
let passed = 0, failed = 0;

// The engines, and Chromium's pages, run side by side: each job's lines are kept together and
// printed when it ends.
const jobLines = new AsyncLocalStorage();
function say(line) {
  const lines = jobLines.getStore();
  if (lines) lines.push(line); else console.log(line);
}
function check(ok, what) {
  say(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (ok) passed++; else failed++;
  return ok;
}
const note = (text) => say(`     ${text}`);
async function job(name, run) {
  const lines = [];
  const start = Date.now();
  await jobLines.run(lines, async () => {
    try {
      await run();
    } catch (e) {
      check(false, `${name}: ${e.message.split('\n')[0]}`);
    }
    note(`${name}: ${((Date.now() - start) / 1000).toFixed(1)} s`);
  });
  console.log(lines.join('\n'));
}
// Runs the jobs, at most width at a time.
async function sideBySide(jobs, width) {
  const queue = [...jobs];
  const lane = async () => {
    while (queue.length) await queue.shift()();
  };
  await Promise.all(Array.from({length: width}, lane));
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The server of ./run --web on a free port, serving dir; with plain, without the isolation
// headers, as a static host serves.
async function serve(dir, plain) {
  const server = spawn(process.execPath,
                       [path.join(__dirname, '..', 'tools', 'serve.js'), dir, '0', ...(plain ? ['--plain'] : [])],
                       {stdio: ['ignore', 'pipe', 'inherit']});
  const [url] = await started(server, server.stdout, /http:\/\/[0-9.]+:[0-9]+\//, 'the server');
  return {server, url};
}

function parse(file) {
  const steps = [];
  let once = false;
  fs.readFileSync(file, 'utf8').split('\n').forEach((line, i) => {
    const web = /^#\s*web:\s*(watch|answered|once)\s*([0-9]*)\s*$/.exec(line);
    if (web) {
      if (web[1] === 'once') once = true;
      else steps.push({op: web[1], ms: Number(web[2]), line: i + 1});
      return;
    }
    const words = line.replace(/#.*/, '').trim().split(/\s+/).filter(Boolean);
    if (words.length) steps.push({op: words[0], args: words.slice(1), line: i + 1});
  });
  const session = {name: path.basename(file, '.txt'), file, steps, once};
  if (path.dirname(file) === Golden) {
    session.name = 'golden';
    session.golden = Object.fromEntries(fs.readFileSync(path.join(Golden, 'hashes.txt'), 'utf8')
        .split('\n').filter(Boolean).map((line) => line.split(/\s+/)));
  }
  return session;
}

// What the replay's speech commands print, one list of lines per command, in order.
function spokenByReplay(steps, output) {
  const out = output.split('\n');
  let at = 0;
  const lists = [];
  for (const step of steps) {
    if (step.op === 'state') at += 1;
    else if (step.op === 'board') at += 6;
    else if (step.op === 'speech') {
      // "speech N", then N lines "said: TEXT"
      const n = Number(out[at++].split(' ')[1]);
      lists.push(out.slice(at, at + n).map((line) => line.slice('said: '.length)));
      at += n;
    }
  }
  return lists;
}

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
  // Logs every movement, press and tick the page hands the program, with the state each left.
  // "settle MAX" lets the game have MAX ticks from where the last tick or settle left it, and
  // freezes it there until the next one, as the replay does: a tick that finds the computer
  // still thinking counts for nothing, since the replay waits for the search instead. A freeze
  // may stop the game one tick past the replay's (a search done within its starting tick).
  hook: () => {
    const log = window.testLog = {events: [], ticks: 0, counted: 0, mark: 0, limit: Infinity,
                                  menus: {shown: 0, suppressed: 0}};
    // The module replaces an export's first stub with the function itself: the wrapper stays
    // and calls whichever is current.
    const wrap = (name, kind) => {
      let handler = Module[name];
      const wrapped = (...a) => {
        if (kind === 'tick' && log.counted >= log.limit) return undefined;
        const start = performance.now(), before = Module._melvaron_state();
        const result = handler(...a);
        const state = Module._melvaron_state();
        if (kind !== 'tick') {
          log.events.push({kind, a, state, ms: Math.round(performance.now() - start)});
        } else {
          log.ticks++;
          // A search done by the poll of the tick that started it is, to the replay, whose
          // searches never are, a tick that starts it and one that finds it done.
          if (before !== 115 || state !== 115) log.counted += before === 110 && state !== 115 ? 2 : 1;
        }
        return result;
      };
      Object.defineProperty(Module, name, {get: () => wrapped, set: (f) => { handler = f; },
                                           configurable: true});
    };
    wrap('_melvaron_mouse_move', 'move');
    wrap('_melvaron_mouse_down', 'down');
    wrap('_melvaron_tick', 'tick');
    // Listening on the window, after the page's own handler has had its turn.
    window.addEventListener('contextmenu', (e) => {
      if (e.defaultPrevented) log.menus.suppressed++; else log.menus.shown++;
    });
    return window.melvaron.fit;
  },
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
  ticks: () => window.testLog.ticks,
  state: () => Module._melvaron_state(),
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
  // `wanted` times or the deadline passes, since a busy machine may hold the search back.
  watch: ({ms, wanted, deadline, thinkingState}) => new Promise((resolve) => {
    const context = document.getElementById('screen').getContext('2d');
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
      if (Module._melvaron_state() === thinkingState) {
        thinking++;
        cursors.add(document.getElementById('screen').style.cursor);
        const pixels = context.getImageData(528, 260, 216, 116).data;
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

// Whether the fit is the largest that the rule allows: a whole-number scale where one fits, else
// all the room there is (to a device pixel); inside the viewport and centred.
function fitProblem({fit, rect}, ratio) {
  const [vw, vh] = fit.viewport;
  const most = Math.min(vw / 768, vh / 512);
  const expected = most >= 1 ? Math.floor(most) : most;
  const problems = [];
  if (fit.width > 768 * expected + 1e-6 || fit.width < 768 * expected - 1 / ratio - 1e-6)
    problems.push(`scale ${fit.scale.toFixed(4)}, not ${expected.toFixed(4)}`);
  if (fit.left < 0 || fit.top < 0 || fit.left + fit.width > vw + 1e-6 ||
      fit.top + fit.height > vh + 1e-6)
    problems.push('not all visible');
  if (Math.abs(vw - fit.width - 2 * fit.left) > 1 || Math.abs(vh - fit.height - 2 * fit.top) > 1)
    problems.push('not centred');
  if ([fit.left, fit.top, fit.width, fit.height].some((v, i) => Math.abs(v - rect[i]) > 0.05))
    problems.push(`shown at ${rect.map((v) => v.toFixed(1)).join(', ')}`);
  return problems.join('; ');
}
const fitText = ({fit}) => `${fit.viewport.join(' x ')}: scale ${fit.scale.toFixed(3)}, ` +
    `${fit.width.toFixed(1)} x ${fit.height.toFixed(1)} at (${fit.left}, ${fit.top})`;

// ---- Playing one session in one page ----
// how: {engine, tab, url, finger} where finger, for a phone, holds the CDP session that sends
// touches; tab.page is the playwright page then.
async function play(session, how) {
  const {tab, engine, finger} = how;
  const dir = path.join(work, session.name);
  const label = `${engine}${finger ? ' ' + finger.name : ''} ${session.name}`;
  let fit = null, within = false, loaded = false, focused = false;
  let heard = 0; // lines of the live region already compared
  const spoken = [...session.spoken];
  const pageErrors = [];
  if (tab.page) tab.page.on('pageerror', (e) => pageErrors.push(e.message));
  // A point of the picture in the page's CSS pixels: the middle of that pixel.
  const css = (x, y) => [fit.left + (Number(x) + 0.5) * fit.scale,
                         fit.top + (Number(y) + 0.5) * fit.scale];
  const tap = async (x, y) => finger.page.touchscreen.tap(x, y);
  const longPress = async (x, y) => {
    const from = await tab.run(inPage.count);
    await finger.cdp.send('Input.dispatchTouchEvent', {type: 'touchStart', touchPoints: [{x, y}]});
    await waitFor(tab, (n) => window.testLog.events.some((e, i) => i >= n && e.kind === 'down'),
                  from, 10000, 'a long press');
    await finger.cdp.send('Input.dispatchTouchEvent', {type: 'touchEnd', touchPoints: []});
  };
  // By finger, each press is checked to reach the program as a movement to the point and a
  // press there (the strip's: a press on its last column).
  const fingerPress = async (where, button, x, y, pressX) => {
    const from = await tab.run(inPage.count);
    const [cx, cy] = x === 'strip' ? [fit.left + fit.width - FingerPx / 2, css(0, y)[1]]
                                   : css(x, y);
    if (button === 'right') await longPress(cx, cy); else await tap(cx, cy);
    const events = await tab.run(inPage.events, from);
    const got = events.map((e) => `${e.kind} ${e.a.join(' ')}`).join(', ');
    const code = button === 'right' ? 2 : 0;
    const px = pressX === undefined ? x : pressX;
    const want = x === 'strip' ? `down ${code} ${px} ${y}`
                               : `move ${x} ${y}, down ${code} ${x} ${y}`;
    check(x === 'strip' ? got.endsWith(want) : got === want,
          `${where}: a ${button === 'right' ? 'long press' : 'tap'} reaches the game as ${got}`);
    return events;
  };

  for (const step of session.steps) {
    const where = `${label}:${step.line}`;
    switch (step.op) {
    case 'seed': {
      // A fresh Firefox profile's first page has, rarely, never finished loading: it is said
      // with what the page got to, and loaded once more, as a person would.
      for (let attempt = 1; ; attempt++) {
        await tab.goto(`${how.url}?seed=${step.args[0]}${how.query || ''}${Query}`);
        try {
          await waitFor(tab, inPage.ready, null, LoadDeadline, `${where}: the first screen`);
          break;
        } catch (e) {
          const got = await tab.run(inPage.loading).catch((f) => f.message.split('\n')[0]);
          const what = `${e.message.split('\n')[0]}; the page: ${JSON.stringify(got)}`;
          if (attempt === 2) throw new Error(what);
          note(`${what}; loading it again`);
        }
      }
      const page = await tab.run(inPage.loaded);
      const ok = check(page.firstScreenMs !== null && !page.error && !page.pageErrors.length,
                       `${where}: the first screen is shown` + (page.firstScreenMs !== null ? ''
                           : ` (the page says: ${
                                 page.error || page.pageErrors[0] || page.status})`));
      if (!ok) return;
      loaded = true;
      if (engine.startsWith('chromium') && !how.query && !Query)
        check(page.isolated && page.search === 'threads',
              `${where}: the page is isolated and searches on its own threads`);
      note(`first screen ${Math.round(page.firstScreenMs)} ms after the request, ` +
           `the search on ${page.search === 'threads' ? 'threads' : 'a worker of its own'}`);
      const memory = await tab.run(inPage.memory);
      check(memory <= MaxLoadMB,
            `${where}: wasm memory at load ${memory} MB (at most ${MaxLoadMB})`);
      await tab.run(inPage.hook);
      const shown = await tab.run(inPage.fit);
      fit = shown.fit;
      if (finger) {
        const problem = fitProblem(shown, Phone.deviceScaleFactor);
        check(!problem, `${where}: the picture fits the phone, ${fitText(shown)}` +
              (problem ? ` (${problem})` : ''));
      }
      break;
    }
    case 'move':
      if (!finger) await tab.mouse(...css(step.args[0], step.args[1]));
      break; // a finger moves with its tap
    case 'press':
    case 'strip': {
      const [button, x, y] = step.op === 'strip' ? ['left', 765, 256] : step.args;
      const code = {left: 0, middle: 1, right: 2}[button];
      if (finger) {
        await fingerPress(where, button, step.op === 'strip' ? 'strip' : Number(x), Number(y),
                          step.op === 'strip' ? 767 : undefined);
      } else {
        await tab.mouse(...css(x, y), code);
      }
      if (within) {
        const [last] = (await tab.run(inPage.events, -1));
        check(last && last.kind === 'down' && last.state <= StateAwaiting && last.ms <= MaxAnswerMs,
              `${where}: answered by the press itself in ${last && last.ms} ms (state ${
                  last && last.state}; a person awaited without a tick)`);
        within = false;
      }
      break;
    }
    case 'key':
      if (!focused) {
        await checkFocus(tab, where);
        focused = true;
      }
      await tab.key(Keys[step.args[0]]);
      break;
    case 'speech': {
      const want = JSON.stringify(spoken.shift());
      const total = heard + JSON.parse(want).length;
      // The page has said them once the program is done with the key; the accessibility tree
      // may follow a moment later.
      await waitFor(tab, (n) => window.melvaronSpeech.said >= n, total, LoadDeadline,
                    `${where}: ${total} lines said`).catch(() => {});
      let got = '[]';
      for (const deadline = Date.now() + LoadDeadline; Date.now() < deadline; await sleep(50)) {
        const said = await tab.run(() => window.melvaronSpeech.said);
        const lines = await liveRegionLines(tab);
        // The region keeps its latest lines: the new ones are its last said - heard.
        got = JSON.stringify(lines ? lines.slice(Math.max(lines.length - (said - heard), 0)) : []);
        if (got === want) break;
      }
      check(got === want, `${where}: the live region read ${got}` +
            (got === want ? '' : `, not ${want}`));
      heard = await tab.run(() => window.melvaronSpeech.said);
      break;
    }
    case 'tick': {
      const n = Number(step.args[0] || 1);
      await tab.run(() => { window.testLog.limit = Infinity; });
      const from = await tab.run(inPage.ticks);
      await waitFor(tab, (target) => window.testLog.ticks >= target, from + n, LoadDeadline,
                    `${where}: ${n} ticks`);
      await tab.run(() => { window.testLog.mark = window.testLog.counted; });
      break;
    }
    case 'settle': {
      const most = step.args.length ? Number(step.args[0]) : null;
      await tab.run((n) => {
        const log = window.testLog;
        log.limit = n === null ? Infinity : log.mark + n;
      }, most);
      await waitFor(tab, (awaiting) => Module._melvaron_state() <= awaiting ||
                                       window.testLog.counted >= window.testLog.limit ||
                                       !window.melvaron.timerOn,
                    StateAwaiting, SettleDeadline, `${where}: a person awaited`);
      await tab.run(() => { window.testLog.mark = window.testLog.counted; });
      break;
    }
    case 'shot': {
      if (session.golden) {
        const hash = await tab.run(inPage.hash);
        const want = session.golden[step.args[0]];
        if (!check(hash === want, `${where}: canvas is the golden ${step.args[0]}` +
                   (hash === want ? '' : ` (SHA-256 ${hash}, not ${want})`))) {
          // Where it differs from the replay's picture of the same shot.
          const png = fs.readFileSync(path.join(dir, step.args[0])).toString('base64');
          const {count, first} = await tab.run(inPage.compare, png);
          note(`${count} pixels differ from the replay's ${step.args[0]}, first at ${first}`);
        }
        break;
      }
      const png = fs.readFileSync(path.join(dir, step.args[0])).toString('base64');
      const {count, first} = await tab.run(inPage.compare, png);
      check(count === 0, `${where}: canvas equals the replay's ${step.args[0]}` +
            (count ? ` (${count} pixels differ, first at ${first})` : ''));
      break;
    }
    case 'watch': {
      const r = await tab.run(inPage.watch, {ms: step.ms, wanted: ProgressShown,
                                             deadline: LoadDeadline, thinkingState: StateThinking});
      check(r.gap <= MaxStallMs,
            `${where}: longest gap of a 10 ms timer loop ${r.gap} ms (at most ${MaxStallMs})`);
      // Busy, or busy with the pointer on a button that answers at once.
      check(r.cursors.length > 0 && r.cursors.every((c) => c === 'wait' || c === 'progress'),
            `${where}: cursor while thinking: ${r.cursors.join(', ')}`);
      check(r.changes >= ProgressShown,
            `${where}: thinking in ${r.thinking} of ${r.samples} samples, ` +
            `progress shown ${r.changes} times in ${(r.elapsed / 1000).toFixed(1)} s`);
      break;
    }
    case 'answered':
      within = true;
      break;
    default:
      break; // state and board print; the picture is what is compared
    }
  }
  if (!loaded) return;
  const end = await tab.run(inPage.end);
  note(`wasm memory at the end: ${end.memory} MB`);
  if (end.menus.shown + end.menus.suppressed > 0)
    check(end.menus.shown === 0, `${label}: no context menu (${end.menus.suppressed} suppressed)`);
  const errors = [end.error, ...end.pageErrors, ...pageErrors].filter(Boolean);
  check(!errors.length, `${label}: no error on the page${errors.length ? ': ' + errors[0] : ''}`);
  const blocking = end.printed.filter((line) => /Blocking on the main thread/.test(line));
  check(!blocking.length, `${label}: the main thread never blocks` +
        (blocking.length ? ` (printed: ${blocking[0].slice(0, 60)})` : ''));
}

// ---- Chromium's own checks ----
async function phone(browser, url, byName, name) {
  const [width, height] =
      name === 'portrait' ? [Phone.width, Phone.height] : [Phone.height, Phone.width];
  const context = await browser.playwright.newContext({
    viewport: {width, height}, deviceScaleFactor: Phone.deviceScaleFactor, isMobile: true,
    hasTouch: true});
  const page = await context.newPage();
  const cdp = await context.newCDPSession(page);
  const tab = playwrightTab(page);
  const finger = {name, page, cdp};
  const sessions = [byName.touch, byName['computer-game']].filter(Boolean);
  for (const session of sessions) await play(session, {engine: 'chromium', tab, url, finger});
  if (!sessions.length) {
    await tab.goto(url);
    await waitFor(tab, inPage.ready, null, LoadDeadline, 'the first screen');
    await tab.run(inPage.hook);
  }

  // A swipe and a pinch over the game move and zoom nothing, and press nothing.
  const from = await tab.run(inPage.count);
  await cdp.send('Input.synthesizeScrollGesture', {x: width / 2, y: height / 2, yDistance: -300,
                                                   gestureSourceType: 'touch'});
  await cdp.send('Input.synthesizePinchGesture', {x: width / 2, y: height / 2, scaleFactor: 2.5,
                                                  gestureSourceType: 'touch'});
  const after = await tab.run(inPage.fit);
  const pressed = (await tab.run(inPage.events, from)).filter((e) => e.kind === 'down');
  check(after.zoom === 1 && after.scroll.every((v) => v === 0) &&
        after.overflow.every((v) => v <= 0) && pressed.length === 0 &&
        after.touchAction === 'none',
        `chromium ${name}: a swipe and a pinch leave the page as it was (zoom ${after.zoom}, ` +
        `scroll ${after.scroll.join(', ')}, ${pressed.length} presses, touch-action ${
            after.touchAction})`);

  // Turned the other way, and on the other screens the figures are given for.
  const sizes = name === 'portrait' ? FitViewports : [[Phone.width, Phone.height]];
  for (const [w, h] of sizes) {
    await page.setViewportSize({width: w, height: h});
    const shown = await waitFor(tab, (size) => {
      const f = window.melvaron.fit;
      return f.viewport[0] === size[0] && f.viewport[1] === size[1] && f;
    }, [w, h], 10000, `chromium ${name}: the fit for ${w} x ${h}`)
        .then(() => tab.run(inPage.fit));
    const problem = fitProblem(shown, Phone.deviceScaleFactor);
    check(!problem,
          `chromium ${name} turned to ${fitText(shown)}` + (problem ? ` (${problem})` : ''));
  }
  await context.close();
}

// The site as installed: Chromium finds no installability error; a new build deployed over it
// takes over cleanly (one cache left, the new one); with the server gone the page still plays a
// whole game. A persistent profile, since an incognito one never installs.
async function installed(byName) {
  const copy = path.join(work, 'site');
  fs.cpSync(site, copy, {recursive: true});
  let {server, url} = await serve(copy);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'melvaron-profile-'));
  const {chromium} = require('playwright-core');
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: ENGINES.chromium.executable, args: ['--no-sandbox'],
    viewport: {width: 1024, height: 640}});
  try {
    const page = context.pages()[0] || await context.newPage();
    const tab = playwrightTab(page);
    const cacheNames = () => caches.keys();
    const controlled = async () => {
      await waitFor(tab, () => navigator.serviceWorker.controller !== null &&
                                   navigator.serviceWorker.controller.state === 'activated',
                    null, LoadDeadline, 'the service worker in control');
    };
    await page.goto(`${url}?seed=1`);
    await waitFor(tab, inPage.ready, null, LoadDeadline, 'the installable page');
    await controlled();
    const cdp = await context.newCDPSession(page);
    const {installabilityErrors} = await cdp.send('Page.getInstallabilityErrors');
    const manifest = await cdp.send('Page.getAppManifest');
    check(installabilityErrors.length === 0 && manifest.errors.length === 0,
          `installable: ${installabilityErrors.map((e) => e.errorId).join(', ') || 'no error'}, ` +
          `manifest: ${manifest.errors.map((e) => e.message).join('; ') || 'no error'}`);
    const first = await tab.run(cacheNames);

    // A new build: another page.js, and a worker naming its cache anew, as the build would.
    fs.appendFileSync(path.join(copy, 'page.js'), '\n// the next build\n');
    const sw = fs.readFileSync(path.join(copy, 'sw.js'), 'utf8');
    fs.writeFileSync(path.join(copy, 'sw.js'),
                     sw.replace(/const CACHE = 'melvaron-[^']*'/, "const CACHE = 'melvaron-next'"));
    await page.reload();
    await waitFor(tab, inPage.ready, null, LoadDeadline, 'the page before the update');
    await waitFor(tab, async () => (await caches.keys()).join() === 'melvaron-next', null,
                  LoadDeadline, 'the new build in its cache').catch(() => {});
    await page.reload();
    await waitFor(tab, inPage.ready, null, LoadDeadline, 'the page after the update');
    const now = await tab.run(async () => ({
      caches: await caches.keys(),
      next: /the next build/.test(await (await fetch('page.js')).text()),
    }));
    check(first.length === 1 && now.caches.join() === 'melvaron-next' && now.next,
          `a new build takes over: caches ${first.join(', ')} then ${now.caches.join(', ')}; ` +
          `its page.js ${now.next ? 'served' : 'not served'}`);

    await stopped(server);
    server = null;
    const game = byName['computer-game'];
    if (game) await play(game, {engine: 'chromium offline', tab, url});
  } finally {
    await context.close();
    if (server) await stopped(server);
    fs.rmSync(profile, {recursive: true, force: true});
  }
}

// From a host that sends no isolation headers, the service worker adds them: the page reloads
// once under it and searches on every core.
async function staticHost(browser) {
  const {server, url} = await serve(site, true);
  const page = await browser.playwright.newPage();
  try {
    const tab = playwrightTab(page);
    let loads = 0;
    page.on('load', () => loads++);
    await page.goto(`${url}?seed=3`);
    await waitFor(tab, () => window.melvaron && window.melvaron.firstScreenMs !== null, null,
                  LoadDeadline, 'the first screen from a static host');
    const isolated = await tab.run(() => window.crossOriginIsolated);
    check(isolated && loads === 2,
          `a static host's page is isolated by the service worker (${loads} loads)`);
  } finally {
    await page.close();
    await stopped(server);
  }
}

// No trap for the keyboard: Tab past the last item of the selection (16) leaves the canvas.
async function tabLeaves(browser, url) {
  const tab = await browser.open({width: 1024, height: 640});
  try {
    await tab.goto(`${url}?seed=1`);
    await waitFor(tab, inPage.ready, null, LoadDeadline, 'the first screen');
    const within = [];
    for (let i = 0; i <= 17; ++i) {
      await tab.key('Tab');
      within.push(await tab.run(() => document.activeElement === document.getElementById('screen')));
    }
    check(within.slice(0, 17).every((x) => x) && !within[17],
          `Tab leaves the canvas after its 16 items, not before: ${within.join(' ')}`);
  } finally {
    await tab.close();
  }
}

// A bad seed in the address is one clear line on the page, and no game.
async function badSeed(browser, url) {
  const page = await browser.playwright.newPage();
  await page.goto(`${url}?seed=12x`);
  await page.waitForFunction(() => window.melvaron && window.melvaron.error !== null);
  const status = await page.evaluate(() => document.getElementById('status').textContent);
  check(status === "error: seed: '12x' is not a number from 0 to 4294967295",
        `a bad seed is refused: ${status}`);
  await page.close();
}

// A browser that can run neither build is told in one line what it lacks, never left loading.
async function lacking(browser, url) {
  const cases = [
    ['Worker', '&search=worker', 'error: this browser has no Web Workers, which the computer player needs'],
    ['WebAssembly', '', 'error: this browser cannot run WebAssembly, which the game is made of'],
  ];
  for (const [gone, query, want] of cases) {
    const page = await browser.playwright.newPage();
    try {
      await page.addInitScript((name) => { delete window[name]; }, gone);
      await page.goto(`${url}?seed=1${query}`);
      await page.waitForFunction(() => window.melvaron && window.melvaron.error !== null);
      const status = await page.evaluate(() => document.getElementById('status').textContent);
      check(status === want, `without ${gone}: ${status}`);
    } finally {
      await page.close();
    }
  }
}

// One engine: every session in its own page (Chromium's side by side, with its own checks),
// the others' one after another in their one window.
async function engineRun(engine, first, all, byName, url) {
  let browser = null;
  await job(`${engine} start`, async () => {
    browser = await ENGINES[engine].start();
    note(`${engine}: ${browser.version}`);
  });
  if (!browser) return;
  const session = (s) => () => job(`${engine} ${s.name}`, async () => {
    const tab = await browser.open({width: 1024, height: 640});
    try {
      await play(s, {engine, tab, url});
    } finally {
      await tab.close();
    }
  });
  const jobs = all.filter((s) => first || !s.once).map(session);
  if (engine === 'chromium') {
    jobs.unshift(...['portrait', 'landscape'].map(
        (o) => () => job(`chromium ${o}`, () => phone(browser, url, byName, o))));
    jobs.push(() => job('chromium installed', () => installed(byName)),
              () => job('chromium static host', () => staticHost(browser)),
              () => job('chromium bad seed', () => badSeed(browser, url)),
              () => job('chromium lacking', () => lacking(browser, url)),
              () => job('chromium keyboard', () => tabLeaves(browser, url)));
    // The page without threads, as where the page cannot share memory: a stopped deep search.
    if (byName.stop) {
      jobs.push(() => job('chromium-worker stop', async () => {
        const tab = await browser.open({width: 1024, height: 640});
        try {
          await play(byName.stop, {engine: 'chromium-worker', tab, url, query: '&search=worker'});
        } finally {
          await tab.close();
        }
      }));
    }
  }
  await sideBySide(jobs, engine === 'chromium' ? 3 : 1);
  await browser.stop().catch(() => {});
}

(async () => {
  let server = null;
  try {
    const all = sessions.map(parse);
    for (const session of all) {
      const dir = path.join(work, session.name);
      fs.mkdirSync(dir);
      try {
        session.spoken = spokenByReplay(session.steps, execFileSync(replay, [session.file], {
          cwd: dir, stdio: ['ignore', 'pipe', 'inherit'], encoding: 'utf8'}));
      } catch (e) {
        check(false, `${session.name}: the native replay failed`);
        session.spoken = [];
      }
    }
    const byName = Object.fromEntries(all.map((s) => [s.name, s]));
    const served = await serve(site);
    server = served.server;
    // The engines side by side: most of a game is the page's timer, not work.
    await Promise.all(engines.map(
        (engine, index) => engineRun(engine, index === 0, all, byName, served.url)));
  } catch (e) {
    check(false, `the browser test stopped: ${e.message.split('\n')[0]}`);
  } finally {
    if (server) await stopped(server);
  }
  if (failed) note(`the pictures are kept in ${work}`);
  else fs.rmSync(work, {recursive: true, force: true});
  console.log(`web: ${passed} passed, ${failed} failed`);
  if (process.env.MELVARON_TEST_REPORT)
    fs.writeFileSync(process.env.MELVARON_TEST_REPORT, `${passed} ${failed}\n`);
  process.exit(failed ? 1 : 0);
})();
