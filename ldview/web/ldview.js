// ldview.js: the LD view of one chromosome, drawn on a canvas from the data files of its folder.
//
// The data arrive as scripts (a page opened from disk may run scripts but not read files), each
// calling ldviewData(NAME, PAYLOAD): data/meta.js first (positions, blocks, tags, map, what the
// other files hold), then the overview levels and the pair tiles the view needs, and the IDs.
(function () {
  'use strict';
  const C = window.LdviewCore;
  const CLASS = C.CLASS;

  const MARGIN = 20; // CSS pixels left and right of the map, as ldplot leaves them
  const MAX_SCALE = 64; // CSS pixels a SNP at the deepest zoom
  const SEARCH_SCALE = 8; // CSS pixels a SNP at least, after a search
  const PAIR_TILE_CACHE = 64; // pair tiles kept decoded
  const LOADS_IN_FLIGHT = 6;

  const el = (id) => document.getElementById(id);
  const canvas = el('map');
  const ctx = canvas.getContext('2d', { alpha: false });
  const tooltip = el('tooltip');
  const littleEndian = new Uint8Array(new Uint32Array([1]).buffer)[0] === 1;
  const PALETTE = new Int32Array(C.palette(littleEndian).buffer);
  const WHITE = PALETTE[CLASS.blank];

  const state = {
    meta: null,
    n: 0,
    positions: new Int32Array(0),
    ends: new Int32Array(0),
    depth: 0,
    ids: null, // array of names once data/ids.js has arrived
    idIndex: null,
    blocks: new Int32Array(0), // first, last of each block, sorted
    blockOf: new Int32Array(0), // block of each SNP, -1 outside blocks
    isTag: new Uint8Array(0),
    tagList: new Int32Array(0),
    map: null,
    levels: [], // {width, rows, tiles: [{from, to, classes}|undefined]}
    tileStarts: new Int32Array(0),
    tileOf: new Int32Array(0),
    pairTiles: new Map(), // index -> decoded tile, in order of last use
    dpr: 1,
    lo: null, // layout
    view: null,
    mark: -1,
    hover: null, // {x, y} of the pointer on the canvas, device pixels
    image: null,
    complete: false, // the last frame had all the data it asked for
    firstPicture: null,
  };

  // ---- loading ------------------------------------------------------------------------------------

  const waiting = new Map(); // name -> {resolve, reject}
  const loads = new Map(); // name -> promise of the payload
  const queue = []; // names to load, in order of need
  let inFlight = 0;
  let idleWaiters = [];

  window.ldviewData = function (name, payload) {
    if (name === 'meta') {
      start(payload);
      return;
    }
    const waiter = waiting.get(name);
    if (waiter) {
      waiting.delete(name);
      waiter.resolve(payload);
    }
  };

  function loadScript(name) {
    if (loads.has(name)) return loads.get(name);
    const promise = new Promise((resolve, reject) => waiting.set(name, { resolve, reject }));
    loads.set(name, promise);
    queue.push(name);
    pump();
    return promise;
  }

  function pump() {
    while (inFlight < LOADS_IN_FLIGHT && queue.length > 0) {
      const name = queue.shift();
      inFlight++;
      const script = document.createElement('script');
      script.src = 'data/' + name + '.js';
      const done = () => {
        script.remove();
        inFlight--;
        const waiter = waiting.get(name);
        if (waiter) {
          waiting.delete(name);
          loads.delete(name);
          waiter.reject(new Error('data/' + name + '.js did not load'));
        }
        pump();
      };
      script.onload = done;
      script.onerror = done;
      document.head.appendChild(script);
    }
  }

  function bytesOfBase64(text) {
    if (typeof Uint8Array.fromBase64 === 'function') return Uint8Array.fromBase64(text);
    const binary = atob(text);
    const bytes = new Uint8Array(binary.length);
    for (let k = 0; k < binary.length; k++) bytes[k] = binary.charCodeAt(k);
    return bytes;
  }

  // The browser's own inflater reads the zlib format the data files are written in.
  async function inflate(text) {
    const stream = new Blob([bytesOfBase64(text)]).stream().pipeThrough(new DecompressionStream('deflate'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }

  // Data being loaded or inflated; when the last is done, a frame tells those waiting for the view
  // to be idle.
  let unpacking = 0;

  async function loadBytes(name) {
    unpacking++;
    try {
      return await inflate(await loadScript(name));
    } finally {
      unpacking--;
      if (idleWaiters.length > 0) requestDraw();
    }
  }

  function pending() {
    return inFlight + queue.length + unpacking;
  }

  function failed(error) {
    showMessage(String(error && error.message ? error.message : error));
    console.warn(error);
  }

  // ---- start --------------------------------------------------------------------------------------

  let resolveReady;
  const ready = new Promise((resolve) => (resolveReady = resolve));

  async function start(meta) {
    state.meta = meta;
    try {
      const deltas = new Int32Array((await inflate(meta.positions)).buffer);
      const positions = new Int32Array(deltas.length);
      let p = 0;
      for (let k = 0; k < deltas.length; k++) positions[k] = p = (p + deltas[k]) | 0;
      state.n = positions.length;
      state.positions = positions;
      state.ends = C.pairEnds(positions, meta.window);
      state.depth = meta.depth;
      setBlocks(meta.blocks);
      state.tagList = Int32Array.from(meta.tags);
      state.isTag = new Uint8Array(state.n);
      for (const t of meta.tags) state.isTag[t] = 1;
      if (meta.map) {
        const mapPositions = new Int32Array((await inflate(meta.map.positions)).buffer);
        const cm = new Float64Array((await inflate(meta.map.cm)).buffer);
        state.map = { positions: mapPositions, cm };
      }
      state.levels = meta.levels.map((level) => ({
        width: level.width,
        rows: level.rows,
        data: null, // the whole level, row by row, made when its first tile arrives
        tiles: Array.from({ length: Math.ceil(level.width / meta.levelTileColumns) }, () => false),
      }));
      state.tileStarts = Int32Array.from(meta.pairTiles);
      state.tileOf = new Int32Array(state.n);
      for (let t = 0; t + 1 < state.tileStarts.length; t++) state.tileOf.fill(t, state.tileStarts[t], state.tileStarts[t + 1]);
      showTitle();
      showLegend();
      resize();
      applyFragment(location.hash) || setView(C.wholeView(state.lo));
      writeFragment();
      // The first frame asks for what it shows; the IDs come after the first picture.
      await ready;
      if (meta.ids) loadIds().catch(failed);
    } catch (error) {
      failed(error);
    }
  }

  function setBlocks(flat) {
    state.blocks = Int32Array.from(flat);
    state.blockOf = new Int32Array(state.n).fill(-1);
    for (let k = 0; 2 * k < flat.length; k++) state.blockOf.fill(k, flat[2 * k], flat[2 * k + 1] + 1);
  }

  async function loadIds() {
    const text = new TextDecoder().decode(await loadBytes('ids'));
    const ids = text.split('\n');
    state.ids = ids;
    state.idIndex = new Map();
    ids.forEach((id, i) => {
      if (id === '') return;
      const list = state.idIndex.get(id);
      if (list) list.push(i);
      else state.idIndex.set(id, [i]);
    });
    updateTooltip();
  }

  // Loads tile t of a level into the level's array (its rows are runs of the level's rows).
  function levelTile(level, t) {
    const L = state.levels[level];
    if (L.tiles[t]) return Promise.resolve();
    return loadBytes('o' + level + '_' + t).then((classes) => {
      if (L.tiles[t]) return;
      const from = t * state.meta.levelTileColumns;
      const width = Math.min(L.width, from + state.meta.levelTileColumns) - from;
      if (classes.length !== width * L.rows) throw new Error('data/o' + level + '_' + t + '.js holds ' + classes.length + ' pixels, not ' + width * L.rows);
      if (!L.data) L.data = new Uint8Array(L.width * L.rows);
      for (let row = 0; row < L.rows; row++) L.data.set(classes.subarray(row * width, (row + 1) * width), row * L.width + from);
      L.tiles[t] = true;
      requestDraw();
    });
  }

  function pairTile(t) {
    const cached = state.pairTiles.get(t);
    if (cached) {
      state.pairTiles.delete(t);
      state.pairTiles.set(t, cached);
      return Promise.resolve(cached);
    }
    return loadBytes('p' + t).then((bytes) => {
      const tile = C.decodePairTile(bytes, state.ends, state.tileStarts[t], state.tileStarts[t + 1]);
      state.pairTiles.set(t, tile);
      while (state.pairTiles.size > PAIR_TILE_CACHE) state.pairTiles.delete(state.pairTiles.keys().next().value);
      requestDraw();
      updateTooltip();
      return tile;
    });
  }

  // ---- layout -------------------------------------------------------------------------------------

  function layout(width, height, dpr) {
    const lo = { width, height, dpr, n: state.n, depth: state.depth, maxScale: MAX_SCALE * dpr };
    lo.left = Math.round(MARGIN * dpr);
    lo.plotWidth = Math.max(1, width - 2 * lo.left);
    let y = Math.round(6 * dpr);
    lo.track = !!state.map;
    if (lo.track) {
      lo.trackTop = y;
      lo.trackHeight = Math.round(54 * dpr);
      y += lo.trackHeight + Math.round(6 * dpr);
    }
    lo.axisY = y + Math.round(18 * dpr);
    lo.stripTop = lo.axisY + Math.round(38 * dpr); // block labels
    lo.tagTop = lo.stripTop + Math.round(14 * dpr); // tag-SNP marks
    lo.matrixTop = lo.tagTop + Math.round(10 * dpr);
    lo.mapHeight = Math.max(1, height - lo.matrixTop - Math.round(4 * dpr));
    return lo;
  }

  function resize() {
    const dpr = window.devicePixelRatio || 1;
    const box = el('stage').getBoundingClientRect();
    const width = Math.max(1, Math.round(box.width * dpr));
    const height = Math.max(1, Math.round(box.height * dpr));
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
    }
    const old = state.lo;
    state.dpr = dpr;
    state.lo = layout(width, height, dpr);
    state.image = null;
    if (state.view && old) {
      // The middle of the view stays in the middle.
      const middle = state.view.x0 + old.plotWidth / state.view.s / 2;
      const s = state.view.s * (state.lo.plotWidth / old.plotWidth);
      setView({ x0: middle - state.lo.plotWidth / s / 2, s, y0: state.view.y0 });
    }
  }

  // ---- the view -----------------------------------------------------------------------------------

  function setView(view) {
    state.view = C.clampView(view, state.lo);
    requestDraw();
    scheduleFragment();
  }

  function shownRange() {
    const [first, last] = C.shownSnps(state.view, state.lo);
    return [first, last];
  }

  let fragmentTimer = 0;
  let lastFragment = '';

  function currentFragment() {
    if (state.n === 0) return '';
    const [first, last] = shownRange();
    return C.formatFragment(state.meta.chromosome, state.positions[first], state.positions[Math.max(first, last)]);
  }

  // The address follows the view a moment after it stops moving (browsers limit how often it may
  // change).
  function scheduleFragment() {
    clearTimeout(fragmentTimer);
    fragmentTimer = setTimeout(writeFragment, 200);
  }

  function writeFragment() {
    clearTimeout(fragmentTimer);
    const fragment = currentFragment();
    if (fragment && fragment !== location.hash) {
      lastFragment = fragment;
      history.replaceState(null, '', fragment);
    }
  }

  function applyFragment(hash) {
    const wanted = C.parseFragment(hash);
    if (!wanted || !state.lo) return false;
    if (wanted.chromosome !== state.meta.chromosome) {
      showMessage('this view shows chromosome ' + state.meta.chromosome + ', not ' + wanted.chromosome);
      return false;
    }
    const view = C.viewOfRange(state.positions, wanted.from, wanted.to, state.lo);
    if (!view) {
      showMessage('no SNP lies in ' + C.withThousands(wanted.from) + '-' + C.withThousands(wanted.to));
      return false;
    }
    setView(view);
    return true;
  }

  window.addEventListener('hashchange', () => {
    if (location.hash !== lastFragment && state.meta) applyFragment(location.hash);
  });

  // ---- drawing ------------------------------------------------------------------------------------

  let frameRequested = false;

  function requestDraw() {
    if (frameRequested || !state.lo) return;
    frameRequested = true;
    requestAnimationFrame(() => {
      frameRequested = false;
      draw();
    });
  }

  function draw() {
    if (!state.lo || !state.view) return 0;
    const started = performance.now();
    const lo = state.lo;
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.fillStyle = '#fff';
    ctx.fillRect(0, 0, lo.width, lo.height);
    if (!state.image || state.image.width !== lo.plotWidth || state.image.height !== lo.mapHeight)
      state.image = ctx.createImageData(lo.plotWidth, lo.mapHeight);
    const pixels = new Int32Array(state.image.data.buffer);
    state.complete = renderMap(pixels, lo.plotWidth, lo.mapHeight);
    ctx.putImageData(state.image, lo.left, lo.matrixTop);
    drawOverlays();
    const took = performance.now() - started;
    if (state.complete && state.firstPicture === null) {
      state.firstPicture = performance.now();
      resolveReady();
    }
    showStatus();
    if (pending() === 0 && state.complete) {
      const waiters = idleWaiters;
      idleWaiters = [];
      waiters.forEach((resolve) => resolve());
    }
    return took;
  }

  // The map's pixels; true when all the data it needs were there.
  function renderMap(out, w, h) {
    out.fill(WHITE);
    if (state.n === 0) return true;
    const { s } = state.view;
    const level = C.levelFor(state.levels, state.n, s);
    if (level >= 0) return renderLevels(out, w, h, level);
    const complete = requestPairTiles(h);
    if (!complete) {
      // While the pairs load, the finest overview stands in for them.
      if (state.levels.length > 0) renderLevels(out, w, h, state.levels.length - 1);
    }
    renderPairs(out, w, h);
    return complete;
  }

  // The overview at `level`, or, where its tiles are still loading, the coarser ones.
  function renderLevels(out, w, h, level) {
    const { x0, s } = state.view;
    const L = state.levels[level];
    const r = L.width / (state.n * s);
    const base = x0 * s;
    const cols = state.meta.levelTileColumns;
    const first = Math.max(0, Math.floor((0.5 + base) * r));
    const last = Math.min(L.width - 1, Math.floor((w - 0.5 + base) * r));
    let complete = true;
    for (let t = Math.floor(first / cols); t <= Math.floor(last / cols); t++) {
      if (!L.tiles[t]) {
        complete = false;
        levelTile(level, t).catch(failed);
      }
    }
    if (!complete) for (let k = 0; k < level; k++) renderLevel(out, w, h, k);
    renderLevel(out, w, h, level);
    return complete;
  }

  const levelColumns = { column: new Int32Array(0) };

  // One level's loaded tiles, each view pixel showing the level pixel under its centre.
  function renderLevel(out, w, h, level) {
    const L = state.levels[level];
    if (!L.data) return;
    const cols = state.meta.levelTileColumns;
    C.renderLevel(out, w, h, state.view, state.n, L, (c) => L.tiles[Math.floor(c / cols)], PALETTE, levelColumns);
  }

  // The first SNPs whose pairs the view shows, as a range [from, to).
  function shownFirstSnps(h) {
    const { x0, s, y0 } = state.view;
    const base = x0 * s;
    const from = Math.max(0, Math.floor((base - y0 - h) / s));
    const to = Math.min(state.n, Math.floor((base + state.lo.plotWidth - y0) / s) + 1);
    return [from, to];
  }

  function requestPairTiles(h) {
    const [from, to] = shownFirstSnps(h);
    if (from >= to) return true;
    let complete = true;
    for (let t = state.tileOf[from]; t <= state.tileOf[to - 1]; t++) {
      const tile = state.pairTiles.get(t);
      if (tile) {
        // Shown tiles are the last to leave the cache.
        state.pairTiles.delete(t);
        state.pairTiles.set(t, tile);
        continue;
      }
      complete = false;
      pairTile(t).catch(failed);
    }
    return complete;
  }

  // The classes of the pairs of the first SNPs [from, to) gathered in one array for a frame (255
  // where a tile is still loading), and where each first SNP's pairs begin in it, less a + 1, so
  // that the pair (a, b) is classes[start[a - from] + b].
  const gathered = { classes: new Uint8Array(0), start: new Int32Array(0) };

  function gatherPairs(from, to) {
    const ends = state.ends;
    let size = 0;
    for (let a = from; a < to; a++) size += ends[a] - a;
    if (gathered.classes.length < size) gathered.classes = new Uint8Array(size * 1.25 + 1024);
    if (gathered.start.length < to - from) gathered.start = new Int32Array((to - from) * 1.25 + 64);
    const classes = gathered.classes;
    const start = gathered.start;
    let at = 0;
    for (let a = from; a < to; ) {
      const t = state.tileOf[a];
      const stop = Math.min(to, state.tileStarts[t + 1]);
      const tile = state.pairTiles.get(t);
      const first = at;
      for (let k = a; k < stop; k++) {
        start[k - from] = at - k - 1;
        at += ends[k] - k;
      }
      if (tile) classes.set(tile.classes.subarray(tile.rowStart[a - tile.from], tile.rowStart[stop - tile.from]), first);
      else classes.fill(255, first, at);
      a = stop;
    }
    return gathered;
  }

  const pairTables = { a: new Int32Array(0), b: new Int32Array(0) };

  function renderPairs(out, w, h) {
    const [from, to] = shownFirstSnps(h);
    if (from >= to) return;
    const { classes, start } = gatherPairs(from, to);
    C.renderPairs(out, w, h, state.view, state.n, state.depth, state.ends, from, to, classes, start, PALETTE, pairTables);
  }

  // ---- overlays -----------------------------------------------------------------------------------

  function snpX(i) {
    const lo = state.lo;
    return lo.left + (i + 0.5 - state.view.x0) * state.view.s;
  }

  // The canvas point of (p, q) in the map's turned coordinates: cell (a, b) spans p in [a, a+1) and
  // q in [b, b+1).
  function mapPoint(p, q) {
    const { x0, s, y0 } = state.view;
    const lo = state.lo;
    return [lo.left + ((p + q) / 2 - x0) * s, lo.matrixTop + ((q - p) * s) / 2 - y0];
  }

  // A closed polygon of points (p, q) of the map added to the current path.
  function mapPolygon(corners) {
    corners.forEach(([p, q], k) => {
      const [x, y] = mapPoint(p, q);
      if (k === 0) ctx.moveTo(x, y);
      else ctx.lineTo(x, y);
    });
    ctx.closePath();
  }

  function axisRange() {
    const { x0, s } = state.view;
    return [C.positionAt(state.positions, x0), C.positionAt(state.positions, x0 + state.lo.plotWidth / s)];
  }

  function font(size, bold) {
    return (bold ? 'bold ' : '') + Math.round(size * state.dpr) + 'px "DejaVu Sans", system-ui, sans-serif';
  }

  function drawOverlays() {
    const lo = state.lo;
    ctx.save();
    ctx.beginPath();
    ctx.rect(lo.left, lo.matrixTop, lo.plotWidth, lo.mapHeight);
    ctx.clip();
    drawBlocks();
    drawMark();
    drawHoverCell();
    ctx.restore();
    // Above the map: white under the axis so that nothing of the map shows there.
    drawTrack();
    drawAxis();
    drawBlockLabels();
    drawTags();
    drawMarkColumn();
    drawHint();
  }

  // Under a map that fills little of the window (a whole chromosome is a strip of a few pixels),
  // how to see more of it.
  function drawHint() {
    const lo = state.lo;
    const shown = C.mapHeightAt(lo, state.view.s) - state.view.y0;
    if (state.n === 0 || shown > lo.mapHeight / 3) return;
    const perPixel = 1 / (state.view.s / state.dpr);
    const text =
      (perPixel > 1.5 ? 'Each pixel column holds about ' + C.withThousands(perPixel) + ' SNPs. ' : '') +
      'Zoom in with the wheel, + or a double click, or find a SNP or a range in the box above.';
    ctx.font = font(12);
    ctx.fillStyle = '#666';
    ctx.fillText(text, lo.left, lo.matrixTop + shown + 40 * state.dpr);
  }

  // The blocks that reach into [first, last] (blocks do not overlap, so their last SNPs ascend).
  function blocksBetween(first, last, visit) {
    const b = state.blocks;
    const count = b.length / 2;
    let lo = 0;
    let hi = count;
    while (lo < hi) {
      const mid = (lo + hi) >>> 1;
      if (b[2 * mid + 1] < first) lo = mid + 1;
      else hi = mid;
    }
    for (let k = lo; k < count && b[2 * k] <= last; k++) visit(b[2 * k], b[2 * k + 1], k);
  }

  function shownBounds() {
    const { x0, s } = state.view;
    return [Math.floor(x0) - 1, Math.ceil(x0 + state.lo.plotWidth / s) + 1];
  }

  // Each block a triangle over its SNPs down to the cell of its first and last SNP. A block less
  // than two pixels wide (thousands of them at the whole chromosome) is a stretch of the line along
  // the top of the map: its triangle would show as no more.
  function drawBlocks() {
    if (state.blocks.length === 0) return;
    const [first, last] = shownBounds();
    const top = state.lo.matrixTop - state.view.y0;
    const narrow = 2 * state.dpr;
    let runFrom = 0;
    let runTo = -Infinity;
    ctx.beginPath();
    blocksBetween(first, last, (f, l) => {
      const xf = snpX(f);
      const xl = snpX(l);
      if (xl - xf >= narrow) {
        ctx.moveTo(xf, top);
        ctx.lineTo(xl, top);
        ctx.lineTo((xf + xl) / 2, top + ((l - f) * state.view.s) / 2);
        ctx.closePath();
        return;
      }
      if (xf > runTo + 1) {
        if (runTo > -Infinity) {
          ctx.moveTo(runFrom, top);
          ctx.lineTo(runTo, top);
        }
        runFrom = xf;
      }
      runTo = Math.max(runTo, xl, xf + 1);
    });
    if (runTo > -Infinity) {
      ctx.moveTo(runFrom, top);
      ctx.lineTo(runTo, top);
    }
    ctx.lineWidth = 1.5 * state.dpr;
    ctx.lineJoin = 'round';
    ctx.strokeStyle = '#000';
    ctx.stroke();
  }

  // The searched SNP: the bands of its pairs, to the left (a, i) and to the right (i, b).
  function drawMark() {
    const i = state.mark;
    if (i < 0) return;
    const ends = state.ends;
    let a0 = i;
    while (a0 > 0 && ends[a0 - 1] >= i) a0--;
    const e = ends[i];
    ctx.beginPath();
    if (e > i) mapPolygon([[i, i + 1], [i + 1, i + 1], [i + 1, e + 1], [i, e + 1]]);
    if (a0 < i) mapPolygon([[a0, i], [i, i], [i, i + 1], [a0, i + 1]]);
    ctx.fillStyle = 'rgba(106, 61, 154, 0.18)';
    ctx.fill();
    ctx.lineWidth = 2 * state.dpr;
    ctx.strokeStyle = 'rgba(106, 61, 154, 0.9)';
    ctx.stroke();
  }

  function drawHoverCell() {
    const hit = state.hoverHit;
    if (!hit || hit.kind !== 'pair' || state.view.s < 4 * state.dpr) return;
    const { a, b } = hit;
    ctx.beginPath();
    mapPolygon([[a, b], [a + 1, b], [a + 1, b + 1], [a, b + 1]]);
    ctx.lineWidth = 2 * state.dpr;
    ctx.strokeStyle = '#000';
    ctx.stroke();
  }

  function drawTrack() {
    const lo = state.lo;
    if (!lo.track) return;
    const [from, to] = axisRange();
    const columns = lo.plotWidth;
    const rates = C.recombinationRates(state.map, from, to, columns);
    let most = 0;
    let any = false;
    for (const rate of rates) {
      if (!Number.isFinite(rate)) continue;
      any = true;
      if (rate > most) most = rate;
    }
    const base = lo.trackTop + lo.trackHeight;
    const room = lo.trackHeight - 14 * state.dpr;
    ctx.font = font(10);
    ctx.fillStyle = '#1a1a1a';
    ctx.textBaseline = 'alphabetic';
    if (!any) {
      ctx.fillText('recombination rate: the genetic map has no points in this range', lo.left, lo.trackTop + 10 * state.dpr);
    } else {
      const scale = most > 0 ? C.niceCeiling(most) : 1;
      ctx.fillText('recombination rate, cM/Mb (top of the track: ' + scale + ')', lo.left, lo.trackTop + 10 * state.dpr);
      ctx.beginPath();
      for (let c = 0; c < columns; ) {
        if (!Number.isFinite(rates[c])) {
          c++;
          continue;
        }
        ctx.moveTo(lo.left + c, base);
        for (; c < columns && Number.isFinite(rates[c]); c++) {
          const y = base - (room * Math.max(0, rates[c])) / scale;
          ctx.lineTo(lo.left + c, y);
          ctx.lineTo(lo.left + c + 1, y);
        }
        ctx.lineTo(lo.left + c, base);
        ctx.closePath();
      }
      ctx.fillStyle = 'rgb(51, 140, 77)';
      ctx.fill();
    }
    ctx.lineWidth = 0.5 * state.dpr;
    ctx.strokeStyle = '#404040';
    ctx.beginPath();
    ctx.moveTo(lo.left, base);
    ctx.lineTo(lo.left + lo.plotWidth, base);
    ctx.stroke();
  }

  function axisX(position, from, to) {
    const lo = state.lo;
    return to > from ? lo.left + ((position - from) / (to - from)) * lo.plotWidth : lo.left + lo.plotWidth / 2;
  }

  function drawAxis() {
    const lo = state.lo;
    const dpr = state.dpr;
    const [from, to] = axisRange();
    ctx.strokeStyle = '#404040';
    ctx.lineWidth = dpr;
    ctx.beginPath();
    ctx.moveTo(lo.left, lo.axisY + 0.5);
    ctx.lineTo(lo.left + lo.plotWidth, lo.axisY + 0.5);
    ctx.stroke();
    ctx.font = font(10);
    ctx.fillStyle = '#1a1a1a';
    ctx.beginPath();
    for (const t of C.axisTicks(from, to, Math.floor(lo.plotWidth / (110 * dpr)))) {
      const x = Math.round(axisX(t, from, to)) + 0.5;
      ctx.moveTo(x, lo.axisY - 4 * dpr);
      ctx.lineTo(x, lo.axisY + 1);
      const label = C.withThousands(t);
      const width = ctx.measureText(label).width;
      ctx.fillText(label, Math.min(Math.max(x - width / 2, 2), lo.width - 2 - width), lo.axisY - 7 * dpr);
    }
    ctx.stroke();

    // Each SNP's position joined to its column; with more SNPs than pixels, one SNP every other
    // pixel.
    const [first, last] = shownRange();
    ctx.lineWidth = 0.5 * dpr;
    ctx.strokeStyle = 'rgba(140, 140, 140, 0.6)';
    ctx.beginPath();
    const join = (i) => {
      ctx.moveTo(axisX(state.positions[i], from, to), lo.axisY + 1);
      ctx.lineTo(snpX(i), lo.stripTop);
    };
    if (last - first + 1 <= lo.plotWidth / 2) {
      for (let i = first; i <= last; i++) join(i);
    } else {
      let previous = -1;
      for (let c = 0; c < lo.plotWidth; c += 2) {
        const i = Math.floor(state.view.x0 + (c + 0.5) / state.view.s);
        if (i !== previous && i >= 0 && i < state.n) join(i);
        previous = i;
      }
    }
    ctx.stroke();
  }

  function drawBlockLabels() {
    if (state.blocks.length === 0) return;
    const lo = state.lo;
    const [first, last] = shownBounds();
    ctx.font = font(10);
    ctx.fillStyle = '#1a1a1a';
    // A label is at least as wide as its digits less one (the dash is the narrowest character):
    // blocks narrower than that are passed over without measuring their labels, which at the
    // whole chromosome are thousands.
    const digit = ctx.measureText('0').width;
    blocksBetween(first, last, (f, l) => {
      const x1 = Math.max(snpX(f), lo.left);
      const x2 = Math.min(snpX(l), lo.left + lo.plotWidth);
      const label = state.positions[f] + '-' + state.positions[l];
      if ((label.length - 1) * digit + 4 * state.dpr > x2 - x1) return;
      const width = ctx.measureText(label).width;
      if (width + 4 * state.dpr <= x2 - x1) ctx.fillText(label, (x1 + x2 - width) / 2, lo.stripTop + 11 * state.dpr);
    });
  }

  // Tag SNPs: a mark above their column (one a pixel where they crowd).
  function drawTags() {
    if (state.tagList.length === 0) return;
    const lo = state.lo;
    const dpr = state.dpr;
    const [first, last] = shownRange();
    const tags = state.tagList;
    ctx.fillStyle = 'rgb(106, 61, 154)';
    ctx.beginPath();
    const size = Math.min(4, Math.max(2, state.view.s / 2 / dpr)) * dpr;
    let previous = -Infinity;
    for (let k = C.lowerBound(tags, first); k < tags.length && tags[k] <= last; k++) {
      const x = snpX(tags[k]);
      if (x - previous < size) continue;
      previous = x;
      ctx.moveTo(x - size, lo.tagTop + 1);
      ctx.lineTo(x + size, lo.tagTop + 1);
      ctx.lineTo(x, lo.tagTop + 8 * dpr);
      ctx.closePath();
    }
    ctx.fill();
  }

  function drawMarkColumn() {
    const i = state.mark;
    if (i < 0) return;
    const lo = state.lo;
    const [from, to] = axisRange();
    const x = snpX(i);
    if (x < lo.left - 1 || x > lo.left + lo.plotWidth + 1) return;
    ctx.strokeStyle = 'rgba(106, 61, 154, 0.9)';
    ctx.lineWidth = 2 * state.dpr;
    ctx.beginPath();
    ctx.moveTo(axisX(state.positions[i], from, to), lo.axisY + 1);
    ctx.lineTo(x, lo.stripTop);
    ctx.lineTo(x, lo.matrixTop);
    ctx.stroke();
  }

  // ---- what lies under the pointer ----------------------------------------------------------------

  function nameOf(i) {
    const id = state.ids ? state.ids[i] : '';
    return id ? id : String(state.positions[i]);
  }

  function snpText(i) {
    const id = state.ids ? state.ids[i] : '';
    return (id ? id + ' at ' : 'SNP at ') + C.withThousands(state.positions[i]);
  }

  function blockText(k) {
    const f = state.blocks[2 * k];
    const l = state.blocks[2 * k + 1];
    return 'block ' + C.withThousands(state.positions[f]) + '-' + C.withThousands(state.positions[l]) + ' (' + (l - f + 1) + ' SNPs)';
  }

  // What the canvas point (x, y) shows: {kind: 'pair', a, b}, {kind: 'snp', i} or null.
  function hitAt(x, y) {
    const lo = state.lo;
    if (!lo || !state.view || state.n === 0 || x < lo.left || x >= lo.left + lo.plotWidth) return null;
    const { x0, s, y0 } = state.view;
    if (y >= lo.matrixTop) {
      const [a, b] = C.cellAt(x - lo.left + x0 * s, y - lo.matrixTop + y0, s);
      if (a < 0 || b >= state.n || b <= a || b > state.ends[a]) return null;
      return { kind: 'pair', a, b };
    }
    if (y >= lo.axisY - 12 * state.dpr) {
      const i = Math.floor(x0 + (x - lo.left) / s);
      if (i >= 0 && i < state.n) return { kind: 'snp', i };
    }
    return null;
  }

  function tooltipText(hit) {
    if (hit.kind === 'snp') {
      const i = hit.i;
      const k = state.blockOf[i];
      return [
        snpText(i),
        'SNP ' + (i + 1) + ' of ' + C.withThousands(state.n),
        k >= 0 ? blockText(k) : 'in no block',
        state.isTag[i] ? 'tag SNP' : 'not a tag SNP',
      ].join('\n');
    }
    const { a, b } = hit;
    const lines = [snpText(a) + ' and', snpText(b)];
    const tile = state.pairTiles.get(state.tileOf[a]);
    if (!tile) {
      lines.push('(loading the bounds)');
      pairTile(state.tileOf[a]).catch(failed);
    } else {
      const pair = C.tilePair(tile, state.ends, a, b);
      if (pair.lower === C.NO_RECORD) {
        lines.push('no record: the block finder reads the pair as 0/0 (recombination)');
      } else {
        lines.push('lower ' + (pair.lower / 100).toFixed(2) + ', upper ' + (pair.upper / 100).toFixed(2) + ': ' + C.CLASS_NAMES[pair.pairClass]);
      }
    }
    const ka = state.blockOf[a];
    lines.push(ka >= 0 && ka === state.blockOf[b] ? 'both in ' + blockText(ka) : 'not in one block');
    if (C.levelFor(state.levels, state.n, state.view.s) >= 0)
      lines.push('each pixel here shows the class of most of its pairs');
    return lines.join('\n');
  }

  function updateTooltip() {
    const hover = state.hover;
    const hit = hover ? hitAt(hover.x, hover.y) : null;
    const before = state.hoverHit;
    state.hoverHit = hit;
    if (!hit) {
      tooltip.hidden = true;
    } else {
      tooltip.textContent = tooltipText(hit);
      tooltip.hidden = false;
      const box = tooltip.getBoundingClientRect();
      let left = hover.clientX + 14;
      let top = hover.clientY + 14;
      if (left + box.width > window.innerWidth - 4) left = hover.clientX - box.width - 14;
      if (top + box.height > window.innerHeight - 4) top = hover.clientY - box.height - 14;
      tooltip.style.left = Math.max(4, left) + 'px';
      tooltip.style.top = Math.max(4, top) + 'px';
    }
    const changed = (before && before.kind) !== (hit && hit.kind) || (hit && before && (hit.a !== before.a || hit.b !== before.b));
    if (changed) requestDraw();
  }

  // ---- interaction --------------------------------------------------------------------------------

  function canvasPoint(event) {
    const box = canvas.getBoundingClientRect();
    return [(event.clientX - box.left) * state.dpr, (event.clientY - box.top) * state.dpr];
  }

  function zoomBy(factor, x, y) {
    const lo = state.lo;
    const px = x === undefined ? lo.plotWidth / 2 : x - lo.left;
    const py = y === undefined ? 0 : y - lo.matrixTop;
    setView(C.zoomAt(state.view, factor, px, py, lo));
  }

  function panBy(dx, dy) {
    const v = state.view;
    setView({ x0: v.x0 - dx / v.s, s: v.s, y0: v.y0 - dy });
  }

  const pointers = new Map();
  let pinch = null;

  canvas.addEventListener('pointerdown', (event) => {
    if (!state.view || (event.pointerType === 'mouse' && event.button !== 0)) return;
    canvas.setPointerCapture(event.pointerId);
    pointers.set(event.pointerId, canvasPoint(event));
    canvas.classList.add('dragging');
    canvas.focus({ preventScroll: true });
    if (pointers.size === 2) {
      const [p, q] = [...pointers.values()];
      pinch = { distance: Math.hypot(p[0] - q[0], p[1] - q[1]) };
    }
  });

  canvas.addEventListener('pointermove', (event) => {
    const [x, y] = canvasPoint(event);
    if (pointers.has(event.pointerId)) {
      const [px, py] = pointers.get(event.pointerId);
      pointers.set(event.pointerId, [x, y]);
      if (pointers.size === 1) {
        panBy(x - px, y - py);
      } else if (pointers.size === 2 && pinch) {
        const [p, q] = [...pointers.values()];
        const distance = Math.hypot(p[0] - q[0], p[1] - q[1]);
        if (pinch.distance > 0) zoomBy(distance / pinch.distance, (p[0] + q[0]) / 2, (p[1] + q[1]) / 2);
        pinch.distance = distance;
      }
      tooltip.hidden = true;
      return;
    }
    state.hover = { x, y, clientX: event.clientX, clientY: event.clientY };
    updateTooltip();
  });

  function endPointer(event) {
    pointers.delete(event.pointerId);
    if (pointers.size < 2) pinch = null;
    if (pointers.size === 0) canvas.classList.remove('dragging');
  }
  canvas.addEventListener('pointerup', endPointer);
  canvas.addEventListener('pointercancel', endPointer);
  canvas.addEventListener('pointerleave', () => {
    state.hover = null;
    updateTooltip();
  });

  canvas.addEventListener(
    'wheel',
    (event) => {
      if (!state.view) return;
      event.preventDefault();
      const [x, y] = canvasPoint(event);
      const unit = event.deltaMode === 1 ? 16 : event.deltaMode === 2 ? 400 : 1;
      if (event.shiftKey && !event.ctrlKey) {
        panBy(-(event.deltaY + event.deltaX) * unit * state.dpr, 0);
        return;
      }
      // A pinch on a touchpad arrives as a wheel with the control key; its steps are smaller.
      const rate = event.ctrlKey ? 0.01 : 0.002;
      zoomBy(Math.exp(-event.deltaY * unit * rate), x, y);
    },
    { passive: false }
  );

  canvas.addEventListener('dblclick', (event) => {
    const [x, y] = canvasPoint(event);
    zoomBy(event.shiftKey ? 0.5 : 2, x, y);
  });

  document.addEventListener('keydown', (event) => {
    if (!state.view || event.target === el('query') || event.ctrlKey || event.metaKey || event.altKey) return;
    const lo = state.lo;
    const step = lo.plotWidth / 4;
    const handled = {
      '+': () => zoomBy(2),
      '=': () => zoomBy(2),
      '-': () => zoomBy(0.5),
      _: () => zoomBy(0.5),
      ArrowLeft: () => panBy(step, 0),
      ArrowRight: () => panBy(-step, 0),
      ArrowUp: () => panBy(0, lo.mapHeight / 4),
      ArrowDown: () => panBy(0, -lo.mapHeight / 4),
      Home: () => setView(C.wholeView(lo)),
      '0': () => setView(C.wholeView(lo)),
      '/': () => el('query').focus(),
    }[event.key];
    if (!handled) return;
    event.preventDefault();
    handled();
  });

  el('zoomin').addEventListener('click', () => zoomBy(2));
  el('zoomout').addEventListener('click', () => zoomBy(0.5));
  el('whole').addEventListener('click', () => setView(C.wholeView(state.lo)));
  el('png').addEventListener('click', () => savePng().catch(failed));
  el('search').addEventListener('submit', (event) => {
    event.preventDefault();
    search(el('query').value).catch(failed);
  });
  window.addEventListener('resize', () => {
    if (!state.meta) return;
    resize();
    requestDraw();
  });

  // ---- search -------------------------------------------------------------------------------------

  // Centres and marks the SNP (or shows the range) the text names; returns what was found.
  async function search(text) {
    showMessage('');
    const query = C.parseQuery(text);
    if (!query || state.n === 0) return null;
    if (query.kind === 'range') {
      const view = C.viewOfRange(state.positions, query.from, query.to, state.lo);
      if (!view) {
        showMessage('no SNP lies in ' + C.withThousands(query.from) + '-' + C.withThousands(query.to));
        return null;
      }
      state.mark = -1;
      setView(view);
      return { range: [query.from, query.to] };
    }
    let i = -1;
    if (query.kind === 'position') {
      const p = state.positions;
      const k = C.lowerBound(p, query.position);
      if (k < state.n && p[k] === query.position) {
        i = k;
      } else {
        // The nearest SNP, said as such.
        const below = k - 1;
        i = k >= state.n || (below >= 0 && query.position - p[below] <= p[k] - query.position) ? below : k;
        showMessage('no SNP at ' + C.withThousands(query.position) + '; the nearest is ' + snpText(i));
      }
    } else {
      if (!state.meta.ids) {
        showMessage('this view has no IDs (ldview -i): search by position');
        return null;
      }
      if (!state.idIndex) await loadIds();
      let found = state.idIndex.get(query.id);
      if (!found) {
        const lower = query.id.toLowerCase();
        for (const [id, list] of state.idIndex) {
          if (id.toLowerCase() === lower) {
            found = list;
            break;
          }
        }
      }
      if (!found) {
        showMessage('no SNP has the ID ' + query.id);
        return null;
      }
      i = found[0];
      if (found.length > 1) showMessage(query.id + ' names ' + found.length + ' SNPs; showing the first');
    }
    state.mark = i;
    setView(C.viewOfSnp(i, state.view, state.lo, SEARCH_SCALE * state.dpr));
    return { snp: i };
  }

  // ---- the picture as a PNG -----------------------------------------------------------------------

  function titleOfView() {
    const [first, last] = shownRange();
    return (
      'LD map of ' + state.meta.chromosome + ':' + C.withThousands(state.positions[first]) + '-' +
      C.withThousands(state.positions[Math.max(first, last)]) + ' (' + C.withThousands(last - first + 1) + ' SNPs shown)'
    );
  }

  // The canvas as it is, under a line with the range and the colours.
  function pngBlob() {
    draw();
    const dpr = state.dpr;
    const head = Math.round(26 * dpr);
    const out = document.createElement('canvas');
    out.width = canvas.width;
    out.height = canvas.height + head;
    const c = out.getContext('2d');
    c.fillStyle = '#fff';
    c.fillRect(0, 0, out.width, out.height);
    c.drawImage(canvas, 0, head);
    c.fillStyle = '#1a1a1a';
    c.font = font(13, true);
    c.fillText(titleOfView(), state.lo.left, Math.round(18 * dpr));
    let x = state.lo.left + c.measureText(titleOfView()).width + 24 * dpr;
    c.font = font(11);
    for (const k of [CLASS.strong, CLASS.recombination, CLASS.uninformative, CLASS.noRecord]) {
      const [r, g, b] = C.CLASS_RGB[k];
      c.fillStyle = 'rgb(' + r + ',' + g + ',' + b + ')';
      c.fillRect(x, Math.round(8 * dpr), Math.round(11 * dpr), Math.round(11 * dpr));
      c.fillStyle = '#1a1a1a';
      c.fillText(C.CLASS_NAMES[k], x + 15 * dpr, Math.round(18 * dpr));
      x += c.measureText(C.CLASS_NAMES[k]).width + 30 * dpr;
    }
    return new Promise((resolve, reject) =>
      out.toBlob((blob) => (blob ? resolve(blob) : reject(new Error('the browser could not make the PNG'))), 'image/png')
    );
  }

  async function savePng() {
    const blob = await pngBlob();
    const [first, last] = shownRange();
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = 'ld-' + state.meta.chromosome + '-' + state.positions[first] + '-' + state.positions[Math.max(first, last)] + '.png';
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
  }

  // ---- text around the map ------------------------------------------------------------------------

  function showMessage(text) {
    el('message').textContent = text;
  }

  function showTitle() {
    const m = state.meta;
    const blocks = m.blocks.length / 2;
    const text =
      'Chromosome ' + m.chromosome + ': ' + C.withThousands(m.snps) + ' SNPs, ' + C.withThousands(m.pairs) + ' pairs, ' +
      C.withThousands(blocks) + ' blocks';
    el('title').textContent = text;
    document.title = 'LD view of chromosome ' + m.chromosome;
  }

  function showLegend() {
    const m = state.meta;
    const legend = el('legend');
    legend.textContent = '';
    const entries = [
      [CLASS.strong, 'strong LD', m.classCounts[0]],
      [CLASS.recombination, 'recombination', m.classCounts[1]],
      [CLASS.uninformative, 'uninformative', m.classCounts[2]],
      [CLASS.noRecord, 'no record', m.classCounts[3]],
    ];
    for (const [k, label, count] of entries) {
      const item = document.createElement('span');
      const swatch = document.createElement('span');
      swatch.className = 'swatch';
      const [r, g, b] = C.CLASS_RGB[k];
      swatch.style.background = 'rgb(' + r + ',' + g + ',' + b + ')';
      item.appendChild(swatch);
      item.appendChild(document.createTextNode(label + ' ' + C.withThousands(count)));
      legend.appendChild(item);
    }
    const tag = document.createElement('span');
    tag.textContent = '\u25BC tag SNP';
    tag.style.color = 'rgb(106, 61, 154)';
    legend.appendChild(tag);
  }

  function showStatus() {
    if (state.n === 0) {
      el('status').textContent = 'no SNPs';
      return;
    }
    const [first, last] = shownRange();
    const s = state.view.s / state.dpr;
    const scale = s >= 1 ? s.toFixed(s >= 10 ? 0 : 1) + ' px a SNP' : (1 / s).toFixed(1) + ' SNPs a px';
    el('status').textContent =
      state.meta.chromosome + ':' + C.withThousands(state.positions[first]) + '-' + C.withThousands(state.positions[Math.max(first, last)]) +
      ' \u00B7 ' + C.withThousands(last - first + 1) + ' SNPs \u00B7 ' + scale + (state.complete ? '' : ' \u00B7 loading');
  }

  // ---- for tests and measurements -----------------------------------------------------------------

  window.ldview = {
    ready,
    // Resolves once the view has drawn a frame with all the data it needs and nothing is loading.
    idle() {
      return new Promise((resolve) => {
        idleWaiters.push(resolve);
        requestDraw();
      });
    },
    view: () => Object.assign({}, state.view),
    setView(view) {
      setView(Object.assign({}, state.view, view));
      writeFragment();
    },
    layout: () => Object.assign({}, state.lo),
    draw,
    search,
    pngBlob,
    hitAt,
    tooltipText: () => (tooltip.hidden ? '' : tooltip.textContent),
    centreSnp() {
      return Math.floor(state.view.x0 + state.lo.plotWidth / state.view.s / 2);
    },
    snps: () => state.n,
    position: (i) => state.positions[i],
    idOf: (i) => nameOf(i),
    levels: () => state.levels.map((L) => ({ width: L.width, rows: L.rows })),
    levelFor: (s) => C.levelFor(state.levels, state.n, s),
    firstPicture: () => state.firstPicture,
    loading: () => ({ pending: pending(), complete: state.complete }),
    mark: () => state.mark,
  };
})();
