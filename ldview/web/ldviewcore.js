// ldviewcore.js: the arithmetic of the LD view, free of the page, so that node can test it.
//
// Coordinates: SNPs are numbered 0..n-1 in position order and spread evenly, SNP i over [i, i+1)
// of the SNP axis. A view shows the SNP axis from x0 at s pixels a SNP; the pair of SNPs a < b is
// the diamond cell centred at ((a + b + 1) s / 2, (b - a) s / 2) below the SNPs, so a point (u, v)
// of the map (pixels from the map's top-left corner, u along the whole chromosome) lies in the cell
// a = floor((u - v) / s), b = floor((u + v) / s).
(function (root) {
  'use strict';

  // Pixel classes, numbered as the view's data files number them.
  const CLASS = Object.freeze({ blank: 0, strong: 1, recombination: 2, uninformative: 3, noRecord: 4 });
  const CLASS_NAMES = ['blank', 'strong LD', 'recombination', 'uninformative', 'no record'];
  // The code of a bound of a pair without a record.
  const NO_RECORD = 255;

  // The colours of ldplot: red, blue, light grey, amber; white for blank.
  const CLASS_RGB = [
    [255, 255, 255],
    [214, 39, 40],
    [31, 119, 180],
    [199, 199, 199],
    [240, 180, 0],
  ];

  // strong: upper > 0.98 and lower > 0.7; recombination: upper < 0.9; otherwise uninformative.
  // Bounds in hundredths; NO_RECORD for a pair without a record.
  function classOf(lower, upper) {
    if (lower === NO_RECORD) return CLASS.noRecord;
    if (upper > 98 && lower > 70) return CLASS.strong;
    if (upper < 90) return CLASS.recombination;
    return CLASS.uninformative;
  }

  // The colours as 32-bit pixels of an ImageData on a little-endian machine (ABGR).
  function palette(littleEndian) {
    const out = new Uint32Array(CLASS_RGB.length);
    CLASS_RGB.forEach(([r, g, b], k) => {
      out[k] = littleEndian ? ((255 << 24) | (b << 16) | (g << 8) | r) >>> 0 : ((r << 24) | (g << 16) | (b << 8) | 255) >>> 0;
    });
    return out;
  }

  // The last SNP b with positions[b] - positions[a] < window, for every a.
  function pairEnds(positions, window) {
    const n = positions.length;
    const ends = new Int32Array(n);
    let end = 0;
    for (let a = 0; a < n; a++) {
      if (end < a) end = a;
      while (end + 1 < n && positions[end + 1] - positions[a] < window) end++;
      ends[a] = end;
    }
    return ends;
  }

  // Where each first SNP's pairs begin in a pair tile of the SNPs [from, to).
  function tileRowStarts(ends, from, to) {
    const starts = new Int32Array(to - from + 1);
    for (let a = from; a < to; a++) starts[a - from + 1] = starts[a - from] + (ends[a] - a);
    return starts;
  }

  // A pair tile from its bytes (lower and upper bound of every pair in turn): the bounds and the
  // class of every pair.
  function decodePairTile(bytes, ends, from, to) {
    const rowStart = tileRowStarts(ends, from, to);
    const pairs = rowStart[to - from];
    if (bytes.length !== 2 * pairs) throw new Error('a pair tile holds ' + bytes.length + ' bytes, not ' + 2 * pairs);
    const classes = new Uint8Array(pairs);
    for (let k = 0; k < pairs; k++) classes[k] = classOf(bytes[2 * k], bytes[2 * k + 1]);
    return { from, to, rowStart, bounds: bytes, classes };
  }

  // The lower and upper bound (hundredths, NO_RECORD without a record) and class of the pair a < b
  // of a tile, or null when b lies beyond a's last partner.
  function tilePair(tile, ends, a, b) {
    if (a < tile.from || a >= tile.to || b <= a || b > ends[a]) return null;
    const k = tile.rowStart[a - tile.from] + (b - a - 1);
    return { lower: tile.bounds[2 * k], upper: tile.bounds[2 * k + 1], pairClass: tile.classes[k] };
  }

  // Rows of the map folded to width pixels: enough for the deepest pair.
  function foldedRows(width, n, depth) {
    if (n === 0 || depth === 0) return 0;
    return Math.floor(((depth + 1) * width + 2 * n - 1) / (2 * n));
  }

  // The pixel of a map folded to width pixels that holds the centre of the cell of a < b.
  function foldedPixel(a, b, width, n) {
    return [Math.floor(((a + b + 1) * width) / (2 * n)), Math.floor(((b - a) * width) / (2 * n))];
  }

  // The class most of the counts (strong, recombination, uninformative, no record) have; on a tie
  // the first of them; blank without any.
  function majority(counts) {
    let best = CLASS.blank;
    let most = 0;
    for (let c = 0; c < 4; c++) {
      if (counts[c] > most) {
        most = counts[c];
        best = c + 1;
      }
    }
    return best;
  }

  // The cell (a, b) at point (u, v) of the map at s pixels a SNP.
  function cellAt(u, v, s) {
    return [Math.floor((u - v) / s), Math.floor((u + v) / s)];
  }

  // The cell under the centre of pixel (x, y) of a view's map (x, y from its top-left corner), in
  // the arithmetic the drawing uses (see renderPairs).
  function cellOfPixel(x, y, view) {
    const base = view.x0 * view.s;
    return [Math.floor((x - y + (base - view.y0)) / view.s), Math.floor((x + y + (base + view.y0 + 1)) / view.s)];
  }

  // The overview level to draw at s pixels a SNP: the coarsest one at least as fine as the view
  // (width >= n s), or -1 when the view is finer than every level (pairs are drawn one by one).
  function levelFor(levels, n, s) {
    const needed = n * s * (1 - 1e-9);
    for (let k = 0; k < levels.length; k++) if (levels[k].width >= needed) return k;
    return -1;
  }

  // ---- drawing the map --------------------------------------------------------------------------
  // out: the map's pixels (w x h, row by row, 32-bit colours); view: {x0, s, y0}; palette: the
  // colour of each class.

  // A level of the overview ({width, rows, data}, data row by row), each view pixel showing the
  // level pixel under its centre; columns for which loaded(column) is false are left alone.
  // scratch.column is reused between calls.
  function renderLevel(out, w, h, view, n, level, loaded, palette, scratch) {
    const { x0, s, y0 } = view;
    const r = level.width / (n * s);
    const base = x0 * s;
    if (scratch.column.length !== w) scratch.column = new Int32Array(w);
    const column = scratch.column;
    for (let x = 0; x < w; x++) {
      const c = Math.floor((x + 0.5 + base) * r);
      column[x] = c >= 0 && c < level.width && loaded(c) ? c : -1;
    }
    const data = level.data;
    for (let y = 0; y < h; y++) {
      const row = Math.floor((y + 0.5 + y0) * r);
      if (row >= level.rows) break;
      const line = y * w;
      const at = row * level.width;
      for (let x = 0; x < w; x++) {
        const c = column[x];
        if (c < 0) continue;
        const k = data[at + c];
        if (k !== 0) out[line + x] = palette[k];
      }
    }
  }

  // The pairs whose first SNP lies in [from, to): every pixel shows the pair whose cell holds its
  // centre. classes[start[a - from] + b] is the class of (a, b), 255 where it is not known yet (the
  // pixel is left alone). Cells of 12 pixels and more keep a white pixel where a row enters them,
  // which outlines every cell.
  //
  // The pixel (x, y) lies at u - v = (x - y) + (x0 s - y0) and u + v = (x + y) + (x0 s + y0 + 1)
  // of the map, so a depends on x - y alone and b on x + y alone: both are looked up in tables made
  // once a frame (scratch.a, scratch.b, reused between calls).
  function renderPairs(out, w, h, view, n, depth, ends, from, to, classes, start, palette, scratch) {
    const { x0, s, y0 } = view;
    const base = x0 * s;
    const rows = Math.min(h, Math.max(0, Math.ceil(((depth + 1) * s) / 2 - y0)));
    if (scratch.a.length < w + h) {
      scratch.a = new Int32Array(w + h);
      scratch.b = new Int32Array(w + h);
    }
    const aOf = scratch.a; // at x - y + h
    const bOf = scratch.b; // at x + y
    for (let k = 0; k < w + h; k++) {
      aOf[k] = Math.floor((k - h + (base - y0)) / s);
      bOf[k] = Math.floor((k + (base + y0 + 1)) / s);
    }
    const gap = s >= 12;
    for (let y = 0; y < rows; y++) {
      const line = y * w;
      const shift = h - y;
      // Only pixels with from <= a < to and b < n: a grows with x, b too.
      let x = 0;
      while (x < w && aOf[x + shift] < from) x++;
      // The cell of the pixel before: its colour goes on while the cell does.
      let lastA = -1;
      let lastB = -1;
      let colour = 0;
      let known = false;
      for (; x < w; x++) {
        const a = aOf[x + shift];
        const b = bOf[x + y];
        if (a === lastA && b === lastB) {
          if (known) out[line + x] = colour;
          continue;
        }
        if (a >= to || b >= n) break;
        // A row's first pixel may go on a cell begun left of it.
        const entered = lastA >= 0 || Math.floor((x - 1 - y + (base - y0)) / s) !== a || Math.floor((x - 1 + y + (base + y0 + 1)) / s) !== b;
        lastA = a;
        lastB = b;
        known = false;
        if (b > a && b <= ends[a]) {
          const c = classes[start[a - from] + b];
          if (c !== 255) {
            known = true;
            colour = palette[c];
            if (!gap || !entered) out[line + x] = colour;
          }
        }
      }
    }
  }

  // ---- views --------------------------------------------------------------------------------------

  // A view: x0, the SNP axis at the map's left edge; s, pixels a SNP; y0, pixels of the map scrolled
  // out at the top. Limits: lo.plotWidth (pixels across the map), lo.mapHeight (pixels of map shown),
  // n, depth, maxScale.
  function minScale(lo) {
    return lo.n > 0 ? lo.plotWidth / lo.n : 1;
  }

  function maxScaleOf(lo) {
    return Math.max(lo.maxScale, minScale(lo));
  }

  // Total height of the map at scale s: the deepest cell's bottom corner.
  function mapHeightAt(lo, s) {
    return ((lo.depth + 1) * s) / 2;
  }

  function clampView(view, lo) {
    const s = Math.min(maxScaleOf(lo), Math.max(minScale(lo), view.s));
    const shown = lo.plotWidth / s;
    const x0 = shown >= lo.n ? (lo.n - shown) / 2 : Math.min(lo.n - shown, Math.max(0, view.x0));
    const y0 = Math.min(Math.max(0, mapHeightAt(lo, s) - lo.mapHeight), Math.max(0, view.y0));
    return { x0, s, y0 };
  }

  function wholeView(lo) {
    return clampView({ x0: 0, s: minScale(lo), y0: 0 }, lo);
  }

  // Zooms by factor keeping the point (px, py) of the map (pixels from its top-left corner) in place.
  function zoomAt(view, factor, px, py, lo) {
    const s = Math.min(maxScaleOf(lo), Math.max(minScale(lo), view.s * factor));
    const f = view.x0 + px / view.s;
    const v = (view.y0 + Math.max(0, py)) * (s / view.s);
    return clampView({ x0: f - px / s, s, y0: v - Math.max(0, py) }, lo);
  }

  // The first and last SNP whose column centre the view shows.
  function shownSnps(view, lo) {
    const first = Math.max(0, Math.ceil(view.x0 - 0.5));
    const last = Math.min(lo.n - 1, Math.floor(view.x0 + lo.plotWidth / view.s - 0.5));
    return [first, last];
  }

  // The view that shows the SNPs from the first at or after position from to the last at or before
  // position to; null when there is none.
  function viewOfRange(positions, from, to, lo) {
    const first = lowerBound(positions, from);
    const last = upperBound(positions, to) - 1;
    if (first > last) return null;
    // Too few SNPs to fill the width at the deepest zoom: the range sits in the middle.
    const s = Math.min(maxScaleOf(lo), lo.plotWidth / (last + 1 - first));
    return clampView({ x0: (first + last + 1) / 2 - lo.plotWidth / s / 2, s, y0: 0 }, lo);
  }

  // The view centred on SNP i at scale s (kept when already at least minimum).
  function viewOfSnp(i, view, lo, minimum) {
    const s = Math.max(view.s, minimum);
    return clampView({ x0: i + 0.5 - lo.plotWidth / s / 2, s, y0: 0 }, lo);
  }

  function lowerBound(sorted, value) {
    let lo = 0;
    let hi = sorted.length;
    while (lo < hi) {
      const mid = (lo + hi) >>> 1;
      if (sorted[mid] < value) lo = mid + 1;
      else hi = mid;
    }
    return lo;
  }

  function upperBound(sorted, value) {
    let lo = 0;
    let hi = sorted.length;
    while (lo < hi) {
      const mid = (lo + hi) >>> 1;
      if (sorted[mid] <= value) lo = mid + 1;
      else hi = mid;
    }
    return lo;
  }

  // The position at f on the SNP axis: SNP i's position at its centre i + 0.5, linear in between,
  // the first and last position beyond the centres of the first and last SNP.
  function positionAt(positions, f) {
    const n = positions.length;
    if (n === 0) return 0;
    const g = f - 0.5;
    if (g <= 0) return positions[0];
    if (g >= n - 1) return positions[n - 1];
    const i = Math.floor(g);
    return positions[i] + (positions[i + 1] - positions[i]) * (g - i);
  }

  // ---- the address of a view ----------------------------------------------------------------------

  // A name that holds a ':' is braced ("#{HLA:1}:FROM-TO"), so that the range stays the part after
  // the name.
  function formatFragment(chromosome, from, to) {
    const name = chromosome.includes(':') ? '{' + chromosome + '}' : chromosome;
    return '#' + name + ':' + from + '-' + to;
  }

  // "#CHROM:FROM-TO" or "#{CHROM}:FROM-TO" (commas allowed in the numbers) as {chromosome, from, to};
  // null otherwise.
  function parseFragment(hash) {
    let text;
    try {
      text = decodeURIComponent(hash || '');
    } catch (e) {
      return null;
    }
    const m = /^#?(?:\{([^{}#\s]+)\}|([^:{}#\s]+)):([\d,]+)-([\d,]+)$/.exec(text);
    if (!m) return null;
    const from = Number(m[3].replace(/,/g, ''));
    const to = Number(m[4].replace(/,/g, ''));
    if (!Number.isSafeInteger(from) || !Number.isSafeInteger(to) || from > to) return null;
    return { chromosome: m[1] !== undefined ? m[1] : m[2], from, to };
  }

  // What the search box asks for: {kind: 'range', from, to}, {kind: 'position', position} or
  // {kind: 'id', id}; null for an empty text. A chromosome name in front ("20:") is dropped.
  function parseQuery(text) {
    const t = String(text).trim();
    if (t === '') return null;
    const bare = t.replace(/^[^:\s]+:(?=[\d,\s-]+$)/, '');
    let m = /^([\d,]+)\s*-\s*([\d,]+)$/.exec(bare);
    if (m) {
      const from = Number(m[1].replace(/,/g, ''));
      const to = Number(m[2].replace(/,/g, ''));
      return { kind: 'range', from: Math.min(from, to), to: Math.max(from, to) };
    }
    m = /^[\d,]+$/.exec(bare);
    if (m) return { kind: 'position', position: Number(bare.replace(/,/g, '')) };
    return { kind: 'id', id: t };
  }

  // ---- the axis -----------------------------------------------------------------------------------

  // The smallest of 1, 2 or 5 times a power of ten that is at least x (x > 0).
  function niceCeiling(x) {
    const power = Math.pow(10, Math.floor(Math.log10(x)));
    for (const factor of [1, 2, 5, 10]) if (factor * power >= x * (1 - 1e-12)) return factor * power;
    return 10 * power;
  }

  // Tick positions from `from` to `to`, at most `most` of them, on a step of 1, 2 or 5 times a power of
  // ten (at least 1).
  function axisTicks(from, to, most) {
    if (!(to > from)) return [from];
    const step = Math.max(1, niceCeiling((to - from) / Math.max(1, most)));
    const ticks = [];
    for (let t = Math.ceil(from / step) * step; t <= to; t += step) ticks.push(t);
    return ticks;
  }

  // 1234567 as "1,234,567".
  function withThousands(value) {
    return String(Math.round(value)).replace(/\B(?=(\d{3})+(?!\d))/g, ',');
  }

  // The genetic position (cM) at position p, linear between map points; NaN outside the map.
  function geneticAt(map, p) {
    const pos = map.positions;
    const n = pos.length;
    if (n === 0 || p < pos[0] || p > pos[n - 1]) return NaN;
    const k = upperBound(pos, p) - 1;
    if (k >= n - 1) return map.cm[n - 1];
    return map.cm[k] + ((map.cm[k + 1] - map.cm[k]) * (p - pos[k])) / (pos[k + 1] - pos[k]);
  }

  // The recombination rate (cM/Mb) of each of `columns` equal parts of the positions from..to; NaN
  // where a part reaches beyond the map.
  function recombinationRates(map, from, to, columns) {
    const rates = new Float64Array(columns);
    let previous = geneticAt(map, from);
    for (let c = 0; c < columns; c++) {
      const p1 = from + ((to - from) * c) / columns;
      const p2 = from + ((to - from) * (c + 1)) / columns;
      const next = geneticAt(map, p2);
      rates[c] = p2 > p1 ? (next - previous) / ((p2 - p1) / 1e6) : NaN;
      previous = next;
    }
    return rates;
  }

  const api = {
    CLASS, CLASS_NAMES, CLASS_RGB, NO_RECORD, classOf, palette, pairEnds, tileRowStarts, decodePairTile, tilePair,
    foldedRows, foldedPixel, majority, cellAt, cellOfPixel, levelFor, renderLevel, renderPairs, minScale, mapHeightAt, clampView, wholeView, zoomAt,
    shownSnps, viewOfRange, viewOfSnp, lowerBound, upperBound, positionAt, formatFragment, parseFragment, parseQuery,
    niceCeiling, axisTicks, withThousands, geneticAt, recombinationRates,
  };
  if (typeof module !== 'undefined' && module.exports) module.exports = api;
  else root.LdviewCore = api;
})(this);
