// The live page of `ufhost --ui browser`: the part in 3D as the run changes
// it, and every request of the plug-in as it comes. ufhost sends the picture
// and the requests over one event stream and takes each answer as a POST;
// every request to it carries the run's token, which came in this page's
// address. The page never names a file except as the save dialog's answer.
import { PartView, format_length, webgl_available } from './scene.js';

const token = new URLSearchParams(location.search).get('token') || '';
const $ = (id) => document.getElementById(id);

function element(tag, attributes = {}, ...children) {
  const e = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) {
    if (key === 'class') e.className = value;
    else if (key.startsWith('on')) e.addEventListener(key.slice(2), value);
    else if (value !== undefined && value !== null && value !== false) e.setAttribute(key, value);
  }
  for (const child of children)
    if (child !== null && child !== undefined)
      e.appendChild(typeof child === 'string' ? document.createTextNode(child) : child);
  return e;
}

const kBack = 1;
const kCancel = 2;
const kOk = 3;
const kFirstItem = 5;

const app = {
  page: '',         // this page's id, from the hello event
  request: null,    // the open request
  picked: [],       // tags picked in the open selection, in order
  answering: new Set(),  // ids of the requests whose answers are on their way
  sent_while_pending: 0,  // answers sent while an earlier one's reply was on its way
  ended: false,
  cancelled: '',
  busy: false,
  fitted: false,
  names: new Map(),  // body tag -> name, for the tooltip
  ok_at: 0,          // when an OK was last clicked (performance.now())
  box_at: 0,         // when a new box was first drawn
  boxes_drawn: 0,
};

const host = $('view');
const view = webgl_available() ? new PartView(host) : null;
if (!view) host.appendChild(element('div', { class: 'nogl' },
  'This browser cannot draw 3D graphics (WebGL is off); pick objects from the list.'));
if (view) {
  view.on_render = () => {
    if (view.boxes.length > app.boxes_drawn && !app.box_at) app.box_at = performance.now();
    app.boxes_drawn = view.boxes.length;
  };
}

function set_status(text, kind) {
  const s = $('status');
  s.textContent = text;
  s.className = kind || '';
}

function show_boxes() {
  const boxes = view ? view.boxes : [];
  const list = $('boxes');
  list.textContent = boxes.length ? '' : 'None yet.';
  boxes.forEach((box, i) => {
    const [x, y, z] = box.lengths;
    list.appendChild(element('div', { class: 'box' },
      `${boxes.length > 1 ? `${i + 1}: ` : ''}${format_length(x)} × ${format_length(y)} × ` +
      `${format_length(z)}  (sum ${format_length(x + y + z)})`));
  });
}

// [SECTION] Answers

// One answer per request: a second click on it waits for the first's reply.
// An answer to a newer request goes at once, though, even while an older
// one's reply is still on its way: the plug-in asks again as soon as the
// host has the older answer, so the next request can come over the event
// stream before that reply, and a click on it must not be lost. No order is
// needed between them: the host shows a request only after it took the
// answer to the one before.
async function answer(fields, on_refused) {
  if (!app.request || app.answering.has(app.request.id)) return;
  const id = app.request.id;
  const still_open = () => app.request && app.request.id === id;
  if (app.answering.size) app.sent_while_pending += 1;
  app.answering.add(id);
  set_status('Sending…', 'working');
  try {
    const response = await fetch(`answer?token=${encodeURIComponent(token)}`, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ page: app.page, request: id, ...fields }),
    });
    if (response.ok) {
      if (still_open()) close_request();
      return;
    }
    const reply = await response.json().catch(() => ({ error: response.statusText }));
    // A refusal of what a request gone since was answered with is no news
    // for the one shown now.
    if (!still_open()) return;
    if (on_refused) on_refused(reply.error || `refused (${response.status})`);
    set_status('Waiting for you', 'asking');
  } catch (e) {
    if (still_open() && on_refused) on_refused('ufhost cannot be reached');
    set_status('ufhost cannot be reached', 'trouble');
  } finally {
    app.answering.delete(id);
  }
}

function ok_clicked() { app.ok_at = performance.now(); app.box_at = 0; }

function close_request() {
  app.request = null;
  app.picked = [];
  if (view) {
    view.set_picked([]);
    view.set_hover(0);
  }
  for (const d of document.querySelectorAll('.dialog')) d.remove();
  show_idle();
}

