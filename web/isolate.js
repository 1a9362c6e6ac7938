// The search runs on a worker sharing the program's memory, which browsers allow only to a
// cross-origin isolated page. A server that sends the two headers needs nothing of this file;
// for a static host that cannot, this same file, registered as a service worker, adds them to
// every response of the site and the page reloads once under its control.
'use strict';
if (typeof window === 'undefined') {
  self.addEventListener('install', () => self.skipWaiting());
  self.addEventListener('activate', (event) => event.waitUntil(self.clients.claim()));
  self.addEventListener('fetch', (event) => {
    const request = event.request;
    if (request.cache === 'only-if-cached' && request.mode !== 'same-origin') return;
    event.respondWith(fetch(request).then((response) => {
      if (response.status === 0) return response;
      const headers = new Headers(response.headers);
      headers.set('Cross-Origin-Opener-Policy', 'same-origin');
      headers.set('Cross-Origin-Embedder-Policy', 'require-corp');
      headers.set('Cross-Origin-Resource-Policy', 'same-origin');
      return new Response(response.body,
                          {status: response.status, statusText: response.statusText, headers});
    }));
  });
} else if (!window.crossOriginIsolated && window.isSecureContext && navigator.serviceWorker) {
  // Reload once the worker controls the page; a page it already controls that is still not
  // isolated is left alone, so a browser that refuses never reloads in a loop.
  if (!navigator.serviceWorker.controller) {
    window.melvaronIsolating = true;
    navigator.serviceWorker.register(document.currentScript.src).then(() =>
      navigator.serviceWorker.ready).then(() => window.location.reload());
  }
}
