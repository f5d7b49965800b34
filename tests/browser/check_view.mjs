// Opens a page that ufhost wrote with --view in headless Chromium, keeps a
// screenshot and prints what a person would see as one JSON line: the errors
// the page raised, whether it drew in 3D, and how much of the canvas is not
// background.
//
// Usage: node check_view.mjs PAGE.html SCREENSHOT.png
// Exit status 0 when the browser ran (the caller judges the result), 2 when it
// could not be run at all.
import { resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

import { open_chromium } from './chromium.mjs';

const [page_path, screenshot_path] = process.argv.slice(2);
if (!page_path || !screenshot_path) {
  console.error('usage: node check_view.mjs PAGE.html SCREENSHOT.png');
  process.exit(2);
}

let browser;
try {
  browser = await open_chromium({ width: 1000, height: 700 });
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
  await page.waitForFunction(() => window.zarvelView && window.zarvelView.ready, null,
                             { timeout: 30000 }).catch((e) => errors.push(`wait: ${e.message}`));
  // Two frames, so that the first render has reached the canvas.
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  const view = await page.evaluate(() => window.zarvelView || null);
  const canvas = await page.evaluate(() => {
    const source = document.querySelector('#view canvas');
    if (!source) return null;
    const copy = document.createElement('canvas');
    copy.width = source.width;
    copy.height = source.height;
    const context2d = copy.getContext('2d');
    context2d.drawImage(source, 0, 0);
    const pixels = context2d.getImageData(0, 0, copy.width, copy.height).data;
    const background = [0xf3, 0xf4, 0xf6];
    let drawn = 0;
    const colours = new Set();
    for (let i = 0; i < pixels.length; i += 4) {
      const d = Math.max(Math.abs(pixels[i] - background[0]), Math.abs(pixels[i + 1] - background[1]),
                         Math.abs(pixels[i + 2] - background[2]));
      if (d > 24) ++drawn;
      colours.add((pixels[i] >> 4) << 8 | (pixels[i + 1] >> 4) << 4 | (pixels[i + 2] >> 4));
    }
    return { width: copy.width, height: copy.height, drawn_fraction: drawn / (pixels.length / 4),
             colours: colours.size };
  });
  const labels = await page.evaluate(() =>
    Array.from(document.querySelectorAll('.dimension')).map((e) => e.textContent));
  const panel = await page.evaluate(() => document.getElementById('panel').innerText);
  await page.screenshot({ path: screenshot_path });
  console.log(JSON.stringify({ errors, requests, view, canvas, labels, panel }));
} catch (error) {
  console.error(`check_view: ${error.message}`);
  process.exitCode = 2;
} finally {
  if (browser) await browser.close();
}
