// A failed conversion told in a sentence a person understands, read from the
// file's first bytes and the converter's failure text; the failure text stays
// below it for support.

const KDX_SIGNATURE = 0x3030524b;  // "KR00"

// What a file is by its first bytes, for files that are plainly not KDX.
const MAGIC = [
  [[0x89, 0x50, 0x4e, 0x47], 'a PNG image'],
  [[0xff, 0xd8, 0xff], 'a JPEG image'],
  [[0x47, 0x49, 0x46, 0x38], 'a GIF image'],
  [[0x42, 0x4d], 'a BMP image'],
  [[0x25, 0x50, 0x44, 0x46], 'a PDF document'],
  [[0x50, 0x4b, 0x03, 0x04], 'a ZIP archive or an Office document'],
  [[0xd0, 0xcf, 0x11, 0xe0], 'an older Office document'],
  [[0x52, 0x61, 0x72, 0x21], 'a RAR archive'],
  [[0x37, 0x7a, 0xbc, 0xaf], 'a 7-Zip archive'],
  [[0x1f, 0x8b], 'a gzip archive'],
  [[0x7b, 0x5c, 0x72, 0x74, 0x66], 'an RTF document'],
  [[0x3c, 0x3f, 0x78, 0x6d, 0x6c], 'an XML file'],
  [[0xef, 0xbb, 0xbf, 0x3c, 0x3f, 0x78, 0x6d, 0x6c], 'an XML file'],
];

const starts = (bytes, magic) => magic.every((b, i) => bytes[i] === b);

// The file version in the document header (bytes 17 to 20), or null.
export function fileVersion(bytes) {
  if (bytes.length < 21) return null;
  return new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength).getInt32(17, true);
}

export function plainFailure(bytes, failure) {
  if (!bytes) return 'The file could not be read.';
  if (bytes.length === 0) return 'The file is empty.';
  const signed = bytes.length >= 4
    && new DataView(bytes.buffer, bytes.byteOffset, 4).getUint32(0, true) === KDX_SIGNATURE;
  if (!signed) {
    const known = MAGIC.find(([magic]) => starts(bytes, magic));
    return known ? `This is not a KDX document (it looks like ${known[1]}).` : 'This is not a KDX document.';
  }
  if (/Stream read error/.test(failure)) return 'The document ends early: the file is probably truncated.';
  if (/более новой версии/.test(failure)) {
    const version = fileVersion(bytes);
    return version === null ? 'The file was written by a newer program than this converter reads.'
      : `File version ${version} is newer than this converter reads.`;
  }
  if (/Неподдерживаемый тип документа/.test(failure)) {
    return `Documents of this kind (${bytes[4]}) are not converted.`;
  }
  if (bytes.length < 5 || /Несоответствие данных типу документа/.test(failure)) {
    return 'This KDX file holds no document of a known kind.';
  }
  if (/could not be loaded|converter stopped/.test(failure)) return 'The converter could not convert this file.';
  return 'The document is damaged: its data cannot be read.';
}
