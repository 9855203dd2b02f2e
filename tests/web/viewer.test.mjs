// The browser viewer driven in headless Chromium: every sample opened through
// the page, its tree, its table and its saved XML held against what the
// command-line tool writes for the same file; damaged files, search, keys,
// the settings and the offline copy.
//
// Environment: KDX2XML_WEB_SITE (the folder scripts/build-web.sh made),
// KDX2XML_CLI (the command-line tool), KDX2XML_SOURCE_DIR; optional:
// KDX2XML_MAKE_SAMPLES (the samples tool: a large estimate is tested too),
// KDX2XML_WEB_LARGE (a further .kdx opened for its timing, e.g. a large price
// list), KDX2XML_WEB_SCREENSHOT (a PNG of the viewer is written there),
// CHROMIUM (default /usr/bin/chromium).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';
import { serveSite } from './static-server.mjs';

const SITE = process.env.KDX2XML_WEB_SITE;
const CLI = process.env.KDX2XML_CLI;
const SOURCE = process.env.KDX2XML_SOURCE_DIR || path.resolve(import.meta.dirname, '../..');
const MAKE_SAMPLES = process.env.KDX2XML_MAKE_SAMPLES;
const LARGE = process.env.KDX2XML_WEB_LARGE;
const SCREENSHOT = process.env.KDX2XML_WEB_SCREENSHOT;
const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';
assert.ok(SITE && CLI, 'KDX2XML_WEB_SITE and KDX2XML_CLI must be set');

const SAMPLES = fs.readdirSync(path.join(SOURCE, 'examples')).filter((f) => f.endsWith('.kdx')).sort()
  .map((f) => path.join(SOURCE, 'examples', f));
const FIXED = '?sep=,&today=2023-03-15';
const FIXED_ENV = { KDX2XML_DECIMAL_SEPARATOR: ',', SOURCE_DATE_EPOCH: String(Date.UTC(2023, 2, 15) / 1000) };
const TABLE_KINDS = new Set([0, 1, 2, 3, 6]);
const LIMIT = { timeout: 180000 };  // a page that never answers fails the test instead of hanging it

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'kdx-viewer-test-'));
const downloads = path.join(scratch, 'downloads');
fs.mkdirSync(downloads);

// ---- the command-line tool: what the page must agree with ----

function cli(args, env = {}) {
  return spawnSync(CLI, args, { env: { ...process.env, ...env }, maxBuffer: 1 << 30 });
}
function cliXml(file, env = FIXED_ENV, extra = []) {
  const run = cli([file, ...extra], env);
  assert.equal(run.status, 0, `${CLI} ${file}: ${run.stderr}`);
  return run.stdout;
}
// The failure text the tool prints for a document it cannot convert.
function cliFailure(file) {
  const run = cli([file], FIXED_ENV);
  assert.equal(run.status, 1, `${file} should not convert`);
  const line = run.stderr.toString().trim();
  const prefix = `kdx2xml: cannot convert ${file}: `;
  assert.ok(line.startsWith(prefix), line);
  return line.slice(prefix.length);
}
function cliInfo(file) {
  const text = cli(['--info', file]).stdout.toString();
  return {
    kind: Number(/kind (\d+)/.exec(text)[1]),
    kindName: /kind \d+ \(([^)]+)\)/.exec(text)[1],
    version: /file version (\d+ \(0x[0-9A-F]+\))/.exec(text)?.[1],
  };
}

