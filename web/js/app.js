// The viewer page: opens KDX files (picker or drop), converts each in the
// conversion thread, lists them with their kind, file version, size and times,
// shows the selected one as a tree and, for estimates, object estimates,
// price lists and resource summaries, a table; saves its XML in windows-1251
// (the library's bytes) or UTF-8 and the table as CSV; copies an element's
// path and XML. Nothing leaves the browser.
//
// Each open file keeps its place (search, expanded elements, selection,
// scroll) while another is shown, and a conversion finishing in the
// background never takes the page from the file the user is in.
import { readSettings } from './settings.js';
import { XmlDoc, xmlToUtf8 } from './xml-doc.js';
import { TreeView } from './tree-view.js';
import { TableView, tableLayout } from './table-view.js';
import { plainFailure } from './failures.js';
import { revealMark } from './mark-text.js';

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
  select.addEventListener('click', () => {
    autoShown = null;  // the user chose: a conversion finishing does not move the page
    show(entry);
  });
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
  const hadFocus = entry.li.contains(document.activeElement);
  files.splice(at, 1);
  entry.li.remove();
  searcher.drop(entry);
  if (autoShown === entry) autoShown = null;
  const next = files[Math.min(at, files.length - 1)];
  if (selected === entry) {
    selected = null;
    if (next) show(next); else showNothing();
  }
  $('files-empty').hidden = files.length > 0;
  // The keyboard stays in the list: on the next file, or on the open button.
  if (hadFocus || document.activeElement === document.body) {
    if (next) next.li.querySelector('.file-select').focus(); else $('open').focus();
  }
}

let queue = Promise.resolve();
let autoShown = null;  // the file the page showed by itself while its batch converts

function openFiles(list) {
  const batch = [...list].map((file) => ({ file, name: file.name, size: file.size }));
  if (!batch.length) return;
  $('files-empty').hidden = true;
  for (const entry of batch) {
    entry.li = fileItem(entry);
    entry.batch = batch;
    $('file-list').append(entry.li);
    files.push(entry);
  }
  // The first file of the batch is shown (converting) until the user picks
  // another; while the batch converts, the first that converts takes its place.
  autoShown = batch[0];
  show(batch[0]);
  for (const entry of batch) queue = queue.then(() => convertEntry(entry));
}

async function convertEntry(entry) {
  if (!files.includes(entry)) return;  // closed while waiting
  const t0 = performance.now();
  let bytes;
  try {
    bytes = new Uint8Array(await entry.file.arrayBuffer());
  } catch (error) {
    finish(entry, { ok: false, failure: `The file could not be read: ${error.message}` }, null, t0);
    return;
  }
  entry.file = null;
  entry.facts = headerFacts(bytes);
  setFacts(entry);
  const head = bytes.slice(0, 64);  // the conversion thread takes the bytes
  const result = await convertInWorker(bytes.buffer);
  await finish(entry, result, head, t0);
}

async function finish(entry, result, head, t0) {
  if (!files.includes(entry)) return;  // closed meanwhile
  if (result.ok) {
    entry.doc = new XmlDoc(result.xml, result.index);
    entry.li.dataset.state = 'ok';
    entry.li.dataset.convertMs = result.convertMs.toFixed(1);
    entry.fields.time.textContent = `converted in ${ms(result.convertMs)}`;
  } else {
    entry.failure = result.failure;
    entry.plain = plainFailure(head, result.failure);
    entry.li.dataset.state = 'failed';
    // The sentence first; the converter's own text (for support) below it.
    const plain = document.createElement('p');
    plain.className = 'failure';
    plain.dataset.test = 'failure-plain';
    plain.textContent = entry.plain;
    const detail = document.createElement('p');
    detail.className = 'failure detail';
    detail.dataset.test = 'failure';
    detail.textContent = result.failure;
    entry.li.append(plain, detail);
    entry.fields.time.textContent = 'not converted';
  }
  const waiting = selected === entry;
  const replaces = result.ok && autoShown && autoShown === selected && autoShown.batch === entry.batch
    && !autoShown.doc;
  if (!waiting && !replaces && selected) return;  // converted in the background
  autoShown = result.ok ? null : autoShown;
  show(entry);
  if (result.ok) {
    await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve)));
    entry.shownMs = performance.now() - t0;
    entry.li.dataset.shownMs = entry.shownMs.toFixed(1);
    entry.fields.time.textContent = `converted in ${ms(result.convertMs)}, shown in ${ms(entry.shownMs)}`;
  }
}

// ---- the selected document ----

const tree = new TreeView($('tree'), {
  onSelect: (e) => {
    showDetails(e);
    if (tableShown()) table.select(e);
  },
});
const table = new TableView($('table'), {
  onOpen: (e) => {
    if (currentView() === 'table') setView('both');
    tree.reveal(e);
    $('tree').focus();
  },
  onSelect: (e) => {
    showDetails(e);
    if (currentView() !== 'table') tree.reveal(e, { quiet: true });
  },
});
const viewOfKind = new Map();  // the view the user chose for each kind of document
const tableShown = () => selected?.layout && currentView() !== 'tree';
const currentView = () => $('panes').dataset.view;

