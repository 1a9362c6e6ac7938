// The session scripts in the page: each read as the replay reads it (with the page's own
// directives), its lines of speech taken from the native replay's output, and played in one page,
// whose canvas is compared with the replay's pictures or the golden hashes.
//
// The page's timer is held from the first screen on, so the game moves only as the script says,
// through the page's own exports: "tick N" gives N ticks, "settle [MAX]" takes the replay's
// settle step by step (Module._melvaron_settle_step) until a person is awaited, the timer stops
// or MAX ticks were given. "# web: watch" alone lets the page's timer run.
'use strict';
const fs = require('fs');
const path = require('path');
const {check, note} = require('./report');
const {inPage, waitFor, sleep, fitProblem, fitText, liveRegionLines, checkFocus,
       checkClickFocus} = require('./page-driver');

const MaxLoadMB = 160;
const MaxStallMs = 1000;   // the main thread's longest stall while the computer thinks
const MaxAnswerMs = 500;   // a press's own handler during a search; a tick is 50 ms
const LoadDeadline = 60000;
const ProgressShown = 3;   // the message area's changes a watch waits for
const SettleDeadline = 600000;
const FingerPx = 24;       // the strip's target for a finger, in CSS pixels
const Phone = {width: 412, height: 915, deviceScaleFactor: 2.625};
// More of the address for every page, e.g. search=worker for the page without threads.
const Query = process.env.MELVARON_WEB_QUERY ? '&' + process.env.MELVARON_WEB_QUERY : '';