// The elements of the library's XML: one start tag a line, indented by two
// blanks a level.
const cp1251 = new TextDecoder('windows-1251');
function unescape(text) {
  return text.replace(/&(amp|lt|gt|quot|apos|#\d+);/g, (w, r) => ({ amp: '&', lt: '<', gt: '>', quot: '"', apos: "'" })[r]
    ?? String.fromCodePoint(Number(r.slice(1))));
}
function elements(xmlBytes) {
  const out = [];
  const stack = [];
  for (const line of cp1251.decode(xmlBytes).split('\r\n')) {
    const m = /^( *)<([A-Za-z_][\w.-]*)(.*?)(\/?)>$/.exec(line);
    if (!m) continue;
    const depth = m[1].length / 2;
    const attrs = {};
    for (const a of m[3].matchAll(/ ([\w.-]+)="([^"]*)"/g)) attrs[a[1]] = unescape(a[2]);
    const e = { name: m[2], depth, attrs, raw: `${m[2]}${m[3]}`, children: [], parent: stack[depth - 1] ?? null };
    if (e.parent) e.parent.children.push(e);
    stack[depth] = e;
    out.push(e);
  }
  return out;
}
const child = (e, name) => e.children.find((c) => c.name === name);

// The rows the table must show, as the page's cells read them: a spanning
// row's text, or the cells of a position (resource, cost row).
function chapterText(e) {
  const { Caption: caption, Number: number } = e.attrs;
  if (number === undefined) return caption ?? '(no name)';
  if (caption === undefined) return `Chapter ${number}`;
  // A name that begins with its number ("Глава 1. …") is not given it twice.
  return new RegExp(`^\\s*(глава|chapter|гл\\.)\\s*0*${number}(?!\\d)`, 'i').test(caption) ? caption : `Chapter ${number}. ${caption}`;
}
function expectedTable(kind, xml) {
  const [root] = elements(xml);
  const rows = [];
  if (kind === 3) {
    const groups = { Workers: "Workers' labour", Mechanics: "Machine operators' labour", Materials: 'Materials', Machines: 'Machines and mechanisms' };
    const walk = (e) => {
      for (const c of e.children) {
        if (c.name === 'Elem') {
          const a = c.attrs;
          rows.push(['item', a.Code ?? '', a.Caption ?? '', a.Units ?? '', a.PriceCE ?? a.CEFx ?? '', a.PriceCT ?? a.CTFx ?? '',
            a.PriceBE ?? a.BEFx ?? '', a.PriceBT ?? a.BTFx ?? '']);
        } else if (c.name === 'Folder') {
          rows.push(['folder', c.attrs.Caption ?? '(folder without a name)']);
          walk(c);
        }
      }
    };
    for (const g of root.children.filter((c) => c.name in groups)) {
      rows.push(['group', groups[g.name]]);
      walk(g);
    }
    return rows;
  }
  if (kind === 6) {
    for (const source of child(root, 'LsList')?.children ?? []) {
      const code = child(source, 'DocInfo')?.attrs.Code;
      const caption = source.attrs.Caption ?? '(no name)';
      rows.push(['chapter', code && !caption.includes(code) ? `${code}. ${caption}` : caption]);
      for (const group of source.children.filter((g) => ['Tz', 'Mch', 'Mat', 'Eq'].includes(g.name))) {
        rows.push(['group', group.attrs.Caption]);
        for (const r of group.children) {
          const a = r.attrs, p = child(r, 'Price')?.attrs ?? {}, q = child(r, 'ReqPrice')?.attrs ?? {};
          rows.push(['item', a.Code ?? '', a.Caption ?? '', a.Units ?? '', a.Quantity ?? '', p.CE ?? '', p.CT ?? '', p.BE ?? '',
            p.BT ?? '', q.CE ?? '', q.CT ?? '']);
        }
      }
    }
    return rows;
  }
  const chapters = child(root, 'Chapters');
  for (const chapter of chapters ? chapters.children : []) {
    rows.push(['chapter', chapterText(chapter)]);
    for (const c of chapter.children) {
      const a = c.attrs;
      if (c.name === 'Header') rows.push(['header', a.Caption ?? '']);
      if (c.name !== 'Position') continue;
      if (kind === 0) {
        const base = child(c, 'PriceBase')?.attrs ?? {}, curr = child(c, 'PriceCurr')?.attrs ?? {};
        // A rounded quantity ("ОКР(6,638; 2)") shows its number.
        const quantity = /^ОКР\((.*); -?\d+\)$/.exec(a.Quantity ?? '')?.[1] ?? a.Quantity ?? '';
        rows.push(['item', a.Number ?? '', a.Code ?? '', a.Caption ?? '', a.Units ?? '', quantity,
          base.PZ ?? '', base.OZ ?? '', base.EM ?? '', base.MT ?? '', curr.OZ ?? '', curr.EM ?? '', curr.MT ?? '']);
      } else {
        rows.push(['item', a.Obosn ?? '', a.Caption ?? '', a.Sroy ?? '', a.Mont ?? '', a.Obor ?? '', a.Other ?? '',
          a.Fot ?? '', a.EdPr ?? '', a.K ?? '']);
      }
    }
  }
  return rows;
}

// ---- a static file host and the browser ----

let server, origin, browser;

before(async () => {
  server = await serveSite(SITE);
  origin = `http://127.0.0.1:${server.address().port}/`;
  browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    userDataDir: path.join(scratch, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
});

after(async () => {
  await browser?.close();
  server?.closeAllConnections();
  server?.close();
  fs.rmSync(scratch, { recursive: true, force: true });
});

// A page of the viewer; a script error on it fails the test.
async function openViewer(query = FIXED, { locale } = {}) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1366, height: 768 });
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  page.errors = errors;
  if (locale) {
    const cdp = await page.createCDPSession();
    await cdp.send('Emulation.setLocaleOverride', { locale });
  }
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allowAndName', downloadPath: downloads, eventsEnabled: true });
  page.downloads = cdp;
  await page.goto(origin + query);
  await page.waitForSelector('html[data-ready]');
  return page;
}

async function closeViewer(page) {
  assert.deepEqual(page.errors, [], 'no script errors on the page');
  await page.close();
}

// Opens files through the page's file input and waits until each converted or failed.
async function openFiles(page, files) {
  const before = (await page.$$('[data-test=file]')).length;
  const input = await page.$('[data-test=open]');
  await input.uploadFile(...files);
  await page.waitForFunction((n) => {
    const items = [...document.querySelectorAll('[data-test=file]')];
    return items.length === n && items.every((f) => f.dataset.state !== 'converting');
  }, { timeout: 120000 }, before + files.length);
}

async function fileItem(page, name) {
  const items = await page.$$('[data-test=file]');
  for (const item of items) {
    if (await item.$eval('.file-select', (b, n) => b.textContent === n, name)) return item;
  }
  assert.fail(`no opened file ${name}`);
}

// Shows the tree, the table or both, when the document has a table.
async function setView(page, view) {
  await page.$$eval(`#views:not([hidden]) [data-view=${view}]`, (b) => b.forEach((x) => x.click()));
}

async function select(page, name) {
  const item = await fileItem(page, name);
  await (await item.$('.file-select')).click();
  await page.waitForFunction((n) => document.getElementById('doc-title').textContent === n, {}, name);
  return item;
}

// Clicks a save button and returns the bytes of the file the browser saved
// under the name the page gave it. Chromium drops a download now and then when
// clicks follow each other closely (a person never clicks that fast); the
// button is then clicked again.
async function saved(page, button, name) {
  const began = new Map();  // suggested name -> guid
  const ended = new Map();  // guid -> final state; a small file may end in the same breath as it begins
  const begin = (e) => began.set(e.suggestedFilename, e.guid);
  const progress = (e) => { if (e.state !== 'inProgress') ended.set(e.guid, e.state); };
  page.downloads.on('Browser.downloadWillBegin', begin);
  page.downloads.on('Browser.downloadProgress', progress);
  const until = async (done, ms) => {
    for (const end = Date.now() + ms; !done() && Date.now() < end;) await new Promise((r) => setTimeout(r, 20));
    return done();
  };
  try {
    for (let attempt = 0; attempt < 5 && !began.has(name); ++attempt) {
      await page.click(`[data-test=${button}]`);
      await until(() => began.has(name), 3000);
    }
    assert.ok(began.has(name), `${button}: a download of ${name} began`);
    const guid = began.get(name);
    await until(() => ended.has(guid), 60000);
    assert.equal(ended.get(guid), 'completed', `${button}: the download of ${name} ended`);
    const bytes = fs.readFileSync(path.join(downloads, guid));
    fs.rmSync(path.join(downloads, guid));
    return bytes;
  } finally {
    page.downloads.off('Browser.downloadWillBegin', begin);
    page.downloads.off('Browser.downloadProgress', progress);
  }
}

