// The conversion thread: the WebAssembly module converts the bytes of a
// document, and the XML it writes is indexed here too, so the page stays
// responsive while a large document is converted.
import createKdxModule from './kdx2xml.mjs';
import { indexXml, indexBuffers } from './xml-index.js';

const modulePromise = createKdxModule();

// Bytes in, the XML bytes or the failure text out.
function convert(module, bytes, separator, today) {
  const input = module._malloc(Math.max(bytes.length, 1));
  try {
    module.HEAPU8.set(bytes, input);
    const ok = module._kdx_convert(input, bytes.length, separator.charCodeAt(0), today) === 1;
    const at = module._kdx_result();
    const result = module.HEAPU8.slice(at, at + module._kdx_result_size());
    module._kdx_release();
    return ok ? { ok, xml: result } : { ok, failure: new TextDecoder().decode(result) };
  } finally {
    module._free(input);
  }
}

self.onmessage = async ({ data }) => {
  const { id, bytes, separator, today } = data;
  let module;
  try {
    module = await modulePromise;
  } catch (error) {
    self.postMessage({ id, ok: false, failure: `The converter could not be loaded: ${error}` });
    return;
  }
  const t0 = performance.now();
  let result;
  try {
    result = convert(module, new Uint8Array(bytes), separator, today);
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
