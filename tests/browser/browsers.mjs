// What the browser tests share: their skip rule, and the three engines from Debian's packages
// behind one small interface. Chromium and Firefox ESR are driven by puppeteer-core (over CDP and
// over WebDriver BiDi), WebKitGTK by its WebDriver through selenium-webdriver, in a display of its
// own (Xvfb), since it has no headless mode.
//
//   const browser = await launch(engine, { scratch, dark });
//   const page = await browser.open(url, { width, height });
//   await page.run(fn, ...args);    // fn's value, awaited, from inside the page
//
// A page also uploads a file to a file input, presses a key on an element, reads the clipboard
// and lists the errors it logged (null where the engine does not tell them); `browser.requests`
// lists the addresses that its pages asked for, at least all of those that are not on 127.0.0.1.
// No request reaches the network.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import path from 'node:path';

export const engines = {
  chromium: { binary: '/usr/bin/chromium', package: 'chromium' },
  firefox: { binary: '/usr/bin/firefox-esr', package: 'firefox-esr' },
  webkit: { binary: '/usr/bin/WebKitWebDriver', package: 'webkit2gtk-driver xvfb' },
};
const miniBrowser = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
// MiniBrowser's window is never narrower: a narrower page is shown in a frame of that width.
const narrowestWindow = 447;

// CI installs everything these tests need, so there a missing piece is a failure.
export function skip(reason) {
  console.log(`${process.env.CI ? 'FAILED' : 'SKIPPED'}: ${reason}`);
  process.exit(process.env.CI ? 1 : 77);
}

// Imports a package of tests/browser, or skips the test without it.
export async function load(name) {
  try {
    return await import(name);
  } catch {
    return skip(`${name} is not installed: run \`npm ci\` in tests/browser`);
  }
}

// Skips the test without the engine or its driver; else empties `scratch`, which then takes the
// browser's profile, and starts the engine.
export async function launch(engine, { scratch, dark = false }) {
  const { binary, package: name } = engines[engine] ?? skip(`no engine named ${engine}`);
  for (const file of engine === 'webkit' ? [binary, miniBrowser, '/usr/bin/Xvfb'] : [binary]) {
    if (!fs.existsSync(file)) skip(`${file} is missing (apt-get install ${name})`);
  }
  fs.rmSync(scratch, { recursive: true, force: true });
  fs.mkdirSync(path.join(scratch, 'home'), { recursive: true });
  // Chromium makes a socket in the temporary folder, and a socket's path is at most 107 bytes:
  // under a deep build folder it could not start, so its temporary files go to a short folder.
  const temporary = fs.mkdtempSync('/tmp/ulvena-browser-');
  process.on('exit', () => fs.rmSync(temporary, { recursive: true, force: true }));
  process.env.TMPDIR = temporary;
  const env = { ...process.env, HOME: path.join(scratch, 'home') };
  const options = { scratch, dark, env, binary };
  return engine === 'webkit' ? launchWebKit(options) : launchPuppeteer(engine, options);
}