// Every row of a virtual list, gathered while scrolling it from top to bottom.
async function allRows(page, listSelector, rowSelector, read) {
  const rows = new Map();
  await page.$eval(listSelector, (el) => { el.scrollTop = 0; });
  for (;;) {
    await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
    const seen = await page.$$eval(`${listSelector} ${rowSelector}`, (els, readText) => {
      const readRow = new Function('row', `return (${readText})(row);`);
      return els.map((row) => [Number(row.dataset.index), readRow(row)]);
    }, read.toString());
    for (const [i, value] of seen) rows.set(i, value);
    const done = await page.$eval(listSelector, (el) => {
      if (el.scrollTop + el.clientHeight >= el.scrollHeight - 1) return true;
      el.scrollTop += el.clientHeight / 2;
      return false;
    });
    if (done) {
      await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(resolve)));
      break;
    }
  }
  const indexes = [...rows.keys()].sort((a, b) => a - b);
  indexes.forEach((index, i) => assert.equal(index, i, `row ${i} was never shown`));
  return indexes.map((i) => rows.get(i));
}

const readNode = (row) => ({ name: row.dataset.name, level: Number(row.getAttribute('aria-level')), text: row.textContent });
const readTableRow = (row) => [row.dataset.rowKind, ...[...row.children].map((c) => c.textContent)];

// ---- the tests ----

test('every sample converts in the page to the command-line tool\'s XML, byte for byte, in windows-1251 and in UTF-8', LIMIT, async () => {
  const page = await openViewer();
  await openFiles(page, SAMPLES);
  for (const file of SAMPLES) {
    const name = path.basename(file);
    const item = await select(page, name);
    const info = cliInfo(file);
    assert.equal(await item.evaluate((e) => e.dataset.state), 'ok', name);
    assert.equal(await item.$eval('[data-field=kind]', (e) => e.textContent), info.kindName, `${name}: kind`);
    assert.equal(await item.$eval('[data-field=version]', (e) => e.textContent), `file version ${info.version}`, name);
    assert.match(await item.$eval('[data-field=time]', (e) => e.textContent), /^converted in [\d.]+ ms/, name);

    const xml = await saved(page, 'save-xml', name.replace(/\.kdx$/, '.xml'));
    assert.ok(xml.equals(cliXml(file)), `${name}: the saved XML is the tool's`);
    const utf8 = await saved(page, 'save-utf8', name.replace(/\.kdx$/, '.utf-8.xml'));
    assert.ok(utf8.equals(cliXml(file, FIXED_ENV, ['--encoding', 'utf-8'])), `${name}: the UTF-8 XML is the tool's`);
  }
  await closeViewer(page);
});

test('the tree shows the root element with its attributes and the root\'s children in order; the table the chapters and positions', LIMIT, async () => {
  const page = await openViewer();
  await openFiles(page, SAMPLES);
  for (const file of SAMPLES) {
    const name = path.basename(file);
    await select(page, name);
    await setView(page, 'both');
    const xml = cliXml(file);
    const [root, ...rest] = elements(xml);
    const nodes = await allRows(page, '[data-test=tree]', '[data-test=node]', readNode);
    assert.equal(nodes[0].name, root.name, name);
    assert.equal(nodes[0].level, 1);
    for (const [attr, value] of Object.entries(root.attrs)) {
      assert.ok(nodes[0].text.includes(`${attr}="${value}"`), `${name}: root shows ${attr}`);
    }
    assert.deepEqual(nodes.slice(1).map((n) => [n.name, n.level]), rest.filter((e) => e.depth === 1).map((e) => [e.name, 2]),
      `${name}: the root's children`);

    const { kind } = cliInfo(file);
    const table = await page.$('[data-test=table]');
    const tableShown = table && await table.evaluate((t) => !t.hidden && t.offsetParent !== null);
    if (!TABLE_KINDS.has(kind)) {
      assert.ok(!tableShown, `${name}: no table for kind ${kind}`);
      continue;
    }
    assert.ok(tableShown, `${name}: a table for kind ${kind}`);
    const expected = expectedTable(kind, xml);
    assert.ok(expected.some((r) => r[0] === 'item'), `${name}: the sample has positions or resources`);
    const rows = await allRows(page, '[data-test=table]', '[data-row-kind]', readTableRow);
    assert.deepEqual(rows, expected, `${name}: table rows`);
    assert.equal(await table.evaluate((t) => Number(t.getAttribute('aria-rowcount'))), expected.length + 2);
  }
  await closeViewer(page);
});

