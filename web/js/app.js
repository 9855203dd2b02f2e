// The viewer page: opens KDX files (picker or drop), converts each in the
// conversion thread, lists them with their kind, file version, size and times,
// shows the selected one as a tree and, for estimates, object estimates and
// price lists, a table; saves its XML in windows-1251 (the library's bytes) or
// UTF-8. Nothing leaves the browser.
import { readSettings } from './settings.js';
import { XmlDoc, xmlToUtf8 } from './xml-doc.js';
import { TreeView } from './tree-view.js';
import { TableView, tableLayout } from './table-view.js';

const KIND_NAMES = ['local estimate', 'object estimate', 'consolidated calculation', 'price list',
  'price-index document', 'not converted (kind 5)', 'resource summary', 'not converted (kind 7)',
  'not converted (kind 8)'];
const SEARCH_LIMIT = 100000;
const EXPAND_MATCHES = 20;  // the first matches of a search are expanded at once

const $ = (id) => document.getElementById(id);
// The browser's locale as its number formats use it (the language of its interface).
const locale = new Intl.NumberFormat().resolvedOptions().locale;
const settings = readSettings(location.search, { language: locale, now: new Date() });
const files = [];
let selected = null;
let nextId = 1;

// ---- the conversion thread ----

const worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
const waiting = new Map();
worker.onmessage = ({ data }) => {
  const resolve = waiting.get(data.id);
  waiting.delete(data.id);
  if (resolve) resolve(data);
};
worker.onerror = (event) => {
  event.preventDefault();
  for (const [id, resolve] of waiting) {
    resolve({ id, ok: false, failure: `The converter could not be loaded: ${event.message || 'error'}` });
  }
  waiting.clear();
};

function convertInWorker(bytes) {
  const id = nextId++;
  return new Promise((resolve) => {
    waiting.set(id, resolve);
    worker.postMessage({ id, bytes, separator: settings.separator, today: settings.today }, [bytes]);
  });
}

// ---- header facts, read without converting ----

function headerFacts(bytes) {
  const v = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  if (bytes.length < 4 || v.getUint32(0, true) !== 0x3030524b) return { kind: 'not a KDX document', version: '—' };
  if (bytes.length < 5) return { kind: 'no kind byte', version: '—' };
  const kind = bytes[4];
  const version = bytes.length >= 21 ? v.getInt32(17, true) : null;
  return {
    kindByte: kind,
    kind: KIND_NAMES[kind] ?? `unknown kind ${kind}`,
    version: version === null ? '—' : `${version} (0x${(version >>> 0).toString(16).toUpperCase()})`,
  };
}

const number = new Intl.NumberFormat('en-US');
function sizeText(n) {
  return n < 10240 ? `${number.format(n)} bytes`
    : n < 10485760 ? `${(n / 1024).toFixed(1)} KB` : `${(n / 1048576).toFixed(1)} MB`;
}
const ms = (t) => `${t < 10 ? t.toFixed(1) : Math.round(t)} ms`;

// ---- the list of files ----

function fileItem(entry) {
  const li = document.createElement('li');
  li.className = 'file';
  li.dataset.test = 'file';
  li.dataset.state = 'converting';
  const select = document.createElement('button');
  select.type = 'button';
  select.className = 'file-select';
  select.textContent = entry.name;
  select.addEventListener('click', () => show(entry));
  const close = document.createElement('button');
  close.type = 'button';
  close.className = 'file-close';
  close.textContent = '×';
  close.setAttribute('aria-label', `Close ${entry.name}`);
  close.addEventListener('click', () => closeFile(entry));
  const facts = document.createElement('p');
  facts.className = 'file-facts';
  const fact = (field, text) => {
    const span = document.createElement('span');
    span.dataset.field = field;
    span.textContent = text;
    facts.append(span);
    return span;
  };
  entry.fields = {
    kind: fact('kind', '…'),
    version: fact('version', ''),
    size: fact('size', sizeText(entry.size)),
    time: fact('time', 'converting…'),
  };
  li.append(select, close, facts);
  return li;
}

function setFacts(entry) {
  entry.fields.kind.textContent = entry.facts.kind;
  entry.fields.version.textContent = `file version ${entry.facts.version}`;
  entry.fields.version.title = 'File version from the document header';
}

function closeFile(entry) {
  const at = files.indexOf(entry);
  if (at < 0) return;
  files.splice(at, 1);
  entry.li.remove();
  if (selected === entry) {
    selected = null;
    const next = files[Math.min(at, files.length - 1)];
    if (next) show(next); else showNothing();
  }
  $('files-empty').hidden = files.length > 0;
}

let queue = Promise.resolve();

function openFiles(list) {
  const batch = [...list].map((file) => ({ file, name: file.name, size: file.size }));
  if (!batch.length) return;
  $('files-empty').hidden = true;
  for (const entry of batch) {
    entry.li = fileItem(entry);
    $('file-list').append(entry.li);
    files.push(entry);
  }
  const first = batch[0];
  for (const entry of batch) {
    queue = queue.then(() => convertEntry(entry, entry === first || !selected));
  }
}

