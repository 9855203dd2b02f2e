// The table of an estimate, an object estimate (or consolidated calculation),
// a price list or a resource summary: its chapters (groups, folders, source
// estimates) as spanning rows and, under each, its positions (cost rows,
// resources) with code, name, unit, quantity and prices, read from the XML the
// library wrote. Like the tree it makes rows only for what is in view.
//
// Columns are as wide as their content (measured on a sample of the rows),
// the name column takes the room left over, and a header's right edge drags
// its column wider or narrower. The first column and the name stay in place
// while the table scrolls sideways. A value given by a formula is marked and
// shows its formula on hover. Enter (or a double click) on a row shows its
// element in the tree.
import { VirtualList } from './virtual-list.js';
import { appendMarked } from './mark-text.js';

const ROW_HEIGHT = 24;
const CELL_PADDING = 12;  // the left and right padding of a cell, in pixels
const SAMPLE_ROWS = 600;  // rows measured for the widths of the columns
const NUMBER = /^-?(\d+([.,]\d*)?([eE][-+]?\d+)?|NAN|INF)$/;

const attr = (name) => (doc, e) => doc.attr(e, name);
const childOf = (doc, e, name) => (e >= 0 ? doc.child(e, name) : -1);
const attrOf = (doc, e, name) => (e >= 0 ? doc.attr(e, name) : undefined);

// A text that is a number is a value; any other text (an object estimate's
// amounts may be written as formulas) is marked as a formula.
const amount = (name) => (doc, e) => {
  const v = doc.attr(e, name);
  return v === undefined || NUMBER.test(v) ? v : { text: v, formula: v };
};

// A unit price of an estimate position, with its formula when it has one.
const positionPrice = (level, name) => (doc, e) => {
  const p = childOf(doc, e, level);
  const v = attrOf(doc, p, name);
  const fx = attrOf(doc, childOf(doc, p, 'Fx'), name);
  return fx === undefined ? v : { text: v ?? '', formula: fx };
};

// The quantity of an estimate position: its value, marked when a formula
// gives it or when the estimate rounds it ("ОКР(6,638; 2)").
function positionQuantity(doc, e) {
  let v = doc.attr(e, 'Quantity');
  const fx = attrOf(doc, childOf(doc, e, 'Quantity'), 'Fx');
  const rounded = v && /^ОКР\((.*); (-?\d+)\)$/.exec(v);
  let note;
  if (rounded) {
    v = rounded[1];
    note = `Rounded to ${rounded[2]} decimal places (${rounded[0]})`;
  }
  if (fx !== undefined && !NUMBER.test(fx)) return { text: v ?? '0', formula: fx, note };
  return note ? { text: v, note } : v;
}

// A price of a price list, or the formula that stands for it.
const listPrice = (value, formula) => (doc, e) => {
  const v = doc.attr(e, value);
  if (v !== undefined) return v;
  const fx = doc.attr(e, formula);
  return fx === undefined ? undefined : { text: fx, formula: fx };
};

const summaryPrice = (child, name) => (doc, e) => attrOf(doc, childOf(doc, e, child), name);

const ESTIMATE_COLUMNS = [
  { name: 'No.', get: attr('Number'), frozen: true },
  { name: 'Code', get: attr('Code'), max: 150 },
  { name: 'Name', get: attr('Caption'), frozen: true, wide: true },
  { name: 'Unit', get: attr('Units'), max: 90 },
  { name: 'Quantity', get: positionQuantity, num: true },
  { name: 'Direct costs', group: 'Base price of a unit', get: positionPrice('PriceBase', 'PZ'), num: true },
  { name: 'Wages', group: 'Base price of a unit', get: positionPrice('PriceBase', 'OZ'), num: true },
  { name: 'Machines', group: 'Base price of a unit', get: positionPrice('PriceBase', 'EM'), num: true },
  { name: 'Materials', group: 'Base price of a unit', get: positionPrice('PriceBase', 'MT'), num: true },
  { name: 'Wages', group: 'Current price of a unit', get: positionPrice('PriceCurr', 'OZ'), num: true },
  { name: 'Machines', group: 'Current price of a unit', get: positionPrice('PriceCurr', 'EM'), num: true },
  { name: 'Materials', group: 'Current price of a unit', get: positionPrice('PriceCurr', 'MT'), num: true },
];

