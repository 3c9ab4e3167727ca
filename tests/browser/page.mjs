// The page in one engine (chromium, firefox or webkit: browsers.mjs drives each), served from the
// built site folder by this test's own server on 127.0.0.1. Every end-to-end case that is a plain
// run over a report file, given to the page as a file, must show the Windows program's console
// text, give its block, and offer for download the file that program leaves. Then the example
// pasted, a paste too long to show, the copy button from the keyboard and the clipboard, dropped
// UTF-16 files, the page opened from the disk and its weight. In the light and the dark theme,
// 1280 and 360 px wide: axe-core's accessibility rules on the empty and the filled page, no
// sideways scrolling, and a console box that keeps its size as it is filled and scrolled through.
// The page's own texts keep French punctuation off a line's start, a `<noscript>` message is
// there, and where the engine can say so, the printed page holds the whole console text and the
// page without script shows that message. No request may leave the site, none may miss (an icon,
// say), and the page may log no error (its Content-Security-Policy's refusals).
//
//   node page.mjs ENGINE PYTHON SITE_DIR SCRATCH_DIR
//
// Exit status: 0 passed, 1 failed, 77 skipped (no such engine or no `npm ci` in tests/browser),
// which is a failure where the CI variable is set. Chromium leaves a screenshot, page.png, in
// SCRATCH_DIR.
import { spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

import { framePage, launch, load, until } from './browsers.mjs';

const [engine, python, site, scratch] = process.argv.slice(2);
const here = path.dirname(fileURLToPath(import.meta.url));
const maxWeight = 100 * 1024;  // the page, its style, its script and its engine
const copied = 'Bloc copié\u202F: collez-le dans votre message sur le forum.';
const widths = [{ width: 1280, height: 900 }, { width: 360, height: 740 }];

fs.rmSync(scratch, { recursive: true, force: true });
let browser = await launch(engine, { scratch: path.join(scratch, 'light') });
const axeSource = (await load('axe-core')).default.source;
const listed = spawnSync(python, [path.join(here, 'page_cases.py'), path.join(scratch, 'cases')],
  { encoding: 'utf8', stdio: ['ignore', 'pipe', 'inherit'], maxBuffer: 1 << 26 });
if (listed.status !== 0) throw new Error('page_cases.py failed');
const cases = JSON.parse(listed.stdout);
const example = cases.find((want) => want.name === 'example_file');
const exampleText = fs.readFileSync(example.report, 'utf8');
const oneLine = exampleText.split('\n').find((line) => /\d/.test(line));

// The site as a static server gives it, and the test's frame page (see browsers.mjs).
const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.png': 'image/png', '.svg': 'image/svg+xml', '.ico': 'image/vnd.microsoft.icon' };
const missed = [];
const server = http.createServer((request, response) => {
  const url = new URL(request.url, 'http://127.0.0.1');
  if (url.pathname === '/.frame') {
    response.writeHead(200, { 'Content-Type': 'text/html' }).end(framePage(url.search));
    return;
  }
  const file = path.join(site, path.normalize(decodeURIComponent(url.pathname)));
  const found = fs.statSync(file, { throwIfNoEntry: false })?.isFile();
  if (!file.startsWith(site + path.sep) || !found) {
    missed.push(url.pathname);
    response.writeHead(404).end();
    return;
  }
  response.writeHead(200, { 'Content-Type': types[path.extname(file)] })
    .end(fs.readFileSync(file));
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const siteUrl = `http://127.0.0.1:${server.address().port}/`;
const fileUrl = pathToFileURL(site + path.sep).href;

let failed = false;
function verdict(name, faults) {
  console.log(`${faults.length ? 'FAILED' : 'ok'}  ${engine}: ${name}`);
  for (const fault of faults) console.log(`      ${fault}`);
  failed ||= faults.length > 0;
}

// Where two texts or two byte arrays first differ, or nothing when they are equal.
function differs(label, want, got) {
  if (typeof want === 'string' ? want === got : want.equals(got)) return [];
  let at = 0;
  while (at < want.length && want[at] === got[at]) at++;
  const around = (text) => JSON.stringify(typeof text === 'string'
    ? text.slice(Math.max(0, at - 30), at + 50)
    : text.subarray(Math.max(0, at - 30), at + 50).toString('latin1'));
  return [`${label} differs at ${at} (expected ${want.length}, got ${got.length}):`,
    `  expected ...${around(want)}`, `  got      ...${around(got)}`];
}

const ready = () => document.querySelector('.resultat[aria-busy="false"]') !== null;

// The page, once its engine has started; the files it offers for download are kept as it makes
// them, since its policy lets nothing fetch them back.
async function openPage(on, url, size) {
  const page = await on.open(url, size);
  await until(() => page.run(ready));
  await page.run(() => {
    const made = new Map();
    const make = URL.createObjectURL;
    URL.createObjectURL = (blob) => {
      const address = make(blob);
      made.set(address, blob);
      return address;
    };
    window.offered = async () => {
      const link = document.getElementById('telecharger');
      const blob = made.get(link.href);
      if (link.hidden || !blob) return null;
      const bytes = new Uint8Array(await blob.arrayBuffer());
      const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
      return { name: link.download, size: bytes.length,
        sha256: [...digest].map((byte) => byte.toString(16).padStart(2, '0')).join(''),
        small: bytes.length < 1 << 20 ? [...bytes] : null };
    };
  });
  return page;
}

// What the page shows once it has read what it was given.
async function shown(page) {
  await until(() => page.run(ready));
  return page.run(async () => ({
    console: document.getElementById('sortie').textContent,
    block: document.getElementById('bloc').textContent,
    offered: await window.offered(),
  }));
}

async function check(page, want) {
  const got = await shown(page);
  const faults = [...differs('console', want.console, got.console),
    ...differs('block', want.block, got.block)];
  if (Boolean(got.offered) !== Boolean(want.download)) {
    faults.push(got.offered ? 'offers a file without a block' : 'offers no file');
  } else if (want.download) {
    const bytes = fs.readFileSync(want.download);
    const sha256 = crypto.createHash('sha256').update(bytes).digest('hex');
    if (got.offered.name !== want.reportName) faults.push(`offers it as ${got.offered.name}`);
    if (got.offered.sha256 !== sha256) {
      faults.push(...got.offered.small
        ? differs('download', bytes, Buffer.from(got.offered.small))
        : [`the download differs (${got.offered.size} bytes, expected ${bytes.length})`]);
    }
  }
  return faults;
}

// The page given a file through its file input, as a player picks one. The input is emptied
// first: a file the same as the one before would change nothing there.
async function choose(page, file) {
  await page.run(() => {
    document.getElementById('source').textContent = '';
    document.getElementById('fichier').value = '';
  });
  await page.upload('#fichier', file);
  await until(() => page.run(() => document.getElementById('source').textContent));
}

function paste(page, text) {
  return page.run((value) => {
    const box = document.getElementById('rapports');
    box.value = value;
    box.dispatchEvent(new Event('input'));
  }, text);
}

async function accessibility(page) {
  await page.run(axeSource);
  const violations = await page.run(async () => (await axe.run()).violations
    .map((v) => `${v.id}: ${v.help} (${v.nodes.map((n) => n.target).join(', ')})`));
  return violations;
}

// The page's own texts, but the engine's (the console, the block), with an ordinary space where
// French wants a no-break one, which a line may break at.
function typography(page) {
  return page.run(() => {
    const theirs = ['sortie', 'bloc', 'apercu'].map((id) => document.getElementById(id));
    const texts = [document.title, document.querySelector('noscript')?.textContent ?? ''];
    const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
    for (let node; (node = walker.nextNode());) {
      if (!theirs.some((element) => element.contains(node))) texts.push(node.data);
    }
    for (const element of document.querySelectorAll('[alt], [aria-label], [title]')) {
      texts.push(...['alt', 'aria-label', 'title'].map((name) => element.getAttribute(name) ?? ''));
    }
    return texts.join('\n').match(/.{0,20}([ \t\n\r][:;!?»]|«[ \t\n\r]).{0,20}/g) ?? [];
  }).then((found) => found.map((text) => `an ordinary space in ${JSON.stringify(text)}`));
}

// The console box's height as the page is empty and filled, and as the box is scrolled into sight
// and through to its end; the place of what follows it, which scrolling must not move; and the
// preview's pictures, each given its own size before it loads.
async function layout(page, texts) {
  const measure = () => page.run(async () => {
    await Promise.all([...document.images].map((image) => image.decode().catch(() => {})));
    await new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done)));
    const below = document.querySelector('.programme').getBoundingClientRect().top + scrollY;
    return { box: document.getElementById('sortie').getBoundingClientRect().height, below };
  });
  const faults = [];
  const empty = await measure();
  for (const [name, text] of Object.entries(texts)) {
    await page.run(() => scrollTo(0, 0));
    await paste(page, text);
    const filled = await measure();
    const unsized = await page.run(() => [...document.querySelectorAll('#apercu img')]
      .filter((image) => image.getAttribute('width') !== String(image.naturalWidth)
        || image.getAttribute('height') !== String(image.naturalHeight))
      .map((image) => image.alt));
    if (unsized.length > 0) {
      faults.push(`${name}: the preview's ${unsized.join(', ')} take no room before they load`);
    }
    await page.run(async () => {  // to each of its pieces of lines, then to its end
      const box = document.getElementById('sortie');
      box.scrollIntoView();
      const top = (element) => element.getBoundingClientRect().top;
      for (const piece of [...box.children, null]) {
        if (piece) box.scrollTop += top(piece) - top(box);
        else box.scrollTop = box.scrollHeight;
        await new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done)));
      }
    });
    const scrolled = await measure();
    const moved = (a, b) => Math.abs(a - b) >= 0.5;  // less is a rounding of the engine's
    if (moved(empty.box, filled.box) || moved(filled.box, scrolled.box)) {
      faults.push(`${name}: the box is ${empty.box} px high empty, ${filled.box} px filled,`
        + ` ${scrolled.box} px scrolled through`);
    }
    if (moved(filled.below, scrolled.below)) {
      faults.push(`${name}: what follows the box moves from ${filled.below} px`
        + ` to ${scrolled.below} px`);
    }
  }
  await paste(page, '');
  return faults;
}