test('a damaged or foreign file shows the library\'s failure text and offers nothing to save', LIMIT, async () => {
  const smeta = fs.readFileSync(path.join(SOURCE, 'examples', 'smeta.kdx'));
  const cases = [[3, 'cut-3'], [4, 'cut-4'], [20, 'cut-20'], [100, 'cut-100'], [smeta.length >> 1, 'cut-half']]
    .map(([size, label]) => {
      const file = path.join(scratch, `smeta-${label}.kdx`);
      fs.writeFileSync(file, smeta.subarray(0, size));
      return file;
    });
  const foreign = path.join(scratch, 'notes.kdx');
  fs.writeFileSync(foreign, '1234 not a document');
  cases.push(foreign);
  const page = await openViewer();
  await openFiles(page, cases);
  for (const file of cases) {
    const item = await select(page, path.basename(file));
    assert.equal(await item.evaluate((e) => e.dataset.state), 'failed', file);
    // An empty document is refused by the JavaScript package before the library sees it.
    const detail = fs.statSync(file).size === 0 ? 'kdx2xml: the document is empty' : cliFailure(file);
    assert.equal(await item.$eval('[data-test=failure]', (e) => e.textContent), detail, file);
    assert.ok(await page.$eval('[data-test=save-xml]', (b) => b.disabled));
    assert.ok(await page.$eval('[data-test=save-utf8]', (b) => b.disabled));
    assert.equal(await page.$$eval('[data-test=node]', (n) => n.filter((e) => e.offsetParent).length), 0);
  }
  // A good file after the failures still converts.
  await openFiles(page, [path.join(SOURCE, 'examples', 'pricelist.kdx')]);
  assert.equal(await (await fileItem(page, 'pricelist.kdx')).evaluate((e) => e.dataset.state), 'ok');
  await closeViewer(page);
});

test('a failed file says plainly what is wrong, the converter\'s text below it; a batch shows the first file that converted', LIMIT, async () => {
  const smeta = fs.readFileSync(path.join(SOURCE, 'examples', 'smeta.kdx'));
  const write = (name, bytes) => {
    const file = path.join(scratch, name);
    fs.writeFileSync(file, bytes);
    return file;
  };
  // A newer file version than the converter reads, from the conformance corpus.
  const newer = path.join(SOURCE, 'tests', 'conformance', 'k4_00001_byte.kdx');
  const version = fs.readFileSync(newer).readInt32LE(17);
  const cases = [
    [write('empty.kdx', Buffer.alloc(0)), 'The file is empty.'],
    [write('picture.kdx', Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0, 0, 0, 13, 0x49, 0x48, 0x44, 0x52])),
      'This is not a KDX document (it looks like a PNG image).'],
    [write('truncated.kdx', smeta.subarray(0, smeta.length >> 1)), 'The document ends early: the file is probably truncated.'],
    [newer, `File version ${version} is newer than this converter reads.`],
  ];
  const page = await openViewer();
  await openFiles(page, [...cases.map(([file]) => file), path.join(SOURCE, 'examples', 'smeta.kdx')]);
  assert.equal(await page.$eval('#doc-title', (t) => t.textContent), 'smeta.kdx', 'the first file that converted is shown');
  for (const [file, sentence] of cases) {
    const item = await select(page, path.basename(file));
    assert.equal(await item.$eval('[data-test=failure-plain]', (e) => e.textContent), sentence, file);
    // An empty document is refused by the JavaScript package before the library sees it.
    const detail = fs.statSync(file).size === 0 ? 'kdx2xml: the document is empty' : cliFailure(file);
    assert.equal(await item.$eval('[data-test=failure]', (e) => e.textContent), detail, file);
    assert.equal(await item.$eval('[data-field=time]', (e) => e.textContent), 'not converted', `${file}: no conversion time`);
    assert.equal(await page.$eval('#failure-plain', (e) => (e.offsetParent ? e.textContent : '')), sentence, `${file}: shown`);
  }
  await closeViewer(page);
});

test('the estimate table shows the quantity and the prices at 1366 px, keeps No. and Name in place sideways, marks formulas', LIMIT, async () => {
  const page = await openViewer();
  await openFiles(page, [path.join(SOURCE, 'examples', 'smeta.kdx')]);
  const inView = () => page.$$eval('[data-test=column]', (cells) => {
    const box = document.querySelector('[data-test=table]').getBoundingClientRect();
    return Object.fromEntries(cells.map((c) => {
      const r = c.getBoundingClientRect();
      return [`${c.dataset.group ?? ''}/${c.dataset.name}`, r.left >= box.left - 1 && r.right <= box.right + 1 && r.width > 20];
    }));
  });
  const shown = await inView();
  for (const column of ['/No.', '/Name', '/Quantity', 'Base price of a unit/Direct costs', 'Base price of a unit/Machines']) {
    assert.ok(shown[column], `${column} is in view in the default view`);
  }
  // Narrowed to half, then scrolled to the far right: No., Name and the chapter's name stay.
  await setView(page, 'both');
  await page.$eval('[data-test=table]', (t) => { t.scrollLeft = t.scrollWidth; });
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  const far = await inView();
  assert.ok(far['/No.'] && far['/Name'] && far['Current price of a unit/Materials'] && !far['/Code'], JSON.stringify(far));
  const chapter = await page.$eval('[data-test=table] [data-row-kind=chapter] .span-text', (s) => {
    const box = document.querySelector('[data-test=table]').getBoundingClientRect();
    const r = s.getBoundingClientRect();
    return r.left >= box.left - 1 && r.left < box.left + 40 && s.textContent;
  });
  assert.ok(chapter, 'the chapter name stays in view');
  // A column's right edge drags it wider.
  const nameWidth = () => page.$eval('[data-test=column][data-name=Name]', (c) => c.getBoundingClientRect().width);
  const before = await nameWidth();
  const grip = await page.$eval('[data-test=column][data-name=Name] .grip', (g) => {
    const r = g.getBoundingClientRect();
    return { x: r.left + r.width / 2, y: r.top + r.height / 2 };
  });
  await page.mouse.move(grip.x, grip.y);
  await page.mouse.down();
  await page.mouse.move(grip.x + 60, grip.y, { steps: 4 });
  await page.mouse.up();
  assert.ok(Math.abs(await nameWidth() - before - 60) <= 2, 'the name column is 60 px wider');
  // A price given by a formula is marked, its formula on hover; a rounded
  // quantity shows its number and says how it is rounded.
  const rows = (await allRows(page, '[data-test=table]', '[data-row-kind]',
    (row) => [row.dataset.rowKind, [...row.children].map((c) => [c.className, c.title])]))
    .filter(([kind]) => kind === 'item').map(([, cells]) => cells);
  const positions = elements(cliXml(path.join(SOURCE, 'examples', 'smeta.kdx'))).filter((e) => e.name === 'Position');
  const withFormula = positions.findIndex((p) => child(child(p, 'PriceBase') ?? p, 'Fx'));
  const rounded = positions.findIndex((p) => /^ОКР/.test(p.attrs.Quantity));
  assert.ok(withFormula >= 0 && rounded >= 0, 'the sample has a price formula and a rounded quantity');
  const fx = child(child(positions[withFormula], 'PriceBase'), 'Fx').attrs;
  const [field, formula] = Object.entries(fx)[0];
  const column = { PZ: 5, OZ: 6, EM: 7, MT: 8 }[field];
  assert.match(rows[withFormula][column][0], /formula/);
  assert.equal(rows[withFormula][column][1], `Formula: ${formula}`);
  assert.match(rows[rounded][4][0], /rounded/);
  assert.match(rows[rounded][4][1], new RegExp(`Rounded to \\d+ decimal places \\(${positions[rounded].attrs.Quantity.replace(/[()]/g, '\\$&')}\\)`));
  await closeViewer(page);
});

