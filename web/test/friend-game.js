// "Play a friend" in Chromium through the real game server: two pages (two browser contexts)
// meet by the link and play a whole game by clicks, each board equal to the other after every
// move. The friend's first answer to its join is lost on the way and the page still ends
// seated; each page is reloaded once, one loses its connection once, a third page is refused
// the taken seat, a fifth tab of a seat makes the oldest give way until it is clicked, a
// take-back is asked and accepted, and the server is killed (-9) and started again on the same
// data with its store failing the first read: the page that meets "try again" keeps its seat,
// both pages come back and the game goes on from its last stored move. No page is ever reset:
// the digests of their histories are the server's.
// At the end the record each page downloads is the game played, as melvaron-replay --record
// reads it. A static host's page says in one line why it cannot invite.
// Each takes the browser and the run: {site, work, url, facts, byName, replay, server}.
'use strict';
const {execFileSync, spawn} = require('child_process');
const fs = require('fs');
const path = require('path');
const {playwrightTab, served, started, stopped} = require('./browsers');
const {check, note} = require('./report');
const {waitFor} = require('./page-driver');
const {LoadDeadline} = require('./sessions');

const MoveDeadline = 30000;      // a move seen by both pages; a tick is 50 ms
const ReconnectDeadline = 60000; // the pages' back-off reaches 15 s at most

// ---- What runs in the page ----
const probe = () => {
  const f = window.melvaronFriend && window.melvaronFriend.state;
  if (!f || !window.Module || !Module._melvaron_state) return null;
  // The board's half of the picture, hashed: the side panels differ by seat.
  const canvas = document.getElementById('screen');
  const pixels = canvas.getContext('2d').getImageData(0, 0, 512, canvas.height).data;
  let hash = 2166136261;
  for (let i = 0; i < pixels.length; i += 4)
    hash = Math.imul(hash ^ (pixels[i] | pixels[i + 1] << 8 | pixels[i + 2] << 16), 16777619);
  return {...f, state: Module._melvaron_state(), board: hash >>> 0,
          status: document.getElementById('status').textContent,
          errors: window.melvaron.pageErrors.length + (window.melvaron.error ? 1 : 0)};
};
// Client points of the cells where the player to move may put, one well inside each.
const legalPoints = () => {
  if (!window.cellPixels) {
    const hits = {};
    for (let y = 0; y < 512; y++)
      for (let x = 0; x < 512; x++) {
        const cell = Module._melvaron_cell_at(x, y);
        if (cell >= 0) (hits[cell] = hits[cell] || []).push([x, y]);
      }
    window.cellPixels = Object.fromEntries(Object.entries(hits).map(([c, list]) =>
                                                                    [c, list[list.length >> 1]]));
  }
  const r = document.getElementById('screen').getBoundingClientRect();
  const scale = r.width / document.getElementById('screen').width;
  return Object.entries(window.cellPixels)
      .filter(([c]) => Module._melvaron_may_put(Number(c)))
      .map(([c, [x, y]]) => ({cell: Number(c), x: r.left + (x + 0.5) * scale,
                              y: r.top + (y + 0.5) * scale}));
};

// What the test does to a page's connection, as a network would: the answer to a join lost on
// the way (the socket cut as it arrives), asked for by a count in the page's storage and
// counted down as it happens. Runs before the page's own scripts.
const networkFaults = (armed) => {
  const take = (key) => {
    const n = Number(localStorage.getItem(key) || 0);
    if (n > 0) localStorage.setItem(key, String(n - 1));
    return n > 0;
  };
  try {
    if (localStorage.getItem('melvaron-test-armed') === null) {
      localStorage.setItem('melvaron-test-armed', '1');
      for (const [key, n] of Object.entries(armed)) localStorage.setItem(key, String(n));
    }
  } catch (e) {
    return; // a page without storage (about:blank)
  }
  const Real = window.WebSocket;
  window.WebSocket = class extends Real {
    get onmessage() {
      return super.onmessage;
    }
    set onmessage(f) {
      super.onmessage = (m) => {
        if (/"type":"joined"/.test(m.data) && take('melvaron-test-lose-joined')) {
          this.close();
          return;
        }
        f(m);
      };
    }
  };
};
const faultsLeft = (key) => Number(localStorage.getItem(key) || 0);

