// Runs `ufhost --ui browser` on a part, drives its page in headless Chromium
// as a person would (buttons, clicks on bodies in the view, typing) through
// one scenario, and prints what it saw as one JSON line. Every step waits for
// a state of the page, never for a time.
//
// Usage: node drive_app.mjs SCENARIO UFHOST PART WORKDIR [SHOTS_DIR]
// ufhost runs in WORKDIR with --transcript WORKDIR/transcript.jsonl. With
// SHOTS_DIR, the scenario that has them saves its screenshots there.
// Exit status 0 when the scenario ran to its end (the caller judges the
// result), 1 when a step failed (the JSON says which), 2 on bad usage.
import { spawn } from 'node:child_process';
import { request as http_request } from 'node:http';
import { join, resolve } from 'node:path';

import { open_chromium } from './chromium.mjs';

const [scenario, ufhost_arg, part_arg, workdir, shots] = process.argv.slice(2);
if (!scenario || !ufhost_arg || !part_arg || !workdir) {
  console.error('usage: node drive_app.mjs SCENARIO UFHOST PART WORKDIR [SHOTS_DIR]');
  process.exit(2);
}

const ufhost = resolve(ufhost_arg);
const part = resolve(part_arg);
const kStep = 60000;  // the longest any one state may take to come
const seen = { steps: [] };

// [SECTION] ufhost

function start_ufhost() {
  const child = spawn(ufhost, [part, '--ui', 'browser', '--transcript', join(workdir, 'transcript.jsonl'),
                               '--syslog', join(workdir, 'syslog.txt')],
                      { cwd: workdir, stdio: ['ignore', 'pipe', 'pipe'] });
  const run = { child, out: '', err: '', exit: null };
  run.exited = new Promise((done) => {
    child.on('exit', (code, signal) => {
      run.exit = code === null ? `signal ${signal}` : code;
      done(run.exit);
    });
    child.on('error', (error) => {
      run.exit = `cannot start: ${error.message}`;
      done(run.exit);
    });
  });
  child.stdout.on('data', (d) => { run.out += d; });
  run.address = new Promise((found, reject) => {
    child.stderr.on('data', (d) => {
      run.err += d;
      const m = /(http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+)/.exec(run.err);
      if (m) found(m[1]);
    });
    run.exited.then(() => reject(new Error(`ufhost ended before it printed an address: ${run.err}`)));
  });
  return run;
}

async function within(promise, ms, what) {
  let timer;
  const limit = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(`${what} did not happen within ${ms} ms`)), ms);
  });
  try {
    return await Promise.race([promise, limit]);
  } finally {
    clearTimeout(timer);
  }
}

// A raw HTTP request, so that the tests choose every header (Host included).
function raw(address, { method = 'GET', path = '/', headers = {}, body = null }) {
  const url = new URL(address);
  return new Promise((done, reject) => {
    const r = http_request({ host: url.hostname, port: url.port, method, path, headers }, (res) => {
      let text = '';
      res.on('data', (d) => { text += d; });
      // The event stream never ends on its own: its status is enough.
      if ((res.headers['content-type'] || '').startsWith('text/event-stream')) {
        done({ status: res.statusCode, headers: res.headers, body: '' });
        r.destroy();
        return;
      }
      res.on('end', () => done({ status: res.statusCode, headers: res.headers, body: text }));
    });
    r.on('error', reject);
    if (body) r.write(body);
    r.end();
  });
}

// [SECTION] The page

async function state(page) {
  return page.evaluate(() => window.zarvelApp.state());
}

// Waits until `predicate(arg)` holds in the page. Asked from here rather
// than with waitForFunction, which evaluates text in the page and so would
// need the page's content policy to allow eval.
async function until(page, predicate, arg = null, what = 'the page to get there') {
  const limit = Date.now() + kStep;
  for (;;) {
    if (await page.evaluate(predicate, arg).catch(() => false)) return;
    if (Date.now() > limit) throw new Error(`waited ${kStep} ms for ${what}`);
    await new Promise((r) => setTimeout(r, 25));
  }
}

async function step(name, action) {
  seen.steps.push(name);
  return action();
}

