// The converter: KDX documents to XML through the library's WebAssembly build,
// in Node.js, browsers and workers alike. init() loads the WebAssembly module
// (kdx2xml.wasm beside this file, or bytes, a URL or a compiled module the host
// hands over); convert() and convertToString() then run synchronously.

const DAYS_1899_TO_1970 = 25569;
const MS_PER_DAY = 86400000;

// A conversion failure: the library's failure class and message, as the
// command-line tool prints them ("EReadError: Stream read error").
export class ConversionError extends Error {
  constructor(failureClass, message) {
    super(message);
    this.name = 'ConversionError';
    this.failureClass = failureClass;
  }
}

let wasm = null;  // the instance's exports once loaded
let loading = null;

const node = typeof process === 'object' && typeof process.versions?.node === 'string';

// Reads a file in Node.js (imported only there, hidden from bundlers).
async function readFile(url) {
  const fsName = 'node:fs/promises';
  const fs = await import(/* webpackIgnore: true */ /* @vite-ignore */ fsName);
  return fs.readFile(url);
}

// The module's bytes, its compiled form or a response, from what the host gave.
async function fetchModule(source) {
  if (source instanceof WebAssembly.Module) return source;
  if (source instanceof ArrayBuffer || ArrayBuffer.isView(source)) return source;
  if (typeof Response === 'function' && source instanceof Response) return source.arrayBuffer();
  if (typeof source?.then === 'function') return fetchModule(await source);
  if (typeof source !== 'string' && !(source instanceof URL)) {
    throw new TypeError('kdx2xml: init() takes a URL, a path, a Response, the module\'s bytes or a WebAssembly.Module');
  }
  if (node) {
    // A text without a scheme is a file path, relative to the working folder.
    if (typeof source === 'string' && !/^[a-z][a-z\d+.-]+:/i.test(source)) return readFile(source);
    if (String(source).startsWith('file:')) return readFile(new URL(source));
  }
  const response = await fetch(source);
  if (!response.ok) throw new Error(`kdx2xml: cannot load ${source}: ${response.status} ${response.statusText}`);
  return response.arrayBuffer();
}

// The module needs no services of its host: the few system calls the C
// runtime names are answered "not supported", and memory growth needs no
// action (views of the memory are made afresh for every call).
function imports(module) {
  const result = {};
  for (const { module: from, name, kind } of WebAssembly.Module.imports(module)) {
    if (kind !== 'function') continue;
    result[from] ??= {};
    result[from][name] = name === 'proc_exit'
      ? (code) => { throw new Error(`kdx2xml: the converter stopped (${code})`); }
      : () => 52;  // ENOSYS
  }
  return result;
}

// Loads the WebAssembly module; resolves when convert() can run. source:
// kdx2xml.wasm beside this file when left out; else its URL (relative ones as
// fetch() takes them) or, in Node.js, its file path, a Response (or a promise
// of one), its bytes or a compiled WebAssembly.Module.
// Later calls return the first one's promise (after a failed load, they try
// again).
export function init(source) {
  loading ??= (async () => {
    const found = await fetchModule(source ?? new URL('./kdx2xml.wasm', import.meta.url));
    const module = found instanceof WebAssembly.Module ? found : await WebAssembly.compile(found);
    const instance = await WebAssembly.instantiate(module, imports(module));
    instance.exports._initialize?.();
    wasm = instance.exports;
  })().catch((error) => {
    loading = null;
    throw error;
  });
  return loading;
}

// ---- settings ----

function dateValue(year, month, day) {
  return Date.UTC(year, month - 1, day) / MS_PER_DAY + DAYS_1899_TO_1970;
}

function environment(name) {
  return node ? process.env[name] : undefined;
}

// The decimal separator of a locale: one ASCII character, else ".".
function separatorOfLocale(locale) {
  try {
    const part = new Intl.NumberFormat(locale).formatToParts(1.5).find((p) => p.type === 'decimal');
    return part && part.value.length === 1 && part.value.charCodeAt(0) < 0x80 ? part.value : '.';
  } catch {
    return '.';
  }
}

