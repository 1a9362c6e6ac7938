// Chromium's own checks of the page: a phone held both ways (by finger, the fit, a swipe and a
// pinch), the site installed, updated and played offline, a static host's page isolated by the
// service worker, the keyboard's way out of the canvas, a bad seed and a browser lacking what
// the game needs. Each takes the browser and the run: {site, work, url, facts, byName}.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const {ENGINES, playwrightTab, served, stopped} = require('./browsers');
const {check} = require('./report');
const {inPage, waitFor, fitProblem, fitText} = require('./page-driver');
const {play, Phone, LoadDeadline} = require('./sessions');

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

// The site as installed: Chromium finds no installability error; a new build deployed over it
// takes over cleanly (one cache left, the new one); with the server gone the page still plays a
// whole game. A persistent profile, since an incognito one never installs.
async function installed(browser, {site, work, facts, byName}) {
  const copy = path.join(work, 'site');
  fs.cpSync(site, copy, {recursive: true});
  let {server, url} = await served(copy);
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
    const build = await tab.run(() => melvaronFacts.build);
    check(first.join() === `melvaron-${facts.build}` && build === facts.build,
          `the page runs build ${build}, kept in ${first.join(', ')}`);

    // A new build: another page.js, and the build's hash anew where the build writes it.
    fs.appendFileSync(path.join(copy, 'page.js'), '\n// the next build\n');
    const stamped = [['sw.js', /const BUILD = '[^']*'/], ['facts.js', /build: '[^']*'/]];
    for (const [file, hash] of stamped) {
      const text = fs.readFileSync(path.join(copy, file), 'utf8');
      fs.writeFileSync(path.join(copy, file),
                       text.replace(hash, (found) => found.replace(/'[^']*'/, "'next'")));
    }
    await page.reload();
    await waitFor(tab, inPage.ready, null, LoadDeadline, 'the page before the update');
    await waitFor(tab, async () => (await caches.keys()).join() === 'melvaron-next', null,
                  LoadDeadline, 'the new build in its cache').catch(() => {});
    await page.reload();
    await waitFor(tab, inPage.ready, null, LoadDeadline, 'the page after the update');
    const now = await tab.run(async () => ({
      caches: await caches.keys(),
      next: /the next build/.test(await (await fetch('page.js')).text()),
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

module.exports = {phone, installed, staticHost, tabLeaves, badSeed, lacking};