// Waits until the open request is of `kind` and newer than `after`; returns it.
async function request_of(page, kind, after = 0) {
  await until(page, ([k, a]) => {
    const s = window.zarvelApp && window.zarvelApp.state();
    return s && s.request && s.request.kind === k && s.request.id > a;
  }, [kind, after], `a ${kind} request`);
  return (await state(page)).request;
}

async function menu_pick(page, item, after = 0) {
  const request = await request_of(page, 'menu', after);
  await page.click(`#request button[data-item="${item}"]`);
  return request;
}

async function button(page, scope, text) {
  await page.locator(scope).getByRole('button', { name: text, exact: true }).click();
}

async function click_body(page, tag) {
  const point = await page.evaluate((t) => window.zarvelApp.point_of(t), tag);
  if (!point) throw new Error(`body ${tag} cannot be seen in the view`);
  await page.mouse.move(point.x, point.y);
  await until(page, (t) => window.zarvelApp.state().hover === t, tag, `body ${tag} under the pointer`);
  await page.mouse.down();
  await page.mouse.up();
}

async function select_objects(page, after) {
  await request_of(page, 'select', after);
  return page.evaluate(() => [...document.querySelectorAll('.objects tr')].map((r) => Number(r.dataset.tag)));
}

async function dialog_shown(page) {
  const box = page.locator('.dialog');
  return {
    title: await box.locator('h2').innerText(),
    labels: await box.locator('label span').allInnerTexts(),
    values: await box.locator('input').evaluateAll((inputs) => inputs.map((i) => i.value)),
  };
}

async function ended(page) {
  await until(page, () => window.zarvelApp.state().ended, null, 'the end of the run');
}

// [SECTION] Scenarios

