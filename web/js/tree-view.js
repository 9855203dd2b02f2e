// The tree of the XML: one row per visible element, its attributes beside its
// name. Rows are made only for what is in view, so a document of hundreds of
// thousands of elements opens at once; expanding an element adds its children
// (and the children of those expanded before) to the visible rows.
//
// Keys (a tree's): Up/Down move, Right expands or goes to the first child,
// Left collapses or goes to the parent, Enter or Space toggles, "*" expands
// the siblings, Home/End/Page Up/Page Down.
import { VirtualList } from './virtual-list.js';
import { appendMarked, revealMark } from './mark-text.js';

const ROW_HEIGHT = 22;
const MAX_ATTRIBUTE_CHARS = 160;

export class TreeView {
  constructor(scroller, { onSelect } = {}) {
    this.scroller = scroller;
    this.onSelect = onSelect || (() => {});
    this.doc = null;
    this.rows = new Int32Array(0);  // element of every visible row
    this.query = '';
    this.matches = new Set();
    this.current = -1;  // the element of the current match
    this.list = new VirtualList(scroller, {
      rowHeight: ROW_HEIGHT,
      rowRole: 'treeitem',
      render: (row, index) => this.renderRow(row, index),
      onActivate: (index) => this.toggle(this.rows[index]),
      onKey: (event, index) => this.key(event, index),
      onActiveChange: (index) => this.onSelect(this.rows[index]),
    });
    scroller.addEventListener('click', (event) => {
      const twisty = event.target.closest('.twisty');
      const row = event.target.closest('[data-index]');
      if (twisty && row) this.toggle(this.rows[Number(row.dataset.index)]);
    });
    scroller.addEventListener('dblclick', (event) => {
      const row = event.target.closest('[data-index]');
      if (row && !event.target.closest('.twisty')) this.toggle(this.rows[Number(row.dataset.index)]);
    });
  }

  // Shows a document with its root expanded, or as it was left (`place`).
  show(doc, place = null) {
    this.doc = doc;
    this.expanded = place?.expanded ?? new Uint8Array(doc.count);
    if (!place && doc.count) this.expanded[0] = 1;
    this.matches = new Set();
    this.current = -1;
    this.query = '';
    this.refresh(place ? place.active : 0, { reveal: false });
    this.scroller.scrollTop = place?.top ?? 0;
    this.scroller.scrollLeft = place?.left ?? 0;
    this.list.draw();
  }

  // Where the user is in the tree, to come back to it.
  place() {
    return { expanded: this.expanded, active: this.activeElement(), top: this.scroller.scrollTop,
      left: this.scroller.scrollLeft };
  }

  activeElement() {
    return this.list.active >= 0 ? this.rows[this.list.active] : -1;
  }

  // Makes the rows again after elements were marked expanded; `e` (an element
  // in view) stays the active one.
  refresh(e = this.activeElement(), { reveal = false } = {}) {
    const doc = this.doc;
    this.rows = doc.count
      ? Int32Array.from([0, ...(this.expanded[0] ? this.visibleBelow(0) : [])]) : new Int32Array(0);
    this.list.active = -1;
    this.list.setCount(this.rows.length);
    const at = e >= 0 ? this.rowOf(e) : -1;
    if (at >= 0) {
      this.list.active = at;
      if (reveal) this.list.reveal(at); else this.list.draw();
    }
  }

  // The elements shown below an element when it is expanded, in order.
  visibleBelow(e) {
    const doc = this.doc, out = [];
    const stack = [];
    for (let c = doc.firstChild(e); c >= 0 || stack.length;) {
      if (c < 0) { c = doc.nextSibling(stack.pop()); continue; }
      out.push(c);
      if (this.expanded[c] && doc.childCount[c]) { stack.push(c); c = c + 1; } else c = doc.nextSibling(c);
    }
    return out;
  }

  // The row of an element, or -1; rows are in document order, as elements are.
  rowOf(e) {
    const rows = this.rows;
    let lo = 0, hi = rows.length - 1;
    while (lo <= hi) {
      const mid = (lo + hi) >> 1;
      if (rows[mid] === e) return mid;
      if (rows[mid] < e) lo = mid + 1; else hi = mid - 1;
    }
    return -1;
  }

