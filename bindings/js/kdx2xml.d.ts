// The converter with an explicit load: call init() once, then convert.

/** A document the library cannot convert: its failure class and message. */
export class ConversionError extends Error {
  readonly name: 'ConversionError';
  /** The library's failure class, e.g. "EReadError" or "EConvertException". */
  readonly failureClass: string;
  // message: the library's message, e.g. "Stream read error".
}

export interface ConvertOptions {
  /**
   * The decimal separator of number texts: one ASCII character. Default: the
   * environment's (Node.js: KDX2XML_DECIMAL_SEPARATOR, else the numeric locale
   * of LC_ALL, LC_NUMERIC or LANG; a browser: its language).
   */
  decimalSeparator?: string;
  /**
   * Today's date, which some documents use as a default: a Date (its local
   * calendar date) or a text "YYYY-MM-DD". Default: Node.js takes
   * SOURCE_DATE_EPOCH (seconds since 1970) when set, else the clock's local date.
   */
  today?: Date | string;
  /**
   * "windows-1251" (default): the library's bytes, the text decoded from them
   * with its declaration as it is. "utf-8": UTF-8 bytes, and the declaration
   * of bytes and text says utf-8.
   */
  encoding?: 'windows-1251' | 'utf-8';
  /**
   * The most bytes of XML (in windows-1251) the conversion may make, from 1
   * to 2^31 - 1; a document whose XML would be larger throws ConversionError
   * with failureClass "EOutOfMemory" before the memory is taken. Default:
   * 2^31 - 1.
   */
  maxXmlSize?: number;
}

/** What init() can load the WebAssembly module from. */
export type ModuleSource =
  | string
  | URL
  | Response
  | PromiseLike<Response>
  | ArrayBuffer
  | ArrayBufferView
  | WebAssembly.Module;

/**
 * Loads the WebAssembly module: kdx2xml.wasm beside the package's module when
 * source is left out. A URL is fetched; in Node.js a file: URL or a text
 * without a scheme is read as a file. Later calls return the first call's
 * promise (after a failed load they try again).
 */
export function init(source?: ModuleSource): Promise<void>;

/**
 * Converts a packed document into XML bytes (windows-1251, exactly the
 * library's; or UTF-8 with encoding "utf-8").
 * @throws {ConversionError} the document cannot be converted
 * @throws {TypeError} bytes or an option of the wrong type
 * @throws {RangeError} an empty document or an option out of range
 */
export function convert(bytes: ArrayBuffer | ArrayBufferView, options?: ConvertOptions): Uint8Array;

/** Converts a packed document into XML text; throws as convert() does. */
export function convertToString(bytes: ArrayBuffer | ArrayBufferView, options?: ConvertOptions): string;

/** Bytes of the converter's heap in use; flat from one conversion to the next. */
export function heapInUse(): number;
