#!/usr/bin/env node
// The web page's test in real browsers: plays each session script of sessions/ in Chromium,
// Firefox and WebKit against the served page and compares the canvas, pixel for pixel, with the
// native melvaron-replay's pictures of the same script (sessions.js). Chromium also plays by
// finger on an emulated phone held both ways, checks the picture's fit, installs the site,
// replaces it with a new build and plays a whole game with the server gone (chromium.js), and
// plays a friend through the game server given by --server (friend-game.js): a whole game
// between two pages, and a fresh page caught up on a long one.
//
// A session's keys go to the canvas, which takes the focus by Tab; at each "speech" the lines
// the page's live region gained (in Chromium, as its accessibility tree holds them) must be the
// lines the replay prints there.
//
// Besides the replay's commands, a session may hold directives for the page alone, as comments
// the replay tool skips:
//   # web: watch MS  the page's main thread never stalls for a second while the computer
//                    thinks, watched for MS ms on the page's own timer and on until the
//                    progress in the message area has advanced three times
//   # web: answered  the next press is answered by its own handler: a person is awaited as
//                    soon as it returns, without a tick
//   # web: once      the session is played in the first engine only (a long game)
// The game otherwise moves only by the script's "tick" and "settle", which the test takes
// through the page's own exports with the page's timer held, as the replay takes them. No check
// stands on the clock but for bounds far above what is measured.
//
//   node test-web.js SITE_DIR MELVARON_REPLAY [--engine NAME]... [--server PROGRAM] [SESSION...]
// NAME is chromium, firefox or webkit (all three when none is given). The facts of the game
// (facts.js) are read from SITE_DIR. Prints one line per check; writes "PASSED FAILED" to
// $MELVARON_TEST_REPORT when it is set.
'use strict';
const {execFileSync} = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {ENGINES, engineNamed, served, stopped} = require('./browsers');
const {tally, check, note, job, sideBySide} = require('./report');
const {parse, spokenByReplay, play} = require('./sessions');
const chromiumChecks = require('./chromium');
const {friendGame, friendLongGame, friendWithoutServer} = require('./friend-game');

function usage(message) {
  console.error(`error: ${message}`);
  console.error('usage: node test-web.js SITE_DIR MELVARON_REPLAY [--engine NAME]... ' +
                '[--server PROGRAM] [SESSION...]');
  process.exit(2);
}

const args = process.argv.slice(2);
const engines = [], positional = [];
let server = null; // melvaron-server, for the game with a friend
for (let i = 0; i < args.length; i++) {
  if (args[i] === '--engine') {
    engines.push(engineNamed(args[++i], usage));
  } else if (args[i] === '--server') {
    if (!args[i + 1] || !fs.existsSync(args[i + 1])) usage(`--server: no program '${args[i + 1]}'`);
    server = path.resolve(args[++i]);
  } else {
    positional.push(path.resolve(args[i]));
  }
}
const [site, replay, ...given] = positional;
if (!site || !replay) usage('SITE_DIR and MELVARON_REPLAY are needed');
if (!fs.existsSync(path.join(site, 'index.html'))) usage(`no index.html in ${site}`);
if (!fs.existsSync(path.join(site, 'facts.js'))) usage(`no facts.js in ${site}`);
if (!engines.length) engines.push('chromium', 'firefox', 'webkit');
const facts = require(path.join(site, 'facts.js'));
// The golden pictures every front end must show: a script, and each shot's hash.
const Golden = path.join(__dirname, '..', '..', 'tests', 'golden');
const sessionFiles = given.length ? given
    : fs.readdirSync(path.join(__dirname, 'sessions')).filter((f) => f.endsWith('.txt')).sort()
        .map((f) => path.join(__dirname, 'sessions', f))
        .concat([path.join(Golden, 'screens.txt')]);
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'melvaron-web-'));

// One engine: every session in its own page (Chromium's side by side, with its own checks),
// the others' one after another in their one window. run: {site, work, url, facts, byName,
// replay}.
async function engineRun(engine, first, all, run) {
  let browser = null;
  await job(`${engine} start`, async () => {
    browser = await ENGINES[engine].start();
    note(`${engine}: ${browser.version}`);
  });
  if (!browser) return;
  // A session in a page of its own; label names the engine and how the page is asked for.
  const inPage = (s, label = engine, query = '') => () => job(`${label} ${s.name}`, async () => {
    const tab = await browser.open({width: 1024, height: 640});
    try {
      await play(s, {engine: label, tab, url: run.url, facts, query});
    } finally {
      await tab.close();
    }
  });
  const jobs = all.filter((s) => first || !s.once).map((s) => inPage(s));
  if (engine === 'chromium') {
    const own = (name, check) => () => job(`chromium ${name}`, () => check(browser, run));
    jobs.unshift(own('portrait', (b, r) => chromiumChecks.phone(b, 'portrait', r)),
                 own('landscape', (b, r) => chromiumChecks.phone(b, 'landscape', r)));
    jobs.push(own('installed', chromiumChecks.installed),
              own('static host', chromiumChecks.staticHost),
              own('without a service worker', chromiumChecks.withoutServiceWorker),
              own('kept open across a deploy', chromiumChecks.keptOpen),
              own('take-back', chromiumChecks.takeBackWays),
              own('resumed', chromiumChecks.resumed),
              own('engine refused', chromiumChecks.refusedEngine),
              own('bad seed', chromiumChecks.badSeed), own('lacking', chromiumChecks.lacking),
              own('keyboard', chromiumChecks.tabLeaves),
              own('play a friend', friendGame),
              own('play a friend, a long game', friendLongGame),
              own('play a friend from a static host', friendWithoutServer));
    // The page without threads, as where the page cannot share memory: a stopped deep search.
    if (run.byName.stop)
      jobs.push(inPage(run.byName.stop, 'chromium-worker', '&search=worker'));
  }
  await sideBySide(jobs, engine === 'chromium' ? 3 : 1);
  await browser.stop().catch(() => {});
}

(async () => {
  let siteServer = null;
  try {
    const all = sessionFiles.map((file) => parse(file, Golden));
    for (const session of all) {
      session.dir = path.join(work, session.name);
      fs.mkdirSync(session.dir);
      try {
        session.spoken = spokenByReplay(session.steps, execFileSync(replay, [session.file], {
          cwd: session.dir, stdio: ['ignore', 'pipe', 'inherit'], encoding: 'utf8'}));
      } catch (e) {
        check(false, `${session.name}: the native replay failed`);
        session.spoken = [];
      }
    }
    const byName = Object.fromEntries(all.map((s) => [s.name, s]));
    const serving = await served(site);
    siteServer = serving.server;
    const run = {site, work, url: serving.url, facts, states: facts.states, byName, replay,
                 server};
    // The engines side by side.
    await Promise.all(engines.map((engine, index) => engineRun(engine, index === 0, all, run)));
  } catch (e) {
    check(false, `the browser test stopped: ${e.message.split('\n')[0]}`);
  } finally {
    if (siteServer) await stopped(siteServer);
  }
  if (tally.failed) note(`the pictures are kept in ${work}`);
  else fs.rmSync(work, {recursive: true, force: true});
  console.log(`web: ${tally.passed} passed, ${tally.failed} failed`);
  if (process.env.MELVARON_TEST_REPORT)
    fs.writeFileSync(process.env.MELVARON_TEST_REPORT, `${tally.passed} ${tally.failed}\n`);
  process.exit(tally.failed ? 1 : 0);
})();