const OBJECT_ESTIMATE_COLUMNS = [
  { name: 'Justification', get: attr('Obosn'), frozen: true, max: 180 },
  { name: 'Name', get: attr('Caption'), frozen: true, wide: true },
  { name: 'Construction', group: 'Amounts', get: amount('Sroy'), num: true },
  { name: 'Installation', group: 'Amounts', get: amount('Mont'), num: true },
  { name: 'Equipment', group: 'Amounts', get: amount('Obor'), num: true },
  { name: 'Other', group: 'Amounts', get: amount('Other'), num: true },
  { name: 'Wage fund', get: amount('Fot'), num: true },
  { name: 'Unit price', get: amount('EdPr'), num: true },
  { name: 'K', get: attr('K'), num: true },
];

const PRICE_LIST_COLUMNS = [
  { name: 'Code', get: attr('Code'), frozen: true, max: 150 },
  { name: 'Name', get: attr('Caption'), frozen: true, wide: true },
  { name: 'Unit', get: attr('Units'), max: 90 },
  { name: 'Estimate price', group: 'Current', get: listPrice('PriceCE', 'CEFx'), num: true },
  { name: 'Machinists', group: 'Current', get: listPrice('PriceCT', 'CTFx'), num: true },
  { name: 'Estimate price', group: 'Base', get: listPrice('PriceBE', 'BEFx'), num: true },
  { name: 'Machinists', group: 'Base', get: listPrice('PriceBT', 'BTFx'), num: true },
];

const SUMMARY_COLUMNS = [
  { name: 'Code', get: attr('Code'), frozen: true, max: 150 },
  { name: 'Name', get: attr('Caption'), frozen: true, wide: true },
  { name: 'Unit', get: attr('Units'), max: 90 },
  { name: 'Quantity', get: attr('Quantity'), num: true },
  { name: 'Estimate price', group: 'Current', get: summaryPrice('Price', 'CE'), num: true },
  { name: 'Machinists', group: 'Current', get: summaryPrice('Price', 'CT'), num: true },
  { name: 'Estimate price', group: 'Base', get: summaryPrice('Price', 'BE'), num: true },
  { name: 'Machinists', group: 'Base', get: summaryPrice('Price', 'BT'), num: true },
  { name: 'Estimate price', group: 'Requested', get: summaryPrice('ReqPrice', 'CE'), num: true },
  { name: 'Machinists', group: 'Requested', get: summaryPrice('ReqPrice', 'CT'), num: true },
];

const PRICE_LIST_GROUPS = {
  Workers: "Workers' labour", Mechanics: "Machine operators' labour",
  Materials: 'Materials', Machines: 'Machines and mechanisms',
};
const SUMMARY_GROUPS = new Set(['Tz', 'Mch', 'Mat', 'Eq']);

// Rows of the table: [element, kind, level] in document order.
function chapterRows(doc) {
  const rows = [];
  const chapters = doc.child(0, 'Chapters');
  if (chapters < 0) return rows;
  for (const chapter of doc.children(chapters)) {
    if (doc.name(chapter) !== 'Chapter') continue;
    rows.push([chapter, 'chapter', 0]);
    for (const c of doc.children(chapter)) {
      const name = doc.name(c);
      if (name === 'Header') rows.push([c, 'header', 1]);
      else if (name === 'Position') rows.push([c, 'item', 1]);
    }
  }
  return rows;
}

function priceListRows(doc) {
  const rows = [];
  const walk = (e, level) => {
    for (const c of doc.children(e)) {
      const name = doc.name(c);
      if (name === 'Elem') rows.push([c, 'item', level]);
      else if (name === 'Folder') { rows.push([c, 'folder', level]); walk(c, level + 1); }
    }
  };
  for (const group of doc.children(0)) {
    if (!(doc.name(group) in PRICE_LIST_GROUPS)) continue;
    rows.push([group, 'group', 0]);
    walk(group, 1);
  }
  return rows;
}

// A resource summary: every local estimate it draws on, its resource groups
// and their resources.
function summaryRows(doc) {
  const rows = [];
  const list = doc.child(0, 'LsList');
  if (list < 0) return rows;
  for (const source of doc.children(list)) {
    if (doc.name(source) !== 'Data') continue;
    rows.push([source, 'chapter', 0]);
    for (const group of doc.children(source)) {
      if (!SUMMARY_GROUPS.has(doc.name(group))) continue;
      rows.push([group, 'group', 1]);
      for (const r of doc.children(group)) if (doc.name(r) === 'Resource') rows.push([r, 'item', 1]);
    }
  }
  return rows;
}

