// The page --view writes: the part as ufhost left it after a run. The scene
// comes from the JSON block that ufhost writes into the page (id
// "zarvel-scene"); everything else is in this bundle, so the page needs no
// server and no network.
import { PartView, boxes_of, format_length, kColours, webgl_available } from './scene.js';

function read_scene() {
  const block = document.getElementById('zarvel-scene');
  return JSON.parse(block.textContent);
}

function fill_panel(data, stats, boxes) {
  const panel = document.getElementById('panel');
  const add = (tag, text, css_class) => {
    const element = document.createElement(tag);
    element.textContent = text;
    if (css_class) element.className = css_class;
    panel.appendChild(element);
    return element;
  };
  add('h1', data.title || 'ufhost');
  if (data.subtitle) add('div', data.subtitle, 'subtitle');
  boxes.forEach((box, i) => {
    const [x, y, z] = box.lengths;
    const prefix = boxes.length > 1 ? `Box ${i + 1}: ` : 'Box: ';
    add('div', `${prefix}${format_length(x)} × ${format_length(y)} × ${format_length(z)}` +
        `  (sum ${format_length(x + y + z)})`, 'box');
  });
  for (const note of data.notes || []) add('div', note, 'note');
  const legend = add('div', '', 'legend');
  const swatch = (colour, text) => {
    const item = document.createElement('span');
    const chip = document.createElement('i');
    chip.style.background = '#' + colour.toString(16).padStart(6, '0');
    item.appendChild(chip);
    item.appendChild(document.createTextNode(text));
    legend.appendChild(item);
  };
  swatch(kColours.body, `bodies (${stats.bodies - stats.copies})`);
  if (stats.copies) swatch(kColours.copy, `turned copies (${stats.copies})`);
  if (stats.lines) swatch(kColours.line, `lines (${stats.lines})`);
  if (stats.points) swatch(kColours.point, `points (${stats.points})`);
  add('div', `Units: ${data.units}`, 'note');
  add('div', 'Drag: orbit · right drag or shift drag: pan · wheel: zoom', 'help');
}

function main() {
  const data = read_scene();
  const host = document.getElementById('view');
  if (!webgl_available()) {
    const points = data.objects.filter((o) => o.what === 'point');
    fill_panel(data, { bodies: 0, copies: 0, lines: 0, points: points.length }, boxes_of(points));
    const note = document.createElement('div');
    note.className = 'nogl';
    note.textContent = 'This browser cannot draw 3D graphics (WebGL is off); the sizes are above.';
    host.appendChild(note);
    window.zarvelView = { ready: true, webgl: false };
    return;
  }
  const view = new PartView(host);
  for (const object of data.objects) view.set(object);
  view.fit();
  view.render_now();
  const stats = view.stats();
  fill_panel(data, stats, view.boxes);
  window.zarvelView = { ready: true, webgl: true, ...stats };
}

main();
