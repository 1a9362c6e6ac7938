// The three browser engines the page's test drives, behind one small interface:
//   const browser = await ENGINES[name].start();  browser.version
//   const tab = await browser.open({width, height});
//   await tab.goto(url); await tab.run(fn, arg); await tab.mouse(x, y, button);
//   await tab.key(name); await tab.close(); await browser.stop();
// tab.run runs fn(arg) in the page (fn may be async) and gives back its JSON-able result;
// tab.mouse moves the mouse to (x, y) of the viewport and, given a button (0 main, 1 middle,
// 2 secondary), presses and releases it there; tab.key presses and releases a key by its DOM
// name (KeyboardEvent.key: 'ArrowLeft', 'Tab', ' ', 'b'), 'Shift+' before it holding Shift.
//
// Chromium through playwright-core, Firefox ESR over WebDriver BiDi through puppeteer-core,
// WebKitGTK's MiniBrowser through WebKitWebDriver under a private Xvfb, with selenium-webdriver.
// Each is Debian's own browser; none is downloaded.
//
// Also the site's server for them (served) and the starting and stopping of such programs.
'use strict';
const {spawn} = require('child_process');
const fs = require('fs');
const net = require('net');
const path = require('path');

const ButtonNames = ['left', 'middle', 'right'];
const keyParts = (name) => {
  const parts = name.split('+');
  return {shift: parts.length > 1, key: parts[parts.length - 1]};
};

// A free port on the loopback interface, for a driver that must be told one.
function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const {port} = server.address();
      server.close(() => resolve(port));
    });
  });
}

// Starts program and resolves once it has printed a line matching pattern on the stream, or
// rejects when it ends first or takes over a minute.
function started(child, stream, pattern, what) {
  return new Promise((resolve, reject) => {
    let text = '';
    const timer =
        setTimeout(() => reject(new Error(`${what} did not start within a minute`)), 60000);
    stream.on('data', (data) => {
      text += String(data);
      const m = pattern.exec(text);
      if (m) {
        clearTimeout(timer);
        resolve(m);
      }
    });
    child.on('exit', (code) => {
      clearTimeout(timer);
      reject(new Error(`${what} stopped (status ${code}): ${text.trim().split('\n').pop()}`));
    });
    child.on('error', (error) => {
      clearTimeout(timer);
      reject(new Error(`${what} could not start: ${error.message}`));
    });
  });
}

