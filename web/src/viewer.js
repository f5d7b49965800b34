// The part as ufhost left it after a run: bodies shaded, the turned copies in
// their own colour, the lines and points the commands drew, and the lengths of
// each drawn box written beside its edges. The scene comes from the JSON block
// that ufhost writes into the page (id "zarvel-scene"); everything else is in
// this bundle, so the page needs no server and no network.
import * as THREE from 'three';
import { OrbitControls } from 'three/examples/jsm/controls/OrbitControls.js';
import { CSS2DRenderer, CSS2DObject } from 'three/examples/jsm/renderers/CSS2DRenderer.js';

const kColours = {
  background: 0xf3f4f6,
  body: 0x9fb6d3,
  copy: 0xf0a030,
  edge: 0x2b3440,
  line: 0xc62828,
  point: 0x1b4f72,
  frame: 0x7a8594,
};

// Lengths as a person reads them: up to six decimals, no trailing zeros.
function format_length(value) {
  let text = value.toFixed(6);
  if (text.includes('.')) text = text.replace(/0+$/, '').replace(/\.$/, '');
  return text === '-0' ? '0' : text;
}

function read_scene() {
  const block = document.getElementById('zarvel-scene');
  return JSON.parse(block.textContent);
}

function body_mesh(body, has_copies) {
  const geometry = new THREE.BufferGeometry();
  geometry.setAttribute('position', new THREE.Float32BufferAttribute(body.positions, 3));
  geometry.setIndex(body.indices);
  geometry.computeVertexNormals();
  const material = new THREE.MeshStandardMaterial({
    color: body.copy ? kColours.copy : kColours.body,
    metalness: 0.05,
    roughness: 0.65,
    side: THREE.DoubleSide,
    // Originals stay visible through the copies turned out of them.
    transparent: has_copies && !body.copy,
    opacity: has_copies && !body.copy ? 0.35 : 1.0,
    depthWrite: !(has_copies && !body.copy),
    // Pushed back a little so that drawn lines on a face are not hidden by it.
    polygonOffset: true,
    polygonOffsetFactor: 1,
    polygonOffsetUnits: 1,
  });
  const group = new THREE.Group();
  group.add(new THREE.Mesh(geometry, material));
  const edges = new THREE.LineSegments(
    new THREE.EdgesGeometry(geometry, 30),
    new THREE.LineBasicMaterial({ color: kColours.edge, transparent: true, opacity: 0.35 }));
  group.add(edges);
  group.name = body.name;
  return group;
}

function label(text, css_class) {
  const element = document.createElement('div');
  element.className = css_class;
  element.textContent = text;
  return new CSS2DObject(element);
}

// The frame of a drawn box and a label at the middle of the three edges that
// leave its lower corner along X, Y and Z.
function box_annotation(box, index, count) {
  const group = new THREE.Group();
  const min = new THREE.Vector3(...box.min);
  const max = new THREE.Vector3(...box.max);
  const frame = new THREE.Box3Helper(new THREE.Box3(min.clone(), max.clone()), kColours.frame);
  frame.material.transparent = true;
  frame.material.opacity = 0.6;
  group.add(frame);
  const names = ['X', 'Y', 'Z'];
  for (let axis = 0; axis < 3; ++axis) {
    const middle = min.clone();
    middle.setComponent(axis, (min.getComponent(axis) + max.getComponent(axis)) / 2);
    const prefix = count > 1 ? `${index + 1}: ` : '';
    const tag = label(`${prefix}${names[axis]} ${format_length(box.lengths[axis])}`, 'dimension');
    tag.position.copy(middle);
    group.add(tag);
  }
  return group;
}

