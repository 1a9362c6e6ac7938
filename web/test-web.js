#!/usr/bin/env node
// The web page's test in a real browser: plays each session script of sessions/ in headless
// Chromium against the served page and compares the canvas, pixel for pixel, with the native
// melvaron-replay's pictures of the same script. A session's keys go to the focused canvas; at
// each speech command the lines the page's live region gained, as the browser's accessibility
// tree holds them, must be the lines the replay prints there. Besides the replay's commands, a
// session may hold two directives for the page alone, as comments the replay tool skips:
//   # web: watch MS   for MS ms the page's main thread never stalls over 100 ms while the
//                     computer thinks, and the progress in the message area advances
//   # web: within MS  the next press is answered (a person is awaited) by its own handler,
//                     which takes at most MS ms
//
//   node test-web.js SITE_DIR MELVARON_REPLAY [SESSION...]
// Prints one line per check; writes "PASSED FAILED" to $MELVARON_TEST_REPORT when it is set.
'use strict';
const {spawn, execFileSync} = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {chromium} = require('playwright-core');

const [site, replay, ...given] = process.argv.slice(2).map((a) => path.resolve(a));
if (!site || !replay) {
  console.error('usage: node test-web.js SITE_DIR MELVARON_REPLAY [SESSION...]');
  process.exit(2);
}
const sessions = given.length ? given
    : fs.readdirSync(path.join(__dirname, 'sessions')).filter((f) => f.endsWith('.txt')).sort()
        .map((f) => path.join(__dirname, 'sessions', f));
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'melvaron-web-'));
const StateAwaiting = 100; // a person is awaited at this state number and below
const Tick = 50;
// More of the address, e.g. search=worker for the page without threads.
const Query = process.env.MELVARON_WEB_QUERY ? '&' + process.env.MELVARON_WEB_QUERY : '';
const MaxLoadMB = 160;
const GameName = 'Melvaron (Oskalet) Dunmiro';
// The replay's key names as the browser's.
const Keys = {left: 'ArrowLeft', right: 'ArrowRight', up: 'ArrowUp', down: 'ArrowDown',
              tab: 'Tab', 'shift+tab': 'Shift+Tab', enter: 'Enter', space: ' ', escape: 'Escape',
              b: 'b', r: 'r'};
let passed = 0, failed = 0;

function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (ok) passed++; else failed++;
  return ok;
}

// The server of ./run --web on a free port; resolves to its address.
function serve() {
  const server = spawn(process.execPath, [path.join(__dirname, 'serve.js'), site, '0'],
                       {stdio: ['ignore', 'pipe', 'inherit']});
  return new Promise((resolve, reject) => {
    server.stdout.on('data', (data) => {
      const m = /http:\/\/[0-9.]+:[0-9]+\//.exec(String(data));
      if (m) resolve({server, url: m[0]});
    });
    server.on('exit', (code) => reject(new Error(`the server stopped (status ${code})`)));
  });
}

async function headersOf(url) {
  const response = await fetch(url);
  return ['cross-origin-opener-policy', 'cross-origin-embedder-policy']
      .map((h) => `${h}: ${response.headers.get(h)}`).join(', ');
}

