// Chromium's own checks of the page: a phone held both ways (by finger, the fit, a swipe and a
// pinch), the site installed, updated and played offline, a static host's page isolated by the
// service worker, the keyboard's way out of the canvas, a bad seed and a browser lacking what
// the game needs. Each takes the browser and the run: {site, work, url, facts, byName}.
'use strict';
const {execFileSync} = require('child_process');
const crypto = require('crypto');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {ENGINES, playwrightTab, served, stopped} = require('./browsers');
const {check} = require('./report');
const {inPage, waitFor, fitProblem, fitText} = require('./page-driver');
const {play, Phone, LoadDeadline, SettleDeadline} = require('./sessions');

// The screens the fit is checked on besides the phone: turned, a small phone, a tablet.
const FitViewports = [[412, 915], [915, 412], [667, 375], [1180, 820]];

async function phone(browser, name, {url, facts, byName}) {
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
  for (const session of sessions)
    await play(session, {engine: 'chromium', tab, url, facts, finger});
  // A two-finger tap takes back; the button beside the picture puts again.
  if (name === 'portrait' && byName['take-back'])
    await play(byName['take-back'], {engine: 'chromium', tab, url, facts, finger,
                                     undo: 'fingers'});
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
    const problem = fitProblem(shown, Phone.deviceScaleFactor, facts.client);
    check(!problem,
          `chromium ${name} turned to ${fitText(shown)}` + (problem ? ` (${problem})` : ''));
  }
  await context.close();
}

// A new build of the site in copy, as the web build would make it: page.js changed (and, with
// poisoned, every file the page's workers load made to fail), the build's hash anew where the
// build writes it, and the service worker's digests of the changed files.
function deploy(copy, build, poisoned = false) {
  const file = (name) => path.join(copy, name);
  fs.appendFileSync(file('page.js'), '\n// the next build\n');
  if (poisoned) {
    for (const name of ['melvaron.worker.js', 'melvaron-search.js', 'search-worker.js'])
      fs.writeFileSync(file(name), `throw new Error('${name} of the next build');\n` +
                       fs.readFileSync(file(name), 'utf8'));
    for (const name of ['melvaron.wasm', 'melvaron-search.wasm'])
      fs.appendFileSync(file(name), Buffer.from([0]));
  }
  const old = require(file('facts.js')).build;
  delete require.cache[require.resolve(file('facts.js'))];
  for (const name of ['facts.js', 'index.html'])
    fs.writeFileSync(file(name), fs.readFileSync(file(name), 'utf8').split(old).join(build));
  const digest = (name) => crypto.createHash('sha256').update(fs.readFileSync(file(name)))
      .digest('hex');
  const sw = fs.readFileSync(file('sw.js'), 'utf8')
      .replace(/const BUILD = '[^']*'/, `const BUILD = '${build}'`)
      .replace(/const FILES = (\{[^}]*\})/, (found, list) => 'const FILES = ' + JSON.stringify(
          Object.fromEntries(Object.keys(JSON.parse(list)).map((name) =>
              [name, digest(name === './' ? 'index.html' : name)]))));
  fs.writeFileSync(file('sw.js'), sw);
}

// In the page: the new build ('next') is in its cache and its service worker the one in charge.
async function takenOver() {
  const registration = await navigator.serviceWorker.getRegistration();
  return (await caches.keys()).includes('melvaron-next') && !registration.installing &&
         !registration.waiting;
}

// Chromium with a profile of its own on disk (the caller removes it): an incognito one never
// installs, and a service worker's caches are what these checks look at.
async function persistentChromium() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'melvaron-profile-'));
  const {chromium} = require('playwright-core');
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: ENGINES.chromium.executable, args: ['--no-sandbox'],
    viewport: {width: 1024, height: 640}});
  return {context, profile};
}

