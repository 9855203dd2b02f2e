// Opens the viewer in headless Chromium with the given KDX files, prints for
// each its size and the times the page reports (converted, shown), then
// selects the first file, opens a few levels of its tree and saves a picture of
// the page.
// Usage (tests/web/run.sh builds the site and installs the driver):
//   KDX2XML_WEB_SITE=SITE node screenshot.mjs OUT.png FILE.kdx [FILE.kdx...]
import fs from 'node:fs';
import path from 'node:path';
import puppeteer from 'puppeteer-core';
import { serveSite } from './static-server.mjs';

const SITE = path.resolve(process.env.KDX2XML_WEB_SITE ?? '');
const CHROMIUM = process.env.CHROMIUM ?? '/usr/bin/chromium';
const [out, ...files] = process.argv.slice(2);
if (!out || files.length === 0 || !fs.existsSync(path.join(SITE, 'index.html'))) {
  console.error('usage: KDX2XML_WEB_SITE=SITE node screenshot.mjs OUT.png FILE.kdx [FILE.kdx...]');
  process.exit(2);
}

const server = await serveSite(SITE);
const browser = await puppeteer.launch({
  executablePath: CHROMIUM,
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking'],
});
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1366, height: 768 });
  await page.goto(`http://127.0.0.1:${server.address().port}/?sep=,&today=2023-03-15`);
  await page.waitForSelector('html[data-ready]');
  // One file at a time, so that each time is the file's own.
  for (const file of files) {
    const count = (await page.$$('[data-test=file]')).length;
    await (await page.$('[data-test=open]')).uploadFile(file);
    await page.waitForFunction((n) => {
      const items = [...document.querySelectorAll('[data-test=file]')];
      const last = items[n - 1];
      return items.length === n && last.dataset.state !== 'converting' &&
        (last.dataset.state === 'failed' || last.dataset.shownMs !== undefined);
    }, { timeout: 300000 }, count + 1);
    const item = (await page.$$('[data-test=file]'))[count];
    const { state, convertMs, shownMs } = await item.evaluate((li) => ({ ...li.dataset }));
    const mb = (fs.statSync(file).size / 1e6).toFixed(2);
    console.log(`${path.basename(file)}: ${mb} MB, ${state}, converted in ${convertMs} ms, shown in ${shownMs} ms`);
  }
  const first = (await page.$$('[data-test=file] .file-select'))[0];
  await first.click();
  await page.waitForSelector('[data-test=tree] [data-test=node]');
  // Open the first chapter and its first position, as a reader would.
  for (const name of ['Chapters', 'Chapter', 'Position']) {
    const node = await page.$(`[data-test=tree] [data-test=node][data-name=${name}]`);
    if (!node) break;
    await node.click({ offset: { x: 12, y: 8 } });  // its start: a long row runs on under the table
    await page.keyboard.press('ArrowRight');
    await new Promise((r) => setTimeout(r, 100));
  }
  await page.screenshot({ path: out });
  console.log(`picture: ${out}`);
} finally {
  await browser.close();
  server.close();
}
