// Reads what `ufhost cutlist` wrote as its users' tools read it: the page in
// headless Chromium (printed to A4 as well), and the cut optimiser's CSV with
// a CSV parser. Prints one JSON line: the rows the page shows with their
// pictures, its cutting plans' drawings, the requests it made, its errors,
// the PDF's size, and the optimiser's records.
//
// Usage: node check_cutlist.mjs PAGE.html OPTIMIZER.csv SCREENSHOT.png
// Exit status 0 when both could be read (the caller judges the result), 2
// when not.
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

import { open_chromium } from './chromium.mjs';

const require = createRequire(new URL('../../web/package.json', import.meta.url));
const { parse } = require('csv-parse/sync');

const [page_path, csv_path, screenshot_path] = process.argv.slice(2);
if (!page_path || !csv_path || !screenshot_path) {
  console.error('usage: node check_cutlist.mjs PAGE.html OPTIMIZER.csv SCREENSHOT.png');
  process.exit(2);
}

let browser;
try {
  // The optimisers split at every comma and take the header's columns.
  const records = parse(readFileSync(csv_path, 'utf8'), { columns: true, relax_quotes: false });
  browser = await open_chromium({ width: 900, height: 1200 });
  const { page } = browser;
  const errors = [];
  const requests = [];
  page.on('console', (message) => {
    if (message.type() === 'error') errors.push(`console: ${message.text()}`);
  });
  page.on('pageerror', (error) => errors.push(`page: ${error.message}`));
  page.on('request', (request) => {
    if (!request.url().startsWith('file:') && !request.url().startsWith('data:'))
      requests.push(request.url());
  });
  await page.goto(pathToFileURL(resolve(page_path)).href, { waitUntil: 'load' });
  const rows = await page.evaluate(() => [...document.querySelectorAll('#rows tr.row')].map((tr) => {
    const svg = tr.querySelector('svg.picture');
    const box = svg ? svg.getBoundingClientRect() : null;
    return {
      cells: [...tr.children].map((td) => td.innerText.trim()),
      polygons: svg ? svg.querySelectorAll('polygon').length : 0,
      blank_edges: svg ? svg.querySelectorAll('g.blank polyline').length : 0,
      width: box ? box.width : 0,
      height: box ? box.height : 0,
    };
  }));
  const shopping = await page.evaluate(
      () => [...document.querySelectorAll('#shopping tbody tr')].map((tr) => tr.innerText));
  // The cutting plans: each layout drawn, with its pieces and offcuts.
  const plans = await page.evaluate(() => [...document.querySelectorAll('#plans section.plan')].map((s) => ({
    title: s.querySelector('h3').innerText,
    layouts: [...s.querySelectorAll('svg.layout')].map((svg) => {
      const box = svg.getBoundingClientRect();
      return {
        pieces: svg.querySelectorAll('rect.piece').length,
        offcuts: svg.querySelectorAll('rect.offcut').length,
        labels: [...svg.querySelectorAll('title')].map((t) => t.textContent),
        width: box.width,
        height: box.height,
      };
    }),
  })));
  await page.screenshot({ path: screenshot_path, fullPage: true });
  await page.emulateMedia({ media: 'print' });
  const pdf = await page.pdf({ format: 'A4', printBackground: true });
  console.log(JSON.stringify({ rows, shopping, plans, errors, requests, pdf_bytes: pdf.length, records }));
} catch (error) {
  console.error(error.stack || String(error));
  process.exit(2);
} finally {
  if (browser) await browser.close();
}