// The environment's separator: in Node.js KDX2XML_DECIMAL_SEPARATOR when it is
// one character, else the numeric locale of LC_ALL, LC_NUMERIC or LANG (as
// the library reads them; "C" and "POSIX" give "."); in a browser its language.
function environmentSeparator() {
  if (!node) return separatorOfLocale(globalThis.navigator?.language);
  const fixed = environment('KDX2XML_DECIMAL_SEPARATOR');
  if (fixed?.length === 1) return fixed;
  const name = environment('LC_ALL') || environment('LC_NUMERIC') || environment('LANG') || 'C';
  const locale = name.replace(/[.@].*$/, '').replace('_', '-');
  return locale === 'C' || locale === 'POSIX' ? '.' : separatorOfLocale(locale);
}

// Today's date value: in Node.js from SOURCE_DATE_EPOCH (seconds since 1970,
// UTC) when that is set, as the library takes it; else the local date of the clock.
function environmentToday() {
  const epoch = environment('SOURCE_DATE_EPOCH');
  if (epoch !== undefined && /^[+-]?\d+$/.test(epoch)) {
    return Math.floor(Number(epoch) / 86400) + DAYS_1899_TO_1970;
  }
  const now = new Date();
  return dateValue(now.getFullYear(), now.getMonth() + 1, now.getDate());
}

function separatorOption(value) {
  if (value === undefined) return environmentSeparator();
  if (typeof value !== 'string') throw new TypeError('kdx2xml: decimalSeparator must be a string');
  if (value.length !== 1 || value.charCodeAt(0) >= 0x80) {
    throw new RangeError(`kdx2xml: decimalSeparator must be one ASCII character, not ${JSON.stringify(value)}`);
  }
  return value;
}

function todayOption(value) {
  if (value === undefined) return environmentToday();
  if (value instanceof Date) {
    if (Number.isNaN(value.getTime())) throw new RangeError('kdx2xml: today is an invalid Date');
    return dateValue(value.getFullYear(), value.getMonth() + 1, value.getDate());
  }
  if (typeof value !== 'string') throw new TypeError('kdx2xml: today must be a Date or a text YYYY-MM-DD');
  const m = /^(\d{4})-(\d{2})-(\d{2})$/.exec(value);
  const [year, month, day] = m ? [Number(m[1]), Number(m[2]), Number(m[3])] : [];
  const date = m && new Date(Date.UTC(year, month - 1, day));
  if (!m || year < 1 || date.getUTCMonth() !== month - 1 || date.getUTCDate() !== day) {
    throw new RangeError(`kdx2xml: today must be a date YYYY-MM-DD, not ${JSON.stringify(value)}`);
  }
  return dateValue(year, month, day);
}

// The most XML bytes a conversion may make: the package's own bound is the
// most a 32-bit size can state, as for the library's exports.
const MAX_XML_SIZE = 2 ** 31 - 1;

function maxXmlSizeOption(value) {
  if (value === undefined) return MAX_XML_SIZE;
  if (typeof value !== 'number') throw new TypeError('kdx2xml: maxXmlSize must be a number');
  if (!Number.isInteger(value) || value < 1 || value > MAX_XML_SIZE) {
    throw new RangeError(`kdx2xml: maxXmlSize must be a whole number of bytes from 1 to ${MAX_XML_SIZE}, not ${value}`);
  }
  return value;
}

const ENCODINGS = new Map([['windows-1251', false], ['utf-8', true], ['utf8', true]]);

function utf8Option(value) {
  if (value === undefined) return false;
  if (typeof value !== 'string' || !ENCODINGS.has(value.toLowerCase())) {
    throw new RangeError(`kdx2xml: encoding must be "windows-1251" or "utf-8", not ${JSON.stringify(value)}`);
  }
  return ENCODINGS.get(value.toLowerCase());
}