// In one theme, at each width: the page's accessibility, its width, and its layout.
async function looks(on, dark) {
  const theme = dark ? 'dark' : 'light';
  const colours = [];
  for (const size of widths) {
    const page = await openPage(on, `${siteUrl}index.html`, size);
    const seen = await page.run(() => ({
      dark: matchMedia('(prefers-color-scheme: dark)').matches,
      background: getComputedStyle(document.documentElement).backgroundColor,
    }));
    colours.push(seen.background);
    const at = `${theme}, ${size.width} px`;
    verdict(`${at}: the ${theme} theme`, seen.dark === dark ? [] : ['the system\'s is not seen']);
    verdict(`${at}: axe-core, empty page`, await accessibility(page));
    verdict(`${at}: the console box and the preview stay put`, await layout(page,
      { 'one line': oneLine, 'the example 300 times': exampleText.repeat(300) }));
    await paste(page, exampleText);
    verdict(`${at}: axe-core, filled page`, await accessibility(page));
    const wide = await page.run(() => document.documentElement.scrollWidth
      - document.documentElement.clientWidth);
    verdict(`${at}: no sideways scrolling`, wide > 0 ? [`the page is ${wide} px too wide`] : []);
    await page.close();
  }
  return colours[0];
}

async function copy(page) {
  await paste(page, exampleText);
  await page.press('#copier', 'Enter');
  await until(() => page.run(() => document.getElementById('etat').textContent));
  const status = await page.run(() => document.getElementById('etat').textContent);
  return [...differs('status', copied, status),
    ...differs('clipboard', example.block, await page.clipboard())];
}

