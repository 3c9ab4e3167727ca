'use strict';
// The page: the reports, pasted or from a file, go to the program's own engine, the C++ of the
// console program compiled to WebAssembly (moteurWasm in moteur.js, made by the build), which
// gives back what the Windows console shows, the forum block and the bytes the Windows program
// appends to the file. Nothing leaves the browser.

// The page's French texts put a narrow no-break space (U+202F) before : ; ! ? and inside « »,
// which keeps a line from starting with them; the engine's texts stay the program's own.
const pastedName = 'rapports.txt';  // what the messages call a pasted text, as the help says
// A text area takes seconds to lay out a text of megabytes: a longer paste is read, not shown.
const longestShownPaste = 1 << 19;
const consolePieceLines = 500;
// The block's pictures in its order, with the sizes they are drawn at in art/, which the preview
// gives them before they are loaded, so that nothing below moves as they arrive.
const blockPictures = [
  { alt: 'Rentabilité', width: 400, height: 60 },
  { alt: 'Métal', width: 40, height: 40 },
  { alt: 'Cristal', width: 40, height: 40 },
  { alt: 'Deutérium', width: 40, height: 40 },
];
const byId = (id) => document.getElementById(id);
const [reports, fileInput, consoleText, blockText, preview, copyButton, downloadLink] =
  ['rapports', 'fichier', 'sortie', 'bloc', 'apercu', 'copier', 'telecharger'].map(byId);
const sourceStatus = byId('source');
const blockStatus = byId('etat');
const results = document.querySelector('.resultat');
const encoder = new TextEncoder();

let engine = null;  // the module's exports
let downloadUrl = null;
let latestFile = 0;  // only the last file chosen is shown, however long the others take

const engineModule = (async () => {
  const packed = new Blob([Uint8Array.from(atob(moteurWasm), (c) => c.charCodeAt(0))]);
  const stream = packed.stream().pipeThrough(new DecompressionStream('gzip'));
  return WebAssembly.compile(await new Response(stream).arrayBuffer());
})();

// A fresh instance, also after one has trapped (out of memory), since its heap is then unusable.
// The engine touches no file and no stream: it imports nothing.
async function startEngine() {
  const instance = await WebAssembly.instantiate(await engineModule);
  instance.exports._initialize();
  engine = instance.exports;
}

// Runs the engine over `report`, a file's bytes or a pasted text (read as UTF-8), named `name` in
// its messages. Returns the console's text, the block's text (LF line ends, from [center] to
// [/center]) and the bytes to append to the file, both empty when the program appends nothing.
function readReport(report, name) {
  const nameBytes = encoder.encode(name);
  const room = typeof report === 'string' ? report.length * 3 : report.length;
  const input = engine.page_alloc(room + nameBytes.length);
  if (input === 0) throw new RangeError('memory');
  const memory = () => new Uint8Array(engine.memory.buffer);
  let size = report.length;
  if (typeof report === 'string') {
    size = encoder.encodeInto(report, memory().subarray(input, input + room)).written;
  } else {
    memory().set(report, input);
  }
  memory().set(nameBytes, input + room);
  const result = engine.page_read(input, size, input + room, nameBytes.length);
  engine.page_free(input);
  if (result === 0) throw new RangeError('memory');
  const sizes = new Uint32Array(engine.memory.buffer.slice(result, result + 12));
  let at = result + 12;
  const take = (count) => memory().slice(at, (at += count));
  const outcome = {
    console: new TextDecoder('utf-16le').decode(take(sizes[0])),
    block: new TextDecoder().decode(take(sizes[1])),
    appended: take(sizes[2]),
  };
  engine.page_free(result);
  return outcome;
}

async function show(report, name, file) {
  let outcome;
  try {
    outcome = readReport(report, name);
  } catch (error) {
    await startEngine();
    outcome = { console: '', block: '', appended: new Uint8Array() };
    const outOfMemory = error instanceof RangeError || error instanceof WebAssembly.RuntimeError;
    sourceStatus.textContent = outOfMemory
      ? 'Ces rapports sont trop longs pour la mémoire de la page.'
      : `Erreur de la page\u202F: ${error.message}`;
  }
  showConsole(outcome.console);
  blockText.textContent = outcome.block;
  showPreview(outcome.block);
  copyButton.disabled = outcome.block === '';
  blockStatus.textContent = '';
  if (downloadUrl) URL.revokeObjectURL(downloadUrl);
  downloadUrl = null;
  downloadLink.hidden = !(file && outcome.appended.length > 0);
  if (!downloadLink.hidden) {
    downloadUrl = URL.createObjectURL(new Blob([file.bytes, outcome.appended]));
    downloadLink.href = downloadUrl;
    downloadLink.download = file.name;
  }
}

// A long console text is laid out only where it is scrolled to: in pieces of lines, each of which
// the browser skips while it is out of sight (page.css).
function showConsole(text) {
  const pieces = [];
  for (let start = 0, end = 0; start < text.length; start = end) {
    for (let line = 0; line < consolePieceLines && end < text.length; line++) {
      end = text.indexOf('\n', end) + 1 || text.length;
    }
    pieces.push(document.createElement('span'));
    pieces.at(-1).textContent = text.slice(start, end);
  }
  consoleText.replaceChildren(...pieces);
}