test('the page keeps the user\'s place: a background conversion does not take it, each file keeps its search, expanding keeps the sideways scroll, closing moves focus on', { ...LIMIT, skip: !MAKE_SAMPLES && 'KDX2XML_MAKE_SAMPLES not set' }, async () => {
  const large = path.join(scratch, 'long-conversion.kdx');
  execFileSync(MAKE_SAMPLES, ['--positions', '40000', large]);
  const smeta = path.join(SOURCE, 'examples', 'smeta.kdx');
  const page = await openViewer();
  await openFiles(page, [smeta]);
  // The large file converts while the user searches in the other one.
  await (await page.$('[data-test=open]')).uploadFile(large);
  await select(page, 'smeta.kdx');
  await setView(page, 'both');
  await page.type('#search', 'бетон');
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => /^1 of /.test(document.getElementById('search-count').textContent));
  assert.equal(await (await fileItem(page, 'long-conversion.kdx')).evaluate((e) => e.dataset.state), 'converting',
    'the search ran during the conversion');
  const count = await page.$eval('#search-count', (e) => e.textContent);
  await page.waitForFunction(() => [...document.querySelectorAll('[data-test=file]')].every((f) => f.dataset.state !== 'converting'),
    { timeout: 120000 });
  const now = await page.evaluate(() => ({ title: document.getElementById('doc-title').textContent,
    search: document.getElementById('search').value, count: document.getElementById('search-count').textContent,
    focus: document.activeElement.id }));
  assert.deepEqual(now, { title: 'smeta.kdx', search: 'бетон', count, focus: 'search' });
  // Going to the other file and back brings the search, its match and the tree back.
  await page.keyboard.press('Enter');
  const second = await page.$eval('[data-test=node].current-match', (r) => r.textContent);
  await select(page, 'long-conversion.kdx');
  assert.equal(await page.$eval('#search', (e) => e.value), '');
  await select(page, 'smeta.kdx');
  assert.equal(await page.$eval('#search', (e) => e.value), 'бетон');
  assert.equal(await page.$eval('#search-count', (e) => e.textContent), count.replace(/^1 /, '2 '));
  assert.equal(await page.$eval('[data-test=node].current-match', (r) => r.textContent), second);
  // Expanding an element keeps the tree's sideways scroll.
  await page.$eval('[data-test=tree]', (t) => { t.scrollLeft = 120; });
  await page.focus('[data-test=tree]');
  await page.keyboard.press('Home');
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('ArrowRight');
  assert.equal(await page.$eval('[data-test=tree]', (t) => t.scrollLeft), 120);
  // Closing a file leaves the keyboard on the next one.
  await (await (await fileItem(page, 'smeta.kdx')).$('.file-close')).click();
  assert.equal(await page.evaluate(() => document.activeElement.textContent), 'long-conversion.kdx');
  await closeViewer(page);
});

// A CSV text as rows of cells.
function parseCsv(text, separator) {
  const rows = [[]];
  let cell = '', quoted = false;
  for (let i = 0; i < text.length; ++i) {
    const c = text[i];
    if (quoted) {
      if (c === '"' && text[i + 1] === '"') { cell += '"'; ++i; } else if (c === '"') quoted = false; else cell += c;
    } else if (c === '"') quoted = true;
    else if (c === separator) { rows.at(-1).push(cell); cell = ''; }
    else if (c === '\r' && text[i + 1] === '\n') { rows.at(-1).push(cell); cell = ''; rows.push([]); ++i; }
    else cell += c;
  }
  rows.pop();
  return rows;
}

test('the table saves as CSV (UTF-8 with a byte-order mark, the locale\'s separator) with the rows of the document', LIMIT, async () => {
  for (const [query, separator] of [[FIXED, ';'], ['?sep=.&today=2023-03-15', ',']]) {
    const page = await openViewer(query);
    const files = ['smeta.kdx', 'pricelist.kdx', 'ressummary.kdx'].map((f) => path.join(SOURCE, 'examples', f));
    await openFiles(page, files);
    for (const file of files) {
      const name = path.basename(file);
      await select(page, name);
      const bytes = await saved(page, 'save-csv', name.replace(/\.kdx$/, '.csv'));
      assert.deepEqual([...bytes.subarray(0, 3)], [0xef, 0xbb, 0xbf], `${name}: a byte-order mark`);
      const rows = parseCsv(bytes.subarray(3).toString('utf8'), separator);
      const columns = await page.$$eval('[data-test=column]', (cells) => cells.map((c) => c.dataset.name));
      const env = { ...FIXED_ENV, KDX2XML_DECIMAL_SEPARATOR: separator === ';' ? ',' : '.' };
      const expected = expectedTable(cliInfo(file).kind, cliXml(file, env)).map(([, ...cells]) => cells);
      assert.deepEqual(rows.at(rows.length - expected.length - 1), columns, `${name}: the column names`);
      assert.deepEqual(rows.slice(rows.length - expected.length), expected, `${name}: the rows`);
    }
    await closeViewer(page);
  }
});

