// The preview page: shows the rendered layer with WebGL (exact pixels), replays the module's
// control strokes on a 2D canvas above it, and sends the mouse and the panel to the server.
'use strict';

const ZOOMS = [1 / 64, 1 / 48, 1 / 32, 1 / 24, 1 / 16, 1 / 12, 1 / 8, 1 / 6, 1 / 4, 1 / 3, 1 / 2, 2 / 3,
  1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64];
const CURSORS = ['', 'nwse-resize', 'nesw-resize', 'nesw-resize', 'nwse-resize', 'grab',
  'ew-resize', 'ew-resize', 'ns-resize', 'ns-resize', 'ns-resize'];

const $ = (id) => document.getElementById(id);

// What tests and the benchmark read: the newest state, the messages sent, the latencies.
const corvelle = {
  state: null, sent: [], latencies: [], paintTimes: [], framesDrawn: 0, errors: [], ready: false,
  readPixels: null,
};
window.corvelle = corvelle;

let socket = null;
let seq = 0;
const pendingMoves = new Map();   // seq of a press or move -> time it was sent
let view = { zoom: 1, ox: 0, oy: 0, kind: 'layer', lx: 0, ly: 0, auto: true };
let viewFromServer = true;        // the next state sets the view (at start and after a refusal)
let dragging = false;
let panning = null;
let spaceDown = false;
let lastImage = null;             // {width, height}

function send(message) {
  if (!socket || socket.readyState !== WebSocket.OPEN) return 0;
  message.seq = ++seq;
  socket.send(JSON.stringify(message));
  corvelle.sent.push(message);
  if (corvelle.sent.length > 2000) corvelle.sent.splice(0, 1000);
  return seq;
}

function sendView() {
  send({ t: 'view', zoom: view.zoom, ox: view.ox, oy: view.oy, kind: view.kind, lx: view.lx, ly: view.ly,
    auto: view.auto });
}

function status(text, ok) {
  $('status').textContent = text;
  $('status').classList.toggle('ok', !!ok);
}

// ---- WebGL: the frame layer ---------------------------------------------------------------------
const frameCanvas = $('frame');
const gl = frameCanvas.getContext('webgl', {
  alpha: true, premultipliedAlpha: false, preserveDrawingBuffer: true, antialias: false,
});
let program = null;
let texture = null;
let quad = null;

function initGl() {
  const vs = `attribute vec2 pos; attribute vec2 uv; uniform vec2 size; varying highp vec2 v;
    void main() { v = uv; gl_Position = vec4(pos.x / size.x * 2.0 - 1.0, 1.0 - pos.y / size.y * 2.0, 0.0, 1.0); }`;
  const fs = `precision highp float; varying highp vec2 v; uniform sampler2D tex;
    void main() { gl_FragColor = texture2D(tex, v); }`;
  const compile = (type, text) => {
    const s = gl.createShader(type);
    gl.shaderSource(s, text);
    gl.compileShader(s);
    return s;
  };
  program = gl.createProgram();
  gl.attachShader(program, compile(gl.VERTEX_SHADER, vs));
  gl.attachShader(program, compile(gl.FRAGMENT_SHADER, fs));
  gl.linkProgram(program);
  quad = gl.createBuffer();
  texture = gl.createTexture();
  gl.bindTexture(gl.TEXTURE_2D, texture);
  for (const [k, v] of [[gl.TEXTURE_MIN_FILTER, gl.NEAREST], [gl.TEXTURE_MAG_FILTER, gl.NEAREST],
    [gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE], [gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE]]) {
    gl.texParameteri(gl.TEXTURE_2D, k, v);
  }
  // Straight colours in, straight colours out: no premultiplication and no colour management.
  gl.pixelStorei(gl.UNPACK_ALIGNMENT, 1);
  gl.pixelStorei(gl.UNPACK_PREMULTIPLY_ALPHA_WEBGL, false);
  gl.pixelStorei(gl.UNPACK_COLORSPACE_CONVERSION_WEBGL, gl.NONE);
  gl.pixelStorei(gl.UNPACK_FLIP_Y_WEBGL, false);
  gl.disable(gl.BLEND);
}

