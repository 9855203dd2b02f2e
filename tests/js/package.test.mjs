// The JavaScript package in Node.js, held against the command-line tool: the
// samples, documents of every kind from the samples tool (damaged ones too)
// and the conformance corpus give the tool's bytes or its failure text; the
// settings and the UTF-8 form change the output as the tool's options do; bad
// arguments throw; memory stays flat over many conversions; the packed
// package installs offline and converts from a project of its own.
//
// Environment: KDX2XML_JS_PACKAGE (the package folder scripts/build-js.sh
// made; its tarball lies beside it), KDX2XML_CLI (the command-line tool),
// KDX2XML_MAKE_SAMPLES (the samples tool), KDX2XML_SOURCE_DIR.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const PACKAGE = process.env.KDX2XML_JS_PACKAGE;
const CLI = process.env.KDX2XML_CLI;
const MAKE_SAMPLES = process.env.KDX2XML_MAKE_SAMPLES;
const SOURCE = process.env.KDX2XML_SOURCE_DIR || path.resolve(import.meta.dirname, '../..');
assert.ok(PACKAGE && CLI && MAKE_SAMPLES, 'KDX2XML_JS_PACKAGE, KDX2XML_CLI and KDX2XML_MAKE_SAMPLES must be set');

const kdx = await import(pathToFileURL(path.join(PACKAGE, 'index.js')));
const { convert, convertToString, ConversionError } = kdx;

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'kdx-js-test-'));
after(() => fs.rmSync(scratch, { recursive: true, force: true }));

// The settings the corpus was made with, for the tool and for the package.
const FIXED_ENV = { KDX2XML_DECIMAL_SEPARATOR: ',', SOURCE_DATE_EPOCH: '1678838400' };
const FIXED = { decimalSeparator: ',', today: '2023-03-15' };

function cli(args, env = FIXED_ENV) {
  return spawnSync(CLI, args, { env: { ...process.env, ...env }, maxBuffer: 1 << 30 });
}

// What the tool makes of a file: { xml } or { failure: "Class: message" }.
function cliOutcome(file, env = FIXED_ENV, extra = []) {
  const run = cli([file, ...extra], env);
  if (run.status === 0) return { xml: run.stdout };
  const prefix = `kdx2xml: cannot convert ${file}: `;
  const line = run.stderr.toString().trim();
  assert.ok(run.status === 1 && line.startsWith(prefix), `${file}: ${line}`);
  return { failure: line.slice(prefix.length) };
}

function packageOutcome(bytes, options = FIXED) {
  try {
    return { xml: Buffer.from(convert(bytes, options)) };
  } catch (error) {
    assert.ok(error instanceof ConversionError && error.name === 'ConversionError', String(error));
    return { failure: `${error.failureClass}: ${error.message}` };
  }
}

const SAMPLES = fs.readdirSync(path.join(SOURCE, 'examples')).filter((f) => f.endsWith('.kdx')).sort()
  .map((f) => path.join(SOURCE, 'examples', f));

// The tool over a folder at once: each document's XML, or the failure it
// printed (a message may hold a CR).
function toolOutcomes(dir) {
  const files = fs.readdirSync(dir).filter((f) => f.endsWith('.kdx')).sort();
  const out = fs.mkdtempSync(path.join(scratch, 'out-'));
  const run = cli([...files.map((f) => path.join(dir, f)), '-d', out, '-j', '2']);
  const failures = new Map();
  for (const line of run.stderr.toString().split('\n')) {
    const m = /^kdx2xml: cannot convert (.*?\.kdx): (.*)$/s.exec(line);
    if (m) failures.set(path.basename(m[1]), m[2]);
  }
  return files.map((f) => [path.join(dir, f), failures.has(f)
    ? { failure: failures.get(f) }
    : { xml: fs.readFileSync(path.join(out, f.replace(/\.kdx$/, '.xml'))) }]);
}