test('an element\'s path with positions and its XML are copied', LIMIT, async () => {
  const file = path.join(SOURCE, 'examples', 'smeta.kdx');
  const text = cp1251.decode(cliXml(file));
  const lines = text.split('\r\n');
  const all = elements(cliXml(file));
  const page = await openViewer();
  await browser.defaultBrowserContext().overridePermissions(origin, ['clipboard-read', 'clipboard-write', 'clipboard-sanitized-write']);
  await openFiles(page, [file]);
  await page.focus('[data-test=table]');
  await page.keyboard.press('Home');
  for (let i = 0; i < 8; ++i) await page.keyboard.press('ArrowDown');
  const number = await page.$eval('[data-test=table] .vl-row.active', (r) => r.children[0].textContent);
  const position = all.find((e) => e.name === 'Position' && e.attrs.Number === number);
  const steps = [];
  for (let e = position; e; e = e.parent) {
    const same = e.parent ? e.parent.children.filter((c) => c.name === e.name) : [e];
    steps.unshift(same.length > 1 ? `${e.name}[${same.indexOf(e) + 1}]` : e.name);
  }
  const clipboard = async (button) => {
    await page.click(`[data-test=${button}]`);
    return page.evaluate(() => navigator.clipboard.readText());
  };
  assert.equal(await clipboard('copy-path'), `/${steps.join('/')}`);
  // The position's lines as the tool writes them, its indentation taken off.
  const first = lines.findIndex((l) => l.trimStart() === `<${position.raw}>`);
  const indent = position.depth * 2;
  const last = lines.findIndex((l, i) => i > first && l === `${' '.repeat(indent)}</Position>`);
  assert.equal(await clipboard('copy-xml'), lines.slice(first, last + 1).map((l) => l.slice(indent)).join('\r\n'));
  await closeViewer(page);
});

test('narrow screens: no sideways overflow, the table\'s rows and key columns in view, the tree one switch away', LIMIT, async () => {
  const page = await openViewer();
  await openFiles(page, [path.join(SOURCE, 'examples', 'smeta.kdx')]);
  for (const [width, height] of [[800, 600], [390, 844]]) {
    await page.setViewport({ width, height });
    await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
    const seen = (list, rows) => page.$eval(list, (t, rowSelector) => {
      const box = t.getBoundingClientRect();
      const across = (r) => r.top >= box.top && r.bottom <= Math.min(box.bottom, innerHeight);
      const inside = (r) => across(r) && r.left >= 0 && r.right <= innerWidth + 1;
      const columns = Object.fromEntries([...t.querySelectorAll('[data-test=column]')]
        .map((c) => [c.dataset.name, inside(c.getBoundingClientRect())]));
      return { rows: [...t.querySelectorAll(rowSelector)].filter((r) => across(r.getBoundingClientRect())).length, columns,
        overflow: document.documentElement.scrollWidth - document.documentElement.clientWidth };
    }, rows);
    const table = await seen('[data-test=table]', '[data-row-kind=item]');
    assert.equal(table.overflow, 0, `${width}x${height}: no sideways overflow`);
    assert.ok(table.rows >= 5, `${width}x${height}: ${table.rows} table rows in view`);
    assert.ok(table.columns['No.'] && table.columns.Name && table.columns.Quantity, `${width}x${height}: No., Name and Quantity in view`);
    await setView(page, 'tree');
    const tree = await seen('[data-test=tree]', '[data-test=node]');
    assert.ok(tree.rows >= 5, `${width}x${height}: ${tree.rows} tree rows in view`);
    await setView(page, 'table');
  }
  await closeViewer(page);
});

test('search counts the matching elements, highlights them and expands the tree to each in turn', LIMIT, async () => {
  const file = path.join(SOURCE, 'examples', 'smeta.kdx');
  const all = elements(cliXml(file));
  const page = await openViewer();
  await openFiles(page, [file]);
  await setView(page, 'both');
  // A machine's code deep in a position, a word in other case than written,
  // and a name that hundreds of elements in a row bear.
  const deep = all.find((e) => e.name === 'Mch' && e.depth >= 5);
  const word = deep.attrs.Caption.split(' ')[0].toUpperCase();
  for (const query of [deep.attrs.Code, word, 'pricecurr']) {
    const expected = all.filter((e) => e.raw.toLowerCase().includes(query.toLowerCase()));
    assert.ok(expected.length > 0);
    await page.click('#search', { clickCount: 3 });
    await page.type('#search', query);
    await page.keyboard.press('Enter');
    await page.waitForFunction((n) => document.getElementById('search-count').textContent === `1 of ${n}`,
      { timeout: 5000 }, expected.length.toLocaleString('en-US'));
    for (let i = 0; i < Math.min(expected.length, 3); ++i) {
      if (i) await page.click('#search-next');
      const current = await page.waitForSelector('[data-test=node].current-match');
      const shown = await current.evaluate((row) => ({
        name: row.dataset.name, level: Number(row.getAttribute('aria-level')), text: row.textContent,
        marks: [...row.querySelectorAll('mark')].map((m) => m.textContent.toLowerCase()),
      }));
      assert.equal(shown.name, expected[i].name, `${query}: match ${i + 1}`);
      assert.equal(shown.level, expected[i].depth + 1, `${query}: match ${i + 1} expanded to its level`);
      assert.ok(shown.marks.includes(query.toLowerCase()), `${query}: highlighted`);
      assert.ok(await current.evaluate((row) => {
        const box = row.closest('[data-test=tree]').getBoundingClientRect(), mark = row.querySelector('mark').getBoundingClientRect();
        return mark.left >= box.left && mark.right <= box.right;
      }), `${query}: match ${i + 1} scrolled into view sideways`);
      // The table selects the position that holds the match.
      let position = expected[i];
      while (position && position.name !== 'Position') position = position.parent;
      if (position) {
        const row = await page.$eval('[data-test=table] .vl-row.current-match.active', (r) => r.children[0].textContent);
        assert.equal(row, position.attrs.Number, `${query}: match ${i + 1} in the table`);
      }
      // The very element: its attributes are beside it.
      for (const [attr, value] of Object.entries(expected[i].attrs)) {
        if (value.length < 100) assert.ok(shown.text.includes(`${attr}="${value}"`), `${query}: match ${i + 1} ${attr}`);
      }
    }
  }
  await page.click('#search', { clickCount: 3 });
  await page.type('#search', 'no such text anywhere');
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.getElementById('search-count').textContent === 'no match');
  await closeViewer(page);
});

