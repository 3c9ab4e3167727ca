// The forum block as a forum reader sees it: runs the built program on a copy of the bundled
// example, renders the block it appends with SCEditor's BBCode parser in headless Chromium, the
// picture host answered from site/ by a server on 127.0.0.1, and checks the page. Broken copies of
// the block go through the same checks, which must catch each of them.
//
//   node render_block.mjs PROGRAM PICTURE_HOST SCRATCH_DIR
//
// Exit status: 0 passed, 1 failed, 77 skipped (no Chromium or no `npm ci` in tests/browser), which
// is a failure where the CI variable is set.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { launch } from './browsers.mjs';

const [program, pictureHost, scratch] = process.argv.slice(2);
const here = path.dirname(fileURLToPath(import.meta.url));
const source = path.resolve(here, '../..');
const site = path.join(source, 'site');
// The pictures' paths, in the block's order.
const [heading, metal, crystal, deuterium] = fs
  .readFileSync(path.join(source, 'art/pictures.txt'), 'utf8').split('\n')
  .filter((line) => line && !line.startsWith('#')).map((line) => line.split(' ')[1]);
const pictures = { heading, metal, crystal, deuterium };
const icons = ['metal', 'crystal', 'deuterium'];
const green = 'rgb(0, 255, 0)';

// Each broken block must be caught by the check named beside it.
const brokenBlocks = [
  ['colour closed after the heading', 'colour',
    (b) => b.replace('[/color]', '').replace('[/img]', '[/img][/color]')],
  ['centre never opened', 'centred', (b) => b.replace('[center]', '')],
  ['picture tag misspelt', 'raw tag', (b) => b.replace('[img]', '[imgg]')],
  ['icon missing from the host', 'picture', (b) => b.replace(metal, `${metal}x`)],
  ['line end lost before a total', 'lines', (b) => b.replace('[/img] ', '[/img]\n')],
];

const browser = await launch('chromium', { scratch });

// The program on a copy of the example, as a script runs it, with no standard input.
const example = fs.readFileSync(path.join(source, 'examples/rapports.txt'));
const report = path.join(scratch, 'rapports.txt');
fs.writeFileSync(report, example);
const run = spawnSync(program, [report],
  { stdio: ['ignore', 'pipe', 'inherit'], encoding: 'utf8' });
const summary = /^Rentabilite :\nMetal=([\d.]+), Cristal=([\d.]+), Deuterium=([\d.]+)$/m
  .exec(run.stdout ?? '');
const after = fs.readFileSync(report);
if (run.status !== 0 || !summary || !after.subarray(0, example.length).equals(example)) {
  console.log(`the program did not append a block after a summary (status ${run.status}):\n`
    + run.stdout);
  process.exit(1);
}
const totals = summary.slice(1);
const block = after.subarray(example.length).toString('utf8');

// The picture host: site/, nothing else.
const served = new Set();
const server = http.createServer((request, response) => {
  const file = path.join(site, path.normalize(decodeURIComponent(request.url)));
  const isFile = fs.statSync(file, { throwIfNoEntry: false })?.isFile();
  if (!file.startsWith(site + path.sep) || !isFile) {
    response.writeHead(404).end();
    return;
  }
  served.add(request.url);
  response.writeHead(200, { 'Content-Type': 'image/png' }).end(fs.readFileSync(file));
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));

let failed = false;
try {
  const { page } = await browser.open('about:blank', { width: 560, height: 600 });
  // The picture host, http or https, is answered by the server; nothing else is reachable.
  await page.setRequestInterception(true);
  page.on('request', async (request) => {
    const picture = picturePath(request.url());
    if (!picture) return request.abort();
    const answer = await fetch(`http://127.0.0.1:${server.address().port}${picture}`);
    return request.respond({ status: answer.status, headers: Object.fromEntries(answer.headers),
      body: Buffer.from(await answer.arrayBuffer()) });
  });
  await page.setContent(`<!doctype html><meta charset="utf-8">
    <style>
      body { margin: 0; font: 14px "DejaVu Sans", sans-serif; }
      .post { padding: 16px 24px; }
      .light { background: #f5f2ea; color: #222; }
      .dark { background: #1f2329; color: #ddd; }
    </style>
    <div id="posts">
      <div class="post light"><div></div></div>
      <div class="post dark"><div></div></div>
    </div>`);
  for (const script of ['sceditor.min.js', 'formats/bbcode.js']) {
    await page.addScriptTag({ path: path.join(here, 'node_modules/sceditor/minified', script) });
  }

  const faults = await check(page, block);
  await (await page.$('#posts')).screenshot({ path: path.join(scratch, 'forum-block.png') });
  printResult('the block', faults, faults.length === 0);
  failed ||= faults.length > 0;
  for (const [name, expected, breakBlock] of brokenBlocks) {
    const brokenFaults = await check(page, breakBlock(block));
    const caught = brokenFaults.some((fault) => fault.startsWith(`${expected}:`));
    printResult(`broken: ${name}`, brokenFaults, caught);
    failed ||= !caught;
  }
} finally {
  await browser.close();
  server.close();
  fs.rmSync(path.join(scratch, 'profile'), { recursive: true, force: true });
}
process.exit(failed ? 1 : 0);