// Documents of every kind from the samples tool, estimates of several sizes,
// and each kind damaged: cut short at several places, or one byte changed.
function generatedDocuments() {
  const dir = path.join(scratch, 'generated');
  fs.mkdirSync(dir);
  execFileSync(MAKE_SAMPLES, [dir]);
  for (const file of fs.readdirSync(dir)) {
    const bytes = fs.readFileSync(path.join(dir, file));
    const name = path.basename(file, '.kdx');
    for (const size of [4, 5, 9, 13, 17, 30, bytes.length >> 2, bytes.length >> 1, bytes.length - 1]) {
      fs.writeFileSync(path.join(dir, `${name}-cut-${size}.kdx`), bytes.subarray(0, size));
    }
    for (const offset of [4, 9, 13, 40, bytes.length >> 3, bytes.length >> 1]) {
      const changed = Buffer.from(bytes);
      changed[offset] ^= 0x5A;
      fs.writeFileSync(path.join(dir, `${name}-byte-${offset}.kdx`), changed);
    }
  }
  for (const n of [1, 40, 401, 2000]) execFileSync(MAKE_SAMPLES, ['--positions', String(n), path.join(dir, `smeta-${n}.kdx`)]);
  return dir;
}

test('the samples, generated documents whole and damaged, and the corpus give the tool\'s bytes or failure', () => {
  const corpus = path.join(SOURCE, 'tests', 'conformance');
  const folders = [path.join(SOURCE, 'examples'), generatedDocuments(), corpus,
    ...fs.readdirSync(corpus, { withFileTypes: true }).filter((d) => d.isDirectory()).map((d) => path.join(corpus, d.name))];
  const counts = folders.map((folder) => {
    let failed = 0;
    const outcomes = toolOutcomes(folder);
    for (const [file, expected] of outcomes) {
      const bytes = fs.readFileSync(file);
      failed += expected.failure ? 1 : 0;
      // An empty document is refused before it reaches the converter; the
      // tool reports the library's signature failure for it.
      if (bytes.length > 0) {
        assert.deepEqual(packageOutcome(bytes), expected, file);
      } else {
        assert.ok(expected.failure, file);
        assert.throws(() => convert(bytes, FIXED), RangeError);
      }
    }
    return [outcomes.length, failed];
  });
  assert.equal(counts[0][0], SAMPLES.length);
  assert.ok(counts[1][0] >= 100 && counts[1][1] >= 50, `generated: ${counts[1]}`);
  assert.ok(counts.slice(2).reduce((n, [all]) => n + all, 0) > 1000, 'the corpus');
});

test('the settings and the UTF-8 form change the output as the tool\'s options do', () => {
  const smeta = path.join(SOURCE, 'examples', 'smeta.kdx');
  // A price list of an early version: its current prices' date is today's.
  const prices = path.join(SOURCE, 'tests', 'conformance', 'k3_00002.kdx');
  const cases = [
    [smeta, FIXED, FIXED_ENV, []],
    [smeta, { ...FIXED, decimalSeparator: '.' }, { ...FIXED_ENV, KDX2XML_DECIMAL_SEPARATOR: '.' }, []],
    [smeta, FIXED, { ...FIXED_ENV, KDX2XML_DECIMAL_SEPARATOR: '.' }, ['--decimal-separator', ',']],
    [smeta, { ...FIXED, encoding: 'utf-8' }, FIXED_ENV, ['--encoding', 'utf-8']],
    [prices, FIXED, FIXED_ENV, []],
    [prices, { ...FIXED, today: '1999-12-31' }, { ...FIXED_ENV, SOURCE_DATE_EPOCH: String(Date.UTC(1999, 11, 31) / 1000) }, []],
    [prices, { ...FIXED, today: new Date(2001, 1, 3, 23, 59) }, { ...FIXED_ENV, SOURCE_DATE_EPOCH: String(Date.UTC(2001, 1, 3) / 1000) }, []],
  ];
  const outputs = new Set();
  for (const [file, options, env, args] of cases) {
    const bytes = fs.readFileSync(file);
    const expected = cliOutcome(file, env, args).xml;
    assert.ok(Buffer.from(convert(bytes, options)).equals(expected), JSON.stringify(options));
    outputs.add(expected.toString('latin1'));
    // The text is the same XML decoded, its declaration as in the bytes.
    const text = options.encoding ? expected.toString('utf8') : new TextDecoder('windows-1251').decode(expected);
    assert.equal(convertToString(bytes, options), text, JSON.stringify(options));
  }
  assert.equal(outputs.size, cases.length - 1, 'every setting changes the XML');
  assert.match(convertToString(fs.readFileSync(smeta), FIXED), /^<\?xml version="1.0" encoding="windows-1251"/);

  // Left out, the settings come from the environment as the tool takes them;
  // the separator from the locale when no separator is set.
  const saved = { ...process.env };
  const environments = [
    [{ KDX2XML_DECIMAL_SEPARATOR: '.', SOURCE_DATE_EPOCH: '946598400' }, {}],
    [{ KDX2XML_DECIMAL_SEPARATOR: '', LC_ALL: 'ru_RU.UTF-8', SOURCE_DATE_EPOCH: '0' }, { KDX2XML_DECIMAL_SEPARATOR: ',' }],
    [{ KDX2XML_DECIMAL_SEPARATOR: '', LC_ALL: 'C', SOURCE_DATE_EPOCH: '-86401' }, { KDX2XML_DECIMAL_SEPARATOR: '.' }],
  ];
  try {
    for (const [env, tool] of environments) {
      Object.assign(process.env, env);
      for (const file of [smeta, prices]) {
        assert.ok(Buffer.from(convert(fs.readFileSync(file))).equals(cliOutcome(file, { ...env, ...tool }).xml),
          `${file} ${JSON.stringify(env)}`);
      }
    }
  } finally {
    for (const name of Object.keys(process.env)) if (!(name in saved)) delete process.env[name];
    Object.assign(process.env, saved);
  }
});