// The block as a forum shows it: centred, in its colour, its pictures taken from this site,
// which is where the block's picture host serves them from.
function showPreview(block) {
  const host = `${preview.dataset.hote}/`;
  const root = document.createElement('div');
  const open = [root];
  let inPicture = false;
  let pictures = 0;
  for (const piece of block.split(/(\[\/?(?:center|color(?:=#[0-9a-fA-F]{6})?|img)\])/)) {
    const parent = open.at(-1);
    if (piece === '[center]' || piece.startsWith('[color=')) {
      const element = document.createElement(piece === '[center]' ? 'div' : 'span');
      if (piece === '[center]') element.className = 'centre';
      else element.style.color = piece.slice(7, -1);
      open.push(parent.appendChild(element));
    } else if (piece === '[/center]' || piece === '[/color]') {
      if (open.length > 1) open.pop();
    } else if (piece === '[img]' || piece === '[/img]') {
      inPicture = piece === '[img]';
    } else if (inPicture) {
      const image = parent.appendChild(document.createElement('img'));
      Object.assign(image, blockPictures[pictures++] ?? { alt: '' });
      if (piece.startsWith(host)) image.src = piece.slice(host.length);
    } else {
      piece.split('\n').forEach((line, index) => {
        if (index > 0) parent.append(document.createElement('br'));
        if (line) parent.append(line);
      });
    }
  }
  preview.replaceChildren(...root.childNodes);
}

async function readPasted() {
  sourceStatus.textContent = '';
  if (reports.value === '') {
    clear();
  } else {
    await show(reports.value, pastedName, null);
  }
}

async function readFile(file) {
  const turn = ++latestFile;
  results.setAttribute('aria-busy', 'true');
  let bytes;
  try {
    bytes = new Uint8Array(await file.arrayBuffer());
    await engineStarted;
  } catch {
    if (turn !== latestFile) return;
    sourceStatus.textContent = `Le fichier «\u202F${file.name}\u202F» n'a pas pu être lu.`;
    clear();
    results.setAttribute('aria-busy', 'false');
    return;
  }
  if (turn !== latestFile) return;
  reports.value = '';
  sourceStatus.textContent = `Fichier lu\u202F: «\u202F${file.name}\u202F»,`
    + ` ${bytes.length.toLocaleString('fr-FR')} octets. Écrivez dans la zone de texte pour`
    + ' revenir au texte collé.';
  await show(bytes, file.name, { name: file.name, bytes });
  results.setAttribute('aria-busy', 'false');
}

function clear() {
  for (const element of [consoleText, blockText, preview, blockStatus]) element.replaceChildren();
  copyButton.disabled = true;
  downloadLink.hidden = true;
}

// A page served over plain http has no navigator.clipboard: the selection is copied instead.
async function copyBlock() {
  let copied;
  try {
    await navigator.clipboard.writeText(blockText.textContent);
    copied = true;
  } catch {
    getSelection().selectAllChildren(blockText);
    copied = document.execCommand('copy');
  }
  blockStatus.textContent = copied
    ? 'Bloc copié\u202F: collez-le dans votre message sur le forum.'
    : 'Le navigateur refuse la copie\u202F: le texte du bloc est sélectionné, copiez-le avec'
      + ' Ctrl+C.';
}

function takesFiles(event) {
  return event.dataTransfer?.types.includes('Files');
}

function forgetFile() {
  latestFile++;  // a file still being read no longer replaces the text
  fileInput.value = '';
}

reports.addEventListener('input', () => {
  forgetFile();
  if (engine) readPasted();  // else the engine reads the text once it has started
});
reports.addEventListener('paste', async (event) => {
  const text = event.clipboardData.getData('text/plain');
  if (text.length <= longestShownPaste || !engine) return;
  event.preventDefault();
  forgetFile();
  reports.value = '';
  await show(text, pastedName, null);
  sourceStatus.textContent = `Texte collé\u202F: ${text.length.toLocaleString('fr-FR')}`
    + ' caractères, lus mais trop longs pour être montrés ici. Écrivez dans la zone de texte'
    + ' pour le remplacer.';
});
fileInput.addEventListener('change', () => {
  if (fileInput.files.length > 0) readFile(fileInput.files[0]);
});
copyButton.addEventListener('click', copyBlock);
document.addEventListener('dragover', (event) => {
  if (!takesFiles(event)) return;
  event.preventDefault();
  event.dataTransfer.dropEffect = 'copy';
  document.body.classList.add('depot');
});
document.addEventListener('dragleave', (event) => {
  if (event.relatedTarget === null) document.body.classList.remove('depot');
});
document.addEventListener('drop', (event) => {
  if (!takesFiles(event)) return;
  event.preventDefault();
  document.body.classList.remove('depot');
  if (event.dataTransfer.files.length > 0) readFile(event.dataTransfer.files[0]);
});

const engineStarted = startEngine();
engineStarted.then(async () => {
  if (reports.value !== '') await readPasted();  // text the browser kept from a reload
  results.setAttribute('aria-busy', 'false');
}, (error) => {
  sourceStatus.textContent = `Le moteur de la page n'a pas pu démarrer\u202F: ${error.message}`;
});
