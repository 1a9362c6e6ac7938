// The site's service worker (sw.js, filled in by the web build from web/site/service-worker.js):
// keeps every file of one build for play without the network, and adds the headers that make the
// page cross-origin isolated where the host does not send them.
//
// The cache is named by the build's content, so a new build is a new worker: it fills its own
// cache beside the old one and waits; the page lets it take over once the running game has
// loaded all it needs (see service-worker-registration.js), and the old cache goes. No page ever
// mixes two builds.
'use strict';
const BUILD = '{{melvaron:BUILD}}'; // the build's hash, as facts.js holds it
const FILES = {{melvaron:FILES}};
const PREFIX = 'melvaron-';
const CACHE = PREFIX + BUILD;

self.addEventListener('install', (event) => {
  event.waitUntil((async () => {
    const cache = await caches.open(CACHE);
    // Past any HTTP cache: the files must be this build's.
    await cache.addAll(FILES.map((file) => new Request(file, {cache: 'reload'})));
    // A first visit has no running build to protect.
    if (!self.registration.active) await self.skipWaiting();
  })());
});

self.addEventListener('message', (event) => {
  if (event.data === 'take-over') self.skipWaiting();
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys())
      if (name.startsWith(PREFIX) && name !== CACHE) await caches.delete(name);
    await self.clients.claim();
  })());
});

function isolated(response) {
  if (response.status === 0) return response; // opaque: its headers cannot be read or set
  const headers = new Headers(response.headers);
  headers.set('Cross-Origin-Opener-Policy', 'same-origin');
  headers.set('Cross-Origin-Embedder-Policy', 'require-corp');
  headers.set('Cross-Origin-Resource-Policy', 'same-origin');
  return new Response(response.body,
                      {status: response.status, statusText: response.statusText, headers});
}

async function answer(request) {
  const cache = await caches.open(CACHE);
  // The page under any address of the scope (?seed=N, index.html) is the one page.
  const kept = request.mode === 'navigate'
      ? await cache.match('./')
      : await cache.match(request, {ignoreSearch: true});
  return isolated(kept || await fetch(request));
}

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  if (request.cache === 'only-if-cached' && request.mode !== 'same-origin') return;
  event.respondWith(answer(request));
});