// The server program on port (0: a free one) with its games in data, its environment with env;
// resolves to {child, url}.
async function serverStarted(program, site, data, port = 0, env = {}) {
  const child = spawn(program, ['--listen', `127.0.0.1:${port}`, '--site', site, '--data', data,
                                '--metrics', 'off'],
                      {stdio: ['ignore', 'pipe', 'ignore'], env: {...process.env, ...env}});
  const [, url] = await started(child, child.stdout, /serving (http:\/\/[0-9.]+:[0-9]+\/)/,
                                'melvaron-server');
  return {child, url};
}

async function friendGame(browser, {site, work, states, replay, server: program}) {
  if (!program) {
    note('play a friend: no melvaron-server built, not played');
    return;
  }
  const data = fs.mkdtempSync(path.join(work, 'server-data-'));
  let server = await serverStarted(program, site, data);
  const port = Number(new URL(server.url).port);
  const contexts = [];
  const newTab = async (armed = {}) => {
    const context = await browser.playwright.newContext({viewport: {width: 1024, height: 640},
                                                         acceptDownloads: true});
    await context.addInitScript(networkFaults, armed);
    contexts.push(context);
    return playwrightTab(await context.newPage());
  };
  const opened = (tab, what) => waitFor(tab, () => window.melvaron &&
      window.melvaron.firstScreenMs !== null && window.melvaronFriend, null, LoadDeadline, what);
  try {
    const one = await newTab(), two = await newTab({'melvaron-test-lose-joined': 1});
    await one.goto(server.url);
    await opened(one, 'the first page');
    await one.page.click('#play-friend');
    const {link} = await waitFor(one, () => {
      const f = window.melvaronFriend.state;
      return f.link && f.connected ? f : null;
    }, null, MoveDeadline, 'the link for the friend');
    check(new RegExp(`^${server.url}#join=[0-9a-f]{16}\\.[0-9a-f]{32}$`).test(link),
          `play a friend: the link is offered beside the picture (${link.replace(/\..*/, '…')})`);
    await two.goto(link);
    await opened(two, 'the friend\'s page');
    const tabs = [one, two];
    const both = async () => Promise.all(tabs.map((t) => t.run(probe)));
    // Both pages at rest on the same game: one awaits its person (or the game is over), both
    // hold the same events and show the same board.
    const agreed = async (what, deadline = MoveDeadline) => {
      const end = Date.now() + deadline;
      for (;;) {
        const p = await both().catch(() => [null, null]);
        const rest = (s) => s === states.gsWaitPut || s === states.gsOnlineWait ||
                            s === states.gsGameOver;
        if (p[0] && p[1] && p[0].connected && p[1].connected && p[0].last === p[1].last &&
            rest(p[0].state) && rest(p[1].state) && p[0].board === p[1].board &&
            (p[0].state === states.gsWaitPut) + (p[1].state === states.gsWaitPut) +
            2 * (p[0].state === states.gsGameOver && p[1].state === states.gsGameOver) >= 1)
          return p;
        if (Date.now() > end)
          throw new Error(`${what}: the pages did not agree within ${deadline / 1000} s ` +
                          `(${JSON.stringify(p && p.map((s) => s && [s.state, s.last,
                                                                     s.connected, s.status]))})`);
        await new Promise((resolve) => setTimeout(resolve, 20));
      }
    };
    let p = await agreed('the friend\'s join');
    check(p[0].seat === 1 && p[1].seat === 2 && p[0].state === states.gsWaitPut &&
          p[1].state === states.gsOnlineWait,
          'play a friend: the link seats the friend as player 2, player 1 to move');
    check(await two.run(faultsLeft, 'melvaron-test-lose-joined') === 0,
          'play a friend: a join whose answer was lost on the way is asked again and seats ' +
          'the friend');

    let seed = 12345;
    const random = (n) => {
      seed = (Math.imul(seed, 1103515245) + 12345) >>> 0;
      return (seed >>> 16) % n;
    };
    const puts = []; // the puts of the game as played: [player, cell]
    let unequal = 0, moves = 0, disturbed = 0;
    while (p[0].state !== states.gsGameOver) {
      const mover = p[0].state === states.gsWaitPut ? 0 : 1;
      const points = await tabs[mover].run(legalPoints);
      const at = points[random(points.length)];
      await tabs[mover].mouse(at.x, at.y, 0);
      puts.push([mover + 1, at.cell]);
      moves++;
      const before = p[0].last;
      try {
        await waitFor(tabs[1 - mover], (n) => window.melvaronFriend.state.last > n, before,
                      MoveDeadline, `move ${moves} reaching the other page`);
      } catch (e) {
        const now = await both().catch(() => []);
        throw new Error(`${e.message} (player ${mover + 1} put on ${at.cell}; the pages: ` +
                        `${JSON.stringify(now.map((s) => s && [s.state, s.last, s.connected,
                                                               s.status]))})`);
      }
      p = await agreed(`move ${moves}`);
      unequal += p[0].board !== p[1].board;

      if (moves === 3) {
        // A third device with the same link: the seat is taken.
        const third = await newTab();
        await third.goto(link);
        await opened(third, 'a third page');
        const refused = await waitFor(third, () => /taken/.test(
            document.getElementById('status').textContent) && window.melvaronFriend.state,
                                      null, MoveDeadline, 'the third page\'s refusal');
        check(refused.seat === null, 'play a friend: a third page with the link is refused ' +
                                     'the taken seat, beside the picture');
        await third.close();
      } else if (moves === 6 || moves === 12) {
        // A reload keeps the seat, and the game as it stands.
        const tab = tabs[moves === 6 ? 0 : 1];
        await tab.page.reload();
        await opened(tab, 'a reloaded page');
        p = await agreed(`the reload after move ${moves}`);
        disturbed += check(p[moves === 6 ? 0 : 1].seat === (moves === 6 ? 1 : 2),
                           `play a friend: player ${moves === 6 ? 1 : 2} reloaded keeps the seat` +
                           ' and the game');
      } else if (moves === 14) {
        // A fifth tab of player 1's seat: the oldest connection, the first page's, gives way and
        // says so, and comes back only when it is clicked.
        const extra = [];
        for (let i = 0; i < 4; i++) {
          const tab = playwrightTab(await contexts[0].newPage());
          extra.push(tab);
          await tab.goto(server.url);
          await opened(tab, `player 1's tab ${i + 2}`);
          await waitFor(tab, () => window.melvaronFriend.state.connected, null, MoveDeadline,
                        `player 1's tab ${i + 2} connected`);
        }
        const gaveWay = await waitFor(one, () => {
          const f = window.melvaronFriend.state;
          return f.replaced && !f.connected ? document.getElementById('status').textContent
                                            : null;
        }, null, MoveDeadline, 'the oldest tab giving way');
        for (const tab of extra) await tab.close();
        await one.page.click('#status');
        p = await agreed('the first page clicked again', ReconnectDeadline);
        disturbed += check(p[0].seat === 1 && !p[0].replaced,
                           `play a friend: a fifth tab makes the oldest give way ("${gaveWay}"), ` +
                           'which comes back when clicked');
      } else if (moves === 9) {
        // The mover takes its put back and the friend accepts.
        await tabs[mover].page.click('#take-back');
        await waitFor(tabs[1 - mover], () => window.melvaronFriend.state.asked, null,
                      MoveDeadline, 'the take-back ask');
        await tabs[1 - mover].page.click('#takeback-accept');
        puts.pop();
        await waitFor(tabs[mover], (n) => window.melvaronFriend.state.last >= n + 2, p[0].last,
                      MoveDeadline, 'the take-back');
        p = await agreed('the take-back');
        disturbed += check(p[mover].state === states.gsWaitPut,
                           `play a friend: player ${mover + 1}'s take-back, accepted by the ` +
                           'friend, gives the move back');
      } else if (moves === 16) {
        // A connection lost as on a network's drop comes back by itself.
        await tabs[1].run(() => window.melvaronFriend.drop());
        await waitFor(tabs[1], () => !window.melvaronFriend.state.connected ||
                      /connect/.test(document.getElementById('status').textContent), null,
                      MoveDeadline, 'the drop');
        p = await agreed('the reconnection', ReconnectDeadline);
        disturbed += check(true, 'play a friend: a dropped connection comes back with the game');
      } else if (moves === 22) {
        // The server killed outright and started again on its data, on the same port, with its
        // store failing the first read: the first page back is told to try again.
        server.child.kill('SIGKILL');
        await stopped(server.child);
        await waitFor(one, () => !window.melvaronFriend.state.connected, null, MoveDeadline,
                      'the first page seeing the server gone');
        const waited = p[0].waits + p[1].waits;
        server = await serverStarted(program, site, data, port,
                                     {MELVARON_SERVER_FAIL_READS: '1'});
        p = await agreed('the server\'s restart', ReconnectDeadline);
        disturbed += check(p[0].last >= 1 && p[0].seat === 1 && p[1].seat === 2,
                           'play a friend: after kill -9 and a restart on the same data both ' +
                           'pages go on from the last move');
        disturbed += check(p[0].waits + p[1].waits > waited,
                           'play a friend: a page told "try again" by a failing store keeps its ' +
                           'seat and comes back');
      }
    }
    check(unequal === 0 && disturbed === 7,
          `play a friend: a whole game by clicks, ${moves} moves, both boards equal after each`);
    const errors = p[0].errors + p[1].errors;
    check(errors === 0, `play a friend: no error on either page (${errors})`);
    check(p[0].resets + p[1].resets === 0,
          'play a friend: no page was reset: each hello\'s digest was the server\'s');

    // Each side's record, downloaded, read back by the replay tool.
    const records = [];
    for (const [i, tab] of tabs.entries()) {
      const [download] = await Promise.all([tab.page.waitForEvent('download'),
                                            tab.page.click('#record')]);
      const file = path.join(work, `friend-record-${i + 1}.txt`);
      await download.saveAs(file);
      records.push(fs.readFileSync(file, 'utf8'));
      let read;
      try {
        read = execFileSync(replay, ['--record', file], {encoding: 'utf8',
                                                         stdio: ['ignore', 'pipe', 'pipe']});
      } catch (e) {
        read = `status ${e.status}: ${String(e.stderr).trim()}`;
      }
      const played = records[i].split('\n').filter((l) => l.startsWith('put '))
                         .map((l) => l.split(' ').slice(1, 3).map(Number));
      check(JSON.stringify(played) === JSON.stringify(puts) && /winner=[0-2]/.test(read),
            `play a friend: player ${i + 1}'s record is the game played ` +
            `(${read.trim().split('\n').pop()})`);
    }
    check(records[0] === records[1], 'play a friend: both records are the same text');

    // A server whose data is gone: the page reloaded is refused its seat, says so and plays on
    // here, and may invite anew.
    server.child.kill('SIGKILL');
    await stopped(server.child);
    server = await serverStarted(program, site, fs.mkdtempSync(path.join(work, 'empty-')), port);
    await one.page.reload();
    await opened(one, 'the page of a game the server lost');
    const lost = await waitFor(one, () => {
      const f = window.melvaronFriend.state;
      return /no game/.test(document.getElementById('status').textContent) && f.seat === null &&
          !document.getElementById('play-friend').hidden ? f : null;
    }, null, ReconnectDeadline, 'the lost game\'s line');
    check(lost.seat === null, 'play a friend: a game the server lost is left for local play');
  } finally {
    for (const context of contexts) await context.close().catch(() => {});
    await stopped(server.child);
  }
}