function showNothing() {
  $('document').hidden = true;
  $('welcome').hidden = false;
}

// Keeps where the user is in the file shown, to come back to it.
function keepPlace(entry) {
  if (!entry?.doc || tree.doc !== entry.doc) return;
  entry.place = {
    tree: tree.place(),
    table: entry.layout ? table.place() : null,
    searchText: $('search').value,
    element: detailsOf,
  };
}

function show(entry) {
  keepPlace(selected);
  clearTimeout(searchTimer);
  if (selected) selected.li.removeAttribute('aria-current');
  selected = entry;
  entry.li.setAttribute('aria-current', 'true');
  $('welcome').hidden = true;
  $('document').hidden = false;
  $('doc-title').textContent = entry.name;
  const doc = entry.doc;
  for (const id of ['save-xml', 'save-utf8', 'search', 'search-prev', 'search-next', 'copy-path', 'copy-xml']) {
    $(id).disabled = !doc;
  }
  const place = entry.place;
  entry.search ??= { query: '', matches: [], current: -1 };
  $('search').value = place?.searchText ?? entry.search.query;
  entry.layout = doc ? tableLayout(entry.facts.kindByte) : null;
  const layout = entry.layout;
  $('save-csv').disabled = !layout;
  $('panes').classList.toggle('no-table', !layout);
  $('views').hidden = !layout;
  $('panes').classList.toggle('failed', !doc);
  $('failure-box').hidden = doc || !entry.failure;
  $('converting').hidden = doc || entry.failure;
  document.querySelector('.details').hidden = !doc;
  if (!doc) {
    $('tree').hidden = true;
    $('table').hidden = true;
    $('search-count').textContent = '';
    $('attributes').replaceChildren();
    detailsOf = -1;
    if (entry.failure) {
      $('failure-plain').textContent = entry.plain;
      $('failure-detail').textContent = entry.failure;
    }
    return;
  }
  $('tree').hidden = false;
  $('table').hidden = !layout;
  setView(layout ? viewOfKind.get(entry.facts.kindByte) ?? layout.view : 'tree', { keep: true });
  tree.show(doc, place?.tree);
  if (layout) table.show(doc, layout, place?.table ?? {});
  const e = place?.element ?? 0;
  showDetails(e >= 0 ? e : 0);
  showMatches(entry, { move: false });
}

function setView(name, { keep = false } = {}) {
  if (!keep && selected?.facts) viewOfKind.set(selected.facts.kindByte, name);
  $('panes').dataset.view = name;
  for (const button of $('views').querySelectorAll('button')) {
    button.setAttribute('aria-pressed', button.dataset.view === name ? 'true' : 'false');
  }
  tree.list.draw();
  table.fit();
  // The tree, shown again, comes to the element chosen in the table meanwhile.
  if (!keep && name !== 'table' && selected?.doc && detailsOf >= 0) tree.reveal(detailsOf, { quiet: true });
}

let detailsOf = -1;  // the element whose path and attributes are shown