async function convertEntry(entry, showIt) {
  const t0 = performance.now();
  let bytes;
  try {
    bytes = new Uint8Array(await entry.file.arrayBuffer());
  } catch (error) {
    finish(entry, { ok: false, failure: `The file could not be read: ${error.message}` }, t0, showIt);
    return;
  }
  entry.file = null;
  entry.facts = headerFacts(bytes);
  setFacts(entry);
  const result = await convertInWorker(bytes.buffer);
  await finish(entry, result, t0, showIt);
}

async function finish(entry, result, t0, showIt) {
  if (!files.includes(entry)) return;  // closed meanwhile
  entry.convertMs = result.convertMs;
  if (result.ok) {
    entry.doc = new XmlDoc(result.xml, result.index);
    entry.li.dataset.state = 'ok';
  } else {
    entry.failure = result.failure;
    entry.li.dataset.state = 'failed';
    const p = document.createElement('p');
    p.className = 'failure';
    p.dataset.test = 'failure';
    p.textContent = result.failure;
    entry.li.append(p);
  }
  const converted = result.convertMs !== undefined ? `converted in ${ms(result.convertMs)}` : '';
  entry.fields.time.textContent = result.ok ? converted : converted || 'not converted';
  if (result.ok) entry.li.dataset.convertMs = result.convertMs.toFixed(1);
  if (showIt) {
    show(entry);
    await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve)));
    if (result.ok) {
      entry.shownMs = performance.now() - t0;
      entry.li.dataset.shownMs = entry.shownMs.toFixed(1);
      entry.fields.time.textContent = `${converted}, shown in ${ms(entry.shownMs)}`;
    }
  }
}

// ---- the selected document ----

const tree = new TreeView($('tree'), { onSelect: (e) => showDetails(e) });
const table = new TableView($('table'), {
  onOpen: (e) => {
    if (view === 'table') setView('both');
    tree.reveal(e);
    $('tree').focus();
  },
});
let view = 'both';

function showNothing() {
  $('document').hidden = true;
  $('welcome').hidden = false;
}

function show(entry) {
  if (selected) selected.li.removeAttribute('aria-current');
  selected = entry;
  entry.li.setAttribute('aria-current', 'true');
  $('welcome').hidden = true;
  $('document').hidden = false;
  $('doc-title').textContent = entry.name;
  const doc = entry.doc;
  $('save-xml').disabled = !doc;
  $('save-utf8').disabled = !doc;
  $('search').disabled = !doc;
  $('search').value = '';
  search = { query: '', matches: [], current: -1 };
  $('search-count').textContent = '';
  const layout = doc ? tableLayout(entry.facts.kindByte) : null;
  $('panes').classList.toggle('no-table', !layout);
  $('views').hidden = !layout;
  $('panes').classList.toggle('failed', !doc);
  if (!doc) {
    $('tree').hidden = true;
    $('table').hidden = true;
    $('path').textContent = entry.failure ? `Not converted: ${entry.failure}` : 'Converting…';
    $('attributes').replaceChildren();
    return;
  }
  $('tree').hidden = false;
  tree.show(doc);
  $('table').hidden = !layout;
  if (layout) table.show(doc, layout);
  setView(layout ? view : 'tree', { keep: true });
}

function setView(name, { keep = false } = {}) {
  if (!keep) view = name;
  $('panes').dataset.view = name;
  for (const button of $('views').querySelectorAll('button')) {
    button.setAttribute('aria-pressed', button.dataset.view === name ? 'true' : 'false');
  }
  tree.list.draw();
  table.list.draw();
}

function showDetails(e) {
  const doc = selected?.doc;
  if (!doc || e === undefined) return;
  const path = [];
  for (let p = e; p >= 0; p = doc.parent[p]) path.unshift(doc.name(p));
  $('path').textContent = path.join(' › ');
  const items = [];
  for (const [name, value] of doc.attributes(e)) {
    const dt = document.createElement('dt');
    dt.textContent = name;
    const dd = document.createElement('dd');
    dd.textContent = value;
    items.push(dt, dd);
  }
  $('attributes').replaceChildren(...items);
}

// ---- search ----

let search = { query: '', matches: [], current: -1 };
let searchTimer = 0;

function runSearch() {
  const doc = selected?.doc;
  const query = $('search').value.trim();
  if (!doc) return;
  if (query === search.query) return;
  search = { query, matches: query ? doc.search(query, SEARCH_LIMIT) : [], current: -1 };
  for (const e of search.matches.slice(0, EXPAND_MATCHES)) {
    for (let p = doc.parent[e]; p >= 0; p = doc.parent[p]) tree.expanded[p] = 1;
  }
  if (search.matches.length) {
    tree.show(doc, { keepExpanded: true });
    goToMatch(0);
  } else {
    tree.setMatches(query, [], -1);
    $('search-count').textContent = query ? 'no match' : '';
  }
}