// What the table shows for a document kind (the byte at offset 4), or null;
// `view` is the view a document of the kind opens in.
export function tableLayout(kind) {
  switch (kind) {
    case 0: return { columns: ESTIMATE_COLUMNS, rows: chapterRows, label: 'Chapters and positions', view: 'table' };
    case 1: case 2: return { columns: OBJECT_ESTIMATE_COLUMNS, rows: chapterRows, label: 'Chapters and cost rows',
      view: 'table' };
    case 3: return { columns: PRICE_LIST_COLUMNS, rows: priceListRows, label: 'Resources', view: 'table' };
    case 6: return { columns: SUMMARY_COLUMNS, rows: summaryRows, label: 'Estimates and their resources',
      view: 'table' };
    default: return null;
  }
}

// The text of a spanning row. An object estimate's chapter has a number; a
// name that begins with it ("Глава 1. …") is not given it twice.
export function spanningText(doc, e, kind) {
  const caption = doc.attr(e, 'Caption');
  if (kind === 'group') return PRICE_LIST_GROUPS[doc.name(e)] ?? caption ?? doc.name(e);
  if (kind === 'chapter') {
    if (doc.name(e) === 'Data') {
      const code = attrOf(doc, childOf(doc, e, 'DocInfo'), 'Code');
      const text = caption ?? '(no name)';
      return code && !text.includes(code) ? `${code}. ${text}` : text;
    }
    const number = doc.attr(e, 'Number');
    if (number === undefined) return caption ?? '(no name)';
    if (caption === undefined) return `Chapter ${number}`;
    const numbered = new RegExp(`^\\s*(глава|chapter|гл\\.)\\s*0*${number}(?!\\d)`, 'i');
    return numbered.test(caption) ? caption : `Chapter ${number}. ${caption}`;
  }
  if (kind === 'folder') return caption ?? '(folder without a name)';
  return caption ?? '';
}

// A cell's value as text, with what marks it: { text, formula, note }.
export function cellValue(column, doc, e) {
  const value = column.get(doc, e);
  if (value === undefined) return { text: '' };
  return typeof value === 'string' ? { text: value } : value;
}

const measurer = document.createElement('canvas').getContext('2d');

export class TableView {
  constructor(scroller, { onOpen, onSelect } = {}) {
    this.scroller = scroller;
    this.onOpen = onOpen || (() => {});
    this.onSelect = onSelect || (() => {});
    this.query = '';
    this.current = -1;  // the element of the current search match
    this.header = document.createElement('div');
    this.header.className = 'table-head';
    this.header.setAttribute('role', 'rowgroup');
    this.list = new VirtualList(scroller, {
      rowHeight: ROW_HEIGHT,
      rowRole: 'row',
      header: this.header,
      render: (row, index) => this.renderRow(row, index),
      onActivate: (index) => this.onOpen(this.rows[index][0]),
      onActiveChange: (index) => this.onSelect(this.rows[index][0]),
      onResize: () => this.fit(),
    });
    scroller.addEventListener('dblclick', (event) => {
      const row = event.target.closest('[data-index]');
      if (row) this.onOpen(this.rows[Number(row.dataset.index)][0]);
    });
  }

  show(doc, layout, place = {}) {
    this.doc = doc;
    this.layout = layout;
    this.rows = layout.rows(doc);
    this.rowElements = Int32Array.from(this.rows, (r) => r[0]);
    this.scroller.setAttribute('aria-label', layout.label);
    this.scroller.setAttribute('aria-rowcount', this.rows.length + 2);
    this.scroller.setAttribute('aria-colcount', layout.columns.length);
    this.list.active = place.active ?? -1;
    this.list.count = this.rows.length;
    this.widths = place.widths || this.measure();
    this.userWidths = place.userWidths || new Map();
    this.renderHeader();
    this.fit();
    this.scroller.scrollTop = place.top ?? 0;
    this.scroller.scrollLeft = place.left ?? 0;
    this.list.draw();
  }

  // Where the user is in the table, to come back to it.
  place() {
    return { widths: this.widths, userWidths: this.userWidths, active: this.list.active,
      top: this.scroller.scrollTop, left: this.scroller.scrollLeft };
  }

  // Widths of the columns' contents in pixels: the header's longest word and
  // the widest value of a sample of the rows (the first ones and some spread
  // over the rest).
  measure() {
    const style = getComputedStyle(this.scroller);
    measurer.font = `${style.fontSize} ${style.fontFamily}`;
    const columns = this.layout.columns;
    const bold = `600 ${measurer.font}`;
    const widths = columns.map((c) => {
      const plain = measurer.font;
      measurer.font = bold;
      const w = Math.max(...c.name.split(' ').map((word) => measurer.measureText(word).width));
      measurer.font = plain;
      return w;
    });
    const items = [];
    const n = this.rows.length;
    const step = Math.max(1, Math.floor(n / SAMPLE_ROWS));
    for (let i = 0; i < n && items.length < SAMPLE_ROWS * 2; i += i < SAMPLE_ROWS ? 1 : step) {
      if (this.rows[i][1] === 'item') items.push(this.rows[i]);
    }
    for (const [e, , level] of items) {
      columns.forEach((c, k) => {
        const { text, formula, note } = cellValue(c, this.doc, e);
        const mark = formula || note ? 14 : 0;
        const indent = c.wide ? level * 14 : 0;
        widths[k] = Math.max(widths[k], measurer.measureText(text).width + mark + indent);
      });
    }
    const most = (c) => c.max ?? (c.wide ? 900 : 200);
    return widths.map((w, k) => Math.ceil(Math.min(w + CELL_PADDING + 2, most(columns[k]))));
  }