function showDetails(e) {
  const doc = selected?.doc;
  if (!doc || e === undefined || e < 0) return;
  detailsOf = e;
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

// ---- search, in the search thread ----

const LOAD_CHUNK = 8 << 20;  // bytes copied to the search thread at a time

const searcher = {
  worker: new Worker(new URL('./search-worker.js', import.meta.url), { type: 'module' }),
  loads: new WeakMap(),  // entry -> the promise of its document's copy in the search thread
  ids: new WeakMap(),
  pending: new Map(),
  seq: 0,
  id(entry) {
    if (!this.ids.has(entry)) this.ids.set(entry, ++this.seq);
    return this.ids.get(entry);
  },
  // The document's bytes are copied over once, a piece at a time so that the
  // page stays responsive; the page keeps its own.
  async load(entry) {
    const doc = entry.doc, id = this.id(entry);
    const start = doc.start.slice(), tagEnd = doc.tagEnd.slice();
    this.worker.postMessage({ type: 'load', doc: id, size: doc.bytes.length, start, tagEnd, count: doc.count },
      [start.buffer, tagEnd.buffer]);
    for (let at = 0; at < doc.bytes.length; at += LOAD_CHUNK) {
      await new Promise((resolve) => setTimeout(resolve));
      const bytes = doc.bytes.slice(at, at + LOAD_CHUNK);
      this.worker.postMessage({ type: 'bytes', doc: id, at, bytes }, [bytes.buffer]);
    }
  },
  async search(entry, query) {
    if (!this.loads.has(entry)) this.loads.set(entry, this.load(entry));
    await this.loads.get(entry);
    const seq = ++this.seq;
    return new Promise((resolve) => {
      this.pending.set(seq, resolve);
      this.worker.postMessage({ type: 'search', doc: this.id(entry), seq, query, limit: SEARCH_LIMIT });
    });
  },
  drop(entry) {
    if (this.loads.has(entry)) this.worker.postMessage({ type: 'drop', doc: this.id(entry) });
  },
};
searcher.worker.onmessage = ({ data }) => {
  const resolve = searcher.pending.get(data.seq);
  searcher.pending.delete(data.seq);
  if (resolve) resolve(data.matches);
};

let searchTimer = 0;

// Runs the search typed into the box, if it changed; resolves when its
// matches are shown.
async function runSearch() {
  const entry = selected;
  const query = $('search').value.trim();
  if (!entry?.doc || query === entry.search.query) return;
  entry.search = { query, matches: [], current: -1, running: true };
  const search = entry.search;
  $('search-count').textContent = query ? 'searching…' : '';
  const matches = query ? await searcher.search(entry, query) : [];
  if (entry.search !== search) return;  // another search began meanwhile
  search.matches = matches;
  search.running = false;
  search.current = matches.length ? 0 : -1;
  // The first matches are expanded at once (in the file's kept place when
  // the user went to another file meanwhile).
  const doc = entry.doc;
  const expanded = selected === entry ? tree.expanded : entry.place?.tree.expanded;
  for (const e of expanded ? matches.slice(0, EXPAND_MATCHES) : []) {
    for (let p = doc.parent[e]; p >= 0; p = doc.parent[p]) expanded[p] = 1;
  }
  if (selected !== entry) return;  // shown when the user comes back
  if (matches.length) tree.refresh();
  showMatches(entry, { move: true });
}

// Marks the matches of the file's search in the tree and the table and, with
// `move`, goes to the current one.
function showMatches(entry, { move }) {
  const { query, matches, current } = entry.search;
  const n = matches.length;
  const e = current >= 0 ? matches[current] : -1;
  tree.setMatches(query, matches, e);
  if (entry.layout) table.setMatches(query, e);
  if (!query) $('search-count').textContent = '';
  else if (entry.search.running) $('search-count').textContent = 'searching…';
  else if (!n) $('search-count').textContent = 'no match';
  else {
    const more = n >= SEARCH_LIMIT ? '+' : '';
    $('search-count').textContent = `${current + 1} of ${number.format(n)}${more}`;
  }
  if (!move || e < 0) return;
  tree.reveal(e, { quiet: true });
  if (tableShown()) {
    const at = table.select(e);
    if (at >= 0) revealMark(table.scroller, table.list.rows.get(at), table.covered);
  }
  showDetails(e);
}

function goToMatch(i) {
  const entry = selected;
  const n = entry?.search.matches.length;
  if (!n) return;
  entry.search.current = (i + n) % n;
  showMatches(entry, { move: true });
}

$('search').addEventListener('input', () => {
  clearTimeout(searchTimer);
  searchTimer = setTimeout(runSearch, 250);
});
$('search').addEventListener('keydown', async (event) => {
  if (event.key === 'Enter') {
    event.preventDefault();
    clearTimeout(searchTimer);
    if ($('search').value.trim() !== selected?.search.query) await runSearch();
    else goToMatch(selected.search.current + (event.shiftKey ? -1 : 1));
  } else if (event.key === 'Escape') {
    $('search').value = '';
    runSearch();
  }
});
$('search-next').addEventListener('click', async () => {
  await runSearch();
  goToMatch((selected?.search.current ?? -1) + 1);
});
$('search-prev').addEventListener('click', async () => {
  await runSearch();
  goToMatch((selected?.search.current ?? 0) - 1);
});

// ---- saving and copying ----

function download(bytes, name, type = 'application/xml') {
  const url = URL.createObjectURL(new Blob([bytes], { type }));
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

// The table as CSV for a spreadsheet: UTF-8 with a byte-order mark, lines
// ended by CR LF, the list separator that goes with the decimal separator of
// the numbers (";" beside a decimal comma). A text a spreadsheet would take
// for a formula is kept a text.
function toCsv(rows, separator) {
  const cell = (text) => {
    let t = text;
    if (/^[=+\-@]/.test(t) && !/^-?[\d.,]+([eE][-+]?\d+)?$/.test(t)) t = `'${t}`;
    return /[";\r\n,\t]/.test(t) || t !== t.trim() ? `"${t.replace(/"/g, '""')}"` : t;
  };
  return `\ufeff${rows.map((row) => row.map(cell).join(separator)).join('\r\n')}\r\n`;
}
$('save-csv').addEventListener('click', () => {
  if (!selected?.layout) return;
  const csv = toCsv(table.texts(), settings.separator === ',' ? ';' : ',');
  download(new TextEncoder().encode(csv), `${baseName(selected.name)}.csv`, 'text/csv');
});

async function copy(text, button) {
  try {
    await navigator.clipboard.writeText(text);
  } catch {
    // Without the clipboard interface (an address that is not secure).
    const area = document.createElement('textarea');
    area.value = text;
    document.body.append(area);
    area.select();
    document.execCommand('copy');
    area.remove();
  }
  const was = button.textContent;
  button.textContent = 'Copied';
  setTimeout(() => { button.textContent = was; }, 1200);
}
$('copy-path').addEventListener('click', (event) => {
  if (selected?.doc && detailsOf >= 0) copy(selected.doc.path(detailsOf), event.currentTarget);
});
$('copy-xml').addEventListener('click', (event) => {
  if (selected?.doc && detailsOf >= 0) copy(selected.doc.xml(detailsOf), event.currentTarget);
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
