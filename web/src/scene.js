// The part in three.js, shared by the page that --view writes and the live
// page of the browser front end: bodies shaded, the turned copies in their
// own colour, the lines and points the commands drew, and, for every pair of
// points drawn in a row (each command draws the two opposite corners of its
// box), the box with its three lengths written beside its edges.
//
// Objects come as ufhost writes them (one JSON value each: a body with its
// triangles, a line, a point, each with its tag) and may be added, replaced
// and removed at any time; the live page also colours bodies as the host
// highlights them, as they are picked, and under the pointer.
import * as THREE from 'three';
import { OrbitControls } from 'three/examples/jsm/controls/OrbitControls.js';
import { CSS2DRenderer, CSS2DObject } from 'three/examples/jsm/renderers/CSS2DRenderer.js';

export const kColours = {
  background: 0xf3f4f6,
  body: 0x9fb6d3,
  copy: 0xf0a030,
  highlight: 0xe53935,  // the host's highlight, as the plug-in switches it
  picked: 0x1e88e5,     // picked in the selection, before OK
  hover: 0x7fd0ff,      // under the pointer while a selection is open
  edge: 0x2b3440,
  line: 0xc62828,
  point: 0x1b4f72,
  frame: 0x7a8594,
};

// Lengths as a person reads them: up to six decimals, no trailing zeros.
export function format_length(value) {
  let text = value.toFixed(6);
  if (text.includes('.')) text = text.replace(/0+$/, '').replace(/\.$/, '');
  return text === '-0' ? '0' : text;
}

export function webgl_available() {
  try {
    const canvas = document.createElement('canvas');
    return !!(canvas.getContext('webgl2') || canvas.getContext('webgl'));
  } catch (e) {
    return false;
  }
}

// The boxes the commands drew: points taken in creation (tag) order, each two
// in a row a box; lengths as the commands compute them.
export function boxes_of(points) {
  const boxes = [];
  for (let i = 0; i + 1 < points.length; i += 2) {
    const a = points[i].points;
    const b = points[i + 1].points;
    boxes.push({
      min: [0, 1, 2].map((k) => Math.min(a[k], b[k])),
      max: [0, 1, 2].map((k) => Math.max(a[k], b[k])),
      lengths: [0, 1, 2].map((k) => Math.abs(a[k] - b[k])),
    });
  }
  return boxes;
}

function label(text, css_class) {
  const element = document.createElement('div');
  element.className = css_class;
  element.textContent = text;
  return new CSS2DObject(element);
}

// The frame of a box and a label at the middle of the three edges that leave
// its lower corner along X, Y and Z.
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

export class PartView {
  // `host`: the element the view fills. Call only when webgl_available().
  constructor(host) {
    this.host = host;
    this.objects = new Map();  // tag -> { data, node, mesh (bodies) }
    this.highlighted = new Set();
    this.picked = [];  // tags, in the order picked
    this.hover = 0;
    this.boxes = [];
    this.radius = 1;
    this.on_render = null;  // called after each frame drawn

    this.renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
    this.renderer.setPixelRatio(window.devicePixelRatio || 1);
    this.renderer.setClearColor(kColours.background);
    host.appendChild(this.renderer.domElement);
    this.labels = new CSS2DRenderer();
    this.labels.domElement.className = 'labels';
    // The labels sit above the canvas; let the mouse reach the controls.
    this.labels.domElement.style.pointerEvents = 'none';
    host.appendChild(this.labels.domElement);

    this.scene = new THREE.Scene();
    this.content = new THREE.Group();
    this.annotations = new THREE.Group();
    this.scene.add(this.content, this.annotations);
    this.axes = new THREE.AxesHelper(1);
    this.scene.add(this.axes);
    this.camera = new THREE.PerspectiveCamera(35, 1, 0.001, 1000);
    this.camera.up.set(0, 0, 1);  // parts are modelled with Z up
    this.scene.add(this.camera);
    this.scene.add(new THREE.HemisphereLight(0xffffff, 0x8090a0, 1.4));
    const headlight = new THREE.DirectionalLight(0xffffff, 1.6);
    headlight.position.set(0.3, 0.6, 1);
    this.camera.add(headlight);
    this.marker = new THREE.SphereGeometry(1, 12, 8);
    this.marker_material = new THREE.MeshBasicMaterial({ color: kColours.point });
    this.line_material = new THREE.LineBasicMaterial({ color: kColours.line });

    this.controls = new OrbitControls(this.camera, this.renderer.domElement);
    this.controls.screenSpacePanning = true;
    this.controls.addEventListener('change', () => this.request_render());
    this.pending_frame = 0;
    new ResizeObserver(() => this.resize()).observe(host);
    this.resize();
  }

