// The conversion thread: the WebAssembly converter (the JavaScript package's
// module) converts the bytes of a document, and the XML it writes is indexed
// here too, so the page stays responsive while a large document is converted.
import { init, convert, ConversionError } from './kdx2xml.js';
import { indexXml, indexBuffers } from './xml-index.js';

const modulePromise = init();

// Bytes in, the XML bytes or the failure text out. separator is one
// character, today a date value (days since 30 December 1899).
function convertDocument(bytes, separator, today) {
  const date = new Date(Date.UTC(1899, 11, 30) + today * 86400000);
  try {
    return { ok: true, xml: convert(bytes, { decimalSeparator: separator, today: date.toISOString().slice(0, 10) }) };
  } catch (error) {
    if (error instanceof ConversionError) return { ok: false, failure: `${error.failureClass}: ${error.message}` };
    // The package refuses an empty document before the library sees it: its
    // own words stand where the library's failure text would.
    if (error instanceof RangeError && bytes.length === 0) return { ok: false, failure: error.message };
    throw error;
  }
}

self.onmessage = async ({ data }) => {
  const { id, bytes, separator, today } = data;
  try {
    await modulePromise;
  } catch (error) {
    self.postMessage({ id, ok: false, failure: `The converter could not be loaded: ${error}` });
    return;
  }
  const t0 = performance.now();
  let result;
  try {
    result = convertDocument(new Uint8Array(bytes), separator, today);
  } catch (error) {
    // Only a fault of the module itself (memory exhausted) comes here.
    self.postMessage({ id, ok: false, failure: `The converter stopped: ${error}` });
    return;
  }
  const convertMs = performance.now() - t0;
  if (!result.ok) {
    self.postMessage({ id, ok: false, failure: result.failure, convertMs });
    return;
  }
  const t1 = performance.now();
  const index = indexXml(result.xml);
  const indexMs = performance.now() - t1;
  self.postMessage({ id, ok: true, xml: result.xml, index, convertMs, indexMs },
    [result.xml.buffer, ...indexBuffers(index)]);
};