// The site as installed: Chromium finds no installability error; a new build deployed over it
// takes over cleanly (one cache left, the new one); with the server gone the page still plays a
// whole game.
async function installed(browser, {site, work, facts, byName}) {
  const copy = path.join(work, 'site');
  fs.cpSync(site, copy, {recursive: true});
  let {server, url} = await served(copy);
  const {context, profile} = await persistentChromium();
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
    const first = (await tab.run(cacheNames)).filter((name) => name !== 'melvaron-pages');
    const build = await tab.run(() => melvaronFacts.build);
    check(first.join() === `melvaron-${facts.build}` && build === facts.build,
          `the page runs build ${build}, kept in ${first.join(', ')}`);

    deploy(copy, 'next');
    await page.reload();
    await waitFor(tab, inPage.ready, null, LoadDeadline, 'the page before the update');
    await waitFor(tab, takenOver, null, LoadDeadline, 'the new build taking over');
    await page.reload();
    await waitFor(tab, inPage.ready, null, LoadDeadline, 'the page after the update');
    // The page before it has gone: its build's cache goes too.
    await waitFor(tab, async () => !(await caches.keys()).includes(`melvaron-${facts.build}`),
                  null, LoadDeadline, 'the old build gone').catch(() => {});
    const now = await tab.run(async () => ({
      caches: (await caches.keys()).filter((name) => name !== 'melvaron-pages'),
      next: /the next build/.test(await (await fetch(`page.js?build=${melvaronFacts.build}`))
                                       .text()),
      build: melvaronFacts.build,
    }));
    check(first.length === 1 && now.caches.join() === 'melvaron-next' && now.next &&
          now.build === 'next',
          `a new build takes over: caches ${first.join(', ')} then ${now.caches.join(', ')}; ` +
          `its page.js ${now.next ? 'served' : 'not served'}, the page runs build ${now.build}`);

    await stopped(server);
    server = null;
    const game = byName['computer-game'];
    if (game) await play(game, {engine: 'chromium offline', tab, url, facts});
  } finally {
    await context.close();
    if (server) await stopped(server);
    fs.rmSync(profile, {recursive: true, force: true});
  }
}

// Pages kept open while a new build is deployed and takes over: one with threads and one
// without, loaded before. Every file the new build's workers would load fails; each page plays on
// (NEW GAME during a search, further searches) to the replay's pictures. The old build's cache
// stays while either page is open, through a stop of the service worker, and goes once both are
// closed.
async function keptOpen(browser, {site, work, facts, byName}) {
  const session = byName.deploy;
  if (!session) return;
  const copy = path.join(work, 'site-deployed');
  fs.cpSync(site, copy, {recursive: true});
  const {server, url} = await served(copy);
  const {context, profile} = await persistentChromium();
  const old = `melvaron-${facts.build}`;
  // The caches once the service worker has heard of a page of the new build.
  const keptWhenTold = async () => {
    const kept = await caches.match('pages.json', {cacheName: 'melvaron-pages'});
    const builds = kept ? Object.values(await kept.json()) : [];
    return builds.includes('next') && {names: await caches.keys(), builds};
  };
  try {
    const seed = session.steps.find((step) => step.op === 'seed').args[0];
    const pages = [['', 'threads'], ['&search=worker', 'a worker']];
    const tabs = [];
    for (const [query] of pages) {
      const tab = playwrightTab(tabs.length ? await context.newPage()
                                            : context.pages()[0] || await context.newPage());
      await tab.goto(`${url}?seed=${seed}${query}`);
      await waitFor(tab, inPage.ready, null, LoadDeadline, 'the first screen');
      await waitFor(tab, () => navigator.serviceWorker.controller !== null, null, LoadDeadline,
                    'the service worker in control');
      tabs.push(tab);
    }
    const [first] = tabs;
    deploy(copy, 'next', true);
    await first.run(async () => (await navigator.serviceWorker.getRegistration()).update());
    await waitFor(first, takenOver, null, LoadDeadline, 'the new build taking over');
    // The browser stops the worker; the next one still knows the open pages' build.
    const cdp = await context.newCDPSession(first.page);
    await cdp.send('ServiceWorker.enable');
    await cdp.send('ServiceWorker.stopAllWorkers');
    const probe = playwrightTab(await context.newPage());
    await probe.goto(`${url}?seed=1`);
    const during = await waitFor(probe, keptWhenTold, null, LoadDeadline, 'the new page told');
    check(during.names.includes(old) && during.names.includes('melvaron-next'),
          `across a deploy, the open pages' build is kept: ${during.names.join(', ')}`);
    for (const [i, [query, search]] of pages.entries())
      await play(session, {engine: `chromium kept open (${search})`, tab: tabs[i], url, facts,
                           query, open: true});
    for (const tab of tabs) await tab.close();
    await probe.goto(`${url}?seed=1`);
    const after = await waitFor(probe, async (old) => {
      const names = await caches.keys();
      return !names.includes(old) && names;
    }, old, LoadDeadline, 'the old build gone').catch((e) => [e.message]);
    check(!after.includes(old) && after.includes('melvaron-next'),
          `with its pages closed, the old build goes: ${after.join(', ')}`);
  } finally {
    await context.close();
    await stopped(server);
    fs.rmSync(profile, {recursive: true, force: true});
  }
}