function parse(file) {
  const steps = [];
  let directive = null;
  fs.readFileSync(file, 'utf8').split('\n').forEach((line, i) => {
    const web = /^#\s*web:\s*(watch|within)\s+([0-9]+)\s*$/.exec(line);
    if (web) {
      steps.push({op: web[1], ms: Number(web[2]), line: i + 1});
      return;
    }
    const words = line.replace(/#.*/, '').trim().split(/\s+/).filter(Boolean);
    if (words.length) steps.push({op: words[0], args: words.slice(1), line: i + 1});
  });
  return steps;
}

const inPage = {
  state: () => Module._melvaron_state(),
  // Differing pixels between the canvas and a PNG, and the first of them.
  compare: async (png) => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + png;
    await image.decode();
    const other = new OffscreenCanvas(image.width, image.height).getContext('2d');
    other.drawImage(image, 0, 0);
    const screen = document.getElementById('screen');
    if (image.width !== screen.width || image.height !== screen.height)
      return {count: -1, first: `size ${image.width} x ${image.height}`};
    const a = screen.getContext('2d').getImageData(0, 0, screen.width, screen.height).data;
    const b = other.getImageData(0, 0, image.width, image.height).data;
    let count = 0, first = null;
    for (let i = 0; i < a.length; i += 4) {
      if (a[i] !== b[i] || a[i + 1] !== b[i + 1] || a[i + 2] !== b[i + 2]) {
        if (!count++) first = `(${(i / 4) % screen.width}, ${Math.floor(i / 4 / screen.width)})`;
      }
    }
    return {count, first};
  },
  // A 10 ms timer loop's longest gap, and how often the message area changed while the
  // computer was thinking.
  watch: (ms) => new Promise((resolve) => {
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
      if (Module._melvaron_state() !== 115) {
        previous = null;
        return;
      }
      thinking++;
      cursors.add(document.getElementById('screen').style.cursor);
      const pixels = context.getImageData(528, 260, 216, 116).data;
      let hash = 0;
      for (let i = 0; i < pixels.length; i++) hash = (hash * 31 + pixels[i]) | 0;
      if (previous !== null && hash !== previous) changes++;
      previous = hash;
    }, 100);
    setTimeout(() => {
      clearInterval(loop);
      clearInterval(sample);
      resolve({gap: Math.round(gap), changes, thinking, samples, cursors: [...cursors]});
    }, ms);
  }),
};

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
// the DevTools protocol): the text under the log named "Game messages", in order. Browsers
// without that protocol are read through Playwright's own snapshot of the tree.
async function liveRegionLines(page) {
  if (page.context().browser().browserType().name() !== 'chromium') {
    const tree = await page.locator('#spoken').ariaSnapshot();
    return tree.split('\n').map((line) => /^\s*- paragraph: (.*)$/.exec(line)).filter(Boolean)
        .map(([, text]) => (text.startsWith('"') ? JSON.parse(text) : text));
  }
  const cdp = await page.context().newCDPSession(page);
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
async function checkFocus(page, where) {
  await page.keyboard.press('Tab');
  const focus = await page.evaluate(() => {
    const canvas = document.getElementById('screen');
    const style = getComputedStyle(canvas);
    const spoken = document.getElementById('spoken');
    const region = spoken.getBoundingClientRect(), screen = canvas.getBoundingClientRect();
    return {focused: document.activeElement === canvas,
            ring: style.outlineStyle !== 'none' && parseFloat(style.outlineWidth) >= 2,
            label: canvas.getAttribute('aria-label'),
            live: spoken.getAttribute('aria-live'),
            apart: region.width * region.height <= 1 || region.left >= screen.right ||
                   region.top >= screen.bottom};
  });
  check(focus.focused && focus.ring,
        `${where}: Tab focuses the canvas, with a focus ring (${JSON.stringify(focus)})`);
  check(focus.label === GameName && focus.live === 'polite' && focus.apart,
        `${where}: the canvas is named for the game and the polite live region is off it`);
}

async function play(browser, url, file) {
  const name = path.basename(file, '.txt');
  const dir = path.join(work, name);
  fs.mkdirSync(dir);
  const steps = parse(file);
  let spoken;
  try {
    spoken = spokenByReplay(steps, execFileSync(replay, [file], {
      cwd: dir, stdio: ['ignore', 'pipe', 'inherit'], encoding: 'utf8'}));
  } catch (e) {
    return check(false, `${name}: the native replay failed`);
  }
  let heard = 0; // lines of the live region already compared
  let focused = false;
  const page = await browser.newPage({viewport: {width: 1024, height: 640}});
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  let box = null, within = null;
  const at = (x, y) => [box.x + Number(x) + 0.5, box.y + Number(y) + 0.5];
  for (const step of steps) {
    const where = `${name}:${step.line}`;
    switch (step.op) {
    case 'seed':
      await page.goto(`${url}?seed=${step.args[0]}${Query}`);
      await page.waitForFunction(() => window.melvaron &&
          (window.melvaron.firstScreenMs !== null || window.melvaron.error));
      check(await page.evaluate(() => window.crossOriginIsolated), `${where}: the page is isolated`);
      console.log(`     first screen ${
          Math.round(await page.evaluate(() => window.melvaron.firstScreenMs))} ms after the request`);
      const loaded = await page.evaluate(() => HEAP8.buffer.byteLength / 1048576);
      check(loaded <= MaxLoadMB, `${where}: wasm memory at load ${loaded} MB (at most ${MaxLoadMB})`);
      box = await page.locator('#screen').boundingBox();
      await page.evaluate(() => {
        window.lastPress = 0;
        window.menus = {shown: 0, suppressed: 0};
        const canvas = document.getElementById('screen');
        canvas.addEventListener('mousedown', () => { window.lastPress = performance.now(); }, true);
        // After the page's own handler: what the press left, and how long the game took for it.
        canvas.addEventListener('mousedown', () => {
          window.pressAnswer = {state: Module._melvaron_state(),
                                ms: Math.round(performance.now() - window.lastPress)};
        });
        // Listening on the window, after the page's own handler has had its turn.
        window.addEventListener('contextmenu', (e) => {
          if (e.defaultPrevented) window.menus.suppressed++; else window.menus.shown++;
        });
      });
      break;
    case 'move':
      await page.mouse.move(...at(step.args[0], step.args[1]));
      break;
    case 'press':
    case 'strip': {
      const [button, x, y] = step.op === 'strip' ? ['left', 765, 256] : step.args;
      await page.mouse.move(...at(x, y));
      await page.mouse.down({button});
      await page.mouse.up({button});
      if (within !== null) {
        const {state, ms} = await page.evaluate(() => window.pressAnswer);
        check(state <= StateAwaiting && ms <= within,
              `${where}: answered by the press itself in ${ms} ms (state ${state}; at most ${
                  within} ms, before the next tick)`);
        within = null;
      }
      break;
    }
    case 'key':
      if (!focused) {
        await checkFocus(page, where);
        focused = true;
      }
      await page.keyboard.press(Keys[step.args[0]]);
      break;
    case 'speech': {
      const want = spoken.shift();
      const total = heard + want.length;
      // The page said them already; its accessibility tree may follow a moment later.
      await page.waitForFunction((n) => window.melvaronSpeech.said >= n, total)
          .catch(() => {});
      let lines = null, got = [];
      for (const deadline = Date.now() + 5000; Date.now() < deadline;) {
        const said = await page.evaluate(() => window.melvaronSpeech.said);
        lines = await liveRegionLines(page);
        // The region keeps its latest lines: the new ones are its last said - heard.
        got = lines ? lines.slice(Math.max(lines.length - (said - heard), 0)) : [];
        if (JSON.stringify(got) === JSON.stringify(want)) break;
        await page.waitForTimeout(50);
      }
      check(JSON.stringify(got) === JSON.stringify(want),
            `${where}: the live region read ${JSON.stringify(got)}` +
            (JSON.stringify(got) === JSON.stringify(want) ? '' : `, not ${JSON.stringify(want)}`));
      heard = await page.evaluate(() => window.melvaronSpeech.said);
      break;
    }
    case 'tick':
      await page.waitForTimeout(Tick * Number(step.args[0] || 1));
      break;
    case 'settle':
      await page.waitForFunction((awaiting) => Module._melvaron_state() <= awaiting,
                                 StateAwaiting, {timeout: 300000, polling: 20});
      break;
    case 'shot': {
      const png = fs.readFileSync(path.join(dir, step.args[0])).toString('base64');
      const {count, first} = await page.evaluate(inPage.compare, png);
      if (!check(count === 0, `${where}: canvas equals the replay's ${step.args[0]}` +
                 (count ? ` (${count} pixels differ, first at ${first})` : '')))
        await page.locator('#screen').screenshot({path: path.join(dir, 'web-' + step.args[0])});
      break;
    }
    case 'watch': {
      const r = await page.evaluate(inPage.watch, step.ms);
      check(r.gap <= 100, `${where}: longest gap of a 10 ms timer loop ${r.gap} ms (at most 100)`);
      // Busy, or busy with the pointer on a button that answers at once.
      check(r.cursors.length > 0 && r.cursors.every((c) => c === 'wait' || c === 'progress'),
            `${where}: cursor while thinking: ${r.cursors.join(', ')}`);
      check(r.changes >= 3,
            `${where}: thinking in ${r.thinking} of ${r.samples} samples, progress shown ` +
            `${r.changes} times`);
      break;
    }
    case 'within':
      within = step.ms;
      break;
    default:
      break; // state and board print; the picture is what is compared
    }
  }
  console.log(`     wasm memory at the end: ${
      await page.evaluate(() => HEAP8.buffer.byteLength / 1048576)} MB`);
  const menus = await page.evaluate(() => window.menus);
  if (menus && menus.shown + menus.suppressed > 0)
    check(menus.shown === 0, `${name}: no context menu (${menus.suppressed} suppressed)`);
  const error = await page.evaluate(() => window.melvaron && window.melvaron.error);
  check(!error && errors.length === 0,
        `${name}: no error on the page${error || errors.length ? ': ' + (error || errors[0]) : ''}`);
  await page.close();
}

(async () => {
  let server = null, browser = null;
  try {
    const served = await serve();
    server = served.server;
    console.log(`     headers: ${await headersOf(served.url)}`);
    browser = await chromium.launch({executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
                                     args: ['--no-sandbox']});
    for (const file of sessions) await play(browser, served.url, file);
    // A bad seed in the address is one clear line on the page, and no game.
    const page = await browser.newPage();
    await page.goto(`${served.url}?seed=12x`);
    await page.waitForFunction(() => window.melvaron && window.melvaron.error !== null);
    const status = await page.evaluate(() => document.getElementById('status').textContent);
    check(status === "error: seed: '12x' is not a number from 0 to 4294967295",
          `a bad seed is refused: ${status}`);
    await page.close();
    // No trap for the keyboard: Tab past the last item of the selection (16) leaves the canvas.
    const keys = await browser.newPage();
    await keys.goto(`${served.url}?seed=1`);
    await keys.waitForFunction(() => window.melvaron && window.melvaron.firstScreenMs !== null);
    const inCanvas = () => document.activeElement === document.getElementById('screen');
    const within = [];
    for (let i = 0; i <= 17; ++i) {
      await keys.keyboard.press('Tab');
      within.push(await keys.evaluate(inCanvas));
    }
    check(within.slice(0, 17).every((x) => x) && !within[17],
          `Tab leaves the canvas after its 16 items, not before: ${within.join(' ')}`);
    await keys.close();
  } catch (e) {
    check(false, `the browser test stopped: ${e.message.split('\n')[0]}`);
  } finally {
    if (browser) await browser.close();
    if (server) server.kill();
  }
  if (failed) console.log(`     the pictures are kept in ${work}`);
  else fs.rmSync(work, {recursive: true, force: true});
  console.log(`web: ${passed} passed, ${failed} failed`);
  if (process.env.MELVARON_TEST_REPORT)
    fs.writeFileSync(process.env.MELVARON_TEST_REPORT, `${passed} ${failed}\n`);
  process.exit(failed ? 1 : 0);
})();
