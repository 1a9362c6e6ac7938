// Registers the site's service worker (sw.js): it keeps the site for play without the network
// and adds the cross-origin isolation headers that a static host cannot send. A page that is not
// isolated reloads once under the worker's control; one it already controls that is still not
// isolated (a browser that refuses, an iframe on another site) is left alone, so no page reloads
// in a loop. page.js reads window.melvaronIsolating.
'use strict';
(function () {
  if (!window.isSecureContext || !navigator.serviceWorker) return;
  const workers = navigator.serviceWorker;
  const registered = workers.register('sw.js', {updateViaCache: 'none'});
  if (!window.crossOriginIsolated && !workers.controller) {
    window.melvaronIsolating = true;
    registered.then(() => workers.ready).then(() => window.location.reload());
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
    handOver(registration);
    registration.addEventListener('updatefound', () => {
      const next = registration.installing;
      next.addEventListener('statechange', () => {
        if (next.state === 'installed') handOver(registration);
      });
    });
  }).catch((error) => console.warn('the service worker was not registered: ' + error));
})();