  // Puts the widths in place: the name column takes the room the others leave,
  // within its content's width and at least a readable width.
  fit() {
    if (!this.layout) return;
    const columns = this.layout.columns;
    const widths = columns.map((c, k) => this.userWidths.get(k) ?? this.widths[k]);
    const view = this.scroller.clientWidth;
    const narrow = view < 600;  // a phone: texts give way so that the quantity is in view
    if (narrow) {
      columns.forEach((c, k) => {
        if (!c.num && !c.wide && !this.userWidths.has(k)) widths[k] = Math.min(widths[k], Math.round(view * 0.2));
      });
    }
    const nameAt = columns.findIndex((c) => c.wide);
    if (nameAt >= 0 && !this.userWidths.has(nameAt)) {
      const room = view - widths.reduce((s, w, k) => (k === nameAt ? s : s + w), 0) - 2;
      const least = Math.min(this.widths[nameAt], narrow ? 100 : Math.max(140, view * 0.3));
      widths[nameAt] = Math.max(least, Math.min(this.widths[nameAt], room));
    }
    // On a narrow screen the frozen columns leave room for the others:
    // together at most 60 % of the width, the name giving way first.
    const frozen = columns.map((c, k) => (c.frozen && !this.userWidths.has(k) ? k : -1)).filter((k) => k >= 0);
    let over = frozen.reduce((s, k) => s + widths[k], 0) - view * 0.6;
    for (const k of [nameAt, ...frozen].filter((k) => frozen.includes(k))) {
      if (over <= 0) break;
      const cut = Math.min(over, widths[k] - (columns[k].wide ? 110 : 56));
      if (cut > 0) { widths[k] -= cut; over -= cut; }
    }
    this.shown = widths;
    const style = this.scroller.style;
    style.setProperty('--columns', widths.map((w) => `${w}px`).join(' '));
    style.setProperty('--row-width', `${widths.reduce((s, w) => s + w, 0)}px`);
    style.setProperty('--view-width', `${this.scroller.clientWidth}px`);
    // Frozen columns stay at the left; each after the ones frozen before it.
    let left = 0;
    this.frozenLeft = columns.map((c, k) => {
      const at = c.frozen ? left : null;
      if (c.frozen) left += widths[k];
      return at;
    });
    this.covered = left;
    this.lastFrozen = columns.findLastIndex((c) => c.frozen);
    for (const cell of this.header.querySelectorAll('[data-col]')) this.placeFrozen(cell, Number(cell.dataset.col));
    this.list.redraw();
  }

  placeFrozen(cell, k) {
    const left = this.frozenLeft?.[k];
    cell.classList.toggle('frozen', left !== null && left !== undefined);
    cell.classList.toggle('frozen-edge', k === this.lastFrozen);
    cell.style.left = left !== null && left !== undefined ? `${left}px` : '';
  }

  renderHeader() {
    const columns = this.layout.columns;
    const groups = document.createElement('div');
    groups.className = 'table-row head groups';
    groups.setAttribute('role', 'row');
    groups.setAttribute('aria-rowindex', '1');
    for (let i = 0; i < columns.length;) {
      let span = 1;
      while (i + span < columns.length && columns[i].group && columns[i + span].group === columns[i].group) ++span;
      const cell = document.createElement('div');
      cell.setAttribute('role', 'columnheader');
      cell.style.gridColumn = `span ${span}`;
      cell.textContent = columns[i].group || '';
      if (columns[i].group) cell.className = 'group';
      else if (span === 1) cell.dataset.col = i;
      groups.append(cell);
      i += span;
    }
    const titles = document.createElement('div');
    titles.className = 'table-row head titles';
    titles.setAttribute('role', 'row');
    titles.setAttribute('aria-rowindex', '2');
    columns.forEach((column, k) => {
      const cell = document.createElement('div');
      cell.setAttribute('role', 'columnheader');
      cell.dataset.test = 'column';
      cell.dataset.name = column.name;
      if (column.group) cell.dataset.group = column.group;
      cell.dataset.col = k;
      cell.textContent = column.name;
      cell.title = column.group ? `${column.group}: ${column.name}` : column.name;
      if (column.num) cell.classList.add('num');
      const grip = document.createElement('span');
      grip.className = 'grip';
      grip.setAttribute('aria-hidden', 'true');
      grip.addEventListener('pointerdown', (event) => this.drag(event, k));
      grip.addEventListener('dblclick', (event) => {
        event.stopPropagation();
        this.userWidths.delete(k);
        this.fit();
      });
      cell.append(grip);
      titles.append(cell);
    });
    this.header.replaceChildren(groups, titles);
  }