// A paste too long for the text area is read as it is, as the same text in a file.
async function longPaste(page) {
  const long = path.join(scratch, 'long', 'rapports.txt');
  fs.mkdirSync(path.dirname(long), { recursive: true });
  fs.writeFileSync(long, exampleText.repeat(3000));
  await choose(page, long);
  const asFile = await shown(page);
  await page.run((text) => {
    const clipboardData = new DataTransfer();
    clipboardData.setData('text/plain', text);
    // Firefox gives the event an empty clipboardData of its own in place of the one given.
    const event = new ClipboardEvent('paste', { cancelable: true });
    Object.defineProperty(event, 'clipboardData', { value: clipboardData });
    document.getElementById('rapports').dispatchEvent(event);
  }, exampleText.repeat(3000));
  const asPaste = await shown(page);
  return [...differs('console', asFile.console, asPaste.console),
    ...differs('block', asFile.block, asPaste.block), ...asPaste.offered ? ['offers a file'] : []];
}

async function drop(page, name, bytes) {
  await page.run((fileName, data) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([new Uint8Array(data)], fileName));
    for (const type of ['dragover', 'drop']) {
      document.querySelector('main').dispatchEvent(new DragEvent(type,
        { dataTransfer: transfer, bubbles: true, cancelable: true }));
    }
  }, name, [...bytes]);
}