const scenarios = {
  // The first command on both bodies, picked by clicking them in the view
  // (the second one first), the dialog, the box drawn, the About box, leave.
  async pick_two(page) {
    const menu = await request_of(page, 'menu');
    seen.menu = await page.evaluate(() => ({
      title: document.querySelector('#request h2').textContent,
      items: [...document.querySelectorAll('#request button[data-item]')].map((b) => b.lastChild.textContent),
    }));
    await menu_pick(page, 1);
    const tags = await select_objects(page, menu.id);
    seen.offered = tags;
    await step('click the second body, then the first', async () => {
      await click_body(page, tags[1]);
      await click_body(page, tags[0]);
    });
    seen.picked = (await state(page)).picked;
    if (shots) await page.screenshot({ path: join(shots, 'browser-selection.png') });
    await step('OK, then the box', async () => {
      await page.click('#select-ok');
      await request_of(page, 'dialog');
      await until(page, () => window.zarvelApp.state().stats.boxes === 1, null, 'the box');
    });
    const s = await state(page);
    seen.ok_to_box_ms = s.ok_to_box_ms;
    seen.stats = s.stats;
    seen.boxes = s.boxes;
    seen.dialog = await dialog_shown(page);
    seen.box_text = await page.locator('#boxes').innerText();
    if (shots) await page.screenshot({ path: join(shots, 'browser-box.png') });
    const dialog = s.request;
    await button(page, '.dialog', 'OK');
    await menu_pick(page, 4, dialog.id);
    await step('About box', async () => {
      await request_of(page, 'message');
      seen.about = await page.locator('.dialog .text').innerText();
      seen.about_title = await page.locator('.dialog h2').innerText();
      await button(page, '.dialog', 'OK');
    });
    await request_of(page, "menu");
    seen.highlighted_at_end = (await state(page)).highlighted;
    await button(page, '#request', 'Cancel');
    await ended(page);
    seen.ended = true;
  },

  // Under ufhost_held_replies, whose server holds its reply to each answer
  // back until the next answer comes: every request after the first comes
  // while the reply before it is on its way, and is answered at once. The
  // first command on both bodies, the About box, leave.
  async held_replies(page) {
    seen.pending_at_click = [];
    const click = async (action) => {
      seen.pending_at_click.push((await state(page)).answering);
      await action();
    };
    let r = await request_of(page, 'menu');
    await click(() => page.click('#request button[data-item="1"]'));
    r = await request_of(page, 'select', r.id);
    await button(page, '#request', 'All');
    await click(() => page.click('#select-ok'));
    r = await step('the dialog comes while the reply to the selection is held', () =>
      request_of(page, 'dialog', r.id));
    await click(() => button(page, '.dialog', 'OK'));
    r = await step('the menu comes while the reply to the dialog is held', () =>
      request_of(page, 'menu', r.id));
    await click(() => page.click('#request button[data-item="4"]'));
    r = await step('the About box comes while the reply to the menu is held', () =>
      request_of(page, 'message', r.id));
    await click(() => button(page, '.dialog', 'OK'));
    r = await step('the menu comes while the reply to the About box is held', () =>
      request_of(page, 'menu', r.id));
    await click(() => button(page, '#request', 'Cancel'));
    await ended(page);
    seen.ended = true;
    seen.sent_while_pending = (await state(page)).sent_while_pending;
  },

  // Back and cancel everywhere, a refused value and a refused file name,
  // the save dialog, then the page is closed and the run ends by itself.
  async back_and_cancel(page) {
    let r = await request_of(page, 'menu');
    await button(page, '#request', 'Back');
    r = await menu_pick(page, 2, r.id);  // the menu again after back
    await select_objects(page, r.id);
    await button(page, '#request', 'Back');
    await step('nothing selected', async () => {
      await request_of(page, 'message');
      seen.nothing_selected = await page.locator('.dialog h2').innerText();
      await button(page, '.dialog', 'OK');
    });
    r = await menu_pick(page, 1);
    let tags = await select_objects(page, r.id);
    await page.click(`.objects tr[data-tag="${tags[0]}"]`);
    await page.click('#select-ok');
    r = await request_of(page, 'dialog');
    await button(page, '.dialog', 'Back');
    r = await menu_pick(page, 2, r.id);
    tags = await select_objects(page, r.id);
    await page.click(`.objects tr[data-tag="${tags[1]}"]`);
    await page.click('#select-ok');
    r = await request_of(page, 'dialog');
    await button(page, '.dialog', 'Cancel');
    r = await menu_pick(page, 3, r.id);
    await select_objects(page, r.id);
    await button(page, '#request', 'All');
    await page.click('#select-ok');
    await step('a value that is no number stays in the dialog', async () => {
      r = await request_of(page, 'dialog');
      await page.fill('.dialog input', 'abc');
      await button(page, '.dialog', 'OK');
      seen.bad_value = await page.locator('.dialog .error').innerText();
      await page.fill('.dialog input', '0,001');
      await button(page, '.dialog', 'OK');
    });
    await step('a folder is no file name', async () => {
      r = await request_of(page, 'save', r.id);
      seen.save_title = await page.locator('.dialog h2').innerText();
      await page.fill('.dialog input', '.');
      await button(page, '.dialog', 'Save');
      await until(page, () => document.querySelector('.dialog .error').textContent !== '', null,
                  'the refusal');
      seen.bad_name = await page.locator('.dialog .error').innerText();
      await page.fill('.dialog input', 'search-log');
      await button(page, '.dialog', 'Save');
    });
    await request_of(page, 'menu', r.id);
    seen.copies = (await state(page)).stats.copies;
    await step('close the page', () => page.close());
  },

  // Requests the server must refuse, a second page, then SIGINT.
  async guard(page, run, address) {
    await request_of(page, 'menu');
    const url = new URL(address);
    const token = url.searchParams.get('token');
    const host = url.host;
    const json = { 'Content-Type': 'application/json' };
    const answer = JSON.stringify({ page: 'x', request: 1, code: 2 });
    const cases = {
      page_without_token: { path: '/' },
      page_with_wrong_token: { path: `/?token=${'0'.repeat(token.length)}` },
      script_without_token: { path: '/app.js' },
      events_without_token: { path: '/events' },
      answer_without_token: { method: 'POST', path: '/answer', headers: json, body: answer },
      other_origin: { path: `/events?token=${token}`, headers: { Origin: 'http://example.com' } },
      other_host: { path: `/?token=${token}`, headers: { Host: `example.com:${url.port}` } },
      other_site: { path: `/?token=${token}`, headers: { 'Sec-Fetch-Site': 'cross-site' } },
      not_the_page: { method: 'POST', path: `/answer?token=${token}`,
                      headers: { ...json, Origin: `http://${host}` }, body: answer },
      not_json: { method: 'POST', path: `/answer?token=${token}`, headers: { 'Content-Type': 'text/plain' },
                  body: answer },
      the_page: { path: `/?token=${token}` },
      no_such_path: { path: `/etc/passwd?token=${token}` },
    };
    seen.status = {};
    for (const [name, c] of Object.entries(cases)) {
      const reply = await raw(address, c);
      seen.status[name] = reply.status;
      if (name === 'the_page') seen.csp = reply.headers['content-security-policy'] || '';
      if (name === 'page_without_token') seen.refusal = reply.body;
    }
    await step('answers that do not fit are refused and the request stays open', async () => {
      const as_page = async (fields) => {
        const s = await state(page);
        const reply = await raw(address, {
          method: 'POST', path: `/answer?token=${token}`, headers: { ...json, Origin: `http://${host}` },
          body: JSON.stringify({ page: s.page, request: s.request.id, ...fields }),
        });
        return reply.status;
      };
      seen.unfit = {};
      seen.unfit.menu_code_not_offered = await as_page({ code: 9 });
      seen.unfit.menu_ok_code = await as_page({ code: 3 });
      seen.unfit.menu_code_as_text = await as_page({ code: '5' });
      await menu_pick(page, 2);
      const tags = await select_objects(page);
      seen.unfit.tag_not_offered = await as_page({ response: 3, tags: [tags[0], 4294967296 + tags[0]] });
      seen.unfit.tag_twice = await as_page({ response: 3, tags: [tags[0], tags[0]] });
      seen.unfit.response_not_known = await as_page({ response: 4, tags: [] });
      seen.select_still_open = (await state(page)).request.kind === 'select';
    });
    await step('a second page is told', async () => {
      const second = await page.context().newPage();
      await second.goto(address);
      await until(second, () => window.zarvelApp && window.zarvelApp.state().busy, null,
                  'the second page to be told');
      seen.second_status = await second.locator('#status').innerText();
      await second.close();
    });
    await step('SIGINT', async () => {
      run.child.kill('SIGINT');
      await ended(page);
    });
  },

  // The time from OK in the selection to the drawn box, for the first two
  // commands on the one body of the part.
  async timing(page) {
    seen.ok_to_box_ms = {};
    let after = 0;
    for (const [item, name] of [[1, 'extents'], [2, 'frame']]) {
      const r = await menu_pick(page, item, after);
      const tags = await select_objects(page, r.id);
      await click_body(page, tags[0]);
      await page.click('#select-ok');
      const dialog = await request_of(page, 'dialog');
      await until(page, (n) => window.zarvelApp.state().ok_to_box_ms !== null &&
                               window.zarvelApp.state().stats.boxes === n, item, 'the box');
      seen.ok_to_box_ms[name] = (await state(page)).ok_to_box_ms;
      await button(page, '.dialog', 'OK');
      after = dialog.id;
    }
    await request_of(page, 'menu', after);
    await button(page, '#request', 'Cancel');
    await ended(page);
  },
};