function show_idle() {
  const panel = $('request');
  panel.textContent = '';
  if (app.ended) {
    panel.appendChild(element('div', { class: 'idle' }, 'The run has ended. You can close this page.'));
  } else if (app.busy) {
    panel.appendChild(element('div', { class: 'idle' },
      'This run is shown in another page. This page takes over when that one is closed.'));
    set_status('Shown elsewhere', 'trouble');
  } else {
    panel.appendChild(element('div', { class: 'idle' }, 'The plug-in is working…'));
    set_status(app.cancelled ? `Stopping: ${app.cancelled}` : 'Working…',
               app.cancelled ? 'trouble' : 'working');
  }
}

// [SECTION] Requests

function show_request(request) {
  for (const d of document.querySelectorAll('.dialog')) d.remove();
  app.request = request;
  app.picked = [];
  set_status('Waiting for you', 'asking');
  const show = { menu: show_menu, dialog: show_dialog, select: show_select, message: show_message,
                 save: show_save }[request.kind];
  if (show) show(request);
}

function show_menu(request) {
  const panel = $('request');
  panel.textContent = '';
  panel.appendChild(element('h2', {}, request.title || 'Menu'));
  const menu = element('div', { class: 'menu' });
  request.items.forEach((item, i) => {
    menu.appendChild(element('button', {
      class: i + 1 === request.default ? 'default' : '',
      'data-item': i + 1,
      onclick: () => answer({ code: kFirstItem + i }),
    }, element('span', { class: 'number' }, String(i + 1)), item));
  });
  panel.appendChild(menu);
  panel.appendChild(element('div', { class: 'row' },
    element('button', { onclick: () => answer({ code: kBack }) }, 'Back'),
    element('button', { onclick: () => answer({ code: kCancel }) }, 'Cancel')));
}

function dialog_box(title, css_class) {
  const box = element('div', { class: `dialog ${css_class || ''}`, role: 'dialog' },
                      element('h2', {}, title));
  const body = element('div', { class: 'body' });
  box.appendChild(body);
  host.appendChild(box);
  return body;
}

// A number as a person types it: "12.5", "1e-6", "0,5".
function typed_number(text) {
  const t = text.trim().replace(',', '.');
  if (t === '') return null;
  const v = Number(t);
  return Number.isFinite(v) ? v : null;
}

function show_dialog(request) {
  $('request').textContent = '';
  $('request').appendChild(element('div', { class: 'idle' }, `The dialog "${request.title}" is open.`));
  const body = dialog_box(request.title);
  const inputs = request.labels.map((label, i) => {
    const input = element('input', { type: 'text', value: String(request.values[i]),
                                     'aria-label': label, spellcheck: 'false' });
    body.appendChild(element('label', {}, element('span', {}, label), input));
    return input;
  });
  const error = element('div', { class: 'error' });
  const ok = () => {
    const values = inputs.map((input) => typed_number(input.value));
    inputs.forEach((input, i) => input.classList.toggle('wrong', values[i] === null));
    if (values.includes(null)) {
      error.textContent = 'Type a number in every field.';
      return;
    }
    ok_clicked();
    answer({ code: kOk, values }, (why) => { error.textContent = why; });
  };
  for (const input of inputs)
    input.addEventListener('keydown', (e) => { if (e.key === 'Enter') ok(); });
  body.appendChild(error);
  body.appendChild(element('div', { class: 'row' },
    element('button', { class: 'primary', onclick: ok }, 'OK'),
    element('span', { class: 'spacer' }),
    element('button', { onclick: () => answer({ code: kBack }) }, 'Back'),
    element('button', { onclick: () => answer({ code: kCancel }) }, 'Cancel')));
  if (inputs.length) inputs[0].focus();
}

function show_message(request) {
  $('request').textContent = '';
  $('request').appendChild(element('div', { class: 'idle' }, 'A message is shown.'));
  const body = dialog_box(request.title, 'message');
  body.appendChild(element('div', { class: 'text' }, request.text));
  const ok = element('button', { class: 'primary', onclick: () => answer({}) }, 'OK');
  body.appendChild(element('div', { class: 'row' }, element('span', { class: 'spacer' }), ok));
  ok.focus();
}

