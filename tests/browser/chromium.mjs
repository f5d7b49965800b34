// Debian's Chromium, headless, through playwright-core from web/: what the
// browser checks share. Each browser gets a profile folder of its own, which
// close() removes.
import { mkdtempSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const require = createRequire(new URL('../../web/package.json', import.meta.url));
const { chromium } = require('playwright-core');

// A browser with a window of `viewport`; returns { context, page, close }.
export async function open_chromium(viewport) {
  const profile = mkdtempSync(join(tmpdir(), 'zarvel-chromium-'));
  let context;
  try {
    context = await chromium.launchPersistentContext(profile, {
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
      headless: true,
      viewport,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
             '--disable-background-networking', '--disable-component-update', '--disable-sync',
             // No GPU here: WebGL runs on the software rasteriser.
             '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
    });
  } catch (error) {
    rmSync(profile, { recursive: true, force: true });
    throw error;
  }
  const page = context.pages()[0] || await context.newPage();
  const close = async () => {
    await context.close().catch(() => {});
    rmSync(profile, { recursive: true, force: true });
  };
  return { context, page, close };
}