async function launchPuppeteer(engine, { scratch, dark, env, binary }) {
  const { default: puppeteer } = await load('puppeteer-core');
  const browser = await puppeteer.launch({
    browser: engine === 'chromium' ? 'chrome' : engine,
    executablePath: binary,
    headless: true,
    userDataDir: path.join(scratch, 'profile'),
    // Firefox's remote settings leave the network alone only at the address given below, which
    // it takes only so.
    env: engine === 'firefox' ? { ...env, MOZ_REMOTE_SETTINGS_DEVTOOLS: '1' } : env,
    args: engine === 'chromium' ? ['--no-sandbox', '--disable-gpu', '--no-first-run',
      '--disable-component-update',
      '--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1'] : [],
    extraPrefsFirefox: {
      'dom.events.testing.asyncClipboard': true,  // else the clipboard cannot be read
      'layout.css.prefers-color-scheme.content-override': dark ? 0 : 1,
      'services.settings.server': 'data:,#remote-settings-dummy/v1',
      // Any other host is sent to a proxy that nothing answers.
      'network.proxy.type': 1, 'network.proxy.http': '127.0.0.1', 'network.proxy.http_port': 9,
      'network.proxy.ssl': '127.0.0.1', 'network.proxy.ssl_port': 9,
    },
  });
  const requests = [];
  return {
    requests,
    async open(url, { width, height }) {
      const page = await browser.newPage();
      const logged = [];
      page.on('console', (message) => {
        if (message.type() === 'error') logged.push(`${url}: ${message.text()}`);
      });
      page.on('pageerror', (error) => logged.push(`${url}: ${error.message}`));
      page.on('request', (request) => requests.push(request.url()));
      await page.setViewport({ width, height });
      if (engine === 'chromium') {
        await page.emulateMediaFeatures([
          { name: 'prefers-color-scheme', value: dark ? 'dark' : 'light' }]);
      }
      if (engine === 'chromium' && url.startsWith('http')) {
        await browser.defaultBrowserContext().overridePermissions(new URL(url).origin,
          ['clipboard-read', 'clipboard-write', 'clipboard-sanitized-write']);
      }
      await page.goto(url);
      return {
        logged,
        run: (fn, ...args) => page.evaluate(fn, ...args),
        upload: async (selector, file) => (await page.$(selector)).uploadFile(file),
        press: async (selector, key) => {
          await page.focus(selector);
          await page.keyboard.press(key);
        },
        clipboard: () => page.evaluate(() => navigator.clipboard.readText()),
        // Only Chromium emulates these over its protocol.
        printed: engine === 'chromium' ? (on) => page.emulateMediaType(on ? 'print' : null) : null,
        withoutScript: engine === 'chromium' ? async (on) => {
          await page.setJavaScriptEnabled(!on);
          await page.reload();
        } : null,
        screenshot: (file) => page.screenshot({ path: file, fullPage: true }),
        close: () => page.close(),
        page,  // puppeteer's own, for what only one engine is asked
      };
    },
    close: () => browser.close(),
  };
}

// Now and then WebKitWebDriver takes a new session and never answers it, starting no browser (here
// in about one run in four of WebKit's test, alone or beside the others', and never under strace):
// a session not made within 30 s is given up, and asked of a new driver and display.
async function launchWebKit(options) {
  for (let tries = 1; ; tries += 1) {
    try {
      return await startWebKit(options);
    } catch (error) {
      if (tries === 3) throw error;
      console.log(`WebKit, try ${tries}: ${error.message.split('\n')[0]}; trying again`);
    }
  }
}

// WebDriver tells no page's requests: those for anywhere but 127.0.0.1 go to a proxy that lists
// and refuses them.
async function startWebKit({ scratch, dark, env, binary }) {
  const { Builder, By, Key } = await load('selenium-webdriver');
  const { display, stop: stopDisplay } = await startDisplay();
  const { proxy, requests, stop: stopProxy } = await refusingProxy();
  const port = await freePort();
  // GTK's dark theme is what WebKitGTK takes the system's dark mode from.
  const driverProcess = spawn(binary, [`--port=${port}`], {
    env: { ...env, DISPLAY: `:${display}`, GTK_THEME: dark ? 'Adwaita:dark' : 'Adwaita' },
    stdio: ['ignore', 'ignore', fs.openSync(path.join(scratch, 'webdriver.log'), 'w')],
  });
  const stop = () => {
    driverProcess.kill();
    stopDisplay();
    stopProxy();
  };
  let driver;
  try {
    await waitForPort(port);
    const session = new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
      browserName: 'MiniBrowser',
      // 'eager' and 'normal' never return here: pages are polled until they are loaded.
      pageLoadStrategy: 'none',
      'webkitgtk:browserOptions': { binary: miniBrowser, args: ['--automation'] },
      proxy: { proxyType: 'manual', httpProxy: proxy, sslProxy: proxy, noProxy: ['127.0.0.1'] },
    }).build();
    session.catch(() => {});  // once given up, its driver's end is no fault of its own
    driver = await Promise.race([session, new Promise((_, reject) => {
      setTimeout(() => reject(new Error('no session within 30 s')), 30000).unref();
    })]);
    // A script that waits for frames waits longer on a busy machine than WebDriver's 30 s.
    await driver.manage().setTimeouts({ script: 120000 });
  } catch (error) {
    stop();
    throw error;
  }
  const run = (fn, ...args) => driver.executeScript(fn, ...args);
  // Until a page is loaded, the one before it may still answer, and go in the middle of a script.
  const loaded = (want) => run((address) => document.readyState === 'complete'
    && location.href !== 'about:blank' && (!address || location.href === address), want)
    .catch(() => false);
  return {
    requests,
    async open(url, { width, height }) {
      await driver.manage().window().setRect({ width: Math.max(width, narrowestWindow),
        height: height + 100 });
      await driver.switchTo().defaultContent();
      const framed = width < narrowestWindow;
      await driver.get(framed ? frameUrl(url, width, height) : url);
      await until(() => loaded(framed ? frameUrl(url, width, height) : url));
      if (framed) {
        await driver.switchTo().frame(driver.findElement(By.css('iframe')));
        await until(() => loaded(null));
      }
      return {
        logged: null,  // MiniBrowser writes no console output in automation mode
        run,
        upload: async (selector, file) => driver.findElement(By.css(selector)).sendKeys(file),
        press: async (selector, key) => {
          await run((css) => document.querySelector(css).focus(), selector);
          await driver.actions().sendKeys(Key[key.toUpperCase()]).perform();
        },
        // The page may not read the clipboard here, but a paste is read as a player's is.
        clipboard: async () => {
          await run(() => {
            const box = document.body.appendChild(document.createElement('textarea'));
            box.id = 'presse-papiers';
            box.focus();
          });
          await driver.actions().keyDown(Key.CONTROL).sendKeys('v').keyUp(Key.CONTROL).perform();
          return run(() => {
            const box = document.getElementById('presse-papiers');
            box.remove();
            return box.value;
          });
        },
        printed: null,
        withoutScript: null,
        screenshot: null,
        close: async () => {},
      };
    },
    async close() {
      try {
        await driver.quit();
      } finally {
        stop();
      }
    },
  };
}