test('the keyboard reaches every part; the tree and the table follow the arrow keys, Enter opens a table row in the tree', LIMIT, async () => {
  const file = path.join(SOURCE, 'examples', 'smeta.kdx');
  const page = await openViewer();
  await openFiles(page, [file]);
  await setView(page, 'both');
  // Tab order.
  const reached = new Set();
  await page.evaluate(() => document.activeElement.blur());
  for (let i = 0; i < 40; ++i) {
    await page.keyboard.press('Tab');
    reached.add(await page.evaluate(() => document.activeElement.dataset.test || document.activeElement.id));
  }
  for (const part of ['open', 'search', 'tree', 'table', 'splitter', 'save-xml', 'save-utf8']) {
    assert.ok(reached.has(part), `Tab reaches ${part}`);
  }
  const active = (list) => page.$eval(list, (el) => {
    const row = document.getElementById(el.getAttribute('aria-activedescendant'));
    return row && { name: row.dataset.name, kind: row.dataset.rowKind, expanded: row.getAttribute('aria-expanded'),
      level: row.getAttribute('aria-level'), text: row.textContent, cells: [...row.children].map((c) => c.textContent) };
  });
  await page.focus('[data-test=tree]');
  assert.equal((await active('[data-test=tree]')).name, 'Document');
  await page.keyboard.press('ArrowDown');
  const first = await active('[data-test=tree]');
  assert.equal(first.expanded, 'false');
  await page.keyboard.press('ArrowRight');
  assert.equal((await active('[data-test=tree]')).expanded, 'true');
  await page.keyboard.press('ArrowRight');
  assert.equal((await active('[data-test=tree]')).level, '3');
  await page.keyboard.press('ArrowLeft');
  const back = await active('[data-test=tree]');
  assert.deepEqual([back.name, back.level, back.expanded], [first.name, first.level, 'true']);
  await page.keyboard.press('ArrowLeft');
  assert.equal((await active('[data-test=tree]')).expanded, 'false');

  await page.focus('[data-test=table]');
  await page.keyboard.press('Home');
  for (let i = 0; i < 3; ++i) await page.keyboard.press('ArrowDown');
  const row = await active('[data-test=table]');
  assert.equal(row.kind, 'item');
  assert.ok((await active('[data-test=tree]')).text.includes(`Number="${row.cells[0]}"`), 'the tree follows the table');
  await page.keyboard.press('Enter');
  const node = await active('[data-test=tree]');
  assert.equal(node.name, 'Position');
  assert.ok(node.text.includes(`Number="${row.cells[0]}"`) && node.text.includes(`Code="${row.cells[1]}"`),
    'the tree shows the position of the table row');
  assert.equal(await page.evaluate(() => document.activeElement.dataset.test), 'tree');
  assert.equal(await page.$eval('#path', (p) => p.textContent), 'Document › Chapters › Chapter › Position');
  await page.keyboard.press('ArrowDown');
  const next = await active('[data-test=tree]');
  assert.equal(next.name, 'Position');
  assert.ok(next.text.includes(`Number="${(await active('[data-test=table]')).cells[0]}"`), 'the table follows the tree');
  await closeViewer(page);
});

test('the address fixes the settings, otherwise the browser\'s locale and clock give them', LIMIT, async () => {
  // A price list that takes its current price date from today.
  const file = path.join(SOURCE, 'tests', 'conformance', 'k3_00034.kdx');
  const onDay = (y, m, d) => String(Date.UTC(y, m - 1, d) / 1000);
  assert.ok(!cliXml(file, { SOURCE_DATE_EPOCH: onDay(2001, 2, 3) }).equals(cliXml(file, { SOURCE_DATE_EPOCH: onDay(2002, 2, 3) })),
    'the document depends on today');
  const now = new Date();
  const today = onDay(now.getFullYear(), now.getMonth() + 1, now.getDate());
  const cases = [
    ['?sep=.&today=2001-02-03', {}, { KDX2XML_DECIMAL_SEPARATOR: '.', SOURCE_DATE_EPOCH: onDay(2001, 2, 3) }],
    ['', { locale: 'ru-RU' }, { KDX2XML_DECIMAL_SEPARATOR: ',', SOURCE_DATE_EPOCH: today }],
    ['', { locale: 'en-US' }, { KDX2XML_DECIMAL_SEPARATOR: '.', SOURCE_DATE_EPOCH: today }],
    ['?sep=ab&today=2023-02-30', { locale: 'de-DE' }, { KDX2XML_DECIMAL_SEPARATOR: ',', SOURCE_DATE_EPOCH: today }],
  ];
  for (const [query, options, env] of cases) {
    const page = await openViewer(query, options);
    assert.equal(await page.$eval('#settings', (s) => s.dataset.separator), env.KDX2XML_DECIMAL_SEPARATOR, query);
    if (query.includes('ab')) {
      assert.equal(await page.$$eval('#settings .problem', (p) => p.length), 2, 'both bad values are reported');
    }
    await openFiles(page, [file, path.join(SOURCE, 'examples', 'smeta.kdx')]);
    for (const f of [file, path.join(SOURCE, 'examples', 'smeta.kdx')]) {
      await select(page, path.basename(f));
      const xml = await saved(page, 'save-xml', path.basename(f).replace(/\.kdx$/, '.xml'));
      assert.ok(xml.equals(cliXml(f, env)), `${query} ${options.locale}: ${f}`);
    }
    await closeViewer(page);
  }
});

