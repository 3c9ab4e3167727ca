// The page in headless Chromium, served from the built site folder: every end-to-end case that is
// a plain run over a report file, given to the page as a file, must show the Windows program's
// console text, give its block, and offer for download the file that program leaves. Then the
// example pasted, a paste too long to show, the copy button, a dropped UTF-16 file, axe-core's
// accessibility rules (empty and filled), a 360 px wide screen, the page opened from the disk,
// and its weight. No request
// may leave the site, and the page may log no error (its Content-Security-Policy's refusals).
//
//   node page.mjs PYTHON SITE_DIR SCRATCH_DIR
//
// Exit status: 0 passed, 1 failed, 77 skipped (no Chromium or no `npm ci` in tests/browser), which
// is a failure where the CI variable is set. Leaves a screenshot, page.png, in SCRATCH_DIR.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

import { load, prepare } from './chromium.mjs';

const [python, site, scratch] = process.argv.slice(2);
const here = path.dirname(fileURLToPath(import.meta.url));
const maxWeight = 100 * 1024;  // the page, its style, its script and its engine
const copied = 'Bloc copié : collez-le dans votre message sur le forum.';
// Playwright hands a file of 50 MiB or more to the page by its path only, which names it by the
// path's last part.
const largestBuffer = 32 << 20;

const launch = await prepare(scratch);
const axeSource = (await load('axe-core')).default.source;
const listed = spawnSync(python, [path.join(here, 'page_cases.py'), path.join(scratch, 'cases')],
  { encoding: 'utf8', stdio: ['ignore', 'pipe', 'inherit'], maxBuffer: 1 << 26 });
if (listed.status !== 0) throw new Error('page_cases.py failed');
const cases = JSON.parse(listed.stdout);

// The site as a static server gives it, at an address that only this test answers; over https,
// where a page may write to the clipboard.
const siteUrl = 'https://ulvena.test/';
const fileUrl = pathToFileURL(site + path.sep).href;
const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.png': 'image/png' };
function serve(route, url) {
  const file = path.join(site, decodeURIComponent(new URL(url).pathname));
  const found = fs.statSync(file, { throwIfNoEntry: false })?.isFile();
  if (!found) return route.fulfill({ status: 404 });
  return route.fulfill({ contentType: types[path.extname(file)], body: fs.readFileSync(file) });
}

const browser = await launch({ viewport: { width: 1100, height: 900 }, acceptDownloads: true });
await browser.grantPermissions(['clipboard-read', 'clipboard-write']);
const left = [];  // requests for anything outside the site
const logged = [];  // errors the pages logged
await browser.route('**/*', (route) => {
  const url = route.request().url();
  if (url.startsWith(siteUrl)) return serve(route, url);
  return url.startsWith(fileUrl) || url.startsWith('blob:') ? route.continue() : route.abort();
});
browser.on('request', (request) => {
  const url = request.url();
  if (!url.startsWith(siteUrl) && !url.startsWith(fileUrl) && !url.startsWith('blob:')) {
    left.push(url);
  }
});

let failed = false;
function verdict(name, faults) {
  console.log(`${faults.length ? 'FAILED' : 'ok'}  ${name}`);
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

async function openPage(url) {
  const page = await browser.newPage();
  page.on('console', (message) => {
    if (message.type() === 'error') logged.push(`${url}: ${message.text()}`);
  });
  page.on('pageerror', (error) => logged.push(`${url}: ${error.message}`));
  await page.goto(url);
  await page.waitForSelector('.resultat[aria-busy="false"]');
  return page;
}

// What the page shows once the engine has read what it was given.
async function shown(page) {
  await page.waitForSelector('.resultat[aria-busy="false"]');
  return page.evaluate(() => ({
    console: document.getElementById('sortie').textContent,
    block: document.getElementById('bloc').textContent,
    offered: !document.getElementById('telecharger').hidden,
  }));
}

async function check(page, want) {
  const got = await shown(page);
  const faults = [...differs('console', want.console, got.console),
    ...differs('block', want.block, got.block)];
  if (got.offered !== Boolean(want.download)) {
    faults.push(got.offered ? 'offers a file without a block' : 'offers no file');
  } else if (want.download) {
    const [download] = await Promise.all([page.waitForEvent('download'),
      page.click('#telecharger')]);
    faults.push(...differs('download', fs.readFileSync(want.download),
      fs.readFileSync(await download.path())));
    await download.delete();
  }
  return faults;
}

async function accessibility(page) {
  await page.evaluate(axeSource);
  const { violations } = await page.evaluate(() => axe.run());
  return violations.map((v) => `${v.id}: ${v.help} (${v.nodes.map((n) => n.target).join(', ')})`);
}

async function drop(page, name, bytes) {
  const transfer = await page.evaluateHandle(([fileName, data]) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([new Uint8Array(data)], fileName));
    return transfer;
  }, [name, [...bytes]]);
  await page.dispatchEvent('main', 'dragover', { dataTransfer: transfer });
  await page.dispatchEvent('main', 'drop', { dataTransfer: transfer });
}