function goToMatch(i) {
  const n = search.matches.length;
  if (!n) return;
  search.current = (i + n) % n;
  const e = search.matches[search.current];
  tree.setMatches(search.query, search.matches, e);
  tree.reveal(e);
  const more = n >= SEARCH_LIMIT ? '+' : '';
  $('search-count').textContent = `${search.current + 1} of ${number.format(n)}${more}`;
}

$('search').addEventListener('input', () => {
  clearTimeout(searchTimer);
  searchTimer = setTimeout(runSearch, 250);
});
$('search').addEventListener('keydown', (event) => {
  if (event.key === 'Enter') {
    event.preventDefault();
    clearTimeout(searchTimer);
    if ($('search').value.trim() !== search.query) runSearch();
    else goToMatch(search.current + (event.shiftKey ? -1 : 1));
  } else if (event.key === 'Escape') {
    $('search').value = '';
    runSearch();
  }
});
$('search-next').addEventListener('click', () => { runSearch(); goToMatch(search.current + 1); });
$('search-prev').addEventListener('click', () => { runSearch(); goToMatch(search.current - 1); });

// ---- saving ----

function download(bytes, name) {
  const url = URL.createObjectURL(new Blob([bytes], { type: 'application/xml' }));
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}
const baseName = (name) => name.replace(/\.kdx$/i, '');
$('save-xml').addEventListener('click', () => {
  if (selected?.doc) download(selected.doc.bytes, `${baseName(selected.name)}.xml`);
});
$('save-utf8').addEventListener('click', () => {
  if (selected?.doc) download(xmlToUtf8(selected.doc.bytes), `${baseName(selected.name)}.utf-8.xml`);
});

// ---- views and the splitter ----

$('views').addEventListener('click', (event) => {
  const button = event.target.closest('button[data-view]');
  if (button) setView(button.dataset.view);
});

function setTreeWidth(percent) {
  const p = Math.max(15, Math.min(85, percent));
  $('panes').style.setProperty('--tree-width', `${p}%`);
  $('splitter').setAttribute('aria-valuenow', Math.round(p));
  tree.list.draw();
  table.list.draw();
}
$('splitter').addEventListener('keydown', (event) => {
  const now = Number($('splitter').getAttribute('aria-valuenow'));
  const step = { ArrowLeft: -5, ArrowRight: 5, Home: -100, End: 100 }[event.key];
  if (step !== undefined) {
    setTreeWidth(now + step);
    event.preventDefault();
  }
});
$('splitter').addEventListener('pointerdown', (event) => {
  const splitter = $('splitter');
  splitter.setPointerCapture(event.pointerId);
  const box = $('panes').getBoundingClientRect();
  const move = (e) => setTreeWidth(((e.clientX - box.left) / box.width) * 100);
  splitter.addEventListener('pointermove', move);
  splitter.addEventListener('pointerup', () => splitter.removeEventListener('pointermove', move), { once: true });
});

// ---- opening: the picker and drag and drop ----

$('open').addEventListener('change', (event) => {
  openFiles(event.target.files);
  event.target.value = '';
});

let dragDepth = 0;
const hasFiles = (event) => [...(event.dataTransfer?.types || [])].includes('Files');
document.addEventListener('dragenter', (event) => {
  if (!hasFiles(event)) return;
  event.preventDefault();
  ++dragDepth;
  $('drop-overlay').hidden = false;
});
document.addEventListener('dragleave', () => {
  if (dragDepth > 0 && --dragDepth === 0) $('drop-overlay').hidden = true;
});
document.addEventListener('dragover', (event) => {
  if (!hasFiles(event)) return;
  event.preventDefault();
  event.dataTransfer.dropEffect = 'copy';
});
document.addEventListener('drop', (event) => {
  if (!hasFiles(event)) return;
  event.preventDefault();
  dragDepth = 0;
  $('drop-overlay').hidden = true;
  openFiles(event.dataTransfer.files);
});

// ---- settings and offline ----

{
  const parts = [`Decimal separator “${settings.separator}” from ${settings.separatorFrom}`,
    `today ${settings.todayText} from ${settings.todayFrom}`];
  $('settings').textContent = `${parts.join('; ')}.`;
  $('settings').dataset.separator = settings.separator;
  $('settings').dataset.today = settings.today;
  for (const problem of settings.problems) {
    const p = document.createElement('span');
    p.className = 'problem';
    p.textContent = ` Ignored: ${problem}.`;
    $('settings').append(p);
  }
}

if ('serviceWorker' in navigator && /^https?:$/.test(location.protocol)) {
  navigator.serviceWorker.register('./sw.js').catch(() => {});
}
document.documentElement.dataset.ready = 'true';