  resize() {
    const width = Math.max(this.host.clientWidth, 1);
    const height = Math.max(this.host.clientHeight, 1);
    this.camera.aspect = width / height;
    this.camera.updateProjectionMatrix();
    this.renderer.setSize(width, height);
    this.labels.setSize(width, height);
    this.request_render();
  }

  request_render() {
    if (this.pending_frame) return;
    this.pending_frame = requestAnimationFrame(() => {
      this.pending_frame = 0;
      this.render_now();
    });
  }

  render_now() {
    this.renderer.render(this.scene, this.camera);
    this.labels.render(this.scene, this.camera);
    if (this.on_render) this.on_render();
  }

  // Adds the object, or replaces the one of its tag.
  set(data) {
    this.drop(data.tag);
    let node = null;
    let mesh = null;
    if (data.what === 'body') {
      const geometry = new THREE.BufferGeometry();
      geometry.setAttribute('position', new THREE.Float32BufferAttribute(data.positions, 3));
      geometry.setIndex(data.indices);
      geometry.computeVertexNormals();
      geometry.computeBoundingSphere();
      mesh = new THREE.Mesh(geometry, new THREE.MeshStandardMaterial({
        metalness: 0.05,
        roughness: 0.65,
        side: THREE.DoubleSide,
        // Pushed back a little so that drawn lines on a face are not hidden by it.
        polygonOffset: true,
        polygonOffsetFactor: 1,
        polygonOffsetUnits: 1,
      }));
      mesh.userData.tag = data.tag;
      node = new THREE.Group();
      node.add(mesh);
      node.add(new THREE.LineSegments(
        new THREE.EdgesGeometry(geometry, 30),
        new THREE.LineBasicMaterial({ color: kColours.edge, transparent: true, opacity: 0.35 })));
    } else if (data.what === 'line') {
      const geometry = new THREE.BufferGeometry();
      geometry.setAttribute('position', new THREE.Float32BufferAttribute(data.points, 3));
      node = new THREE.LineSegments(geometry, this.line_material);
    } else if (data.what === 'point') {
      node = new THREE.Mesh(this.marker, this.marker_material);
      node.position.set(...data.points);
      node.scale.setScalar(this.radius * 0.012);
    } else {
      return;
    }
    node.name = data.name || '';
    this.content.add(node);
    this.objects.set(data.tag, { data, node, mesh });
    if (data.what === 'body') this.restyle_bodies();
    if (data.what === 'point') this.update_boxes();
    this.request_render();
  }

  // Removes every object; the highlight, picks and camera stay.
  clear() {
    for (const tag of [...this.objects.keys()]) this.drop(tag);
    this.update_boxes();
    this.request_render();
  }

  remove(tag) {
    const gone = this.objects.get(tag);
    if (!gone) return;
    this.drop(tag);
    if (gone.data.what === 'body') this.restyle_bodies();
    if (gone.data.what === 'point') this.update_boxes();
    this.request_render();
  }

  drop(tag) {
    const old = this.objects.get(tag);
    if (!old) return;
    this.content.remove(old.node);
    if (old.mesh) {
      old.mesh.geometry.dispose();
      old.mesh.material.dispose();
      old.node.children[1].geometry.dispose();
    } else if (old.data.what === 'line') {
      old.node.geometry.dispose();
    }
    this.objects.delete(tag);
  }

  set_highlight(tag, on) {
    if (on) this.highlighted.add(tag);
    else this.highlighted.delete(tag);
    this.restyle_bodies();
  }

  set_picked(tags) {
    this.picked = tags.slice();
    this.restyle_bodies();
  }

  set_hover(tag) {
    if (tag === this.hover) return;
    this.hover = tag;
    this.restyle_bodies();
  }

  // Originals stay visible through the copies turned out of them.
  restyle_bodies() {
    const bodies = this.bodies();
    const has_copies = bodies.some((b) => b.data.copy);
    for (const { data, mesh } of bodies) {
      const tag = data.tag;
      let colour = data.copy ? kColours.copy : kColours.body;
      if (tag === this.hover) colour = kColours.hover;
      if (this.picked.includes(tag)) colour = kColours.picked;
      if (this.highlighted.has(tag)) colour = kColours.highlight;
      const see_through = has_copies && !data.copy && colour === kColours.body;
      mesh.material.color.setHex(colour);
      mesh.material.transparent = see_through;
      mesh.material.opacity = see_through ? 0.35 : 1.0;
      mesh.material.depthWrite = !see_through;
      mesh.material.needsUpdate = true;
    }
    this.request_render();
  }

