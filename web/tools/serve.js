#!/usr/bin/env node
// Serves a directory of static files on 127.0.0.1 with the headers that make the page
// cross-origin isolated, until it is stopped; with --plain, without them, as a static host would.
//   node serve.js DIR [PORT] [--plain]
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.png': 'image/png',
  '.webmanifest': 'application/manifest+json',
};

function fail(message) {
  console.error('error: ' + message);
  process.exit(2);
}

const args = process.argv.slice(2);
const plain = args.includes('--plain');
const [dirArg, portArg = '8080', ...rest] = args.filter((a) => a !== '--plain');
if (!dirArg || rest.length) fail('usage: node serve.js DIR [PORT] [--plain]');
const root = path.resolve(dirArg);
if (!fs.existsSync(path.join(root, 'index.html'))) fail(`no index.html in ${root}`);
if (!/^[0-9]{1,5}$/.test(portArg) || Number(portArg) > 65535)
  fail(`port: '${portArg.slice(0, 40)}' is not a number from 0 (any free port) to 65535`);
const port = Number(portArg);

const server = http.createServer((request, response) => {
  const headers = plain ? {'Cache-Control': 'no-cache'} : {
    'Cross-Origin-Opener-Policy': 'same-origin',
    'Cross-Origin-Embedder-Policy': 'require-corp',
    'Cross-Origin-Resource-Policy': 'same-origin',
    'Cache-Control': 'no-cache',
  };
  let name;
  try {
    name = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
  } catch {
    response.writeHead(400, headers).end();
    return;
  }
  if (name.endsWith('/')) name += 'index.html';
  const file = path.join(root, path.normalize(name));
  if (!file.startsWith(root + path.sep)) {
    response.writeHead(403, headers).end();
    return;
  }
  fs.readFile(file, (error, data) => {
    if (error) {
      response.writeHead(404, headers).end('not found');
      return;
    }
    headers['Content-Type'] = TYPES[path.extname(file)] || 'application/octet-stream';
    response.writeHead(200, headers).end(request.method === 'HEAD' ? undefined : data);
  });
});
server.on('error', (error) => fail(`cannot serve on port ${port}: ${error.message}`));
server.listen(port, '127.0.0.1', () => {
  console.log(`Serving the game on http://127.0.0.1:${server.address().port}/ (Ctrl-C stops)`);
});
process.on('SIGINT', () => server.close(() => process.exit(0)));
process.on('SIGTERM', () => server.close(() => process.exit(0)));