  // Drags a column's right edge.
  drag(event, k) {
    event.preventDefault();
    event.stopPropagation();
    const grip = event.target;
    grip.setPointerCapture(event.pointerId);
    const x0 = event.clientX, w0 = this.shown[k];
    const move = (e) => {
      this.userWidths.set(k, Math.max(32, Math.round(w0 + e.clientX - x0)));
      this.fit();
    };
    grip.addEventListener('pointermove', move);
    grip.addEventListener('pointerup', () => grip.removeEventListener('pointermove', move), { once: true });
  }

  // The row that shows an element or holds it (a resource of a position is
  // in the position's row), or -1.
  rowOf(e) {
    const rows = this.rowElements;
    if (!rows) return -1;
    let lo = 0, hi = rows.length - 1, found = -1;
    while (lo <= hi) {
      const mid = (lo + hi) >> 1;
      if (rows[mid] <= e) { found = mid; lo = mid + 1; } else hi = mid - 1;
    }
    if (found < 0) return -1;
    const holds = this.rows[found][1] === 'item' && e <= this.doc.last[rows[found]];
    return rows[found] === e || holds ? found : -1;
  }

  // Selects the row of an element (and scrolls it into view) without telling
  // the page, which asked for it.
  select(e, { reveal = true } = {}) {
    const index = this.rowOf(e);
    if (index < 0) return -1;
    this.list.active = index;
    if (reveal) this.list.reveal(index); else this.list.draw();
    return index;
  }

  setMatches(query, current) {
    this.query = query.toLowerCase();
    this.current = current;
    this.list.redraw();
  }

  // The table as rows of texts, as it reads on the screen: the two header
  // rows, then a spanning row's text in its first cell, a row's cells.
  texts() {
    const columns = this.layout.columns;
    const out = [];
    if (columns.some((c) => c.group)) {
      out.push(columns.map((c, k) => (c.group && columns[k - 1]?.group !== c.group ? c.group : '')));
    }
    out.push(columns.map((c) => c.name));
    for (const [e, kind] of this.rows) {
      out.push(kind === 'item' ? columns.map((c) => cellValue(c, this.doc, e).text)
        : [spanningText(this.doc, e, kind)]);
    }
    return out;
  }

  renderRow(row, index) {
    const [e, kind, level] = this.rows[index];
    const doc = this.doc;
    row.replaceChildren();
    row.className = `vl-row table-row ${kind}`;
    row.dataset.rowKind = kind;
    row.setAttribute('aria-rowindex', index + 3);
    const current = this.current;
    const holdsCurrent = current === e || (kind === 'item' && current > e && current <= doc.last[e]);
    row.classList.toggle('current-match', current >= 0 && holdsCurrent);
    if (kind !== 'item') {
      const cell = document.createElement('div');
      cell.setAttribute('role', 'gridcell');
      cell.setAttribute('aria-colspan', this.layout.columns.length);
      cell.className = 'span';
      const text = spanningText(doc, e, kind);
      const inner = appendMarked(cell, text, this.query, 'span-text');
      inner.style.paddingLeft = `${level * 1.2}em`;
      cell.title = text;
      row.append(cell);
      return;
    }
    this.layout.columns.forEach((column, k) => {
      const cell = document.createElement('div');
      cell.setAttribute('role', 'gridcell');
      const { text, formula, note } = cellValue(column, doc, e);
      const tips = [];
      if (formula !== undefined) {
        cell.classList.add('formula');
        tips.push(`Formula: ${formula}`);
      }
      if (note) {
        cell.classList.add('rounded');
        tips.push(note);
      }
      cell.title = tips.length ? tips.join('\n') : text;
      if (column.num) cell.classList.add('num');
      if (column.wide) cell.style.paddingLeft = `${level * 14 + 6}px`;
      this.placeFrozen(cell, k);
      appendMarked(cell, text, this.query);
      row.append(cell);
    });
  }
}
