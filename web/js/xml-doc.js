// The converted document on the page: the XML bytes (windows-1251) and their
// element index. Names and attributes are decoded when asked for, so only
// what is on the screen is ever turned into text.

const decoder = new TextDecoder('windows-1251');

// The character of every windows-1251 byte, and the byte of every character.
const CHARS = decoder.decode(Uint8Array.from({ length: 256 }, (_, b) => b));
const BYTE_OF = new Map([...CHARS].map((ch, b) => [ch, b]));

// Bytes of a text in windows-1251, or null when a character has no byte there.
export function encodeCp1251(text) {
  const out = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) {
    const b = BYTE_OF.get(text[i]);
    if (b === undefined) return null;
    out[i] = b;
  }
  return out;
}

// Lower-case byte of every byte, for searches that ignore case.
export const FOLD = Uint8Array.from({ length: 256 }, (_, b) => {
  const lower = BYTE_OF.get(CHARS[b].toLowerCase());
  return lower === undefined ? b : lower;
});

const REFERENCE = /&(?:(amp|lt|gt|quot|apos)|#(\d+)|#[xX]([0-9a-fA-F]+));/g;
const NAMED = { amp: '&', lt: '<', gt: '>', quot: '"', apos: "'" };

export function unescapeXml(text) {
  if (text.indexOf('&') < 0) return text;
  return text.replace(REFERENCE, (whole, named, dec, hex) => {
    if (named) return NAMED[named];
    const code = dec ? parseInt(dec, 10) : parseInt(hex, 16);
    return code <= 0x10ffff ? String.fromCodePoint(code) : whole;
  });
}

export function escapeXml(text) {
  return text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;')
    .replace(/"/g, '&quot;');
}

// The UTF-8 form of the library's windows-1251 XML: every character recoded and
// the declaration's encoding changed, as the command-line tool's
// "--encoding utf-8" does.
export function xmlToUtf8(bytes) {
  let text = decoder.decode(bytes);
  if (text.startsWith('<?xml ')) {
    const end = text.indexOf('?>');
    const at = text.indexOf('encoding="windows-1251"');
    if (at >= 0 && at < end) {
      text = text.slice(0, at) + 'encoding="utf-8"' + text.slice(at + 'encoding="windows-1251"'.length);
    }
  }
  return new TextEncoder().encode(text);
}

const SPACE = (b) => b === 0x20 || b === 0x09 || b === 0x0a || b === 0x0d;

export class XmlDoc {
  constructor(bytes, index) {
    this.bytes = bytes;
    Object.assign(this, index);
    this.cache = new Map();  // element -> attributes, for the rows on the screen
  }

  name(e) { return this.names[this.nameId[e]]; }

  // The attributes of an element as [name, value] pairs, in the order written.
  attributes(e) {
    let attrs = this.cache.get(e);
    if (attrs) return attrs;
    attrs = [];
    const b = this.bytes;
    let i = this.nameEnd[e];
    const end = this.tagEnd[e] - 1;
    while (i < end) {
      while (i < end && SPACE(b[i])) ++i;
      const nameStart = i;
      while (i < end && b[i] !== 0x3d && !SPACE(b[i]) && b[i] !== 0x2f) ++i;
      if (i === nameStart) break;
      const name = decoder.decode(b.subarray(nameStart, i));
      while (i < end && SPACE(b[i])) ++i;
      if (b[i] !== 0x3d) break;
      ++i;
      while (i < end && SPACE(b[i])) ++i;
      const quote = b[i];
      if (quote !== 0x22 && quote !== 0x27) break;
      const valueStart = ++i;
      while (i < end && b[i] !== quote) ++i;
      attrs.push([name, unescapeXml(decoder.decode(b.subarray(valueStart, i)))]);
      ++i;
    }
    if (this.cache.size > 4000) this.cache.clear();
    this.cache.set(e, attrs);
    return attrs;
  }

  attr(e, name) {
    for (const [n, v] of this.attributes(e)) if (n === name) return v;
    return undefined;
  }

  firstChild(e) { return this.childCount[e] > 0 ? e + 1 : -1; }
  nextSibling(e) {
    const p = this.parent[e];
    return p >= 0 && this.last[e] < this.last[p] ? this.last[e] + 1 : -1;
  }
  * children(e) {
    for (let c = this.firstChild(e); c >= 0; c = this.nextSibling(c)) yield c;
  }
  // The first child named `name`, or -1.
  child(e, name) {
    for (let c = this.firstChild(e); c >= 0; c = this.nextSibling(c)) {
      if (this.name(c) === name) return c;
    }
    return -1;
  }

  // The element's path with the places of elements that share their name
  // with a sibling: "/Document/Chapters/Chapter[2]/Position[5]".
  path(e) {
    const steps = [];
    for (let p = e; p >= 0; p = this.parent[p]) {
      const name = this.name(p);
      const parent = this.parent[p];
      let place = 0, same = 0;
      if (parent >= 0) {
        const id = this.nameId[p];
        for (let c = this.firstChild(parent); c >= 0; c = this.nextSibling(c)) {
          if (this.nameId[c] !== id) continue;
          ++same;
          if (c === p) place = same;
        }
      }
      steps.unshift(same > 1 ? `${name}[${place}]` : name);
    }
    return `/${steps.join('/')}`;
  }

  // The element's XML as the library wrote it, its own indentation taken
  // off every line.
  xml(e) {
    const b = this.bytes;
    const last = this.last[e];
    const selfClosing = (i) => b[this.tagEnd[i] - 2] === 0x2f;
    // End tags after the last descendant's start tag: its own (unless it
    // closes itself), its ancestors' up to this element's.
    let ends = this.depth[last] - this.depth[e] + (selfClosing(last) ? 0 : 1);
    let end = this.tagEnd[last];
    while (ends > 0) {
      const at = b.indexOf(0x3c, end);
      if (at < 0) { end = b.length; break; }
      end = b.indexOf(0x3e, at) + 1 || b.length;
      if (b[at + 1] === 0x2f) --ends;
    }
    let lineStart = this.start[e];
    while (lineStart > 0 && b[lineStart - 1] === 0x20) --lineStart;
    const indent = this.start[e] - lineStart;
    const text = decoder.decode(b.subarray(this.start[e], end));
    return indent ? text.replace(new RegExp(`(\r?\n) {${indent}}`, 'g'), '$1') : text;
  }
}

// Elements whose name or attributes hold the text (case ignored), in
// document order; at most `limit` of them. The search thread runs it on a
// copy of `doc`: the bytes and the start, tagEnd and count of their index.
export function searchXml(doc, text, limit) {
  const query = encodeCp1251(escapeXml(text.toLowerCase()));
  const found = [];
  if (!query || !query.length) return found;
  const b = doc.bytes, q0 = query[0], qn = query.length, n = b.length - qn;
  const { start, tagEnd, count } = doc;
  let lastElement = -1;
  // The element whose start tag holds the byte at offset, or -1.
  const elementAt = (offset) => {
    let lo = 0, hi = count - 1;
    while (lo < hi) {
      const mid = (lo + hi + 1) >> 1;
      if (start[mid] <= offset) lo = mid; else hi = mid - 1;
    }
    return count && start[lo] <= offset && offset < tagEnd[lo] ? lo : -1;
  };
  for (let i = 0; i <= n; ++i) {
    if (FOLD[b[i]] !== q0) continue;
    let k = 1;
    while (k < qn && FOLD[b[i + k]] === query[k]) ++k;
    if (k < qn) continue;
    const e = elementAt(i);
    if (e < 0 || e === lastElement || i + qn > tagEnd[e]) continue;
    // Not in the markup around the name and the values.
    if (i === start[e]) continue;
    lastElement = e;
    found.push(e);
    if (found.length >= limit) break;
    i = tagEnd[e] - 1;
  }
  return found;
}
