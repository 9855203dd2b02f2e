// The search thread: a document's bytes (in pieces) and the part of its index
// a search needs are handed over once, and searching them (a scan of tens of
// megabytes on a large estimate) leaves the page responsive.
import { searchXml } from './xml-doc.js';

const docs = new Map();  // id -> { bytes, start, tagEnd, count }

self.onmessage = ({ data }) => {
  switch (data.type) {
    case 'load':
      docs.set(data.doc,
        { bytes: new Uint8Array(data.size), start: data.start, tagEnd: data.tagEnd, count: data.count });
      break;
    case 'bytes':
      docs.get(data.doc)?.bytes.set(data.bytes, data.at);
      break;
    case 'drop':
      docs.delete(data.doc);
      break;
    case 'search': {
      const doc = docs.get(data.doc);
      const matches = Int32Array.from(doc ? searchXml(doc, data.query, data.limit) : []);
      self.postMessage({ seq: data.seq, matches }, [matches.buffer]);
      break;
    }
    default:
      break;
  }
};