function settings(options) {
  if (options === undefined || options === null) options = {};
  if (typeof options !== 'object') throw new TypeError('kdx2xml: options must be an object');
  return {
    separator: separatorOption(options.decimalSeparator),
    today: todayOption(options.today),
    utf8: utf8Option(options.encoding),
    maxXmlSize: maxXmlSizeOption(options.maxXmlSize),
  };
}

function documentBytes(bytes) {
  let view;
  if (bytes instanceof Uint8Array) view = bytes;
  else if (bytes instanceof ArrayBuffer) view = new Uint8Array(bytes);
  else if (ArrayBuffer.isView(bytes)) view = new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  else throw new TypeError('kdx2xml: the document must be a Uint8Array, an ArrayBuffer or another ArrayBufferView');
  if (view.length === 0) throw new RangeError('kdx2xml: the document is empty');
  return view;
}

// ---- windows-1251 ----

// Characters of the bytes 0x80 to 0xFF.
const HIGH_HALF = [
  0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
  0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
  0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
  0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
  0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
  0x0458, 0x0405, 0x0455, 0x0457,
];
const CP1251 = new Uint16Array(256);
for (let b = 0; b < 256; ++b) CP1251[b] = b < 0x80 ? b : b < 0xC0 ? HIGH_HALF[b - 0x80] : 0x0410 + b - 0xC0;

function decodeCp1251(bytes) {
  const units = new Uint16Array(bytes.length);
  for (let i = 0; i < bytes.length; ++i) units[i] = CP1251[bytes[i]];
  return new TextDecoder('utf-16le').decode(units);
}

// The XML as text; with utf8 its declaration names UTF-8, as the tool's
// --encoding utf-8 writes it.
function xmlText(bytes, utf8) {
  const text = decodeCp1251(bytes);
  if (!utf8 || !text.startsWith('<?xml ')) return text;
  const end = text.indexOf('?>');
  const at = text.indexOf('encoding="windows-1251"');
  return at >= 0 && at < end ? `${text.slice(0, at)}encoding="utf-8"${text.slice(at + 23)}` : text;
}

// ---- conversion ----

function run(bytes, { separator, today, maxXmlSize }) {
  if (!wasm) throw new Error('kdx2xml: the converter is not loaded yet (await init() first)');
  // Addresses and sizes come back as signed 32-bit numbers: above 2 GB they
  // are read unsigned.
  const input = wasm.malloc(bytes.length) >>> 0;
  if (!input) throw new RangeError('kdx2xml: out of memory for the document');
  try {
    new Uint8Array(wasm.memory.buffer, input, bytes.length).set(bytes);
    const ok = wasm.kdx_convert(input, bytes.length, separator.charCodeAt(0), today, maxXmlSize) === 1;
    const at = wasm.kdx_result() >>> 0;
    const result = new Uint8Array(wasm.memory.buffer, at, wasm.kdx_result_size() >>> 0).slice();
    wasm.kdx_release();
    if (ok) return result;
    const text = new TextDecoder().decode(result);
    const nul = text.indexOf('\0');
    throw new ConversionError(text.slice(0, nul), text.slice(nul + 1));
  } finally {
    wasm.free(input);
  }
}

// Converts a packed document into XML bytes: windows-1251, byte for byte what
// the library writes; or UTF-8 with encoding "utf-8". Throws ConversionError
// when the document cannot be converted.
export function convert(bytes, options) {
  const view = documentBytes(bytes);
  const chosen = settings(options);
  const xml = run(view, chosen);
  return chosen.utf8 ? new TextEncoder().encode(xmlText(xml, true)) : xml;
}

// Converts a packed document into XML text. Its declaration keeps saying
// windows-1251 unless encoding is "utf-8".
export function convertToString(bytes, options) {
  const view = documentBytes(bytes);
  const chosen = settings(options);
  return xmlText(run(view, chosen), chosen.utf8);
}

// Bytes of the converter's heap in use: flat from one conversion to the next.
export function heapInUse() {
  if (!wasm) throw new Error('kdx2xml: the converter is not loaded yet (await init() first)');
  return wasm.kdx_heap_in_use() >>> 0;
}
