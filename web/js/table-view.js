// The table of an estimate, an object estimate (or consolidated calculation)
// or a price list: its chapters (groups, folders) as spanning rows and, under
// each, its positions (cost rows, resources) with code, name, unit, quantity
// and prices, read from the XML the library wrote. Like the tree it makes rows
// only for what is in view. Enter (or a double click) on a row shows its
// element in the tree.
import { VirtualList } from './virtual-list.js';

const ROW_HEIGHT = 24;

const attr = (name) => (doc, e) => doc.attr(e, name);
const childAttr = (child, name) => (doc, e) => {
  const c = doc.child(e, child);
  return c >= 0 ? doc.attr(c, name) : undefined;
};
// A price, or the formula (or other text) that stands for it.
const price = (value, formula) => (doc, e) => {
  const v = doc.attr(e, value);
  if (v !== undefined) return v;
  const fx = doc.attr(e, formula);
  return fx === undefined ? undefined : { text: fx, formula: true };
};

const ESTIMATE_COLUMNS = [
  { title: 'No.', get: attr('Number'), width: '4.5em' },
  { title: 'Code', get: attr('Code'), width: '11em' },
  { title: 'Name', get: attr('Caption'), width: '24em' },
  { title: 'Unit', get: attr('Units'), width: '6.5em' },
  { title: 'Quantity', get: attr('Quantity'), width: '7em', num: true },
  { title: 'Direct costs', group: 'Base price of a unit', get: childAttr('PriceBase', 'PZ'), num: true },
  { title: 'Wages', group: 'Base price of a unit', get: childAttr('PriceBase', 'OZ'), num: true },
  { title: 'Machines', group: 'Base price of a unit', get: childAttr('PriceBase', 'EM'), num: true },
  { title: 'Materials', group: 'Base price of a unit', get: childAttr('PriceBase', 'MT'), num: true },
  { title: 'Wages', group: 'Current price of a unit', get: childAttr('PriceCurr', 'OZ'), num: true },
  { title: 'Machines', group: 'Current price of a unit', get: childAttr('PriceCurr', 'EM'), num: true },
  { title: 'Materials', group: 'Current price of a unit', get: childAttr('PriceCurr', 'MT'), num: true },
];

const OBJECT_ESTIMATE_COLUMNS = [
  { title: 'Justification', get: attr('Obosn'), width: '10em' },
  { title: 'Name', get: attr('Caption'), width: '24em' },
  { title: 'Construction', group: 'Amounts', get: attr('Sroy'), num: true },
  { title: 'Installation', group: 'Amounts', get: attr('Mont'), num: true },
  { title: 'Equipment', group: 'Amounts', get: attr('Obor'), num: true },
  { title: 'Other', group: 'Amounts', get: attr('Other'), num: true },
  { title: 'Wage fund', get: attr('Fot'), num: true },
  { title: 'Unit price', get: attr('EdPr'), num: true },
  { title: 'K', get: attr('K'), width: '4em', num: true },
];

const PRICE_LIST_COLUMNS = [
  { title: 'Code', get: attr('Code'), width: '11em' },
  { title: 'Name', get: attr('Caption'), width: '24em' },
  { title: 'Unit', get: attr('Units'), width: '6.5em' },
  { title: 'Estimate price', group: 'Current', get: price('PriceCE', 'CEFx'), num: true },
  { title: 'Machinists', group: 'Current', get: price('PriceCT', 'CTFx'), num: true },
  { title: 'Estimate price', group: 'Base', get: price('PriceBE', 'BEFx'), num: true },
  { title: 'Machinists', group: 'Base', get: price('PriceBT', 'BTFx'), num: true },
];

const PRICE_LIST_GROUPS = {
  Workers: "Workers' labour", Mechanics: "Machine operators' labour",
  Materials: 'Materials', Machines: 'Machines and mechanisms',
};

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

