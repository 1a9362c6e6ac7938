// Playing a friend on another device through the game server (docs/PROTOCOL.md): "Play a friend"
// creates a game and shows the link for the friend, opening the link takes seat 2, the seat and
// the game's events are kept in the site's storage so that a reload keeps the seat, and every
// (re)connection says hello with the last event held and the digest of them all. The page makes
// each seat's secret itself and keeps it before asking, so that a create or a join whose answer
// is lost is asked again and answered the same. The game itself (Module._melvaron_online_*)
// applies each event as the engine does and shows it as it shows a local move, and hands the
// person's puts and take-back asks here.
'use strict';
(function () {
  const SeatKey = 'melvaron-friend-seat';
  const OpeningKey = 'melvaron-friend-opening';
  const NoServer = 'Play a friend needs the game server, and this page cannot reach one';
  const {protocol} = melvaronFacts;
  const {events, endReasons, refusals, closes} = protocol;
  // The program numbers kinds and reasons in the order the facts list them.
  const kindNumbers = Object.values(events), reasonNumbers = Object.values(endReasons);
  const $ = (id) => document.getElementById(id);
  const playFriend = $('play-friend'), invite = $('invite'), inviteLink = $('invite-link');
  const shareButton = $('invite-share'), ask = $('takeback-ask'), askText = $('takeback-ask-text');
  const putAgain = $('put-again');

  // The seat: {game, seat, secret, invitation (player 1's, until the friend comes), events (the
  // texts the server sent, in order)}.
  let seat = null;
  // A create or join asked with the page's own secret and not answered yet; kept, so that a lost
  // answer is asked for again with the same secret.
  let opening = null;
  // The connection, and whether the server has seated it: a request of the seat's goes only
  // then, for before the welcome the page may be behind the game.
  let socket = null, connected = false;
  let retryMs = 0, retryTimer = null;
  let replaced = false;  // another tab or device took this seat's connection: back when asked
  let catchUpTo = 0;     // the welcome's last event: until it is held, events are not shown yet
  let resyncs = 0;       // resyncs since the last event that the game took
  let resets = 0;        // welcomes that reset the page's history (for the tests)
  let waits = 0;         // refusals that said "try again" (for the tests)
  let recordWanted = null;
  const last = () => (seat ? seat.events.length : 0);
  const tell = (line) => Module.melvaronPage.tell(line);
  const game = (name, ...args) => Module['_melvaron_online_' + name](...args);
  const hex = (digits) => new RegExp(`^[0-9a-f]{${digits}}$`);
  const isGame = hex(protocol.gameIdDigits), isSecret = hex(protocol.secretDigits);

  // ---- What the page keeps ----
  function read(key) {
    try {
      return JSON.parse(localStorage.getItem(key));
    } catch (e) {
      return null; // no storage, or not ours
    }
  }
  function write(key, value) {
    try {
      if (value) localStorage.setItem(key, JSON.stringify(value));
      else localStorage.removeItem(key);
    } catch (e) {
      // it lasts as long as the page then
    }
  }
  function load() {
    const kept = read(SeatKey);
    if (!kept || !isGame.test(kept.game) || (kept.seat !== 1 && kept.seat !== 2) ||
        !isSecret.test(kept.secret) || !Array.isArray(kept.events))
      return null;
    // A page of an older build kept the events read; their texts are the same JSON.
    kept.events = kept.events.map((e) => (typeof e === 'string' ? e : JSON.stringify(e)));
    return kept;
  }
  const save = () => write(SeatKey, seat);
  function loadOpening() {
    const kept = read(OpeningKey);
    if (!kept || !isSecret.test(kept.secret)) return null;
    if (kept.type === 'create') return {type: 'create', secret: kept.secret};
    if (kept.type === 'join' && isGame.test(kept.game) && isSecret.test(kept.invitation))
      return {type: 'join', game: kept.game, invitation: kept.invitation, secret: kept.secret};
    return null;
  }
  function setOpening(request) {
    opening = request;
    write(OpeningKey, request);
  }
  // A seat's secret of the page's own making: 128 bits from the browser's generator (which,
  // unlike crypto.subtle, every origin has).
  function newSecret() {
    const bytes = crypto.getRandomValues(new Uint8Array(protocol.secretDigits / 2));
    return Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');
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

  // The digest of the events held, as the server computes it, from the texts of the events the
  // game took: the program computes it (crypto.subtle is missing on plain http:// origins) and
  // hands it to online.digested.
  let digested = null;
  function digest() {
    digested = null;
    game('digest');
    return digested;
  }

  // ---- The connection ----
  function address() {
    return `${location.protocol === 'https:' ? 'wss:' : 'ws:'}//${location.host}${protocol.path}`;
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
      setOpening(null);
      return;
    }
    replaced = false;
    let opened = false;
    const asked = opening && opening.asked;
    const ws = socket = new WebSocket(address());
    ws.onopen = () => {
      opened = true;
      let first;
      if (seat) {
        first = {type: 'hello', game: seat.game, secret: seat.secret, last: last(),
                 digest: digest()};
      } else {
        opening.asked = true;
        first = {type: opening.type, ...(opening.type === 'join' ? {game: opening.game,
                 invitation: opening.invitation} : {}), secret: opening.secret};
      }
      ws.send(JSON.stringify(first));
    };
    ws.onmessage = (message) => {
      if (socket !== ws) return; // left, or replaced: what is still on its way is not ours
      let m;
      try {
        m = JSON.parse(message.data);
      } catch (e) {
        return;
      }
      received(m, message.data);
    };
    ws.onclose = (close) => {
      if (socket !== ws) return;
      socket = null;
      connected = false;
      if (close.code === closes.replaced && seat) {
        // Another tab or device of this seat took over; it plays until this page is wanted.
        replaced = true;
        tell(`player ${seat.seat}: the game went on in another tab or on another device; ` +
             'click here to play it here');
        return;
      }
      if (!opened && !seat && !asked) {
        // Never reached: no game server behind this page, or none reachable now.
        setOpening(null);
        tell(NoServer);
        return;
      }
      retry();
    };
  }
  // Back again after a growing wait (bounded); at once when the page is shown or the network
  // comes back.
  function retry(line) {
    if (retryTimer !== null || (!seat && !opening)) return;
    tell(line || (seat ? `player ${seat.seat}: connecting to the game server…`
                       : 'connecting to the game server…'));
    retryMs = Math.min(Math.max(500, retryMs * 2), 15000);
    retryTimer = setTimeout(connect, retryMs);
  }
  // Closes the connection and comes back after the wait: the server asked to be asked later.
  function later(reason) {
    waits++;
    const ws = socket;
    socket = null;
    connected = false;
    if (ws) ws.close();
    retry(`${reason}: trying again shortly…`);
  }
  const now = () => {
    if ((seat || opening) && !socket) connect();
  };
  window.addEventListener('online', () => {
    if (!replaced) now();
  });
  document.addEventListener('visibilitychange', () => {
    if (document.visibilityState === 'visible') now();
  });
  // A page whose seat another took comes back when the person clicks on it.
  document.addEventListener('pointerdown', () => {
    if (replaced) now();
  });

  // ---- What the server says ----
  function received(m, text) {
    switch (m.type) {
    case 'created':
    case 'joined':
      if (!opening) break;
      seat = {game: m.game, seat: m.seat, secret: opening.secret, events: []};
      if (m.invitation) seat.invitation = m.invitation;
      save();
      setOpening(null);
      game('start', seat.seat);
      connected = true;
      if (m.type === 'joined') history.replaceState(null, '', location.pathname + location.search);
      tell(m.type === 'created' ? 'player 1: send the link to your friend'
                                : 'player 2: you have joined the game');
      retryMs = 0;
      shown();
      break;
    case 'welcome':
      connected = true;
      retryMs = 0;
      if (m.reset) {
        resets++;
        restart();
      }
      catchUpTo = m.last;
      if (last() >= catchUpTo) caughtUp();
      tell(`player ${seat.seat}: connected`);
      break;
    case 'event':
      event(m, text, true);
      break;
    case 'presence':
      if (!seat || m.player === seat.seat) break;
      // Before the friend has come, the link is the news.
      tell(seat.invitation ? 'player 1: send the link to your friend'
                           : `player ${m.player} is ${m.here ? 'here' : 'away'}`);
      break;
    case 'refused':
      refused(m);
      break;
    case 'record':
      if (recordWanted) recordWanted(m.text);
      recordWanted = null;
      break;
    default:
      break;
    }
  }

  // A request that changed nothing. Only a game that is gone or a secret that opens nothing
  // loses the seat (or the invitation); "again" waits and asks again; the rest is said.
  function refused(m) {
    const lost = m.code === refusals.gone || m.code === refusals.secret;
    switch (m.request) {
    case 'hello':
      if (lost) {
        // The server no longer has this seat's game (expired, or its data lost or replaced):
        // the game goes on here between two persons, and Play a friend may start a new one.
        game('leave');
        forget();
        tell(`${m.reason}: the game goes on on this device only`);
      } else {
        later(m.reason);
      }
      break;
    case 'create':
    case 'join':
      if (m.code === refusals.again) {
        later(m.reason);
        break;
      }
      setOpening(null);
      tell(m.reason);
      if (socket) socket.close();
      break;
    case 'move':
      tell(m.reason);
      game('show_all'); // the person's turn again, if it still is
      break;
    default:
      tell(m.reason);
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
    save();
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

  // One event, in order, handed to the game whole: the game applies it as the server did. It is
  // shown as it comes unless a catch-up is still coming.
  function event(e, text, fresh) {
    if (e.n <= last()) return; // held already
    if (e.n !== last() + 1) {
      resync();
      return;
    }
    const kind = kindNumbers.indexOf(e.kind);
    const reason = reasonNumbers.indexOf(e.reason === undefined ? endReasons.board : e.reason);
    const number = (v) => (Number.isInteger(v) ? v : 0);
    online.eventText = text;
    if (kind < 0 || reason < 0 ||
        !game('event', e.n, kind, number(e.player), number(e.cell), number(e.winner),
              number(e.count1), number(e.count2), reason, number(e.moves),
              catchUpTo || !fresh ? 0 : 1)) {
      resync();
      return;
    }
    resyncs = 0;
    seat.events.push(text);
    if (fresh && !catchUpTo) save();
    // An ask is open while it is the latest event.
    ask.hidden = !(e.kind === events.takeBackOffer && e.player !== seat.seat);
    if (!ask.hidden)
      askText.textContent = `player ${e.player} asks to take back (the game would keep ` +
                            `${e.moves} moves)`;
    if (e.kind === events.join && seat.invitation) {
      delete seat.invitation; // the friend came: the link is spent
      save();
      shown();
    }
    if (fresh && !catchUpTo) said(e);
    if (catchUpTo && last() >= catchUpTo) caughtUp();
  }
  // What an event means to the person, in one line.
  function said(e) {
    switch (e.kind) {
    case events.join:
      tell('player 2 has joined: player 1 to move');
      break;
    case events.takeBackOffer:
      tell(e.player === seat.seat ? `player ${e.player}: take-back asked`
                                  : `player ${e.player} asks to take back`);
      break;
    case events.takeBackDeclined:
      tell(`player ${e.player} declined the take-back`);
      break;
    case events.takeBack:
      tell(`player ${e.player} accepted the take-back`);
      break;
    case events.end:
      if (e.reason === endReasons.abandoned) tell('the game was abandoned: nobody moved for days');
      break;
    default:
      break;
    }
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
    replaced = false;
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
    eventText: '', // the text of the event handed to the game, for the digest
    digested(hex) {
      digested = hex;
    },
  };
  function answer(accept) {
    ask.hidden = true;
    if (seat) send({type: 'takeback_answer', secret: seat.secret, accept, after: last()});
  }
  $('takeback-accept').addEventListener('click', () => answer(true));
  $('takeback-decline').addEventListener('click', () => answer(false));

  // Asks for a seat: the request, its secret kept first.
  function begin(request) {
    if (socket) return;
    setOpening(request);
    connect();
  }
  let ready = false; // the game runs
  playFriend.addEventListener('click', () => {
    if (!ready || seat) return;
    if (opening) now(); // asked already: at once rather than after the wait
    else begin({type: 'create', secret: newSecret()});
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
              replaced, resets, waits, opening: opening && opening.type,
              link: seat && seat.invitation ? inviteLink.value : null, asked: !ask.hidden};
    },
    drop() {
      if (socket) socket.close();
    },
    record,
  };

  // Once the game runs: take the kept seat back, ask again for one asked before, or take the
  // seat a link offers.
  function started() {
    ready = true;
    Module.melvaronPage.online = online;
    const join = new RegExp(`^#join=([0-9a-f]{${protocol.gameIdDigits}})\\.` +
                            `([0-9a-f]{${protocol.secretDigits}})$`).exec(location.hash);
    seat = load();
    opening = seat ? null : loadOpening();
    if (opening) opening.asked = true; // kept only to be asked: it may have been
    if (seat && join && join[1] !== seat.game) seat = null; // a new invitation wins
    if (opening && join && (opening.type !== 'join' || opening.game !== join[1] ||
                            opening.invitation !== join[2]))
      opening = null;
    if (seat) {
      setOpening(null);
      game('start', seat.seat);
      const events = seat.events;
      seat.events = [];
      for (const text of events) {
        let e = null;
        try {
          e = JSON.parse(text);
        } catch (error) {
          break; // what follows cannot be in order: the server sends it again
        }
        event(e, text, false);
      }
      game('show_all');
      if (join) history.replaceState(null, '', location.pathname + location.search);
      connect();
    } else if (opening) {
      begin(opening); // its answer never came: the same request again
    } else if (join) {
      begin({type: 'join', game: join[1], invitation: join[2], secret: newSecret()});
    }
    shown();
  }
  if (window.melvaron && window.melvaron.firstScreenMs !== null) started();
  else window.addEventListener('melvaron-first-screen', started, {once: true});
})();
