#!/usr/bin/env node
// The page's figures for the README: where the picture is shown on four screens (Chromium's
// emulated phones and tablet), and the time from the request to the first picture in each
// engine (in Chromium with and without threads), on the browser's first load and on later ones
// (served by the service worker's cache).
//   node measure-web.js SITE_DIR [--loads N] [--engine NAME]...
'use strict';
const fs = require('fs');
const path = require('path');
const {ENGINES, engineNamed, served, stopped} = require('../test/browsers');

const Screens = [[412, 915, 2.625], [915, 412, 2.625], [667, 375, 2], [1180, 820, 2]];

function usage(message) {
  console.error(`error: ${message}`);
  console.error('usage: node measure-web.js SITE_DIR [--loads N] [--engine NAME]...');
  process.exit(2);
}
const args = process.argv.slice(2);
const engines = [];
let loads = 7, site = null;
for (let i = 0; i < args.length; i++) {
  if (args[i] === '--engine') {
    engines.push(engineNamed(args[++i], usage));
  } else if (args[i] === '--loads') {
    const n = args[++i] || '';
    if (!/^[0-9]{1,3}$/.test(n) || Number(n) < 2)
      usage(`--loads: '${n.slice(0, 40)}' is not 2 to 999`);
    loads = Number(n);
  } else if (site === null) {
    site = path.resolve(args[i]);
  } else {
    usage(`unexpected argument '${args[i].slice(0, 40)}'`);
  }
}
if (site === null) usage('SITE_DIR is needed');
if (!fs.existsSync(path.join(site, 'index.html'))) usage(`no index.html in ${site}`);
if (!engines.length) engines.push('chromium', 'firefox', 'webkit');

const median = (v) => [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)];
const shown = () => window.melvaron && (window.melvaron.firstScreenMs !== null ||
    window.melvaron.error !== null || window.melvaron.pageErrors.length > 0);

async function firstScreen(tab, url) {
  await tab.goto(url);
  const end = Date.now() + 60000;
  while (!(await tab.run(shown))) {
    if (Date.now() > end) throw new Error('no first screen within a minute');
    await new Promise((resolve) => setTimeout(resolve, 10));
  }
  const {firstScreenMs, error, pageErrors} = await tab.run(() => window.melvaron);
  if (firstScreenMs === null) throw new Error(error || pageErrors[0]);
  return Math.round(firstScreenMs);
}

(async () => {
  const {server, url} = await served(site);
  let status = 0;
  for (const engine of engines) {
    let browser = null;
    try {
      browser = await ENGINES[engine].start();
      if (engine === 'chromium') {
        for (const [width, height, deviceScaleFactor] of Screens) {
          const context = await browser.playwright.newContext(
              {viewport: {width, height}, deviceScaleFactor, isMobile: true, hasTouch: true});
          const page = await context.newPage();
          await page.goto(url);
          await page.waitForFunction(() => window.melvaron && window.melvaron.fit);
          const f = await page.evaluate(() => window.melvaron.fit);
          console.log(`${width} x ${height} (device pixel ratio ${deviceScaleFactor}): scale ${
              f.scale.toFixed(3)}, ${f.width.toFixed(1)} x ${f.height.toFixed(1)} CSS px at (${
              f.left.toFixed(1)}, ${f.top.toFixed(1)})`);
          await context.close();
        }
      }
      // Chromium also loads the page without threads, as a host without isolation gets it.
      for (const query of engine === 'chromium' ? ['', '&search=worker'] : ['']) {
        const tab = await browser.open({width: 1024, height: 640});
        const times = [];
        for (let i = 0; i < loads; i++) times.push(await firstScreen(tab, `${url}?seed=1${query}`));
        const search = await tab.run(() => window.melvaron.search);
        await tab.close();
        const later = times.slice(1);
        console.log(`${browser.version}, search on ${search}: first screen ${times[0]} ms on ` +
                    `the browser's first load, then median ${median(later)} ms (${
                        Math.min(...later)} to ${Math.max(...later)}) over ${later.length} loads`);
      }
    } catch (e) {
      console.error(`error: ${engine}: ${e.message.split('\n')[0]}`);
      status = 1;
    } finally {
      if (browser) await browser.stop().catch(() => {});
    }
  }
  await stopped(server);
  process.exit(status);
})();
