// A list of fixed-height rows of which only those in view exist in the page:
// the tree and the table both show up to hundreds of thousands of rows this
// way. The list is one focusable element; the active row is announced through
// aria-activedescendant and moved with the keys of a listbox (arrows, Page
// Up/Down, Home, End); Enter activates it. A row's content comes from
// render(element, index).

// Browsers cap the height of an element; beyond this the scroll range is
// scaled onto the rows.
const MAX_HEIGHT = 8_000_000;
let lists = 0;

export class VirtualList {
  constructor(scroller, { rowHeight, render, onActivate, onKey, onActiveChange, onResize, rowRole, header }) {
    this.scroller = scroller;
    this.header = header || null;  // stays on top (sticky); rows start below it
    this.rowHeight = rowHeight;
    this.render = render;
    this.onActivate = onActivate || (() => {});
    this.onKey = onKey || (() => false);
    this.onActiveChange = onActiveChange || (() => {});
    this.rowRole = rowRole;
    this.id = `vl${++lists}`;
    this.count = 0;
    this.active = -1;
    this.rows = new Map();  // index -> row element in the page
    this.spare = [];
    this.spacer = document.createElement('div');
    this.spacer.className = 'vl-spacer';
    this.spacer.setAttribute('role', 'presentation');
    if (this.header) scroller.append(this.header);
    scroller.append(this.spacer);
    scroller.tabIndex = 0;
    let pending = false;
    scroller.addEventListener('scroll', () => {
      if (pending) return;
      pending = true;
      requestAnimationFrame(() => { pending = false; this.draw(); });
    });
    this.onResize = onResize || (() => this.draw());
    new ResizeObserver(() => this.onResize()).observe(scroller);
    scroller.addEventListener('keydown', (event) => this.key(event));
    scroller.addEventListener('click', (event) => {
      const row = event.target.closest('[data-index]');
      if (row && this.scroller.contains(row)) this.setActive(Number(row.dataset.index));
    });
  }

  // The whole scroll height, and the factor from scroll offsets to row offsets.
  geometry() {
    const full = this.count * this.rowHeight;
    const height = Math.min(full, MAX_HEIGHT);
    const head = this.header ? this.header.offsetHeight : 0;
    const view = Math.max(this.rowHeight, this.scroller.clientHeight - head);
    const scale = height > view && full > height ? (full - view) / (height - view) : 1;
    return { height, scale, head, view };
  }

  setCount(count) {
    this.count = count;
    if (this.active >= count) this.active = count - 1;
    this.redraw();
  }

  // Draws every row in view again (after the rows' data changed). The rows
  // leave the page meanwhile, so the sideways scroll is put back after.
  redraw() {
    const left = this.scroller.scrollLeft;
    for (const row of this.rows.values()) this.release(row);
    this.rows.clear();
    this.draw();
    this.scroller.scrollLeft = left;
  }

  release(row) {
    row.remove();
    this.spare.push(row);
  }

  draw() {
    const { height, scale, head, view } = this.geometry();
    this.spacer.style.height = `${height}px`;
    const top = this.scroller.scrollTop * scale;
    const first = Math.max(0, Math.floor(top / this.rowHeight) - 5);
    const last = Math.min(this.count - 1, Math.ceil((top + view) / this.rowHeight) + 5);
    for (const [index, row] of this.rows) {
      if (index < first || index > last) {
        this.rows.delete(index);
        this.release(row);
      }
    }
    const offset = this.scroller.scrollTop - top + head;  // rows sit where the scaled offset puts them
    for (let index = first; index <= last; ++index) {
      let row = this.rows.get(index);
      if (!row) {
        row = this.spare.pop() || document.createElement('div');
        row.className = 'vl-row';
        row.id = `${this.id}-${index}`;
        row.dataset.index = index;
        row.setAttribute('role', this.rowRole);
        this.render(row, index);
        this.rows.set(index, row);
        this.scroller.append(row);
      }
      row.style.transform = `translateY(${index * this.rowHeight + offset}px)`;
      const isActive = index === this.active;
      row.classList.toggle('active', isActive);
      row.setAttribute('aria-selected', isActive ? 'true' : 'false');
    }
    if (this.active >= 0 && this.rows.has(this.active)) {
      this.scroller.setAttribute('aria-activedescendant', `${this.id}-${this.active}`);
    } else {
      this.scroller.removeAttribute('aria-activedescendant');
    }
  }

  // Scrolls so that the row is in view (centred when it was far).
  reveal(index) {
    const { scale, view } = this.geometry();
    const rowTop = index * this.rowHeight;
    const top = this.scroller.scrollTop * scale;
    if (rowTop < top) {
      this.scroller.scrollTop = (rowTop - (top - rowTop > view ? view / 2 : 0)) / scale;
    } else if (rowTop + this.rowHeight > top + view) {
      const far = rowTop - (top + view) > view;
      this.scroller.scrollTop = (rowTop + this.rowHeight - view + (far ? view / 2 : 0)) / scale;
    }
    this.draw();
  }

  setActive(index, { reveal = true } = {}) {
    if (this.count === 0) return;
    this.active = Math.max(0, Math.min(this.count - 1, index));
    if (reveal) this.reveal(this.active); else this.draw();
    this.onActiveChange(this.active);
  }

  key(event) {
    if (event.altKey || event.ctrlKey || event.metaKey) return;
    if (this.onKey(event, this.active)) {
      event.preventDefault();
      return;
    }
    const page = Math.max(1, Math.floor(this.geometry().view / this.rowHeight) - 1);
    const moves = {
      ArrowDown: this.active + 1, ArrowUp: this.active - 1, PageDown: this.active + page,
      PageUp: this.active - page, Home: 0, End: this.count - 1,
    };
    if (event.key in moves) {
      this.setActive(this.active < 0 && event.key !== 'End' ? 0 : moves[event.key]);
      event.preventDefault();
    } else if (event.key === 'Enter' && this.active >= 0) {
      this.onActivate(this.active);
      event.preventDefault();
    }
  }
}
