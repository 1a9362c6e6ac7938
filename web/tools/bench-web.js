#!/usr/bin/env node
// The search's bench in headless Chromium, for the README's figures:
//   node bench-web.js BENCH_DIR [--threads N | --single] DEPTH...   (BENCH_DIR: build-web/bench)
// --single: the build without threads, whose search a page without shared memory runs.
'use strict';
const {chromium} = require('playwright-core');
const {ENGINES, served, stopped} = require('../test/browsers');

const args = process.argv.slice(2);
const single = args.includes('--single');
if (single) args.splice(args.indexOf('--single'), 1);
let threads = '';
const at = args.indexOf('--threads');
if (at >= 0) threads = args.splice(at, 2)[1] || 'none';
const [dir, ...depths] = args;
if (!dir || !depths.length || depths.some((d) => !/^[0-9]{1,2}$/.test(d)) ||
    !/^[0-9]?$/.test(threads) || (single && threads)) {
  console.error('usage: node bench-web.js BENCH_DIR [--threads N | --single] DEPTH...');
  process.exit(2);
}

(async () => {
  const {server, url} = await served(dir);
  const browser =
      await chromium.launch({executablePath: ENGINES.chromium.executable, args: ['--no-sandbox']});
  let status = 0;
  try {
    for (const depth of depths) {
      const page = await browser.newPage();
      await page.goto(`${url}?depth=${depth}${threads ? '&threads=' + threads : ''}${
          single ? '&single' : ''}`);
      await page.waitForFunction(() => /time to move|error/.test(
          document.getElementById('out').textContent), null, {timeout: 0, polling: 200});
      console.log(`depth ${depth} in ${browser.version()}:`);
      console.log(await page.evaluate(() => document.getElementById('out').textContent.trim()));
      await page.close();
    }
  } catch (e) {
    console.error('error: ' + e.message.split('\n')[0]);
    status = 1;
  } finally {
    await browser.close();
    await stopped(server);
  }
  process.exit(status);
})();