// From a host that sends no isolation headers, the service worker adds them: the page reloads
// once under it and searches on every core.
async function staticHost(browser, {site}) {
  const {server, url} = await served(site, true);
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

// Where the service worker cannot be had, a static host's page starts at once on one thread,
// says nothing alarming and plays: the registration refused (by the page's script, or by a
// browser that blocks service workers), a file of the build missing on the host, or another
// build's file there (the install checks each against the build). Each is a first visit.
async function withoutServiceWorker(browser, {site, work, facts, byName}) {
  const lacking = path.join(work, 'site-lacking'), wrong = path.join(work, 'site-wrong');
  fs.cpSync(site, lacking, {recursive: true});
  fs.rmSync(path.join(lacking, 'icon-192.png'));
  fs.cpSync(site, wrong, {recursive: true});
  fs.appendFileSync(path.join(wrong, 'icon-512.png'), Buffer.from([0]));
  const refuse = () => {
    navigator.serviceWorker.register = () => Promise.reject(new Error('refused for the test'));
  };
  const cases = [
    {name: 'registration refused', dir: site, init: refuse},
    {name: 'service workers blocked', dir: site, options: {serviceWorkers: 'block'}},
    {name: 'a file missing', dir: lacking},
    {name: 'a file of another build', dir: wrong},
  ];
  const game = byName['computer-game'];
  for (const c of cases) {
    const {server, url} = await served(c.dir, true);
    const context = await browser.playwright.newContext({viewport: {width: 1024, height: 640},
                                                         ...c.options});
    try {
      if (c.init) await context.addInitScript(c.init);
      const page = await context.newPage();
      let loads = 0;
      page.on('load', () => loads++);
      const tab = playwrightTab(page);
      if (game) await play(game, {engine: `chromium (${c.name})`, tab, url, facts});
      const got = await tab.run(async () => ({
        search: window.melvaron.search, status: document.getElementById('status').textContent,
        caches: (await caches.keys()).filter((name) => name !== 'melvaron-pages')}));
      check(got.search === 'worker' && got.status === '' && loads === 1 &&
            (c.dir === site || !got.caches.length),
            `${c.name}: the page starts at once on one thread, nothing said (${loads} load, ` +
            `status '${got.status}', search ${got.search}, caches ${got.caches.join(', ')})`);
    } finally {
      await context.close();
      await stopped(server);
    }
  }
}

// The search worker of a page without threads refused its engine: at the page's start and at
// the first search, which runs again on a fresh worker, and the game goes on as the replay's;
// always, and the player is told
// why beside the picture, the game asks "NEW GAME ?" and YES brings the player selection.
async function refusedEngine(browser, {url, facts, byName}) {
  const {states} = facts;
  for (const times of [2, Infinity]) {
    const name = `chromium (the search's wasm refused ${times === 2 ? 'twice' : 'always'})`;
    const context = await browser.playwright.newContext({viewport: {width: 1024, height: 640},
                                                         serviceWorkers: 'block'});
    try {
      let refused = 0;
      await context.route('**/melvaron-search.wasm*', (route) =>
          refused++ < times ? route.abort() : route.continue());
      const tab = playwrightTab(await context.newPage());
      if (times === 2) {
        const game = byName['computer-game'];
        if (game) await play(game, {engine: name, tab, url, facts, query: '&search=worker'});
        check(refused === 3, `${name}: asked for ${refused} times (the start, the search, again)`);
        continue;
      }
      await tab.goto(`${url}?seed=3&search=worker`);
      await waitFor(tab, inPage.ready, null, LoadDeadline, 'the first screen');
      await tab.run(inPage.hook);
      // LV1 against a person, by the program's own presses; then the settle.
      await tab.run(([x1, y1, x2, y2]) => {
        Module._melvaron_mouse_move(x1, y1);
        Module._melvaron_mouse_down(0, x1, y1);
        Module._melvaron_mouse_move(x2, y2);
        Module._melvaron_mouse_down(0, x2, y2);
      }, [615, 323, 632, 412]);
      await tab.run(inPage.settle, null);
      await waitFor(tab, inPage.settled, null, LoadDeadline, 'the failed search told');
      const told = await tab.run(() => ({
        state: Module._melvaron_state(), status: document.getElementById('status').textContent,
        said: [...document.querySelectorAll('#spoken p')].map((p) => p.textContent).slice(-2),
        error: window.melvaron.error}));
      const line = /^The computer player could not search: melvaron-search.wasm could not be loaded/;
      check(told.state === states.gsAskNewGame && line.test(told.status) &&
            told.said.includes(told.status) && told.error === null,
            `${name}: the game asks NEW GAME ? and the page says '${told.status}' ` +
            `(state ${told.state}, said ${JSON.stringify(told.said)})`);
      const status = await tab.run(() => {
        const rect = document.getElementById('bar').getBoundingClientRect();
        const picture = document.getElementById('screen').getBoundingClientRect();
        return rect.top >= picture.bottom || rect.left >= picture.right;
      });
      check(status, `${name}: the line is beside the picture, not on it`);
      await tab.run(([x, y]) => Module._melvaron_mouse_down(0, x, y), [632, 412]);
      const after = await tab.run(() => Module._melvaron_state());
      check(after === states.gsSelect, `${name}: YES brings the player selection (state ${after})`);
    } finally {
      await context.close();
    }
  }
}

// Take-back and putting again by Ctrl+Z and Ctrl+Y, Ctrl+Shift+Z and the buttons beside the
// picture, as the replay's U and Shift+U; then the game's record, downloaded from its link, read
// back by the replay tool to the position the replay's session ends in.
async function takeBackWays(browser, {url, facts, byName, replay, work}) {
  const session = byName['take-back'];
  if (!session) return;
  for (const undo of ['ctrl', 'ctrl-shift', 'controls']) {
    const context = await browser.playwright.newContext({viewport: {width: 1024, height: 640},
                                                         acceptDownloads: true});
    try {
      const tab = playwrightTab(await context.newPage());
      await play(session, {engine: `chromium (${undo})`, tab, url, facts, undo});
      if (undo !== 'controls') continue;
      const [download] = await Promise.all([tab.page.waitForEvent('download'),
                                            tab.page.click('#record')]);
      const file = path.join(work, 'downloaded-record.txt');
      await download.saveAs(file);
      const read = (args) => {
        try {
          return execFileSync(replay, args, {cwd: session.dir, encoding: 'utf8',
                                             stdio: ['ignore', 'pipe', 'pipe']});
        } catch (e) {
          return `status ${e.status}: ${String(e.stderr).trim()}`;
        }
      };
      const script = path.join(session.dir, 'board.txt');
      fs.writeFileSync(script, fs.readFileSync(session.file, 'utf8').replace(/^shot .*$/gm, '') +
                       '\nboard\n');
      const want = read([script]).trim().split('\n').slice(-6).join('\n');
      const got = read(['--record', file]);
      check(download.suggestedFilename() === 'melvaron-game.txt' &&
            got.startsWith(want + '\n'),
            `the record ${download.suggestedFilename()} read back by melvaron-replay --record: ` +
            `${got.split('\n').slice(6).join(' ').trim() || got.split('\n')[0]}`);
    } finally {
      await context.close();
    }
  }
}

// A seeded computer game reloaded at many moments, and once closed and opened again: each time
// the page comes back to the picture the replay shows resuming what the page kept, and the game
// ends as the one played through does. A damaged kept game, or one of another version, is
// refused beside the picture with a fresh player selection.
async function resumed(browser, {url, facts, byName, replay}) {
  const session = byName['computer-game'];
  if (!session) return;
  const {states} = facts;
  const context = await browser.playwright.newContext({viewport: {width: 1024, height: 640}});
  // The page's timer held from the start: a resumed game's runs at once.
  await context.addInitScript(() => {
    window.melvaron = {held: true};
  });
  const Name = 'melvaron-game-in-progress';
  try {
    let tab = playwrightTab(await context.newPage());
    const address = `${url}?seed=3`;
    // The pointer rests on GAME, where the person left it.
    const [px, py] = [632, 412];
    const opened = async () => {
      await waitFor(tab, inPage.ready, null, LoadDeadline, 'the first screen');
      await tab.run(inPage.hook);
      await tab.run(([x, y]) => Module._melvaron_mouse_move(x, y), [px, py]);
    };
    const settle = async (most) => {
      await tab.run(inPage.settle, most);
      await waitFor(tab, inPage.settled, null, SettleDeadline, 'the settle');
    };
    const compare = async (png, what) => {
      const {count, first} = await tab.run(inPage.compare,
                                           fs.readFileSync(png).toString('base64'));
      return check(count === 0, `${what}` + (count ? ` (${count} pixels differ, first at ${first})`
                                                   : ''));
    };
    await tab.goto(address);
    await opened();
    // LV0 against LV1, as the session chooses them.
    await tab.run(() => {
      for (const [x, y] of [[590, 323], [615, 351], [632, 412]]) {
        Module._melvaron_mouse_move(x, y);
        Module._melvaron_mouse_down(0, x, y);
      }
    });
    const moments = [1, 6, 20, 45, 90, 160];
    for (const [i, ticks] of moments.entries()) {
      await settle(ticks);
      const kept = await tab.run((name) => localStorage.getItem(name), Name);
      if (!kept) break; // the game is over
      const file = path.join(session.dir, `kept-${i}.txt`);
      fs.writeFileSync(file, kept);
      const script = path.join(session.dir, `resume-${i}.txt`);
      fs.writeFileSync(script, `keep ${file}\nmove ${px} ${py}\nshot resumed-${i}.png\nsettle\n` +
                       `shot end-${i}.png\n`);
      execFileSync(replay, [script], {cwd: session.dir, stdio: 'ignore'});
      if (i === 3) {
        // The tab closed and another opened, as a phone discards a tab.
        await tab.close();
        tab = playwrightTab(await context.newPage());
        await tab.goto(address);
      } else {
        await tab.page.reload();
      }
      await opened();
      await compare(path.join(session.dir, `resumed-${i}.png`),
                    `resumed after ${ticks} ticks${i === 3 ? ' in a new tab' : ''}: the replay's ` +
                    'picture of the kept game');
      const end = fs.readFileSync(path.join(session.dir, `end-${i}.png`));
      check(end.equals(fs.readFileSync(path.join(session.dir, 'game-over.png'))),
            `the game kept after ${ticks} ticks ends as the one played through`);
    }
    await settle(null);
    await compare(path.join(session.dir, 'game-over.png'),
                  'the resumed game ends as the one played through');
    const left = await tab.run((name) => localStorage.getItem(name), Name);
    check(left === null, `a finished game is kept no more (${JSON.stringify(left)})`);

    for (const [what, text] of [['damaged', 'melvaron-record 1\nplayer 1 MAN\nplayer 2 LV9\n'],
                                ['of another version', 'melvaron-record 2\n']]) {
      await tab.run(([name, value]) => localStorage.setItem(name, value), [Name, text]);
      await tab.page.reload();
      await waitFor(tab, inPage.ready, null, LoadDeadline, 'the first screen');
      const got = await tab.run(() => ({state: Module._melvaron_state(), error: window.melvaron.error,
                                        status: document.getElementById('status').textContent}));
      check(got.state === states.gsSelect && got.error === null &&
            got.status.startsWith('the last game could not be resumed: '),
            `a kept game ${what} is refused: '${got.status}', the player selection`);
    }
  } finally {
    await context.close();
  }
}

// No trap for the keyboard: Tab past the last item of the selection (16) leaves the canvas.
async function tabLeaves(browser, {url}) {
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
async function badSeed(browser, {url}) {
  const page = await browser.playwright.newPage();
  await page.goto(`${url}?seed=12x`);
  await page.waitForFunction(() => window.melvaron && window.melvaron.error !== null);
  const status = await page.evaluate(() => document.getElementById('status').textContent);
  check(status === "error: seed: '12x' is not a number from 0 to 4294967295",
        `a bad seed is refused: ${status}`);
  await page.close();
}

// A browser that can run neither build is told in one line what it lacks, never left loading.
async function lacking(browser, {url}) {
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

module.exports = {phone, installed, keptOpen, takeBackWays, resumed, staticHost, withoutServiceWorker, refusedEngine, tabLeaves,
                  badSeed, lacking};
