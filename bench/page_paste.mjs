// Times the page in headless Chromium on a 10 MiB paste of the deterministic report file of
// make_reports.py: from the paste to the block on the page, and to the next frame drawn with it.
// Prints the medians of seven rounds and exits non-zero when the block takes more than half a
// second.
//
//   node bench/page_paste.mjs [SITE_DIR]
//
// SITE_DIR is build/web/site unless given: `cmake --workflow --preset web` makes it. Needs
// Chromium and `npm ci` in tests/browser.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

import { launch, until } from '../tests/browser/browsers.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const site = path.resolve(process.argv[2] ?? path.join(root, 'build/web/site'));
const scratch = path.join(root, 'build/web/bench');
const size = 10 << 20;
const targetSeconds = 0.5;

const browser = await launch('chromium', { scratch });
const reports = path.join(scratch, 'reports.txt');
spawnSync('python3', [path.join(root, 'bench/make_reports.py'), String(size), reports],
  { stdio: 'inherit' });
const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];
try {
  const page = await browser.open(pathToFileURL(path.join(site, 'index.html')).href,
    { width: 1280, height: 720 });
  const ready = () => document.querySelector('.resultat[aria-busy="false"]') !== null;
  await until(() => page.run(ready));
  await page.run((text) => { window.pasted = text; }, fs.readFileSync(reports, 'utf8'));
  const rounds = [];
  for (let round = 0; round < 7; round++) {
    rounds.push(await page.run(async () => {
      const area = document.getElementById('rapports');
      const nextFrame = () =>
        new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve)));
      area.value = '';
      area.dispatchEvent(new Event('input'));
      area.focus();
      await nextFrame();
      const clipboardData = new DataTransfer();
      clipboardData.setData('text/plain', window.pasted);
      const start = performance.now();
      area.dispatchEvent(new ClipboardEvent('paste', { clipboardData, cancelable: true }));
      const block = performance.now();  // the page reads a paste at once
      await nextFrame();
      const drawn = performance.now();
      const text = document.getElementById('bloc').textContent;
      if (!text.startsWith('[center]')) {
        throw new Error('the paste gave no block');
      }
      return { block: block - start, drawn: drawn - start, text };
    }));
  }
  const block = median(rounds.map((r) => r.block)) / 1000;
  const drawn = median(rounds.map((r) => r.drawn)) / 1000;
  console.log(`${size / (1 << 20)} MiB pasted: block on the page in ${block.toFixed(3)} s, `
    + `drawn in ${drawn.toFixed(3)} s (medians of ${rounds.length})`);
  console.log(rounds[0].text);
  process.exitCode = block > targetSeconds ? 1 : 0;
} finally {
  await browser.close();
}