// A test page of the test's own server, which shows `url` in a frame of the size given.
function frameUrl(url, width, height) {
  const { origin } = new URL(url);
  return `${origin}/.frame?${new URLSearchParams({ src: url, width, height })}`;
}

export function framePage(query) {
  const { src, width, height } = Object.fromEntries(new URLSearchParams(query));
  const size = `width="${Number(width)}" height="${Number(height)}"`;
  return '<!doctype html><title>frame</title>'
    + '<style>body{margin:0}iframe{border:0;display:block}</style>'
    + `<iframe ${size} allow="clipboard-read; clipboard-write" src="${encodeURI(src)}"></iframe>`;
}

// Polls `check` until it gives a true value, which it returns; fails after `seconds`.
export async function until(check, seconds = 60) {
  const end = Date.now() + seconds * 1000;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > end) throw new Error(`timed out after ${seconds} s waiting for ${check}`);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

// An X display of its own, whose number the server chooses and tells on a pipe.
async function startDisplay() {
  const server = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1600x1200x24', '-nolisten',
    'tcp'], { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
  const display = await new Promise((resolve, reject) => {
    let told = '';
    server.stdio[3].on('data', (data) => {
      told += data;
      if (told.includes('\n')) resolve(told.trim());
    });
    server.on('exit', (code) => reject(new Error(`Xvfb ended with status ${code}`)));
  });
  return { display, stop: () => server.kill() };
}

async function refusingProxy() {
  const requests = [];
  const server = http.createServer((request, response) => {
    requests.push(request.url);
    response.writeHead(502).end();
  });
  // WebKit speaks TLS to the proxy it is given for https, which hides the host asked for.
  server.on('clientError', (error, socket) => {
    requests.push('https://(a host sealed in TLS)/');
    socket.destroy();
  });
  server.on('connect', (request, socket) => {
    requests.push(`https://${request.url}`);
    socket.end('HTTP/1.1 502 Bad Gateway\r\n\r\n');
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return { proxy: `127.0.0.1:${server.address().port}`, requests, stop: () => server.close() };
}

async function freePort() {
  const server = net.createServer();
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const { port } = server.address();
  await new Promise((resolve) => server.close(resolve));
  return port;
}

async function waitForPort(port) {
  await until(() => new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1', () => resolve(socket.end() && true));
    socket.on('error', () => resolve(false));
  }), 30);
}