// A long game, made by two seats of the test's own (sockets of a page on the server's origin):
// player 1 puts, asks to take the put back and player 2 accepts, over and over. A fresh page for
// seat 2 is then caught up on every event, in several of the server's batches as its socket
// drains, without a resync or a reset, and a drop after it brings the page back on the digest
// of the whole history. Each seat's requests go round its connections, each kept within the
// server's budget of messages (docs/PROTOCOL.md: 40 at once, 10 a second after), a little below.
const LongGameEvents = 400;
const Budget = {atOnce: 36, perSecond: 9};
// The digest of no events, a connection's hello before it holds any: SHA-256 of nothing.
const EmptyDigest = 'e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855';
const longGame = async ({path, secretDigits, events, nothing, budget}) => {
  const hex = () => Array.from(crypto.getRandomValues(new Uint8Array(secretDigits / 2)),
                               (b) => b.toString(16).padStart(2, '0')).join('');
  const open = () => new Promise((resolve, reject) => {
    const c = {ws: new WebSocket(`ws://${location.host}${path}`), inbox: [], wake: null,
               tokens: budget.atOnce, since: performance.now()};
    c.ws.onmessage = (m) => {
      c.inbox.push(JSON.parse(m.data));
      if (c.wake) c.wake();
    };
    c.ws.onopen = () => resolve(c);
    c.ws.onerror = () => reject(new Error('the test\'s seat could not connect'));
  });
  // The first message that pred takes; those before it are passed over.
  const until = async (c, pred) => {
    for (;;) {
      while (c.inbox.length) {
        const m = c.inbox.shift();
        if (pred(m)) return m;
      }
      await new Promise((wake) => {
        c.wake = wake;
      });
    }
  };
  const secret1 = hex(), secret2 = hex();
  const first = await open();
  first.ws.send(JSON.stringify({type: 'create', secret: secret1}));
  const created = await until(first, (m) => m.type === 'created');
  const seats = [{secret: secret1, links: [first], next: 0}, {secret: secret2, links: [], next: 0}];
  const join = await open();
  join.ws.send(JSON.stringify({type: 'join', game: created.game, invitation: created.invitation,
                               secret: secret2}));
  await until(join, (m) => m.type === 'joined');
  seats[1].links.push(join);
  for (const s of seats)
    while (s.links.length < 3) {
      const c = await open();
      c.ws.send(JSON.stringify({type: 'hello', game: created.game, secret: s.secret, last: 0,
                                digest: nothing}));
      await until(c, (m) => m.type === 'welcome');
      s.links.push(c);
    }
  // A request of seat s, answering event n, when its connection's budget allows; gives the
  // event it made.
  const ask = async (s, request, n) => {
    const c = s.links[s.next++ % s.links.length];
    for (;;) {
      const now = performance.now();
      c.tokens = Math.min(budget.atOnce, c.tokens + (now - c.since) * budget.perSecond / 1000);
      c.since = now;
      if (c.tokens >= 1) break;
      await new Promise((resolve) => setTimeout(resolve, 1000 / budget.perSecond));
    }
    c.tokens -= 1;
    c.ws.send(JSON.stringify({...request, secret: s.secret, after: n}));
    const e = await until(c, (m) => (m.type === 'event' && m.n === n + 1) || m.type === 'refused');
    if (e.type !== 'event') throw new Error(`${request.type} refused: ${e.reason}`);
    return n + 1;
  };
  // A put of player 1 at the start, as the page's own game (at its first screen) allows.
  let cell = 0;
  while (!Module._melvaron_may_put(cell)) cell++;
  let n = 1; // the join
  while (n < events) {
    n = await ask(seats[0], {type: 'move', cell}, n);
    n = await ask(seats[0], {type: 'takeback'}, n);
    n = await ask(seats[1], {type: 'takeback_answer', accept: true}, n);
  }
  for (const s of seats) for (const c of s.links) c.ws.close();
  return {game: created.game, secret: secret2, last: n};
};

