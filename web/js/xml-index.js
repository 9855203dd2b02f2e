// An index of the elements of an XML text held as bytes: one entry per element
// in document order, made in one pass without building a DOM, so that a
// document of tens of megabytes is indexed in a fraction of a second and its
// names and attributes are read only for what is shown.
//
// Element i (0 is the root) has: start (offset of its "<"), nameEnd (offset
// after its name), tagEnd (offset after the ">" of its start tag), parent (-1
// for the root), depth (0 for the root), last (the index of its last
// descendant, or i itself: its subtree is i..last), childCount, childPos (its
// place among its siblings) and nameId (into names). Its first child is i + 1
// when childCount > 0; the sibling after it is last + 1.

const LT = 0x3c, GT = 0x3e, SLASH = 0x2f, QUEST = 0x3f, BANG = 0x21, QUOT = 0x22, APOS = 0x27;

function isNameEnd(b) {
  return b === 0x20 || b === 0x09 || b === 0x0a || b === 0x0d || b === SLASH || b === GT;
}

function indexOfSequence(bytes, seq, from) {
  for (let at = bytes.indexOf(seq[0], from); at >= 0; at = bytes.indexOf(seq[0], at + 1)) {
    let k = 1;
    while (k < seq.length && bytes[at + k] === seq[k]) ++k;
    if (k === seq.length) return at;
  }
  return -1;
}

const PI_END = [QUEST, GT];
const COMMENT_END = [0x2d, 0x2d, GT];
const CDATA_END = [0x5d, 0x5d, GT];

export function indexXml(bytes) {
  let capacity = Math.max(64, bytes.length >> 6);
  let start = new Int32Array(capacity), nameEnd = new Int32Array(capacity);
  let tagEnd = new Int32Array(capacity), parent = new Int32Array(capacity);
  let depth = new Int32Array(capacity), last = new Int32Array(capacity);
  let childCount = new Int32Array(capacity), childPos = new Int32Array(capacity);
  let nameId = new Int32Array(capacity);
  const grow = () => {
    capacity *= 2;
    const more = (a) => { const b = new Int32Array(capacity); b.set(a); return b; };
    start = more(start); nameEnd = more(nameEnd); tagEnd = more(tagEnd); parent = more(parent);
    depth = more(depth); last = more(last); childCount = more(childCount);
    childPos = more(childPos); nameId = more(nameId);
  };
  const names = [];
  const nameIds = new Map();
  const open = [];  // indexes of the elements whose end tag is still to come
  let count = 0;
  let complete = true;
  const n = bytes.length;
  let i = 0;
  for (;;) {
    const lt = bytes.indexOf(LT, i);
    if (lt < 0) break;
    const c = bytes[lt + 1];
    let end;
    if (c === QUEST) {
      end = indexOfSequence(bytes, PI_END, lt + 2);
      if (end < 0) { complete = false; break; }
      i = end + 2;
      continue;
    }
    if (c === BANG) {
      const comment = bytes[lt + 2] === 0x2d && bytes[lt + 3] === 0x2d;
      const cdata = bytes[lt + 2] === 0x5b;
      end = comment ? indexOfSequence(bytes, COMMENT_END, lt + 4)
          : cdata ? indexOfSequence(bytes, CDATA_END, lt + 2) : bytes.indexOf(GT, lt + 2);
      if (end < 0) { complete = false; break; }
      i = end + (comment || cdata ? 3 : 1);
      continue;
    }
    if (c === SLASH) {
      end = bytes.indexOf(GT, lt + 2);
      if (end < 0 || open.length === 0) { complete = false; break; }
      last[open.pop()] = count - 1;
      i = end + 1;
      continue;
    }
    // A start tag: its name, then attributes up to the ">" outside quotes.
    let j = lt + 1;
    while (j < n && !isNameEnd(bytes[j])) ++j;
    let k = j, quote = 0;
    for (; k < n; ++k) {
      const b = bytes[k];
      if (quote) {
        if (b === quote) quote = 0;
      } else if (b === QUOT || b === APOS) {
        quote = b;
      } else if (b === GT) {
        break;
      }
    }
    if (k >= n || j === lt + 1) { complete = false; break; }
    if (count === capacity) grow();
    const e = count++;
    start[e] = lt;
    nameEnd[e] = j;
    tagEnd[e] = k + 1;
    const p = open.length ? open[open.length - 1] : -1;
    parent[e] = p;
    depth[e] = open.length;
    if (p >= 0) childPos[e] = childCount[p]++;
    let name = '';
    for (let q = lt + 1; q < j; ++q) name += String.fromCharCode(bytes[q]);
    let id = nameIds.get(name);
    if (id === undefined) {
      id = names.length;
      names.push(name);
      nameIds.set(name, id);
    }
    nameId[e] = id;
    if (bytes[k - 1] === SLASH) last[e] = e;
    else open.push(e);
    i = k + 1;
  }
  if (open.length) complete = false;
  while (open.length) last[open.pop()] = count - 1;
  const trim = (a) => a.slice(0, count);
  return {
    count, complete, names,
    start: trim(start), nameEnd: trim(nameEnd), tagEnd: trim(tagEnd), parent: trim(parent),
    depth: trim(depth), last: trim(last), childCount: trim(childCount),
    childPos: trim(childPos), nameId: trim(nameId),
  };
}

// The typed arrays of an index, to hand them to another thread without a copy.
export function indexBuffers(index) {
  return ['start', 'nameEnd', 'tagEnd', 'parent', 'depth', 'last', 'childCount', 'childPos',
    'nameId'].map((key) => index[key].buffer);
}