  bodies() {
    return [...this.objects.values()].filter((o) => o.mesh);
  }

  of_kind(what) {
    return [...this.objects.values()].filter((o) => o.data.what === what)
      .sort((a, b) => a.data.tag - b.data.tag);
  }

  update_boxes() {
    this.boxes = boxes_of(this.of_kind('point').map((o) => o.data));
    this.annotations.clear();
    this.boxes.forEach((box, i) => this.annotations.add(box_annotation(box, i, this.boxes.length)));
  }

  // Points the camera at everything there is, from the front right, above.
  fit() {
    const bounds = new THREE.Box3().setFromObject(this.content);
    if (bounds.isEmpty()) bounds.set(new THREE.Vector3(-1, -1, -1), new THREE.Vector3(1, 1, 1));
    const centre = bounds.getCenter(new THREE.Vector3());
    this.radius = Math.max(bounds.getSize(new THREE.Vector3()).length() / 2, 1e-6);
    const distance = this.radius / Math.sin(THREE.MathUtils.degToRad(35 / 2)) * 1.1;
    this.camera.near = this.radius / 1000;
    this.camera.far = this.radius * 100;
    this.camera.position.copy(centre)
      .add(new THREE.Vector3(1.0, -1.4, 0.9).normalize().multiplyScalar(distance));
    this.camera.lookAt(centre);
    this.camera.updateProjectionMatrix();
    this.controls.target.copy(centre);
    this.controls.update();
    this.axes.position.copy(bounds.min);
    this.axes.scale.setScalar(this.radius * 0.25);
    for (const o of this.of_kind('point')) o.node.scale.setScalar(this.radius * 0.012);
    this.request_render();
  }

  // The tag of the body under the pixel (client coordinates), or 0.
  body_at(x, y) {
    const rect = this.renderer.domElement.getBoundingClientRect();
    const ndc = new THREE.Vector2(((x - rect.left) / rect.width) * 2 - 1,
                                  -((y - rect.top) / rect.height) * 2 + 1);
    const ray = new THREE.Raycaster();
    ray.setFromCamera(ndc, this.camera);
    const hits = ray.intersectObjects(this.bodies().map((b) => b.mesh), false);
    return hits.length ? hits[0].object.userData.tag : 0;
  }

  // A pixel (client coordinates) at which the body is the first thing seen,
  // or null: its triangles' centres are tried, nearest the camera first.
  visible_point_of(tag) {
    const body = this.objects.get(tag);
    if (!body || !body.mesh) return null;
    const rect = this.renderer.domElement.getBoundingClientRect();
    const positions = body.data.positions;
    const indices = body.data.indices;
    const tries = [];
    const step = Math.max(1, Math.floor(indices.length / 3 / 400));
    for (let t = 0; t < indices.length / 3; t += step) {
      const centre = new THREE.Vector3();
      for (let k = 0; k < 3; ++k) {
        const n = indices[3 * t + k];
        centre.add(new THREE.Vector3(positions[3 * n], positions[3 * n + 1], positions[3 * n + 2]));
      }
      centre.divideScalar(3);
      tries.push({ centre, distance: centre.distanceTo(this.camera.position) });
    }
    tries.sort((a, b) => a.distance - b.distance);
    for (const { centre } of tries) {
      const ndc = centre.clone().project(this.camera);
      if (Math.abs(ndc.x) > 0.95 || Math.abs(ndc.y) > 0.95) continue;
      const x = rect.left + (ndc.x + 1) / 2 * rect.width;
      const y = rect.top + (1 - ndc.y) / 2 * rect.height;
      if (this.body_at(x, y) === tag) return { x, y };
    }
    return null;
  }

  stats() {
    const bodies = this.bodies();
    return {
      bodies: bodies.length,
      copies: bodies.filter((b) => b.data.copy).length,
      triangles: bodies.reduce((n, b) => n + b.data.indices.length / 3, 0),
      lines: this.of_kind('line').length,
      points: this.of_kind('point').length,
      boxes: this.boxes.length,
    };
  }
}