try {
  const page = await openPage(`${siteUrl}index.html`);
  verdict('axe-core, empty page', await accessibility(page));

  for (const want of cases) {
    const size = fs.statSync(want.report).size;
    await page.setInputFiles('#fichier', size > largestBuffer ? want.report : {
      name: want.reportName, mimeType: 'text/plain', buffer: fs.readFileSync(want.report) });
    verdict(`file: ${want.name}`, await check(page, want));
  }

  const example = cases.find((want) => want.name === 'example_file');
  await page.fill('#rapports', fs.readFileSync(example.report, 'utf8'));
  verdict('pasted: example_file', await check(page, { ...example, download: null }));

  // A paste too long for the text area is read as it is, as the same text in a file.
  const long = Buffer.from(fs.readFileSync(example.report, 'utf8').repeat(3000));
  await page.setInputFiles('#fichier',
    { name: 'rapports.txt', mimeType: 'text/plain', buffer: long });
  const asFile = await shown(page);
  await page.evaluate((text) => {
    const clipboardData = new DataTransfer();
    clipboardData.setData('text/plain', text);
    document.getElementById('rapports')
      .dispatchEvent(new ClipboardEvent('paste', { clipboardData, cancelable: true }));
  }, long.toString());
  const asPaste = await shown(page);
  verdict('long paste', [...differs('console', asFile.console, asPaste.console),
    ...differs('block', asFile.block, asPaste.block), ...asPaste.offered ? ['offers a file'] : []]);

  await page.fill('#rapports', fs.readFileSync(example.report, 'utf8'));
  await page.focus('#copier');
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.getElementById('etat').textContent !== '');
  const clipboard = await page.evaluate(() => navigator.clipboard.readText());
  const status = await page.textContent('#etat');
  verdict('copy button', [...differs('clipboard', example.block, clipboard),
    ...differs('status', copied, status)]);
  verdict('axe-core, filled page', await accessibility(page));
  await page.screenshot({ path: path.join(scratch, 'page.png'), fullPage: true });

  await page.setViewportSize({ width: 360, height: 740 });
  const width = await page.evaluate(() => document.documentElement.scrollWidth);
  verdict('360 px wide', width > 360 ? [`the page is ${width} px wide`] : []);

  for (const want of cases.filter((c) => c.name.startsWith('utf16') && c.download)) {
    await drop(page, want.reportName, fs.readFileSync(want.report));
    verdict(`dropped: ${want.name}`, await check(page, want));
  }
  await page.close();

  const fromDisk = await openPage(`${fileUrl}index.html`);
  await fromDisk.fill('#rapports', fs.readFileSync(example.report, 'utf8'));
  verdict('from the disk: example_file', await check(fromDisk, { ...example, download: null }));
  await fromDisk.close();

  const weight = ['index.html', 'page.css', 'page.js', 'moteur.js']
    .reduce((sum, file) => sum + fs.statSync(path.join(site, file)).size, 0);
  verdict(`weight: ${weight} bytes`, weight < maxWeight ? [] : [`over ${maxWeight} bytes`]);
  verdict('nothing leaves the site', left.map((url) => `request for ${url}`));
  verdict('nothing logged', logged);
} catch (error) {
  verdict('the page answers', [error.message.split('\n')[0], ...logged]);
} finally {
  await browser.close();
  fs.rmSync(path.join(scratch, 'profile'), { recursive: true, force: true });
}
process.exit(failed ? 1 : 0);