async function friendLongGame(browser, {site, work, states, server: program}) {
  if (!program) {
    note('play a friend, a long game: no melvaron-server built, not played');
    return;
  }
  const server = await serverStarted(program, site, fs.mkdtempSync(path.join(work, 'long-')));
  const context = await browser.playwright.newContext();
  try {
    const tab = playwrightTab(await context.newPage());
    await tab.goto(server.url);
    await waitFor(tab, () => window.melvaron && window.melvaron.firstScreenMs !== null &&
                  window.melvaronFriend, null, LoadDeadline, 'the first screen');
    const made = Date.now();
    const {protocol} = await tab.run(() => melvaronFacts);
    const game = await tab.run(longGame, {path: protocol.path, secretDigits: protocol.secretDigits,
                                          events: LongGameEvents, nothing: EmptyDigest,
                                          budget: Budget});
    note(`play a friend, a long game: ${game.last} events made in ` +
         `${((Date.now() - made) / 1000).toFixed(1)} s`);
    // Seat 2 kept in the page's storage, as a page that holds none of its events would keep it.
    await tab.run((g) => localStorage.setItem('melvaron-friend-seat', JSON.stringify(
        {game: g.game, seat: 2, secret: g.secret, events: []})), game);
    const start = Date.now();
    await tab.page.reload();
    const caught = await waitFor(tab, ({last, rest}) => {
      const f = window.melvaronFriend && window.melvaronFriend.state;
      return f && f.connected && f.last === last && Module._melvaron_state() === rest ? f : null;
    }, {last: game.last, rest: states.gsOnlineWait}, 4 * MoveDeadline, 'the long catch-up');
    check(caught.seat === 2 && caught.resets === 0,
          `play a friend: a fresh page caught up on ${game.last} events, seated, the friend to ` +
          'move, in ' +
          `${((Date.now() - start) / 1000).toFixed(1)} s`);
    await tab.run(() => window.melvaronFriend.drop());
    await waitFor(tab, () => !window.melvaronFriend.state.connected, null, MoveDeadline,
                  'the drop');
    const back = await waitFor(tab, () => {
      const f = window.melvaronFriend.state;
      return f.connected ? f : null;
    }, null, ReconnectDeadline, 'the page back after the drop');
    check(back.last === game.last && back.resets === 0,
          'play a friend: the long game\'s page back after a drop, its history\'s digest the ' +
          'server\'s');
  } finally {
    await context.close().catch(() => {});
    await stopped(server.child);
  }
}

// A page from a static host: every local game, and one line on why it cannot invite.
async function friendWithoutServer(browser, {site}) {
  const {server, url} = await served(site);
  const context = await browser.playwright.newContext();
  try {
    const tab = playwrightTab(await context.newPage());
    await tab.goto(url);
    await waitFor(tab, () => window.melvaron && window.melvaron.firstScreenMs !== null &&
                  window.melvaronFriend, null, LoadDeadline, 'the first screen');
    await tab.page.click('#play-friend');
    const status = await waitFor(tab, () => {
      const text = document.getElementById('status').textContent;
      return /game server/.test(text) ? text : null;
    }, null, MoveDeadline, 'the page saying why');
    const seat = await tab.run(() => window.melvaronFriend.state.seat);
    check(seat === null, `play a friend from a static host: "${status}"`);
  } finally {
    await context.close();
    await stopped(server);
  }
}

module.exports = {friendGame, friendLongGame, friendWithoutServer};