// What the table shows for a document kind (the byte at offset 4), or null.
export function tableLayout(kind) {
  switch (kind) {
    case 0: return { columns: ESTIMATE_COLUMNS, rows: chapterRows,
      label: 'Chapters and positions' };
    case 1: case 2: return { columns: OBJECT_ESTIMATE_COLUMNS, rows: chapterRows,
      label: 'Chapters and cost rows' };
    case 3: return { columns: PRICE_LIST_COLUMNS, rows: priceListRows, label: 'Resources' };
    default: return null;
  }
}

function spanningText(doc, e, kind) {
  const caption = doc.attr(e, 'Caption');
  if (kind === 'group') return PRICE_LIST_GROUPS[doc.name(e)];
  if (kind === 'chapter') {
    const number = doc.attr(e, 'Number');
    const text = caption ?? '(no name)';
    return number !== undefined ? `Chapter ${number}. ${text}` : text;
  }
  if (kind === 'folder') return caption ?? '(folder without a name)';
  return caption ?? '';
}

export class TableView {
  constructor(scroller, { onOpen } = {}) {
    this.scroller = scroller;
    this.onOpen = onOpen || (() => {});
    this.header = document.createElement('div');
    this.header.className = 'table-head';
    this.header.setAttribute('role', 'rowgroup');
    this.list = new VirtualList(scroller, {
      rowHeight: ROW_HEIGHT,
      rowRole: 'row',
      header: this.header,
      render: (row, index) => this.renderRow(row, index),
      onActivate: (index) => this.onOpen(this.rows[index][0]),
    });
    scroller.addEventListener('dblclick', (event) => {
      const row = event.target.closest('[data-index]');
      if (row) this.onOpen(this.rows[Number(row.dataset.index)][0]);
    });
  }

  show(doc, layout) {
    this.doc = doc;
    this.layout = layout;
    this.rows = layout.rows(doc);
    this.scroller.setAttribute('aria-label', layout.label);
    this.scroller.setAttribute('aria-rowcount', this.rows.length + 2);
    this.scroller.setAttribute('aria-colcount', layout.columns.length);
    this.scroller.style.setProperty('--columns',
      layout.columns.map((c) => c.width || '7.5em').join(' '));
    this.renderHeader();
    this.scroller.scrollTop = 0;
    this.list.active = -1;
    this.list.setCount(this.rows.length);
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
      groups.append(cell);
      i += span;
    }
    const titles = document.createElement('div');
    titles.className = 'table-row head';
    titles.setAttribute('role', 'row');
    titles.setAttribute('aria-rowindex', '2');
    for (const column of columns) {
      const cell = document.createElement('div');
      cell.setAttribute('role', 'columnheader');
      cell.textContent = column.title;
      if (column.num) cell.className = 'num';
      titles.append(cell);
    }
    this.header.replaceChildren(groups, titles);
  }

  renderRow(row, index) {
    const [e, kind, level] = this.rows[index];
    const doc = this.doc;
    row.replaceChildren();
    row.className = `vl-row table-row ${kind}`;
    row.dataset.rowKind = kind;
    row.setAttribute('aria-rowindex', index + 3);
    if (kind !== 'item') {
      const cell = document.createElement('div');
      cell.setAttribute('role', 'gridcell');
      cell.setAttribute('aria-colspan', this.layout.columns.length);
      cell.className = 'span';
      cell.style.paddingLeft = `${level * 1.2 + 0.4}em`;
      cell.textContent = spanningText(doc, e, kind);
      cell.title = cell.textContent;
      row.append(cell);
      return;
    }
    this.layout.columns.forEach((column, i) => {
      const cell = document.createElement('div');
      cell.setAttribute('role', 'gridcell');
      let value = column.get(doc, e);
      if (value && typeof value === 'object') {
        cell.classList.add('formula');
        cell.title = `Formula: ${value.text}`;
        value = value.text;
      } else if (value !== undefined) {
        cell.title = value;
      }
      if (column.num) cell.classList.add('num');
      if (column.title === 'Name') cell.style.paddingLeft = `${level * 1.2 + 0.4}em`;
      cell.textContent = value ?? '';
      row.append(cell);
    });
  }
}