function show_save(request) {
  $('request').textContent = '';
  $('request').appendChild(element('div', { class: 'idle' }, 'The save dialog is open.'));
  const body = dialog_box(request.open_mode ? 'Open file' : 'Save file');
  // "Name|pattern|Name|pattern||"
  const parts = (request.filter || '').split('|');
  const types = element('select', { 'aria-label': 'Files of type' });
  for (let i = 0; i + 1 < parts.length && parts[i]; i += 2)
    types.appendChild(element('option', {}, `${parts[i]}`));
  const pattern = /[*?]/.test(request.file_name || '');
  const name = element('input', { type: 'text', value: pattern ? '' : request.file_name,
                                  placeholder: request.file_name || '', 'aria-label': 'File name',
                                  spellcheck: 'false' });
  body.appendChild(element('label', {}, element('span', {}, 'File name'), name));
  body.appendChild(element('label', {}, element('span', {}, 'Files of type'), types));
  body.appendChild(element('div', { class: 'hint' },
    `A name without a folder is saved in ${request.folder}` +
    (request.default_ext ? `; without an extension it gets .${request.default_ext}.` : '.')));
  const error = element('div', { class: 'error' });
  const save = () => {
    if (!name.value.trim()) {
      error.textContent = 'Type a file name.';
      return;
    }
    ok_clicked();
    answer({ ok: true, path: name.value.trim() }, (why) => { error.textContent = why; });
  };
  name.addEventListener('keydown', (e) => { if (e.key === 'Enter') save(); });
  body.appendChild(error);
  body.appendChild(element('div', { class: 'row' },
    element('button', { class: 'primary', onclick: save }, request.open_mode ? 'Open' : 'Save'),
    element('span', { class: 'spacer' }),
    element('button', { onclick: () => answer({ ok: false }) }, 'Cancel')));
  name.focus();
}

function show_select(request) {
  const panel = $('request');
  panel.textContent = '';
  panel.appendChild(element('h2', {}, request.prompt || 'Select'));
  panel.appendChild(element('div', { class: 'hint' },
    request.objects.length ? 'Click bodies in the view, or rows here, in the order you want them.'
                           : 'Nothing here can be selected.'));
  const table = element('table', { class: 'objects' });
  request.objects.forEach((o) => {
    const row = element('tr', {
      'data-tag': o.tag,
      onclick: () => toggle_pick(o.tag),
      onmouseenter: () => view && view.set_hover(o.tag),
      onmouseleave: () => view && view.set_hover(0),
    },
    element('td', { class: 'order' }),
    element('td', {}, o.name || `#${o.tag}`, element('div', { class: 'type' }, o.type)),
    element('td', { class: 'size' }, o.size));
    table.appendChild(row);
  });
  panel.appendChild(table);
  const count = element('div', { class: 'hint', id: 'picked-count' });
  panel.appendChild(count);
  panel.appendChild(element('div', { class: 'row' },
    element('button', { onclick: () => set_picks(request.objects.map((o) => o.tag)) }, 'All'),
    element('button', { onclick: () => set_picks([]) }, 'None')));
  panel.appendChild(element('div', { class: 'row' },
    element('button', { class: 'primary', id: 'select-ok',
                        onclick: () => { ok_clicked(); answer({ response: kOk, tags: app.picked }); } },
            'OK'),
    element('span', { class: 'spacer' }),
    element('button', { onclick: () => answer({ response: kBack }) }, 'Back'),
    element('button', { onclick: () => answer({ response: kCancel }) }, 'Cancel')));
  set_picks([]);
}

function offered(tag) {
  return app.request && app.request.kind === 'select' &&
         app.request.objects.some((o) => o.tag === tag);
}

function toggle_pick(tag) {
  if (!offered(tag)) return;
  const at = app.picked.indexOf(tag);
  set_picks(at >= 0 ? app.picked.filter((t) => t !== tag) : [...app.picked, tag]);
}

function set_picks(tags) {
  app.picked = tags;
  if (view) view.set_picked(tags);
  for (const row of document.querySelectorAll('.objects tr')) {
    const at = tags.indexOf(Number(row.dataset.tag));
    row.classList.toggle('picked', at >= 0);
    row.firstChild.textContent = at >= 0 ? String(at + 1) : '';
  }
  const count = $('picked-count');
  if (count) count.textContent = `${tags.length} picked`;
}

// [SECTION] Pointer in the view: names under it, picking by click

