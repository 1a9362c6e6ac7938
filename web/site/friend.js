// Playing a friend on another device through the game server (docs/PROTOCOL.md): "Play a friend"
// creates a game and shows the link for the friend, opening the link takes seat 2, the seat and
// the game's events are kept in the site's storage so that a reload keeps the seat, and every
// (re)connection says hello with the last event held. The game itself (Module._melvaron_online_*)
// shows each event as it shows a local move, and hands the person's puts and take-back asks here.
'use strict';
(function () {
  const SeatKey = 'melvaron-friend-seat';
  const NoServer = 'Play a friend needs the game server, and this page cannot reach one';
  const $ = (id) => document.getElementById(id);
  const playFriend = $('play-friend'), invite = $('invite'), inviteLink = $('invite-link');
  const shareButton = $('invite-share'), ask = $('takeback-ask'), askText = $('takeback-ask-text');
  const putAgain = $('put-again');

  // The seat: {game, seat, secret, invitation (player 1's, until the friend comes), events}.
  let seat = null;
  let socket = null, connected = false;
  let retryMs = 0, retryTimer = null;
  let catchUpTo = 0;     // the welcome's last event: until it is held, events are not shown yet
  let opening = null;    // what a new connection asks first when no seat is held: create or join
  let resyncs = 0;       // resyncs since the last event that the game took
  let recordWanted = null;
  const last = () => (seat ? seat.events.length : 0);
  const tell = (line) => Module.melvaronPage.tell(line);
  const game = (name, ...args) => Module['_melvaron_online_' + name](...args);

  function load() {
    try {
      const kept = JSON.parse(localStorage.getItem(SeatKey));
      if (kept && /^[0-9a-f]{16}$/.test(kept.game) && (kept.seat === 1 || kept.seat === 2) &&
          /^[0-9a-f]{32}$/.test(kept.secret) && Array.isArray(kept.events))
        return kept;
    } catch (e) {
      // no storage, or not ours: no seat
    }
    return null;
  }
  function save() {
    try {
      if (seat) localStorage.setItem(SeatKey, JSON.stringify(seat));
      else localStorage.removeItem(SeatKey);
    } catch (e) {
      // the seat lasts as long as the page then
    }
  }

  function shown() {
    const online = seat !== null;
    playFriend.hidden = online;
    putAgain.hidden = online;
    invite.hidden = !(online && seat.invitation);
    if (online && seat.invitation)
      inviteLink.value = `${location.origin}${location.pathname}#join=${seat.game}.` +
                         seat.invitation;
  }

  // ---- The connection ----
  function address() {
    return `${location.protocol === 'https:' ? 'wss:' : 'ws:'}//${location.host}/play`;
  }
  function send(message) {
    if (!connected) return false;
    socket.send(JSON.stringify(message));
    return true;
  }
  function connect() {
    clearTimeout(retryTimer);
    retryTimer = null;
    if (socket || (!seat && !opening)) return;
    if (!/^https?:$/.test(location.protocol)) {
      tell(NoServer);
      opening = null;
      return;
    }
    let opened = false;
    const ws = socket = new WebSocket(address());
    ws.onopen = () => {
      opened = true;
      connected = true;
      if (seat) send({type: 'hello', game: seat.game, secret: seat.secret, last: last()});
      else send(opening);
    };
    ws.onmessage = (message) => {
      if (socket !== ws) return; // left, or replaced: what is still on its way is not ours
      let m;
      try {
        m = JSON.parse(message.data);
      } catch (e) {
        return;
      }
      received(m);
    };
    ws.onclose = () => {
      if (socket !== ws) return;
      socket = null;
      connected = false;
      if (!opened && !seat) {
        // Never reached: no game server behind this page, or none reachable now.
        opening = null;
        tell(NoServer);
        return;
      }
      if (seat) retry();
    };
  }
  // Back again after a growing wait; at once when the page is shown or the network comes back.
  function retry() {
    if (retryTimer !== null || !seat) return;
    tell(`player ${seat.seat}: connecting to the game server…`);
    retryMs = Math.min(Math.max(500, retryMs * 2), 15000);
    retryTimer = setTimeout(connect, retryMs);
  }
  const now = () => {
    if (seat && !socket) connect();
  };
  window.addEventListener('online', now);
  document.addEventListener('visibilitychange', () => {
    if (document.visibilityState === 'visible') now();
  });

  // ---- What the server says ----
  function received(m) {
    switch (m.type) {
    case 'created':
    case 'joined':
      seat = {game: m.game, seat: m.seat, secret: m.secret, events: []};
      if (m.invitation) seat.invitation = m.invitation;
      opening = null;
      save();
      game('start', seat.seat);
      if (m.type === 'joined') history.replaceState(null, '', location.pathname + location.search);
      tell(m.type === 'created' ? 'player 1: send the link to your friend'
                                : 'player 2: you have joined the game');
      retryMs = 0;
      shown();
      break;
    case 'welcome':
      retryMs = 0;
      if (m.reset) restart();
      catchUpTo = m.last;
      if (last() >= catchUpTo) caughtUp();
      tell(`player ${seat.seat}: connected`);
      break;
    case 'event':
      event(m, true);
      break;
    case 'presence':
      if (!seat || m.player === seat.seat) break;
      // Before the friend has come, the link is the news.
      tell(seat.invitation ? 'player 1: send the link to your friend'
                           : `player ${m.player} is ${m.here ? 'here' : 'away'}`);
      break;
    case 'refused':
      if (m.request === 'hello') {
        // The server no longer has this seat's game (its data lost or replaced): the game
        // goes on here between two persons, and Play a friend may start a new one.
        game('leave');
        forget();
        tell(`${m.reason}: the game goes on on this device only`);
        break;
      }
      tell(m.reason);
      if (m.request === 'move') game('show_all'); // the person's turn again, if it still is
      if (m.request === 'join' || m.request === 'create') opening = null;
      break;
    case 'record':
      if (recordWanted) recordWanted(m.text);
      recordWanted = null;
      break;
    default:
      break;
    }
  }

  // The game from its start, as the server sends it again.
  function restart() {
    seat.events = [];
    save();
    game('start', seat.seat);
  }
  function caughtUp() {
    catchUpTo = 0;
    game('show_all');
  }
  // The server's game and this page's differ: the whole game again from the server, twice at
  // most in a row.
  function resync() {
    if (++resyncs > 2) {
      tell('this game could not be followed here: the server and the page disagree');
      return;
    }
    restart();
    if (socket) socket.close();
  }

  // One event, in order; shown as it comes unless a batch is still coming.
  function event(e, fresh) {
    if (e.n <= last()) return; // held already
    if (e.n !== last() + 1) {
      resync();
      return;
    }
    let taken = true;
    switch (e.kind) {
    case 'put':
    case 'pass':
      taken = game('event', e.player, e.kind === 'put' ? e.cell : -1) !== 0;
      break;
    case 'takeback':
      taken = game('take_back', e.moves) !== 0;
      break;
    default:
      break;
    }
    if (!taken) {
      resync();
      return;
    }
    resyncs = 0;
    seat.events.push(e);
    if (fresh) save();
    // An ask is open while it is the latest event.
    ask.hidden = !(e.kind === 'takeback_offer' && e.player !== seat.seat);
    if (!ask.hidden)
      askText.textContent = `player ${e.player} asks to take back (the game would keep ` +
                            `${e.moves} moves)`;
    if (fresh) {
      if (e.kind === 'join') {
        delete seat.invitation;
        save();
        shown();
        tell('player 2 has joined: player 1 to move');
      } else if (e.kind === 'takeback_offer') {
        tell(e.player === seat.seat ? `player ${e.player}: take-back asked`
                                    : `player ${e.player} asks to take back`);
      } else if (e.kind === 'takeback_declined') {
        tell(`player ${e.player} declined the take-back`);
      } else if (e.kind === 'takeback') {
        tell(`player ${e.player} accepted the take-back`);
      }
    }
    if (catchUpTo && last() >= catchUpTo) caughtUp();
  }

  function forget() {
    seat = null;
    save();
    ask.hidden = true;
    shown();
    if (socket) {
      const ws = socket;
      socket = null;
      connected = false;
      ws.close();
    }
    clearTimeout(retryTimer);
    retryTimer = null;
  }

  // ---- What the game hands over ----
  const online = {
    put(cell) {
      if (!send({type: 'move', secret: seat.secret, cell, after: last()})) {
        tell(`player ${seat.seat}: not connected, the put was not sent`);
        setTimeout(() => game('show_all'));
      }
    },
    takeBack() {
      if (!send({type: 'takeback', secret: seat.secret, after: last()}))
        tell(`player ${seat.seat}: not connected, the take-back was not asked`);
    },
    // NEW GAME or END: this device leaves the game; the friend may still see it.
    left() {
      forget();
      tell(null);
    },
  };
  function answer(accept) {
    ask.hidden = true;
    if (seat) send({type: 'takeback_answer', secret: seat.secret, accept, after: last()});
  }
  $('takeback-accept').addEventListener('click', () => answer(true));
  $('takeback-decline').addEventListener('click', () => answer(false));

  function begin(request) {
    if (socket) return;
    opening = request;
    connect();
  }
  let ready = false; // the game runs
  playFriend.addEventListener('click', () => {
    if (ready && !seat) begin({type: 'create'});
  });
  $('invite-copy').addEventListener('click', () => {
    inviteLink.select();
    if (navigator.clipboard) navigator.clipboard.writeText(inviteLink.value).catch(() => {});
    else document.execCommand('copy');
  });
  shareButton.hidden = typeof navigator.share !== 'function';
  shareButton.addEventListener('click', () => {
    navigator.share({title: document.title, url: inviteLink.value}).catch(() => {});
  });

  // The record, as the server has it: downloaded from the link's own address.
  function record() {
    return new Promise((resolve, reject) => {
      if (!seat || !send({type: 'record', secret: seat.secret})) {
        reject(new Error('not connected'));
        return;
      }
      recordWanted = resolve;
    });
  }
  $('record').addEventListener('click', (event) => {
    if (!seat) return; // a local game's record is the page's own
    event.preventDefault();
    event.stopImmediatePropagation();
    record().then((text) => {
      const a = document.createElement('a');
      a.href = URL.createObjectURL(new Blob([text], {type: 'text/plain;charset=utf-8'}));
      a.download = `melvaron-${seat.game}.txt`;
      a.hidden = true;
      document.body.appendChild(a); // some browsers follow only a link in the document
      a.click();
      a.remove();
      setTimeout(() => URL.revokeObjectURL(a.href), 10000);
    }, () => tell(`player ${seat.seat}: not connected, no record`));
  }, true);

  // For the tests: where the seat stands, and a connection dropped as a network would.
  window.melvaronFriend = {
    get state() {
      return {seat: seat && seat.seat, game: seat && seat.game, last: last(), connected,
              link: seat && seat.invitation ? inviteLink.value : null, asked: !ask.hidden};
    },
    drop() {
      if (socket) socket.close();
    },
    record,
  };

  // Once the game runs: take the kept seat back, or the seat a link offers.
  function started() {
    ready = true;
    Module.melvaronPage.online = online;
    const join = /^#join=([0-9a-f]{16})\.([0-9a-f]{32})$/.exec(location.hash);
    seat = load();
    if (seat && join && join[1] !== seat.game) seat = null; // a new invitation wins
    if (seat) {
      game('start', seat.seat);
      const events = seat.events;
      seat.events = [];
      for (const e of events) event(e, false);
      game('show_all');
      if (join) history.replaceState(null, '', location.pathname + location.search);
      connect();
    } else if (join) {
      begin({type: 'join', game: join[1], invitation: join[2]});
    }
    shown();
  }
  if (window.melvaron && window.melvaron.firstScreenMs !== null) started();
  else window.addEventListener('melvaron-first-screen', started, {once: true});
})();