// [SECTION] Main

let browser;
let run;
let page;
try {
  if (!scenarios[scenario]) throw new Error(`no scenario ${scenario}`);
  run = start_ufhost();
  const address = await within(run.address, kStep, 'the address');
  browser = await open_chromium({ width: 1200, height: 760 });
  page = browser.page;
  seen.errors = [];
  page.on('console', (m) => { if (m.type() === 'error') seen.errors.push(`console: ${m.text()}`); });
  page.on('pageerror', (e) => seen.errors.push(`page: ${e.message}`));
  await page.goto(address);
  await scenarios[scenario](page, run, address);
  seen.exit = await within(run.exited, kStep, 'the end of ufhost');
} catch (error) {
  seen.failed = `${seen.steps.length ? `${seen.steps[seen.steps.length - 1]}: ` : ''}${error.message}`;
  process.exitCode = 1;
  // What the page showed when the step failed, for whoever reads the log.
  if (page && !page.isClosed()) await page.screenshot({ path: join(workdir, 'failed.png') }).catch(() => {});
} finally {
  if (browser) await browser.close();
  if (run && run.exit === null) {
    run.child.kill('SIGKILL');
    await run.exited;
  }
  if (run) {
    seen.exit = run.exit;
    seen.stderr = run.err;
    seen.stdout = run.out;
  }
  console.log(JSON.stringify(seen));
}
