// The converter, ready on import (the WebAssembly module beside it is loaded first).
export * from './kdx2xml.js';