// Where the engine can show it: on paper, the whole console text and the block, no controls.
async function printed(page) {
  await page.printed(true);
  const seen = await page.run(() => {
    const box = document.getElementById('sortie');
    return { cut: box.scrollHeight - box.clientHeight,
      block: document.getElementById('bloc').getBoundingClientRect().height,
      controls: document.querySelector('.entree').getBoundingClientRect().height };
  });
  await page.printed(false);
  return [...seen.cut > 1 ? [`${seen.cut} px of the console text are cut`] : [],
    ...seen.block > 0 ? [] : ['the block is not printed'],
    ...seen.controls > 0 ? ['the reports\' controls are printed'] : []];
}

async function withoutScript(page) {
  await page.withoutScript(true);
  const seen = await page.run(() => ({
    message: document.querySelector('.sans-script')?.innerText ?? '',
    inert: document.querySelector('#rapports').getBoundingClientRect().height,
  }));
  await page.withoutScript(false);
  return [...seen.message.includes('JavaScript') ? [] : ['no message that it needs JavaScript'],
    ...seen.inert > 0 ? ['the text area is shown'] : []];
}

async function everyCase(page) {
  verdict('a <noscript> message', (await page.run(() => document.querySelector('noscript')
    ?.textContent)).includes('JavaScript') ? [] : ['none that names JavaScript']);
  verdict('French punctuation, empty page', await typography(page));
  for (const want of cases) {
    await choose(page, want.report);
    verdict(`file: ${want.name}`, await check(page, want));
  }
  verdict('French punctuation, a file read', await typography(page));
  await paste(page, exampleText);
  verdict('pasted: example_file', await check(page, { ...example, download: null }));
  verdict('long paste', await longPaste(page));
  verdict('French punctuation, a long paste', await typography(page));
  verdict('copy button', await copy(page));
  verdict('French punctuation, the block copied', await typography(page));
  if (page.screenshot) await page.screenshot(path.join(scratch, 'page.png'));
  if (page.printed) verdict('printed', await printed(page));
  for (const want of cases.filter((c) => c.name.startsWith('utf16') && c.download)) {
    await drop(page, want.reportName, fs.readFileSync(want.report));
    verdict(`dropped: ${want.name}`, await check(page, want));
  }
  if (page.withoutScript) verdict('without script', await withoutScript(page));
}

let dark = null;
let logged = [];  // null where the engine does not tell
const tell = (page) => {
  logged = page.logged && logged && [...logged, ...page.logged];
};
const requests = [];
try {
  const light = await looks(browser, false);
  const page = await openPage(browser, `${siteUrl}index.html`, widths[0]);
  await everyCase(page);
  tell(page);
  await page.close();

  const fromDisk = await openPage(browser, `${fileUrl}index.html`, widths[0]);
  await paste(fromDisk, exampleText);
  verdict('from the disk: example_file', await check(fromDisk, { ...example, download: null }));
  tell(fromDisk);
  await fromDisk.close();
  requests.push(...browser.requests);
  await browser.close();  // one engine at a time on the machine
  browser = null;

  dark = await launch(engine, { scratch: path.join(scratch, 'dark'), dark: true });
  const darkColour = await looks(dark, true);
  verdict('the themes differ', darkColour === light ? [`both have a ${light} background`] : []);
  requests.push(...dark.requests);
} catch (error) {
  verdict('the page answers', [error.message.split('\n')[0]]);
} finally {
  await browser?.close();
  await dark?.close();
  server.close();
}
const weight = ['index.html', 'page.css', 'page.js', 'moteur.js']
  .reduce((sum, file) => sum + fs.statSync(path.join(site, file)).size, 0);
verdict(`weight: ${weight} bytes`, weight < maxWeight ? [] : [`over ${maxWeight} bytes`]);
const ours = [siteUrl, fileUrl, 'blob:', 'data:', 'about:'];
const left = requests.filter((url) => !ours.some((start) => url.startsWith(start)));
verdict('nothing leaves the site', left.map((url) => `request for ${url}`));
verdict('nothing is missing', missed.map((file) => `no ${file} on the site`));
if (logged) verdict('nothing logged', logged);
for (const theme of failed ? [] : ['light', 'dark']) {  // the browsers' files, kept to look into
  fs.rmSync(path.join(scratch, theme), { recursive: true, force: true });
}
process.exit(failed ? 1 : 0);