// Resolves once something accepts connections on the loopback port, within a minute.
async function listening(port, child, what) {
  const deadline = Date.now() + 60000;
  for (;;) {
    if (child.exitCode !== null) throw new Error(`${what} stopped (status ${child.exitCode})`);
    const ok = await new Promise((resolve) => {
      const socket = net.connect(port, '127.0.0.1', () => {
        socket.end();
        resolve(true);
      });
      socket.on('error', () => resolve(false));
    });
    if (ok) return;
    if (Date.now() > deadline) throw new Error(`${what} did not listen within a minute`);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

// A static server (web/tools/serve.js) on a free port, serving dir; with plain,
// without the isolation headers, as a static host serves. Resolves to {server, url}.
async function served(dir, plain) {
  const server = spawn(process.execPath,
                       [path.join(__dirname, '..', 'tools', 'serve.js'), dir, '0',
                        ...(plain ? ['--plain'] : [])],
                       {stdio: ['ignore', 'pipe', 'inherit']});
  const [url] = await started(server, server.stdout, /http:\/\/[0-9.]+:[0-9]+\//, 'the server');
  return {server, url};
}

function stopped(child) {
  if (!child || child.exitCode !== null || child.signalCode !== null) return Promise.resolve();
  return new Promise((resolve) => {
    child.on('exit', resolve);
    child.kill();
  });
}

// A tab of a page that playwright-core (or puppeteer-core, which shares its calls) drives.
function playwrightTab(page) {
  return {
    page,
    goto: (url) => page.goto(url),
    run: (fn, arg) => page.evaluate(fn, arg),
    async mouse(x, y, button) {
      await page.mouse.move(x, y);
      if (button === undefined) return;
      await page.mouse.down({button: ButtonNames[button]});
      await page.mouse.up({button: ButtonNames[button]});
    },
    async key(name) {
      if (/^Control\+/.test(name)) return page.keyboard.press(name); // undo and redo
      const {shift, key} = keyParts(name);
      if (shift) await page.keyboard.down('Shift');
      await page.keyboard.press(key);
      if (shift) await page.keyboard.up('Shift');
    },
    close: () => page.close(),
  };
}

const chromium = {
  executable: process.env.CHROMIUM || '/usr/bin/chromium',
  async start() {
    const {chromium: launcher} = require('playwright-core');
    const browser =
        await launcher.launch({executablePath: this.executable, args: ['--no-sandbox']});
    return {
      version: `Chromium ${browser.version()}`,
      playwright: browser,
      open: async (viewport) => playwrightTab(await browser.newPage({viewport})),
      stop: () => browser.close(),
    };
  },
};

const firefox = {
  executable: process.env.FIREFOX || '/usr/bin/firefox-esr',
  async start() {
    const puppeteer = require('puppeteer-core');
    const browser = await puppeteer.launch({browser: 'firefox', protocol: 'webDriverBiDi',
                                            executablePath: this.executable, headless: true});
    return {
      version: (await browser.version()).replace(/^firefox\//i, 'Firefox '),
      // A context of its own for each page, as Chromium's pages have: a page's storage (the
      // kept game) must not reach the next session's page.
      async open(viewport) {
        const context = await browser.createBrowserContext();
        const page = await context.newPage();
        await page.setViewport(viewport);
        const tab = playwrightTab(page);
        delete tab.page; // its errors are read from the page's own record, as in WebKit
        tab.close = () => context.close();
        return tab;
      },
      stop: () => browser.close(),
    };
  },
};

// MiniBrowser, the WebKitGTK browser that WebKitWebDriver drives, lies in the library's folder.
function miniBrowser() {
  if (process.env.WEBKIT_BROWSER) return process.env.WEBKIT_BROWSER;
  for (const dir of fs.readdirSync('/usr/lib').filter((d) => /-linux-gnu/.test(d))) {
    const file = path.join('/usr/lib', dir, 'webkit2gtk-4.1', 'MiniBrowser');
    if (fs.existsSync(file)) return file;
  }
  throw new Error('no MiniBrowser of webkit2gtk-4.1 under /usr/lib ' +
                  '(Debian\'s libwebkit2gtk-4.1-0)');
}

const webkit = {
  async start() {
    const {Builder, Key} = require('selenium-webdriver');
    // Selenium's code of a key by its DOM name: a character is itself, but for Space; a named
    // key is the constant of its name in capitals, words apart (ArrowLeft is ARROW_LEFT).
    const codeOf = (key) => key === ' ' ? Key.SPACE : key.length === 1 ? key
        : Key[key.replace(/([a-z])([A-Z])/g, '$1_$2').toUpperCase()];
    const binary = miniBrowser();
    // A private X server: its number comes back on file descriptor 3.
    const xvfb = spawn('Xvfb',
                       ['-displayfd', '3', '-screen', '0', '1280x800x24', '-nolisten', 'tcp'],
                       {stdio: ['ignore', 'ignore', 'pipe', 'pipe']});
    let driver = null, port = 0;
    const browse = () => new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
      browserName: 'MiniBrowser',
      'webkitgtk:browserOptions': {binary, args: ['--automation']},
    }).build();
    let version = null;
    try {
      const [, display] = await started(xvfb, xvfb.stdio[3], /^([0-9]+)\n/, 'Xvfb');
      port = await freePort();
      driver = spawn('WebKitWebDriver', [`--port=${port}`],
                     {stdio: ['ignore', 'ignore', 'inherit'],
                      env: {...process.env, DISPLAY: `:${display}`}});
      await listening(port, driver, 'WebKitWebDriver');
      const session = await browse();
      version = (await session.getCapabilities()).get('browserVersion');
      await session.quit();
    } catch (e) {
      await stopped(driver);
      await stopped(xvfb);
      throw e;
    }
    return {
      version: `WebKitGTK ${version}`,
      // A browser of its own for each page: WebKitWebDriver never releases a right button it
      // pressed, and a button held into the next page would change what its presses are.
      async open(viewport) {
        const session = await browse();
        await session.manage().setTimeouts({script: 600000});
        // The window's size is the viewport plus MiniBrowser's bar.
        const [w, h] = await session.executeScript(
            'return [window.outerWidth - window.innerWidth, ' +
            'window.outerHeight - window.innerHeight]');
        await session.manage().window().setRect({width: viewport.width + w,
                                                 height: viewport.height + h});
        const run = async (fn, arg) => {
          const r = await session.executeAsyncScript(
              'const done = arguments[arguments.length - 1], arg = arguments[1];' +
              'const fn = new Function("return (" + arguments[0] + ")")();' +
              'Promise.resolve().then(() => fn(arg))' +
              '.then((value) => done({value}), (e) => done({error: String(e)}));',
              fn.toString(), arg === undefined ? null : arg);
          if (r.error !== undefined) throw new Error(r.error);
          return r.value;
        };
        return {
          goto: (url) => session.get(url),
          run,
          async mouse(x, y, button) {
            // Whole viewport pixels: the point's own pixel when the picture is shown at scale 1.
            let actions = session.actions({async: true})
                .move({x: Math.floor(x), y: Math.floor(y), origin: 'viewport', duration: 0});
            if (button !== undefined) actions = actions.press(button).release(button);
            await actions.perform();
          },
          async key(name) {
            const {shift, key} = keyParts(name);
            const code = codeOf(key);
            if (code === undefined) throw new Error(`no WebDriver code for the key '${key}'`);
            let actions = session.actions({async: true});
            if (shift) actions = actions.keyDown(Key.SHIFT);
            actions = actions.keyDown(code).keyUp(code);
            if (shift) actions = actions.keyUp(Key.SHIFT);
            await actions.perform();
          },
          close: () => session.quit().catch(() => {}),
        };
      },
      async stop() {
        await stopped(driver);
        await stopped(xvfb);
      },
    };
  },
};

const ENGINES = {chromium, firefox, webkit};

// The value of an --engine option, or usage(message) when it names no engine.
function engineNamed(name, usage) {
  if (!Object.hasOwn(ENGINES, name || ''))
    usage(`--engine: '${String(name).slice(0, 40)}' is not chromium, firefox or webkit`);
  return name;
}

module.exports = {ENGINES, engineNamed, playwrightTab, served, started, stopped};