  // Puts the rows of an expanded or collapsed element in place.
  setExpanded(e, expand) {
    if (!this.doc.childCount[e] || Boolean(this.expanded[e]) === expand) return;
    const at = this.rowOf(e);
    this.expanded[e] = expand ? 1 : 0;
    if (at < 0) return;  // inside a collapsed element: shown when that one opens
    let removed = 0;
    let added = [];
    if (expand) {
      added = this.visibleBelow(e);
    } else {
      const depth = this.doc.depth[e];
      while (at + 1 + removed < this.rows.length && this.doc.depth[this.rows[at + 1 + removed]] > depth) ++removed;
    }
    const rows = new Int32Array(this.rows.length + added.length - removed);
    rows.set(this.rows.subarray(0, at + 1));
    rows.set(added, at + 1);
    rows.set(this.rows.subarray(at + 1 + removed), at + 1 + added.length);
    this.rows = rows;
  }

  expand(e) { this.setExpanded(e, true); }

  toggle(e) {
    if (!this.doc || !this.doc.childCount[e]) return;
    this.setExpanded(e, !this.expanded[e]);
    this.list.setCount(this.rows.length);
    this.list.setActive(this.rowOf(e), { reveal: false });
  }

  // Expands the ancestors of an element, selects it and scrolls it into view
  // (sideways too, to its first search mark); `quiet` does not tell the page.
  reveal(e, { quiet = false } = {}) {
    const path = [];
    for (let p = this.doc.parent[e]; p >= 0; p = this.doc.parent[p]) path.push(p);
    for (let i = path.length - 1; i >= 0; --i) this.expand(path[i]);
    this.list.setCount(this.rows.length);
    const at = this.rowOf(e);
    if (quiet) {
      this.list.active = at;
      this.list.reveal(at);
    } else {
      this.list.setActive(at);
    }
    revealMark(this.scroller, this.list.rows.get(at));
  }

  key(event, index) {
    const e = this.rows[index];
    if (index < 0 || e === undefined) return false;
    const doc = this.doc;
    switch (event.key) {
      case 'ArrowRight':
        if (doc.childCount[e] && !this.expanded[e]) this.toggle(e);
        else if (doc.childCount[e]) this.list.setActive(index + 1);
        return true;
      case 'ArrowLeft':
        if (doc.childCount[e] && this.expanded[e]) this.toggle(e);
        else if (doc.parent[e] >= 0) this.list.setActive(this.rowOf(doc.parent[e]));
        return true;
      case ' ':
        this.toggle(e);
        return true;
      case '*': {
        const p = doc.parent[e];
        for (let c = p >= 0 ? doc.firstChild(p) : e; c >= 0; c = doc.nextSibling(c)) this.expand(c);
        this.list.setCount(this.rows.length);
        this.list.setActive(this.rowOf(e));
        return true;
      }
      default:
        return false;
    }
  }

  // Marks the elements that match a search; `current` is the one to show.
  setMatches(query, matches, current) {
    this.query = query.toLowerCase();
    this.matches = new Set(matches);
    this.current = current;
    this.list.redraw();
  }

  appendMarked(parent, text, className) {
    appendMarked(parent, text, this.query, className);
  }

  renderRow(row, index) {
    const doc = this.doc, e = this.rows[index];
    const name = doc.name(e);
    const hasChildren = doc.childCount[e] > 0;
    row.replaceChildren();
    row.dataset.test = 'node';
    row.dataset.name = name;
    row.setAttribute('aria-level', doc.depth[e] + 1);
    const p = doc.parent[e];
    row.setAttribute('aria-setsize', p >= 0 ? doc.childCount[p] : 1);
    row.setAttribute('aria-posinset', p >= 0 ? doc.childPos[e] + 1 : 1);
    if (hasChildren) row.setAttribute('aria-expanded', this.expanded[e] ? 'true' : 'false');
    else row.removeAttribute('aria-expanded');
    row.classList.toggle('match', this.matches.has(e));
    row.classList.toggle('current-match', e === this.current);
    row.style.paddingLeft = `${doc.depth[e] * 16 + 4}px`;
    const twisty = document.createElement('span');
    twisty.className = 'twisty';
    twisty.setAttribute('aria-hidden', 'true');
    twisty.textContent = hasChildren ? (this.expanded[e] ? '▾' : '▸') : '';
    row.append(twisty);
    this.appendMarked(row, name, 'el');
    for (const [attr, value] of doc.attributes(e)) {
      row.append(' ');
      this.appendMarked(row, attr, 'an');
      const v = document.createElement('span');
      v.className = 'av';
      const shown = value.length > MAX_ATTRIBUTE_CHARS ? `${value.slice(0, MAX_ATTRIBUTE_CHARS)}…` : value;
      v.append('="');
      this.appendMarked(v, shown, 'avt');
      v.append('"');
      row.append(v);
    }
    if (hasChildren) {
      const count = document.createElement('span');
      count.className = 'count';
      count.textContent = ` ${doc.childCount[e].toLocaleString()}`;
      count.title = `${doc.childCount[e]} child elements`;
      row.append(count);
    }
  }
}