test('bad arguments throw TypeError or RangeError with a clear message', () => {
  const good = fs.readFileSync(SAMPLES[0]);
  const cases = [
    [undefined, FIXED, TypeError, /must be a Uint8Array/],
    [[0x4B, 0x52, 0x30, 0x30], FIXED, TypeError, /must be a Uint8Array/],
    [new Uint8Array(0), FIXED, RangeError, /document is empty/],
    [good, 'fast', TypeError, /options must be an object/],
    [good, { decimalSeparator: ',,' }, RangeError, /one ASCII character, not ",,"/],
    [good, { decimalSeparator: 'ю' }, RangeError, /one ASCII character/],
    [good, { decimalSeparator: 44 }, TypeError, /decimalSeparator must be a string/],
    [good, { today: '2023-02-30' }, RangeError, /YYYY-MM-DD, not "2023-02-30"/],
    [good, { today: new Date(NaN) }, RangeError, /invalid Date/],
    [good, { today: 1678838400 }, TypeError, /today must be a Date or a text/],
    [good, { encoding: 'koi8-r' }, RangeError, /encoding must be "windows-1251" or "utf-8"/],
    [good, { maxXmlSize: '1000' }, TypeError, /maxXmlSize must be a number/],
    [good, { maxXmlSize: 0 }, RangeError, /maxXmlSize must be a whole number of bytes from 1 to 2147483647, not 0/],
    [good, { maxXmlSize: 1.5 }, RangeError, /maxXmlSize must be a whole number/],
    [good, { maxXmlSize: 2 ** 31 }, RangeError, /maxXmlSize must be a whole number/],
  ];
  for (const [bytes, options, type, message] of cases) {
    for (const f of [convert, convertToString]) {
      assert.throws(() => f(bytes, options), (e) => e instanceof type && message.test(e.message),
        `${f.name}(${String(bytes).slice(0, 20)}, ${JSON.stringify(options)})`);
    }
  }
  // Views of other types and plain buffers are bytes too.
  const expected = convert(good, FIXED);
  const copy = new ArrayBuffer(good.length + 8);
  new Uint8Array(copy, 8).set(good);
  for (const view of [copy.slice(8), new DataView(copy, 8), new Uint8Array(copy, 8)]) {
    assert.deepEqual(convert(view, FIXED), expected);
  }
});

