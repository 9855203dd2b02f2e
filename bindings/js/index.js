// The converter, ready on import: the WebAssembly module beside this file is
// loaded first. Hosts that hand over the module themselves import
// 'kdx2xml/core' and call init() with it.
import { init } from './kdx2xml.js';

export { ConversionError, convert, convertToString, heapInUse, init } from './kdx2xml.js';

await init();