function fill_panel(data) {
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
  data.boxes.forEach((box, i) => {
    const [x, y, z] = box.lengths;
    const prefix = data.boxes.length > 1 ? `Box ${i + 1}: ` : 'Box: ';
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
  const copies = data.bodies.filter((b) => b.copy).length;
  swatch(kColours.body, `bodies (${data.bodies.length - copies})`);
  if (copies) swatch(kColours.copy, `turned copies (${copies})`);
  if (data.lines.length) swatch(kColours.line, `lines (${data.lines.length / 6})`);
  if (data.points.length) swatch(kColours.point, `points (${data.points.length / 3})`);
  add('div', `Units: ${data.units}`, 'note');
  add('div', 'Drag: orbit · right drag or shift drag: pan · wheel: zoom', 'help');
}

function webgl_available() {
  try {
    const canvas = document.createElement('canvas');
    return !!(canvas.getContext('webgl2') || canvas.getContext('webgl'));
  } catch (e) {
    return false;
  }
}

function main() {
  const data = read_scene();
  fill_panel(data);
  const host = document.getElementById('view');
  if (!webgl_available()) {
    const note = document.createElement('div');
    note.className = 'nogl';
    note.textContent = 'This browser cannot draw 3D graphics (WebGL is off); the sizes are above.';
    host.appendChild(note);
    window.zarvelView = { ready: true, webgl: false };
    return;
  }

  const renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
  renderer.setPixelRatio(window.devicePixelRatio || 1);
  renderer.setSize(host.clientWidth, host.clientHeight);
  renderer.setClearColor(kColours.background);
  host.appendChild(renderer.domElement);
  const labels = new CSS2DRenderer();
  labels.setSize(host.clientWidth, host.clientHeight);
  labels.domElement.className = 'labels';
  host.appendChild(labels.domElement);

  const scene = new THREE.Scene();
  const has_copies = data.bodies.some((b) => b.copy);
  let triangles = 0;
  for (const body of data.bodies) {
    scene.add(body_mesh(body, has_copies));
    triangles += body.indices.length / 3;
  }
  if (data.lines.length) {
    const geometry = new THREE.BufferGeometry();
    geometry.setAttribute('position', new THREE.Float32BufferAttribute(data.lines, 3));
    scene.add(new THREE.LineSegments(geometry, new THREE.LineBasicMaterial({ color: kColours.line })));
  }
  data.boxes.forEach((box, i) => scene.add(box_annotation(box, i, data.boxes.length)));

  const bounds = new THREE.Box3().setFromObject(scene);
  for (let i = 0; i < data.points.length; i += 3)
    bounds.expandByPoint(new THREE.Vector3(data.points[i], data.points[i + 1], data.points[i + 2]));
  if (bounds.isEmpty()) bounds.set(new THREE.Vector3(-1, -1, -1), new THREE.Vector3(1, 1, 1));
  const centre = bounds.getCenter(new THREE.Vector3());
  const radius = Math.max(bounds.getSize(new THREE.Vector3()).length() / 2, 1e-6);

  const marker = new THREE.SphereGeometry(radius * 0.012, 12, 8);
  const marker_material = new THREE.MeshBasicMaterial({ color: kColours.point });
  for (let i = 0; i < data.points.length; i += 3) {
    const dot = new THREE.Mesh(marker, marker_material);
    dot.position.set(data.points[i], data.points[i + 1], data.points[i + 2]);
    scene.add(dot);
  }
  const axes = new THREE.AxesHelper(radius * 0.25);
  axes.position.copy(bounds.min);
  scene.add(axes);

  const camera = new THREE.PerspectiveCamera(35, host.clientWidth / host.clientHeight,
                                             radius / 1000, radius * 100);
  camera.up.set(0, 0, 1);  // parts are modelled with Z up
  const distance = radius / Math.sin(THREE.MathUtils.degToRad(35 / 2)) * 1.1;
  camera.position.copy(centre).add(new THREE.Vector3(1.0, -1.4, 0.9).normalize().multiplyScalar(distance));
  camera.lookAt(centre);
  scene.add(camera);
  scene.add(new THREE.HemisphereLight(0xffffff, 0x8090a0, 1.4));
  const headlight = new THREE.DirectionalLight(0xffffff, 1.6);
  headlight.position.set(0.3, 0.6, 1);
  camera.add(headlight);

  const controls = new OrbitControls(camera, renderer.domElement);
  controls.target.copy(centre);
  controls.screenSpacePanning = true;
  controls.update();
  // CSS2D labels sit above the canvas; let the mouse reach the controls.
  labels.domElement.style.pointerEvents = 'none';

  const render = () => {
    renderer.render(scene, camera);
    labels.render(scene, camera);
  };
  controls.addEventListener('change', render);
  window.addEventListener('resize', () => {
    camera.aspect = host.clientWidth / host.clientHeight;
    camera.updateProjectionMatrix();
    renderer.setSize(host.clientWidth, host.clientHeight);
    labels.setSize(host.clientWidth, host.clientHeight);
    render();
  });
  render();
  window.zarvelView = {
    ready: true,
    webgl: true,
    bodies: data.bodies.length,
    copies: data.bodies.filter((b) => b.copy).length,
    triangles,
    lines: data.lines.length / 6,
    points: data.points.length / 3,
    boxes: data.boxes.length,
  };
}

main();