function printResult(name, faults, passed) {
  console.log(`${passed ? 'ok' : 'FAILED'}  ${name}`);
  for (const fault of faults.slice(0, 3)) console.log(`      ${fault}`);
  if (faults.length > 3) console.log(`      and ${faults.length - 3} more`);
}

// Renders the block in every post, light and dark, and returns what is wrong, each fault named
// after its check: "picture", "raw tag", "lines", "centred", "colour".
async function check(page, text) {
  const posts = await page.evaluate(async (bbcode) => {
    const html = new sceditor.BBCodeParser().toHTML(bbcode);
    const bodies = [...document.querySelectorAll('.post > div')];
    for (const body of bodies) body.innerHTML = html;
    await Promise.all([...document.images].map((image) => image.decode().catch(() => {})));
    const box = ({ left, right, top, bottom }) => ({ left, right, top, bottom });
    return bodies.map((body) => {
      const items = [...body.querySelectorAll('img')].map((image) => ({
        picture: image.src, width: image.naturalWidth, height: image.naturalHeight,
        ...box(image.getBoundingClientRect()),
      }));
      const walker = document.createTreeWalker(body, NodeFilter.SHOW_TEXT);
      for (let node; (node = walker.nextNode());) {
        if (!node.data.trim()) continue;
        const range = document.createRange();
        range.selectNodeContents(node);
        items.push({ text: node.data.trim(), colour: getComputedStyle(node.parentElement).color,
          ...box(range.getBoundingClientRect()) });
      }
      const rect = body.getBoundingClientRect();
      return { items, text: body.innerText, centre: (rect.left + rect.right) / 2 };
    });
  }, text);

  const faults = [];
  for (const [index, post] of posts.entries()) {
    const theme = ['light', 'dark'][index];
    const fault = (check, message) => faults.push(`${check}: ${theme} post: ${message}`);
    for (const tag of post.text.match(/\[\/?[a-z*]+(=[^\]]*)?\]/gi) ?? []) fault('raw tag', tag);
    for (const item of post.items.filter((item) => item.picture)) {
      const picture = picturePath(item.picture);
      const size = served.has(picture) ? pngSize(path.join(site, picture)) : {};
      if (item.width === 0 || item.width !== size.width || item.height !== size.height) {
        fault('picture', `${item.picture} is not the project's (${item.width}x${item.height})`);
      }
    }
    const lines = intoLines(post.items);
    const expected = [[pictures.heading], ...icons.map((icon, i) => [pictures[icon], totals[i]])];
    const shown = lines.map((line) =>
      line.map((item) => item.text ?? picturePath(item.picture) ?? item.picture));
    if (JSON.stringify(shown) !== JSON.stringify(expected)) {
      fault('lines', `shows ${JSON.stringify(shown)}, not ${JSON.stringify(expected)}`);
    }
    for (const line of lines) {
      const left = Math.min(...line.map((item) => item.left));
      const right = Math.max(...line.map((item) => item.right));
      if (Math.abs((left + right) / 2 - post.centre) > 1.5) {
        fault('centred', `the line from ${left} to ${right} is not centred on ${post.centre}`);
      }
      const [icon, total] = line;
      if (total && total.left - icon.right > 12) {
        fault('lines', `${total.text} stands apart from its icon`);
      }
    }
    for (const item of post.items.filter((item) => item.text && item.colour !== green)) {
      fault('colour', `${item.text} is ${item.colour}, not ${green}`);
    }
  }
  return faults;
}

// Groups the pictures and texts into the lines they show on, top to bottom, left to right.
function intoLines(items) {
  const lines = [];
  for (const item of [...items].sort((a, b) => a.top - b.top)) {
    const line = lines.at(-1);
    if (line && item.top < Math.max(...line.map((other) => other.bottom)) - 1) line.push(item);
    else lines.push([item]);
  }
  return lines.map((line) => line.sort((a, b) => a.left - b.left));
}

// The picture's path under the picture host, which is where site/ holds it; null elsewhere.
function picturePath(url) {
  return url.startsWith(`${pictureHost}/`) ? url.slice(pictureHost.length) : null;
}

function pngSize(file) {
  const header = fs.readFileSync(file).subarray(16, 24);
  return { width: header.readUInt32BE(0), height: header.readUInt32BE(4) };
}