if (view) {
  const canvas = view.renderer.domElement;
  const tip = $('tip');
  let down = null;
  let pending = null;
  canvas.addEventListener('pointermove', (e) => {
    pending = e;
    requestAnimationFrame(() => {
      if (!pending) return;
      const { clientX, clientY } = pending;
      pending = null;
      const tag = view.body_at(clientX, clientY);
      view.set_hover(offered(tag) ? tag : 0);
      canvas.style.cursor = offered(tag) ? 'pointer' : '';
      for (const row of document.querySelectorAll('.objects tr'))
        row.classList.toggle('hover', Number(row.dataset.tag) === tag);
      const rect = host.getBoundingClientRect();
      tip.style.display = tag ? 'block' : 'none';
      tip.textContent = app.names.get(tag) || '';
      tip.style.left = `${clientX - rect.left + 14}px`;
      tip.style.top = `${clientY - rect.top + 14}px`;
    });
  });
  canvas.addEventListener('pointerleave', () => {
    tip.style.display = 'none';
    view.set_hover(0);
  });
  canvas.addEventListener('pointerdown', (e) => { down = { x: e.clientX, y: e.clientY, button: e.button }; });
  canvas.addEventListener('pointerup', (e) => {
    // A click, not the end of a drag that turned the view.
    if (!down || down.button !== 0 || Math.hypot(e.clientX - down.x, e.clientY - down.y) > 4) return;
    down = null;
    toggle_pick(view.body_at(e.clientX, e.clientY));
  });
  $('fit').addEventListener('click', () => view.fit());
}

// [SECTION] The event stream

function on(events, name, handle) {
  events.addEventListener(name, (e) => handle(JSON.parse(e.data)));
}

function put(object) {
  if (object.what === 'body') app.names.set(object.tag, object.name || `body ${object.tag}`);
  if (view) view.set(object);
}

// Once, when there is a body to look at; the person's camera is theirs after.
function fit_first_time() {
  if (app.fitted || !view || !view.bodies().length) return;
  view.fit();
  app.fitted = true;
}

function connect() {
  const events = new EventSource(`events?token=${encodeURIComponent(token)}`);
  on(events, 'busy', () => {
    app.busy = true;
    show_idle();
  });
  on(events, 'hello', (hello) => {
    app.page = hello.page;
    app.busy = false;
    document.title = `${hello.title} · ufhost`;
    $('part').textContent = `${hello.title} · units: ${hello.units}`;
    $('part').title = hello.part;
    show_idle();
  });
  on(events, 'scene', (scene) => {
    if (view) view.clear();
    app.names.clear();
    for (const object of scene.objects) put(object);
    fit_first_time();
    if (view) {
      for (const tag of [...view.highlighted]) view.set_highlight(tag, false);
      for (const tag of scene.highlighted) view.set_highlight(tag, true);
    }
    $('listing-text').textContent = '';
    show_boxes();
  });
  on(events, 'object', (object) => {
    put(object);
    fit_first_time();
    show_boxes();
  });
  on(events, 'remove', ({ tag }) => {
    app.names.delete(tag);
    if (view) view.remove(tag);
    show_boxes();
  });
  on(events, 'highlight', ({ tag, on: lit }) => { if (view) view.set_highlight(tag, lit); });
  on(events, 'listing', ({ text }) => {
    const pre = $('listing-text');
    pre.textContent += text;
    pre.scrollTop = pre.scrollHeight;
    $('listing').open = true;
  });
  on(events, 'request', show_request);
  on(events, 'settled', ({ id }) => { if (app.request && app.request.id === id) close_request(); });
  on(events, 'cancelled', ({ why }) => {
    app.cancelled = why;
    if (!app.request) show_idle();
  });
  on(events, 'end', ({ note }) => {
    app.ended = true;
    events.close();
    close_request();
    set_status('The run has ended', 'over');
    host.appendChild(element('div', { class: 'banner' }, note));
  });
  events.onerror = () => {
    if (!app.ended && !app.busy) set_status('Reconnecting…', 'trouble');
  };
}

// For the tests: what the page shows, and where a body can be clicked.
window.zarvelApp = {
  state: () => ({
    page: app.page,
    request: app.request ? { id: app.request.id, kind: app.request.kind } : null,
    picked: app.picked.slice(),
    hover: view ? view.hover : 0,
    highlighted: view ? [...view.highlighted] : [],
    stats: view ? view.stats() : null,
    boxes: view ? view.boxes : [],
    ended: app.ended,
    busy: app.busy,
    cancelled: app.cancelled,
    answering: app.answering.size,
    sent_while_pending: app.sent_while_pending,
    ok_to_box_ms: app.ok_at && app.box_at > app.ok_at ? app.box_at - app.ok_at : null,
  }),
  point_of: (tag) => (view ? view.visible_point_of(tag) : null),
};

connect();