// A session script; golden, the folder of the golden pictures, whose script is played to their
// hashes rather than to the replay's pictures.
function parse(file, golden) {
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
  if (path.dirname(file) === golden) {
    session.name = 'golden';
    session.golden = Object.fromEntries(fs.readFileSync(path.join(golden, 'hashes.txt'), 'utf8')
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

// ---- Playing one session in one page ----
// session.dir holds the replay's pictures of it. how: {engine, tab, url, facts, query, finger,
// open, undo} where finger, for a phone, holds the CDP session that sends touches (tab.page is
// the playwright page then), query adds to the page's address, open says that the page is open
// at the session's seed already, and undo makes the keys U and Shift+U another way (below).
async function play(session, how) {
  const {tab, engine, finger, facts} = how;
  const label = `${engine}${finger ? ' ' + finger.name : ''} ${session.name}`;
  let fit = null, within = false, loaded = false, focused = false, clicked = false;
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
  // press there (the strip's: a press on the picture's last column).
  const fingerPress = async (where, button, x, y) => {
    const from = await tab.run(inPage.count);
    const [cx, cy] = x === 'strip' ? [fit.left + fit.width - FingerPx / 2, css(0, y)[1]]
                                   : css(x, y);
    if (button === 'right') await longPress(cx, cy); else await tap(cx, cy);
    const events = await tab.run(inPage.events, from);
    const got = events.map((e) => `${e.kind} ${e.a.join(' ')}`).join(', ');
    const code = button === 'right' ? 2 : 0;
    const want = x === 'strip' ? `down ${code} ${facts.client.width - 1} ${y}`
                               : `move ${x} ${y}, down ${code} ${x} ${y}`;
    check(x === 'strip' ? got.endsWith(want) : got === want,
          `${where}: a ${button === 'right' ? 'long press' : 'tap'} reaches the game as ${got}`);
    return events;
  };
  // U and Shift+U made another way: how.undo is 'ctrl' (Ctrl+Z, Ctrl+Y), 'ctrl-shift' (Ctrl+Z,
  // Ctrl+Shift+Z), 'controls' (the buttons beside the picture) or 'fingers' (a two-finger tap,
  // and the button by finger to put again).
  const undo = async (way, again) => {
    if (way === 'ctrl' || way === 'ctrl-shift') {
      await tab.key(!again ? 'Control+z' : way === 'ctrl' ? 'Control+y' : 'Control+Shift+z');
    } else if (way === 'fingers' && !again) {
      const [x, y] = css(facts.client.width / 2, facts.client.height / 2);
      // Lifted 0.1 s after they touched, by the events' times, however late a loaded machine
      // delivers them.
      const at = Date.now() / 1000;
      await finger.cdp.send('Input.dispatchTouchEvent', {type: 'touchStart', timestamp: at,
                            touchPoints: [{x: x - 40, y, id: 0}, {x: x + 40, y, id: 1}]});
      await finger.cdp.send('Input.dispatchTouchEvent', {type: 'touchEnd', timestamp: at + 0.1,
                                                         touchPoints: []});
    } else {
      const button = await tab.page.$(again ? '#put-again' : '#take-back');
      if (finger) await button.tap(); else await button.click();
    }
  };
  // The script's key names as the browser's, Shift before them where held.
  const keyOf = (name) => (facts.keyNames[name].shift ? 'Shift+' : '') + facts.keyNames[name].key;
  const strip = facts.strip;
  const stripMiddle = [Math.floor((strip.left + strip.right) / 2),
                       Math.floor((strip.top + strip.bottom) / 2)];

  for (const step of session.steps) {
    const where = `${label}:${step.line}`;
    switch (step.op) {
    case 'seed': {
      // how.open: the page is open already, at this seed (a page kept open across a deploy).
      if (!how.open) await tab.goto(`${how.url}?seed=${step.args[0]}${how.query || ''}${Query}`);
      const ready = await waitFor(tab, inPage.ready, null, LoadDeadline, 'the first screen')
          .then(() => true, () => false);
      if (!ready) {
        // What the page got to, for the report: its status line, its service worker, the program.
        const got = await tab.run(inPage.loading).catch((f) => f.message.split('\n')[0]);
        check(false, `${where}: the first screen is shown (not within ${LoadDeadline / 1000} s; ` +
              `the page: ${JSON.stringify(got)})`);
        return;
      }
      const page = await tab.run(inPage.loaded);
      const ok = check(page.firstScreenMs !== null && !page.error && !page.pageErrors.length,
                       `${where}: the first screen is shown` + (page.firstScreenMs !== null ? ''
                           : ` (the page says: ${
                                 page.error || page.pageErrors[0] || page.status})`));
      if (!ok) return;
      loaded = true;
      if (engine === 'chromium' && !how.query && !Query)
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
        const problem = fitProblem(shown, Phone.deviceScaleFactor, facts.client);
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
      const [button, x, y] = step.op === 'strip' ? ['left', ...stripMiddle] : step.args;
      const code = {left: 0, middle: 1, right: 2}[button];
      if (finger) {
        await fingerPress(where, button, step.op === 'strip' ? 'strip' : Number(x), Number(y));
      } else {
        await tab.mouse(...css(x, y), code);
      }
      clicked = true;
      if (within) {
        const [last] = (await tab.run(inPage.events, -1));
        check(last && last.kind === 'down' && last.state <= facts.awaitedMax &&
              last.ms <= MaxAnswerMs,
              `${where}: answered by the press itself in ${last && last.ms} ms (state ${
                  last && last.state}; a person awaited without a tick)`);
        within = false;
      }
      break;
    }
    case 'key':
      if (how.undo && /^(shift\+)?u$/.test(step.args[0])) {
        await undo(how.undo, step.args[0] === 'shift+u');
        break;
      }
      if (!focused) {
        // A click or a tap gave the game the keyboard, else Tab gives it.
        if (clicked) await checkClickFocus(tab, where); else await checkFocus(tab, where);
        focused = true;
      }
      await tab.key(keyOf(step.args[0]));
      break;
    case 'speech': {
      const want = JSON.stringify(spoken.shift());
      const total = heard + JSON.parse(want).length;
      // The page has said them once the program is done with the key; the accessibility tree
      // may follow a moment later.
      await waitFor(tab, (n) => window.melvaronLiveRegion.said >= n, total, LoadDeadline,
                    `${where}: ${total} lines said`).catch(() => {});
      let got = '[]';
      for (const deadline = Date.now() + LoadDeadline; Date.now() < deadline; await sleep(50)) {
        const said = await tab.run(inPage.said);
        const lines = await liveRegionLines(tab);
        // The region keeps its latest lines: the new ones are its last said - heard.
        got = JSON.stringify(lines ? lines.slice(Math.max(lines.length - (said - heard), 0)) : []);
        if (got === want) break;
      }
      check(got === want, `${where}: the live region read ${got}` +
            (got === want ? '' : `, not ${want}`));
      heard = await tab.run(inPage.said);
      break;
    }
    case 'tick':
      await tab.run(inPage.tick, Number(step.args[0] || 1));
      break;
    case 'settle': {
      await tab.run(inPage.settle, step.args.length ? Number(step.args[0]) : null);
      const run = await waitFor(tab, inPage.settled, null, SettleDeadline,
                                `${where}: a person awaited`);
      if (run.error) throw new Error(`${where}: the settle stopped: ${run.error}`);
      break;
    }
    case 'shot': {
      if (session.golden) {
        const hash = await tab.run(inPage.hash);
        const want = session.golden[step.args[0]];
        if (!check(hash === want, `${where}: canvas is the golden ${step.args[0]}` +
                   (hash === want ? '' : ` (SHA-256 ${hash}, not ${want})`))) {
          // Where it differs from the replay's picture of the same shot.
          const png = fs.readFileSync(path.join(session.dir, step.args[0])).toString('base64');
          const {count, first} = await tab.run(inPage.compare, png);
          note(`${count} pixels differ from the replay's ${step.args[0]}, first at ${first}`);
        }
        break;
      }
      const png = fs.readFileSync(path.join(session.dir, step.args[0])).toString('base64');
      const {count, first} = await tab.run(inPage.compare, png);
      check(count === 0, `${where}: canvas equals the replay's ${step.args[0]}` +
            (count ? ` (${count} pixels differ, first at ${first})` : ''));
      break;
    }
    case 'watch': {
      const r = await tab.run(inPage.watch, {ms: step.ms, wanted: ProgressShown,
                                             deadline: LoadDeadline});
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

module.exports = {parse, spokenByReplay, play, Phone, LoadDeadline, SettleDeadline};