test('maxXmlSize bounds the XML as the tool\'s --max-xml-size does', () => {
  const smeta = path.join(SOURCE, 'examples', 'smeta.kdx');
  const bytes = fs.readFileSync(smeta);
  const size = convert(bytes, FIXED).length;
  // The bound is the windows-1251 XML's size whatever the encoding asked for.
  for (const options of [FIXED, { ...FIXED, encoding: 'utf-8' }]) {
    assert.ok(convert(bytes, { ...options, maxXmlSize: size }).length > 0);
    assert.throws(() => convert(bytes, { ...options, maxXmlSize: size - 1 }),
      (e) => e instanceof ConversionError && e.failureClass === 'EOutOfMemory' &&
        e.message === `Out of memory: the XML would be larger than ${size - 1} bytes`);
  }
  for (const bound of [1, 1000, size - 1]) {
    assert.deepEqual(packageOutcome(bytes, { ...FIXED, maxXmlSize: bound }),
      cliOutcome(smeta, FIXED_ENV, ['--max-xml-size', String(bound)]), String(bound));
  }
});

test('memory stays flat over 2,000 conversions', () => {
  const documents = [...SAMPLES, path.join(SOURCE, 'tests', 'conformance', 'k0_00000_cut.kdx')]
    .map((f) => fs.readFileSync(f));
  const round = (n) => { for (let i = 0; i < n; ++i) packageOutcome(documents[i % documents.length]); };
  round(documents.length * 4);
  const heap = kdx.heapInUse();
  const rss = process.memoryUsage().rss;
  round(2000);
  assert.equal(kdx.heapInUse(), heap);
  const grown = process.memoryUsage().rss - rss;
  assert.ok(grown < 64 << 20, `the process grew by ${grown >> 20} MB`);
});

test('the core module loads the converter from a path, a URL, a response, its bytes or a compiled module', async () => {
  const wasmFile = path.join(PACKAGE, 'kdx2xml.wasm');
  const bytes = fs.readFileSync(wasmFile);
  const sources = [wasmFile, path.relative(process.cwd(), wasmFile), pathToFileURL(wasmFile), bytes,
    new Uint8Array(bytes).buffer, new Response(bytes), Promise.resolve(new Response(bytes)), await WebAssembly.compile(bytes)];
  const sample = fs.readFileSync(SAMPLES[0]);
  const expected = convert(sample, FIXED);
  for (const [i, source] of sources.entries()) {
    // A fresh instance of the module for each way of loading.
    const core = await import(`${pathToFileURL(path.join(PACKAGE, 'kdx2xml.js'))}?load=${i}`);
    assert.throws(() => core.convert(sample, FIXED), /not loaded yet \(await init\(\) first\)/);
    await core.init(source);
    assert.deepEqual(core.convert(sample, FIXED), expected, `source ${i}`);
  }
  const core = await import(`${pathToFileURL(path.join(PACKAGE, 'kdx2xml.js'))}?load=bad`);
  await assert.rejects(core.init(42), TypeError);
  await assert.rejects(core.init(path.join(scratch, 'missing.wasm')), /ENOENT/);
  await core.init(bytes);  // a failed load may be retried
  assert.deepEqual(core.convert(sample, FIXED), expected);
});

test('the packed package installs offline into an empty project and converts from there', () => {
  const tarball = fs.readdirSync(path.dirname(PACKAGE)).find((f) => /^kdx2xml-.*\.tgz$/.test(f));
  assert.ok(tarball, `no tarball beside ${PACKAGE}`);
  const project = path.join(scratch, 'project');
  fs.mkdirSync(project);
  fs.writeFileSync(path.join(project, 'package.json'), JSON.stringify({ name: 'app', private: true, type: 'module' }));
  execFileSync('npm', ['install', '--offline', '--no-audit', '--no-fund', '--loglevel=error',
    path.join(path.dirname(PACKAGE), tarball)], { cwd: project });
  fs.writeFileSync(path.join(project, 'app.js'), [
    "import fs from 'node:fs';",
    "import { convert } from 'kdx2xml';",
    "process.stdout.write(convert(fs.readFileSync(process.argv[2]), { decimalSeparator: ',', today: '2023-03-15' }));",
  ].join('\n'));
  for (const sample of SAMPLES) {
    const xml = execFileSync(process.execPath, ['app.js', sample], { cwd: project, maxBuffer: 1 << 30 });
    assert.ok(xml.equals(cliOutcome(sample).xml), sample);
  }
});
