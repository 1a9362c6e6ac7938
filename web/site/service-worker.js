// The site's service worker (sw.js, filled in by the web build from web/site/service-worker.js):
// keeps every file of one build for play without the network, and adds the headers that make the
// page cross-origin isolated where the host does not send them.
//
// The cache is named by the build's content, so a new build is a new worker: it fills its own
// cache beside the old one, each file checked against the build, and waits; the page lets it
// take over once the running game has loaded all it needs (see service-worker-registration.js).
// Every file a page asks for names its build (?build=HASH), and is answered from that build's
// cache; an old cache goes once no open page runs its build. So no page mixes two builds.
'use strict';
const BUILD = '{{melvaron:BUILD}}'; // the build's hash, as facts.js holds it
// Every file of the build, and its SHA-256 as the build wrote it.
const FILES = {{melvaron:FILES}};
const PREFIX = 'melvaron-';
const CACHE = PREFIX + BUILD;
// Which build each open page runs (its client id to the build's hash), in a cache of its own:
// the browser stops an idle worker, and the next one must still know.
const PAGES = PREFIX + 'pages';

const hex = (bytes) =>
    [...new Uint8Array(bytes)].map((b) => b.toString(16).padStart(2, '0')).join('');

self.addEventListener('install', (event) => {
  event.waitUntil((async () => {
    const cache = await caches.open(CACHE);
    // Past any HTTP cache, and each file as the build made it: a host that lacks one or serves
    // another build's fails the install, and the page plays from the network.
    await Promise.all(Object.entries(FILES).map(async ([file, digest]) => {
      const response = await fetch(new Request(file, {cache: 'reload'}));
      if (!response.ok) throw new Error(`${file}: status ${response.status}`);
      const got = hex(await crypto.subtle.digest('SHA-256', await response.clone().arrayBuffer()));
      if (got !== digest) throw new Error(`${file} is not of build ${BUILD}`);
      await cache.put(file, response);
    }));
    // A first visit has no running build to protect.
    if (!self.registration.active) await self.skipWaiting();
  })().catch(async (error) => {
    await caches.delete(CACHE);
    throw error;
  }));
});

// ---- The pages and their builds ----
let pages = null; // a Map, read from PAGES once in this worker's life
async function known() {
  if (!pages) {
    const kept = await caches.match('pages.json', {cacheName: PAGES});
    pages = new Map(Object.entries(kept ? await kept.json() : {}));
  }
  return pages;
}
let saving = Promise.resolve();
function save() {
  const text = JSON.stringify(Object.fromEntries(pages));
  saving = saving.then(async () => (await caches.open(PAGES))
      .put('pages.json', new Response(text, {headers: {'Content-Type': 'application/json'}})));
  return saving;
}
async function remember(id, build) {
  const p = await known();
  if (!id || p.get(id) === build) return;
  p.set(id, build);
  await save();
}

// Deletes each other build's cache that no open page runs. Every page that names its build in
// what it asks for is known: by the navigation this worker answered, or by what the page told.
async function prune() {
  const p = await known();
  const open = await self.clients.matchAll({type: 'window'});
  const ids = new Set(open.map((client) => client.id));
  if ([...p.keys()].some((id) => !ids.has(id))) {
    for (const id of p.keys())
      if (!ids.has(id)) p.delete(id);
    await save();
  }
  const live = new Set([BUILD, ...open.map((client) => p.get(client.id))]);
  for (const name of await caches.keys())
    if (name.startsWith(PREFIX) && name !== PAGES && !live.has(name.slice(PREFIX.length)))
      await caches.delete(name);
}

self.addEventListener('message', (event) => {
  if (event.data === 'take-over') self.skipWaiting();
  else if (event.data && event.data.kind === 'page' && event.source)
    event.waitUntil(prune().then(() => remember(event.source.id, String(event.data.build))));
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    await self.clients.claim();
    await prune();
  })());
});

// ---- Answers ----
function isolated(response) {
  if (response.status === 0) return response; // opaque: its headers cannot be read or set
  const headers = new Headers(response.headers);
  headers.set('Cross-Origin-Opener-Policy', 'same-origin');
  headers.set('Cross-Origin-Embedder-Policy', 'require-corp');
  headers.set('Cross-Origin-Resource-Policy', 'same-origin');
  return new Response(response.body,
                      {status: response.status, statusText: response.statusText, headers});
}

async function answer(event) {
  const request = event.request;
  if (request.mode === 'navigate') {
    // The page under any address of the scope (?seed=N, index.html) is the one page.
    const kept = await caches.match('./', {cacheName: CACHE});
    if (kept) event.waitUntil(prune().then(() => remember(event.resultingClientId, BUILD)));
    return isolated(kept || await fetch(request));
  }
  const build = new URL(request.url).searchParams.get('build') || BUILD;
  const kept = await caches.match(request, {cacheName: PREFIX + build, ignoreSearch: true});
  return isolated(kept || await fetch(request));
}

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  if (request.cache === 'only-if-cached' && request.mode !== 'same-origin') return;
  event.respondWith(answer(event));
});
