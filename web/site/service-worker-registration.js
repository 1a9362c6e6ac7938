// Registers the site's service worker (sw.js): it keeps the site for play without the network
// and adds the cross-origin isolation headers that a static host cannot send. A page that is not
// isolated reloads once under the worker's control; one it already controls that is still not
// isolated (a browser that refuses, an iframe on another site) is left alone, so no page reloads
// in a loop. Where the worker cannot be had (registration refused, its install failed, nothing
// within a few seconds) the page starts at once as it is, on one thread: page.js waits for
// window.melvaronIsolating, which tells whether the page reloads.
'use strict';
(function () {
  const WaitMs = 6000; // for a first visit's worker, before the page starts without it
  const Reloaded = 'melvaron-reloaded'; // in the tab's session storage: at most one reload
  let workers = null;
  try {
    // Some browsers refuse even to show the container where storage is blocked.
    workers = window.isSecureContext ? navigator.serviceWorker : null;
  } catch (e) {
    workers = null;
  }
  if (!workers) return;
  const registered = new Promise((resolve) => resolve(
      workers.register('sw.js', {updateViaCache: 'none'})));
  registered.catch((error) => console.warn('the service worker was not registered: ' + error));

  // The worker keeps a build's files while a page of it is open: each page says which it runs.
  const tell = () => {
    if (workers.controller)
      workers.controller.postMessage({kind: 'page', build: melvaronFacts.build});
  };
  tell();
  workers.addEventListener('controllerchange', tell);

  const session = (write) => {
    try {
      if (write) sessionStorage.setItem(Reloaded, '1');
      return sessionStorage.getItem(Reloaded) !== null;
    } catch (e) {
      return false; // no storage: a controlled page does not reload again anyway
    }
  };
  if (!window.crossOriginIsolated && !workers.controller && !session(false)) {
    window.melvaronIsolating = new Promise((resolve) => {
      let settled = false;
      const settle = (reloading) => {
        if (settled) return;
        settled = true;
        if (reloading) {
          session(true);
          window.location.reload();
        }
        resolve(reloading);
      };
      setTimeout(() => settle(false), WaitMs);
      registered.then((registration) => {
        // An install that fails (a file missing or not this build's) never makes it ready.
        const next = registration &&
                     (registration.installing || registration.waiting || registration.active);
        if (!next) settle(false);
        else next.addEventListener('statechange', () => {
          if (next.state === 'redundant') settle(false);
        });
        return workers.ready;
      }).then(() => settle(true), () => settle(false));
    });
    return;
  }
  // A new build found while this one runs waits until this page has loaded all of its own files
  // (its first picture is shown), then takes over for the next visit.
  function whenLoaded(then) {
    const started = () => window.melvaron && window.melvaron.firstScreenMs !== null;
    if (started()) then();
    else window.addEventListener('melvaron-first-screen', then, {once: true});
  }
  function handOver(registration) {
    const waiting = registration.waiting;
    if (waiting) whenLoaded(() => waiting.postMessage('take-over'));
  }
  registered.then((registration) => {
    if (!registration) return; // a browser that only pretends to register
    handOver(registration);
    registration.addEventListener('updatefound', () => {
      const next = registration.installing;
      next.addEventListener('statechange', () => {
        if (next.state === 'installed') handOver(registration);
      });
    });
  }, () => {});
})();