function uploadFrame(pixels, width, height) {
  gl.bindTexture(gl.TEXTURE_2D, texture);
  if (lastImage && lastImage.width === width && lastImage.height === height) {
    gl.texSubImage2D(gl.TEXTURE_2D, 0, 0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
  } else {
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, width, height, 0, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
  }
  lastImage = { width, height };
}

// Where the layer and the window sit in canvas pixels under the page's current view.
function geometry() {
  const s = corvelle.state;
  if (!s) return null;
  const comp = view.kind === 'comp';
  const left = (comp ? view.lx * view.zoom : 0) + view.ox;
  const top = (comp ? view.ly * view.zoom : 0) + view.oy;
  const sourceW = s.layer.width + (comp ? view.lx : 0);
  const sourceH = s.layer.height + (comp ? view.ly : 0);
  return {
    left, top, width: s.layer.width * view.zoom, height: s.layer.height * view.zoom,
    windowW: Math.ceil(sourceW * view.zoom + view.ox), windowH: Math.ceil(sourceH * view.zoom + view.oy),
  };
}

function drawFrame() {
  const w = frameCanvas.width;
  const h = frameCanvas.height;
  gl.viewport(0, 0, w, h);
  gl.disable(gl.SCISSOR_TEST);
  gl.clearColor(0, 0, 0, 0);
  gl.clear(gl.COLOR_BUFFER_BIT);
  const g = geometry();
  if (!g || !lastImage) return;
  // The window's own grey where the layer does not cover it.
  const wx0 = Math.max(0, 0);
  const wy0 = Math.max(0, 0);
  const wx1 = Math.min(w, g.windowW);
  const wy1 = Math.min(h, g.windowH);
  if (wx1 > wx0 && wy1 > wy0) {
    gl.enable(gl.SCISSOR_TEST);
    gl.scissor(wx0, h - wy1, wx1 - wx0, wy1 - wy0);
    gl.clearColor(0.16, 0.16, 0.16, 1);
    gl.clear(gl.COLOR_BUFFER_BIT);
    gl.disable(gl.SCISSOR_TEST);
  }
  const x0 = g.left;
  const y0 = g.top;
  const x1 = g.left + g.width;
  const y1 = g.top + g.height;
  const data = new Float32Array([x0, y0, 0, 0, x1, y0, 1, 0, x0, y1, 0, 1, x1, y1, 1, 1]);
  gl.useProgram(program);
  gl.bindBuffer(gl.ARRAY_BUFFER, quad);
  gl.bufferData(gl.ARRAY_BUFFER, data, gl.STREAM_DRAW);
  const pos = gl.getAttribLocation(program, 'pos');
  const uv = gl.getAttribLocation(program, 'uv');
  gl.enableVertexAttribArray(pos);
  gl.enableVertexAttribArray(uv);
  gl.vertexAttribPointer(pos, 2, gl.FLOAT, false, 16, 0);
  gl.vertexAttribPointer(uv, 2, gl.FLOAT, false, 16, 8);
  gl.uniform2f(gl.getUniformLocation(program, 'size'), w, h);
  gl.activeTexture(gl.TEXTURE0);
  gl.bindTexture(gl.TEXTURE_2D, texture);
  gl.uniform1i(gl.getUniformLocation(program, 'tex'), 0);
  gl.drawArrays(gl.TRIANGLE_STRIP, 0, 4);
}

// Canvas pixels (x, y) with y down, as top-first RGBA rows, base64: exact, unlike a 2D canvas.
corvelle.readPixels = (x, y, w, h) => {
  const out = new Uint8Array(w * h * 4);
  gl.readPixels(x, frameCanvas.height - y - h, w, h, gl.RGBA, gl.UNSIGNED_BYTE, out);
  const rows = new Uint8Array(w * h * 4);
  for (let r = 0; r < h; r++) rows.set(out.subarray((h - 1 - r) * w * 4, (h - r) * w * 4), r * w * 4);
  let text = '';
  for (let i = 0; i < rows.length; i += 0x8000) text += String.fromCharCode.apply(null, rows.subarray(i, i + 0x8000));
  return btoa(text);
};

// ---- The module's controls, replayed ------------------------------------------------------------
const controlsCanvas = $('controls');
const ctx = controlsCanvas.getContext('2d');

function drawControls() {
  ctx.setTransform(1, 0, 0, 1, 0, 0);
  ctx.clearRect(0, 0, controlsCanvas.width, controlsCanvas.height);
  const s = corvelle.state;
  if (!s || !$('showControls').checked || s.view.zoom !== view.zoom) return;
  // While a pan waits for the server, the strokes move with the picture.
  const shiftX = view.ox - s.view.ox;
  const shiftY = view.oy - s.view.oy;
  for (const stroke of s.controls) {
    ctx.save();
    // Whole window coordinates are pixel centres, as the host's canvas draws them.
    ctx.translate(stroke.dx + shiftX + 0.5, stroke.dy + shiftY + 0.5);
    ctx.beginPath();
    for (const op of stroke.ops) {
      if (op[0] === 'M') ctx.moveTo(op[1], op[2]);
      else if (op[0] === 'L') ctx.lineTo(op[1], op[2]);
      else if (op[0] === 'Z') ctx.closePath();
      else if (op[0] === 'A') {
        const sweep = Math.max(-360, Math.min(360, op[5]));
        const a1 = op[4] * Math.PI / 180;
        const a2 = (op[4] + sweep) * Math.PI / 180;
        ctx.arc(op[1], op[2], op[3], a1, a2, sweep < 0);
        if (Math.abs(op[5]) >= 360) ctx.closePath();
      }
    }
    const [r, g, b, a] = stroke.rgba;
    ctx.strokeStyle = `rgba(${Math.round(r * 255)},${Math.round(g * 255)},${Math.round(b * 255)},${a})`;
    ctx.lineWidth = stroke.width;
    ctx.stroke();
    ctx.restore();
  }
}

function redraw() {
  drawFrame();
  drawControls();
}

function resize() {
  const box = $('viewport');
  const w = Math.max(1, box.clientWidth);
  const h = Math.max(1, box.clientHeight);
  for (const c of [frameCanvas, controlsCanvas]) {
    if (c.width !== w || c.height !== h) {
      c.width = w;
      c.height = h;
      c.style.width = w + 'px';
      c.style.height = h + 'px';
    }
  }
  redraw();
}

// ---- The view: zoom, pan, window kind ----------------------------------------------------------
function sourceSize() {
  const s = corvelle.state;
  const comp = view.kind === 'comp';
  return { w: s.layer.width + (comp ? view.lx : 0), h: s.layer.height + (comp ? view.ly : 0) };
}

function setZoom(zoom, aboutX, aboutY) {
  zoom = Math.max(1 / 64, Math.min(64, zoom));
  // The source point under (aboutX, aboutY) stays there.
  view.ox = Math.round(aboutX - (aboutX - view.ox) * zoom / view.zoom);
  view.oy = Math.round(aboutY - (aboutY - view.oy) * zoom / view.zoom);
  view.zoom = zoom;
  showView();
  sendView();
  redraw();
}

function centre(zoom) {
  const size = sourceSize();
  view.zoom = zoom;
  view.ox = Math.round((frameCanvas.width - size.w * zoom) / 2);
  view.oy = Math.round((frameCanvas.height - size.h * zoom) / 2);
  showView();
  sendView();
  redraw();
}

function fit() {
  const size = sourceSize();
  centre(Math.max(1 / 64, Math.min(64, frameCanvas.width / size.w, frameCanvas.height / size.h)));
}

function stepZoom(direction) {
  const next = direction > 0 ? ZOOMS.find((z) => z > view.zoom + 1e-9) : [...ZOOMS].reverse().find((z) => z < view.zoom - 1e-9);
  if (next) setZoom(next, frameCanvas.width / 2, frameCanvas.height / 2);
}

function zoomLabel(z) {
  return z >= 1 ? `${Math.round(z * 100)}%` : `${(z * 100).toFixed(z < 0.1 ? 2 : 1)}%`;
}

function showView() {
  const select = $('zoom');
  let option = [...select.options].find((o) => Math.abs(Number(o.value) - view.zoom) < 1e-9);
  if (!option) {
    option = select.querySelector('option.custom') || document.createElement('option');
    option.className = 'custom';
    option.value = String(view.zoom);
    option.textContent = zoomLabel(view.zoom);
    select.appendChild(option);
  }
  select.value = option.value;
  $('kind').value = view.kind;
  $('layerPos').hidden = view.kind !== 'comp';
  $('lx').value = view.lx;
  $('ly').value = view.ly;
  $('auto').checked = view.auto;
}

// ---- The mouse -------------------------------------------------------------------------------
function windowPoint(e) {
  const r = controlsCanvas.getBoundingClientRect();
  return { x: Math.floor(e.clientX - r.left), y: Math.floor(e.clientY - r.top) };
}

controlsCanvas.addEventListener('pointerdown', (e) => {
  const p = windowPoint(e);
  controlsCanvas.setPointerCapture(e.pointerId);
  if (e.button === 1 || (e.button === 0 && (spaceDown || e.altKey))) {
    panning = { x: e.clientX, y: e.clientY, ox: view.ox, oy: view.oy };
    controlsCanvas.style.cursor = 'move';
    e.preventDefault();
    return;
  }
  if (e.button !== 0) return;
  dragging = true;
  const n = send({ t: 'press', x: p.x, y: p.y });
  pendingMoves.set(n, performance.now());
  e.preventDefault();
});

controlsCanvas.addEventListener('pointermove', (e) => {
  const p = windowPoint(e);
  if (panning) {
    view.ox = panning.ox + Math.round(e.clientX - panning.x);
    view.oy = panning.oy + Math.round(e.clientY - panning.y);
    sendView();
    redraw();
    return;
  }
  if (dragging) {
    const n = send({ t: 'move', x: p.x, y: p.y });
    pendingMoves.set(n, performance.now());
  } else {
    send({ t: 'hover', x: p.x, y: p.y });
  }
});

function endPointer(e) {
  if (panning) {
    panning = null;
    controlsCanvas.style.cursor = '';
    return;
  }
  if (!dragging) return;
  dragging = false;
  const p = windowPoint(e);
  const n = send({ t: 'release', x: p.x, y: p.y });
  pendingMoves.set(n, performance.now());
}
controlsCanvas.addEventListener('pointerup', endPointer);
controlsCanvas.addEventListener('pointercancel', endPointer);

controlsCanvas.addEventListener('wheel', (e) => {
  e.preventDefault();
  const p = windowPoint(e);
  const i = ZOOMS.findIndex((z) => z >= view.zoom - 1e-9);
  const next = e.deltaY < 0 ? ZOOMS[Math.min(ZOOMS.length - 1, ZOOMS[i] > view.zoom + 1e-9 ? i : i + 1)]
    : ZOOMS[Math.max(0, i - 1)];
  setZoom(next, p.x, p.y);
}, { passive: false });

document.addEventListener('keydown', (e) => {
  if (e.target instanceof HTMLInputElement && e.target.type !== 'range' && e.target.type !== 'checkbox') return;
  if (e.code === 'Space') spaceDown = true;
  const key = e.key.toLowerCase();
  if ((e.ctrlKey || e.metaKey) && key === 'z') {
    send({ t: e.shiftKey ? 'redo' : 'undo' });
    e.preventDefault();
  } else if ((e.ctrlKey || e.metaKey) && key === 'y') {
    send({ t: 'redo' });
    e.preventDefault();
  }
});
document.addEventListener('keyup', (e) => { if (e.code === 'Space') spaceDown = false; });

// ---- The parameter panel ---------------------------------------------------------------------
const editors = new Map();   // key -> {row, name, update(value, enabled)}
let selectedKey = '';        // the parameter whose keys the timeline shows; '' for all

// The edits of one gesture carry one group number, which makes them one undo step. Numbers start
// at random so a reloaded page never continues the previous page's gesture.
let nextGroup = 1 + Math.floor(Math.random() * 0x7fffffff);
function newGroup() {
  nextGroup = nextGroup >= 0xfffffff0 ? 1 : nextGroup + 1;
  return nextGroup;
}

function numberText(v) { return String(Math.round(v * 1000) / 1000); }

function selectParam(key) {
  selectedKey = selectedKey === key ? '' : key;
  for (const [k, e] of editors) e.row.classList.toggle('selected', k === selectedKey);
  showTimeline();
}

function buildEditor(p) {
  const row = document.createElement('div');
  row.className = 'param';
  row.dataset.key = p.key;
  const name = document.createElement('label');
  name.className = 'name';
  const reset = document.createElement('button');
  reset.className = 'reset';
  reset.textContent = '↺';
  reset.title = 'Reset to the default';
  reset.addEventListener('click', () => send({ t: 'reset', key: p.key }));
  const editor = document.createElement('div');
  editor.className = 'editor';
  row.append(name, reset, editor);
  let keyed = false;
  let stopwatch = null;
  if (p.animatable) {
    stopwatch = document.createElement('button');
    stopwatch.className = 'stopwatch';
    stopwatch.textContent = '◇';
    stopwatch.title = 'Vary in time: keys at frames';
    stopwatch.addEventListener('click', () => send({ t: 'stopwatch', key: p.key, on: !keyed }));
    row.insertBefore(stopwatch, reset);
  }
  row.addEventListener('click', (e) => {
    // A numeric parameter's name scrubs; a click without a drag selects it there.
    if (e.target === row || (e.target === name && !name.classList.contains('scrub'))) selectParam(p.key);
  });
  const inputs = [];
  let update;
  const setValue = (value, group) => send(group ? { t: 'set', key: p.key, value, group } : { t: 'set', key: p.key, value });
  // Live edits (a slider drag, a colour picked) share a group until the control's change event.
  const liveGroup = (input) => {
    if (!input.dataset.group) input.dataset.group = String(newGroup());
    return Number(input.dataset.group);
  };
  const endGroup = (input) => { delete input.dataset.group; };
  if (p.type === 'float' || p.type === 'fixed' || p.type === 'angle') {
    const hasSlider = p.sliderMax > p.sliderMin;
    const number = document.createElement('input');
    number.type = 'number';
    number.step = 'any';
    if (p.max > p.min) {
      number.min = p.min;
      number.max = p.max;
    }
    number.addEventListener('change', () => {
      const v = Number(number.value);
      if (number.value !== '' && Number.isFinite(v)) setValue(v);
    });
    if (hasSlider) {
      const slider = document.createElement('input');
      slider.type = 'range';
      slider.min = p.sliderMin;
      slider.max = p.sliderMax;
      slider.step = (p.sliderMax - p.sliderMin) / 1000;
      slider.addEventListener('input', () => setValue(Number(slider.value), liveGroup(slider)));
      slider.addEventListener('change', () => endGroup(slider));
      editor.append(slider);
      inputs.push(slider);
    }
    editor.append(number);
    inputs.push(number);
    // Dragging the name sideways scrubs the value: one undo step for the whole drag.
    name.classList.add('scrub');
    let scrub = null;
    name.addEventListener('pointerdown', (e) => {
      if (e.button !== 0 || number.disabled) return;
      name.setPointerCapture(e.pointerId);
      scrub = { x: e.clientX, start: Number(number.value), group: newGroup(), moved: false };
      e.preventDefault();
    });
    name.addEventListener('pointermove', (e) => {
      if (!scrub) return;
      const step = hasSlider ? (p.sliderMax - p.sliderMin) / 1000 : 1;
      let v = scrub.start + Math.round(e.clientX - scrub.x) * step;
      if (p.max > p.min) v = Math.max(p.min, Math.min(p.max, v));
      if (v === Number(number.value) && !scrub.moved) return;
      scrub.moved = true;
      number.value = numberText(v);
      setValue(v, scrub.group);
    });
    const endScrub = () => {
      if (scrub && !scrub.moved) selectParam(p.key);
      scrub = null;
    };
    name.addEventListener('pointerup', endScrub);
    name.addEventListener('pointercancel', () => { scrub = null; });
    update = (v) => {
      for (const input of inputs) if (document.activeElement !== input) input.value = input.type === 'number' ? numberText(v) : v;
    };
  } else if (p.type === 'point') {
    const xs = [0, 1].map(() => {
      const n = document.createElement('input');
      n.type = 'number';
      n.step = 'any';
      editor.append(n);
      inputs.push(n);
      return n;
    });
    const changed = () => setValue([Number(xs[0].value), Number(xs[1].value)]);
    xs.forEach((n) => n.addEventListener('change', changed));
    update = (v) => xs.forEach((n, i) => { if (document.activeElement !== n) n.value = numberText(v[i]); });
  } else if (p.type === 'color') {
    const c = document.createElement('input');
    c.type = 'color';
    c.addEventListener('input', () => setValue(c.value, liveGroup(c)));
    c.addEventListener('change', () => endGroup(c));
    editor.append(c);
    inputs.push(c);
    update = (v) => { c.value = v; };
  } else if (p.type === 'popup') {
    const select = document.createElement('select');
    p.choices.forEach((choice, i) => {
      const o = document.createElement('option');
      o.value = String(i + 1);
      o.textContent = choice;
      select.append(o);
    });
    select.addEventListener('change', () => setValue(Number(select.value)));
    editor.append(select);
    inputs.push(select);
    update = (v) => { select.value = String(v); };
  } else if (p.type === 'checkbox') {
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.addEventListener('change', () => setValue(box.checked));
    editor.append(box);
    inputs.push(box);
    update = (v) => { box.checked = v; };
  } else {
    update = () => {};
  }
  if (inputs[0]) {
    inputs[0].id = 'param-' + p.key;
    if (!name.classList.contains('scrub')) name.htmlFor = inputs[0].id;
  }
  return {
    row,
    update(param) {
      name.textContent = param.name;
      row.classList.toggle('disabled', !param.enabled);
      for (const input of inputs) input.disabled = !param.enabled;
      reset.disabled = !param.enabled;
      keyed = !!param.keyed;
      if (stopwatch) {
        stopwatch.classList.toggle('on', keyed);
        stopwatch.textContent = keyed ? '◆' : '◇';
        stopwatch.classList.toggle('here', !!param.keyHere);
        stopwatch.setAttribute('aria-pressed', String(keyed));
        stopwatch.title = keyed ? (param.keyHere ? 'Varies in time; a key at this frame (click: stop varying)'
          : 'Varies in time (click: stop varying, keeping this value)') : 'Vary in time: keys at frames';
      }
      update(param.value);
    },
  };
}

function showParams(params) {
  const box = $('params');
  const keys = params.map((p) => p.key).join(',');
  if (box.dataset.keys !== keys) {
    box.textContent = '';
    editors.clear();
    for (const p of params) {
      const e = buildEditor(p);
      editors.set(p.key, e);
      box.append(e.row);
    }
    box.dataset.keys = keys;
  }
  for (const p of params) editors.get(p.key).update(p);
}

function showState(s) {
  corvelle.state = s;
  if (viewFromServer) {
    view = { zoom: s.view.zoom, ox: s.view.ox, oy: s.view.oy, kind: s.view.kind, lx: s.view.lx, ly: s.view.ly,
      auto: s.view.auto };
    viewFromServer = false;
    showView();
  }
  showParams(s.params);
  $('undo').disabled = !s.canUndo;
  $('redo').disabled = !s.canRedo;
  $('command').textContent = s.command;
  $('host').value = s.host;
  const depths = s.host === 'ae' ? [8, 16] : [8, 32];
  const depth = $('depth');
  if (depth.dataset.host !== s.host) {
    depth.textContent = '';
    for (const d of depths) {
      const o = document.createElement('option');
      o.value = String(d);
      o.textContent = d === 32 ? '32 (float)' : String(d);
      depth.append(o);
    }
    depth.dataset.host = s.host;
  }
  depth.value = String(s.depth);
  $('host').disabled = s.fixedFormat;
  depth.disabled = s.fixedFormat;
  if (document.activeElement !== $('par')) $('par').value = `${s.aspect[0]}/${s.aspect[1]}`;
  const frames = s.frames;
  $('timeline').hidden = frames.count < 2;
  $('frameSlider').max = String(frames.count - 1);
  if (document.activeElement !== $('frameSlider')) $('frameSlider').value = String(frames.index);
  const fps = s.keys.fps;
  $('frameLabel').textContent = `frame ${frames.number}` + (fps ? ` · ${(frames.number / fps).toFixed(2)} s` : '');
  showTimeline();
  const save = $('saveKeys');
  save.disabled = !s.keys.path;
  save.textContent = s.keys.path ? `Save to ${s.keys.path}${s.keys.unsaved ? ' *' : ''}` : 'Save (no --keys given)';
  $('commandNote').textContent = s.commandNote || '';
  $('renderOutput').disabled = !s.output;
  $('renderOutput').textContent = s.output
    ? `Render ${frames.still ? 'this frame' : 'every frame'} to ${s.output}` : 'Render (no --output given)';
}

// The frames with keys the timeline marks: the selected parameter's when it has keys, else all.
function markedFrames() {
  const s = corvelle.state;
  if (!s) return [];
  const tracks = s.keys.frames;
  const lists = selectedKey && tracks[selectedKey] ? [tracks[selectedKey]] : Object.values(tracks);
  return [...new Set(lists.flat())].sort((a, b) => a - b);
}

function showTimeline() {
  const s = corvelle.state;
  if (!s) return;
  const frames = s.frames;
  const marks = $('keyMarks');
  marks.textContent = '';
  const keyFrames = markedFrames();
  const span = Math.max(1, frames.count - 1);
  for (const f of keyFrames) {
    const index = f - frames.first;
    if (index < 0 || index > span) continue;
    const mark = document.createElement('div');
    mark.className = 'mark';
    mark.style.left = `${(index / span) * 100}%`;
    mark.title = `key at frame ${f}`;
    mark.dataset.frame = String(f);
    mark.addEventListener('click', () => goToFrame(Math.round(index)));
    marks.append(mark);
  }
  const here = frames.number;
  $('prevKey').disabled = !keyFrames.some((f) => f < here);
  $('nextKey').disabled = !keyFrames.some((f) => f > here);
  const selected = selectedKey && s.params.find((p) => p.key === selectedKey);
  $('deleteKey').disabled = selected && selected.keyed ? !selected.keyHere : !s.keys.here;
}

function goToFrame(index) {
  const s = corvelle.state;
  if (!s) return;
  index = Math.max(0, Math.min(s.frames.count - 1, index));
  $('frameSlider').value = String(index);
  send({ t: 'frame', frame: index });
}

function stepKey(direction) {
  const s = corvelle.state;
  if (!s) return;
  const here = s.frames.number;
  const keyFrames = markedFrames();
  const target = direction > 0 ? keyFrames.find((f) => f > here) : [...keyFrames].reverse().find((f) => f < here);
  if (target === undefined) return;
  // A key between frames (a file may give seconds) is reached from its side.
  goToFrame((direction > 0 ? Math.ceil(target) : Math.floor(target)) - s.frames.first);
}

// ---- Messages from the server ------------------------------------------------------------------
const decoder = new TextDecoder();

function onFrame(buffer) {
  try {
    paintFrame(buffer);
  } finally {
    // The server sends the next picture only after this one is drawn.
    socket.send(JSON.stringify({ t: 'shown' }));
  }
}

function paintFrame(buffer) {
  const arrived = performance.now();
  const length = new DataView(buffer).getUint32(0, true);
  const s = JSON.parse(decoder.decode(new Uint8Array(buffer, 4, length)));
  const pixels = new Uint8Array(buffer, 4 + length);
  showState(s);
  uploadFrame(pixels, s.image.width, s.image.height);
  redraw();
  corvelle.framesDrawn++;
  corvelle.ready = true;
  const now = performance.now();
  corvelle.paintTimes.push(now - arrived);
  for (const [n, t] of pendingMoves) {
    if (n <= s.seq) {
      corvelle.latencies.push(now - t);
      pendingMoves.delete(n);
    }
  }
}

function onText(m) {
  if (m.t === 'state') {
    showState(m);
    redraw();
  } else if (m.t === 'hit') {
    if (!dragging && !panning) controlsCanvas.style.cursor = CURSORS[m.handle] || '';
  } else if (m.t === 'error') {
    corvelle.errors.push(m);
    status(m.message);
    viewFromServer = true;
    if (corvelle.state) showTimeline();
  } else if (m.t === 'progress') {
    $('progress').hidden = false;
    $('progress').max = m.total;
    $('progress').value = m.done;
    status(`Rendering: ${m.done} of ${m.total}`);
  } else if (m.t === 'saved') {
    status(`Saved ${m.path}`, true);
    corvelle.saved = (corvelle.saved || 0) + 1;
  } else if (m.t === 'rendered') {
    status(`Rendered to ${corvelle.state ? corvelle.state.output : 'the output'}`, true);
    corvelle.rendered = true;
  }
}

function connect() {
  socket = new WebSocket(`ws://${location.host}/ws`);
  socket.binaryType = 'arraybuffer';
  socket.addEventListener('message', (e) => {
    if (e.data instanceof ArrayBuffer) onFrame(e.data);
    else onText(JSON.parse(e.data));
  });
  socket.addEventListener('close', () => status('The preview has ended (the server stopped or the connection was lost).'));
}

// ---- Toolbar and panel wiring ------------------------------------------------------------------
function wire() {
  const zoom = $('zoom');
  for (const z of ZOOMS) {
    const o = document.createElement('option');
    o.value = String(z);
    o.textContent = zoomLabel(z);
    zoom.append(o);
  }
  zoom.addEventListener('change', () => setZoom(Number(zoom.value), frameCanvas.width / 2, frameCanvas.height / 2));
  $('zoomIn').addEventListener('click', () => stepZoom(1));
  $('zoomOut').addEventListener('click', () => stepZoom(-1));
  $('fit').addEventListener('click', fit);
  $('actual').addEventListener('click', () => centre(1));
  $('kind').addEventListener('change', () => {
    view.kind = $('kind').value;
    showView();
    sendView();
    redraw();
  });
  for (const id of ['lx', 'ly']) {
    $(id).addEventListener('change', () => {
      view[id] = Number($(id).value) || 0;
      sendView();
      redraw();
    });
  }
  $('auto').addEventListener('change', () => {
    view.auto = $('auto').checked;
    sendView();
  });
  $('showControls').addEventListener('change', drawControls);
  const sendHost = () => send({ t: 'host', host: $('host').value, depth: Number($('depth').value) });
  $('host').addEventListener('change', () => {
    if ($('host').value === 'ae' && $('depth').value === '32') $('depth').value = '16';
    if ($('host').value === 'premiere' && $('depth').value === '16') $('depth').value = '32';
    sendHost();
  });
  $('depth').addEventListener('change', sendHost);
  $('par').addEventListener('change', () => {
    const m = /^\s*(\d+)\s*\/\s*(\d+)\s*$/.exec($('par').value);
    if (m) send({ t: 'aspect', num: Number(m[1]), den: Number(m[2]) });
    else status('Pixel aspect: expected N/D, such as 10/11');
  });
  $('undo').addEventListener('click', () => send({ t: 'undo' }));
  $('redo').addEventListener('click', () => send({ t: 'redo' }));
  $('resetAll').addEventListener('click', () => send({ t: 'reset', key: '' }));
  $('frameSlider').addEventListener('input', () => send({ t: 'frame', frame: Number($('frameSlider').value) }));
  $('prevKey').addEventListener('click', () => stepKey(-1));
  $('nextKey').addEventListener('click', () => stepKey(1));
  $('deleteKey').addEventListener('click', () => {
    const selected = corvelle.state && corvelle.state.params.find((p) => p.key === selectedKey);
    send({ t: 'removekey', key: selected && selected.keyed ? selectedKey : '' });
  });
  $('saveKeys').addEventListener('click', () => {
    status('Saving…');
    send({ t: 'save' });
  });
  $('copyCommand').addEventListener('click', async () => {
    const text = corvelle.state ? corvelle.state.command : '';
    try {
      await navigator.clipboard.writeText(text);
      status('Copied the render command.', true);
    } catch (err) {
      const range = document.createRange();
      range.selectNodeContents($('command'));
      getSelection().removeAllRanges();
      getSelection().addRange(range);
      status('Select and copy the command below.');
    }
  });
  $('renderOutput').addEventListener('click', () => {
    $('progress').hidden = false;
    $('progress').value = 0;
    send({ t: 'render' });
  });
  new ResizeObserver(resize).observe($('viewport'));
}

initGl();
wire();
resize();
connect();
