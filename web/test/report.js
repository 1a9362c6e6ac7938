// The browser test's verdicts: one line per check, the lines of each job (an engine's start, a
// session in one page) kept together and printed when it ends, since jobs run side by side.
'use strict';
const {AsyncLocalStorage} = require('async_hooks');

const tally = {passed: 0, failed: 0};
const jobLines = new AsyncLocalStorage();

function say(line) {
  const lines = jobLines.getStore();
  if (lines) lines.push(line); else console.log(line);
}

// Counts and says a check; returns ok.
function check(ok, what) {
  say(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (ok) tally.passed++; else tally.failed++;
  return ok;
}

const note = (text) => say(`     ${text}`);

// Runs one job: an error it throws is a failed check, and its time is noted.
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

// Runs the jobs (functions giving a promise), at most width at a time.
async function sideBySide(jobs, width) {
  const queue = [...jobs];
  const lane = async () => {
    while (queue.length) await queue.shift()();
  };
  await Promise.all(Array.from({length: width}, lane));
}

module.exports = {tally, check, note, job, sideBySide};