test('a large estimate opens lazily: all its rows reachable, only those in view in the page', { ...LIMIT, skip: !MAKE_SAMPLES && 'KDX2XML_MAKE_SAMPLES not set' }, async () => {
  const file = path.join(scratch, 'large-estimate.kdx');
  execFileSync(MAKE_SAMPLES, ['--positions', '4000', file]);
  const xml = cliXml(file);
  const expected = expectedTable(0, xml);
  const positions = expected.filter((r) => r[0] === 'item');
  const page = await openViewer();
  await openFiles(page, [file]);
  const item = await fileItem(page, 'large-estimate.kdx');
  const times = await item.evaluate((e) => ({ convert: Number(e.dataset.convertMs), shown: Number(e.dataset.shownMs) }));
  console.log(`# large estimate: ${positions.length} positions, ${(xml.length / 1048576).toFixed(1)} MB of XML, ` +
    `converted in ${times.convert} ms, shown after ${times.shown} ms`);
  assert.equal(await page.$eval('[data-test=table]', (t) => Number(t.getAttribute('aria-rowcount'))), expected.length + 2);
  await page.focus('[data-test=table]');
  await page.keyboard.press('End');
  await page.waitForFunction(() => document.querySelector('[data-test=table] .vl-row.active'));
  assert.ok(await page.$$eval('[data-test=table] [data-row-kind]', (r) => r.length) < 120, 'table rows only in view');
  const last = await page.$eval('[data-test=table] .vl-row.active', (row) => [row.dataset.rowKind, ...[...row.children].map((c) => c.textContent)]);
  assert.deepEqual(last, expected[expected.length - 1]);
  // The last position in the tree, found by its code.
  await setView(page, 'both');
  await page.type('#search', positions[positions.length - 1][2]);
  await page.keyboard.press('Enter');
  const current = await page.waitForSelector('[data-test=node].current-match');
  assert.equal(await current.evaluate((r) => r.dataset.name), 'Position');
  assert.ok(await page.$$eval('[data-test=node]', (r) => r.length) < 120, 'tree rows only in view');
  assert.ok((await saved(page, 'save-xml', 'large-estimate.xml')).equals(xml));
  await closeViewer(page);
});

test('a further large document (KDX2XML_WEB_LARGE) converts, shows and saves', { ...LIMIT, skip: !LARGE && 'KDX2XML_WEB_LARGE not set' }, async () => {
  const page = await openViewer();
  await openFiles(page, [LARGE]);
  const item = await fileItem(page, path.basename(LARGE));
  assert.equal(await item.evaluate((e) => e.dataset.state), 'ok');
  const times = await item.evaluate((e) => ({ convert: Number(e.dataset.convertMs), shown: Number(e.dataset.shownMs) }));
  const xml = cliXml(LARGE);
  console.log(`# ${path.basename(LARGE)}: ${(fs.statSync(LARGE).size / 1048576).toFixed(1)} MB, ` +
    `${(xml.length / 1048576).toFixed(1)} MB of XML, converted in ${times.convert} ms, shown after ${times.shown} ms`);
  const t0 = performance.now();
  await page.type('#search', 'no such text anywhere');
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.getElementById('search-count').textContent === 'no match', { timeout: 30000 });
  console.log(`# searching all of it: ${Math.round(performance.now() - t0)} ms`);
  assert.ok((await saved(page, 'save-xml', path.basename(LARGE).replace(/\.kdx$/i, '.xml'))).equals(xml));
  await closeViewer(page);
});

test('a screenshot of the viewer (KDX2XML_WEB_SCREENSHOT)', { ...LIMIT, skip: !SCREENSHOT && 'KDX2XML_WEB_SCREENSHOT not set' }, async () => {
  const page = await openViewer();
  await openFiles(page, SAMPLES.filter((f) => path.basename(f) !== 'smeta.kdx').concat(path.join(SOURCE, 'examples', 'smeta.kdx')));
  await select(page, 'smeta.kdx');
  await page.focus('[data-test=table]');
  for (let i = 0; i < 10; ++i) await page.keyboard.press('ArrowDown');
  await page.screenshot({ path: SCREENSHOT });
  await closeViewer(page);
});

// Last: the server goes away, and the page still loads and converts.
test('once loaded, the page works without the server', LIMIT, async () => {
  const page = await openViewer();
  await page.evaluate(async () => {
    await navigator.serviceWorker.ready;
    if (!navigator.serviceWorker.controller) {
      await new Promise((resolve) => navigator.serviceWorker.addEventListener('controllerchange', resolve, { once: true }));
    }
  });
  await page.close();
  server.closeAllConnections();
  await new Promise((resolve) => server.close(resolve));
  const offline = await openViewer();
  const file = path.join(SOURCE, 'examples', 'smeta.kdx');
  await openFiles(offline, [file]);
  await select(offline, 'smeta.kdx');
  assert.ok((await saved(offline, 'save-xml', 'smeta.xml')).equals(cliXml(file)));
  server = null;
  await closeViewer(offline);
});
