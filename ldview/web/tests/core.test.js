// The page's arithmetic (ldviewcore.js) under node's test runner: classes and colours, the pairs of
// a tile, the folding rule of the overview, the cell under a pixel, the drawing loops, and the
// view's movements and address.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const C = require('../ldviewcore.js');

// A small reproducible random source.
function random(seed) {
  let x = seed >>> 0 || 1;
  return () => {
    x ^= x << 13;
    x >>>= 0;
    x ^= x >>> 17;
    x ^= x << 5;
    x >>>= 0;
    return x / 4294967296;
  };
}

function randomPositions(n, rnd, gap) {
  const positions = new Int32Array(n);
  let p = 1000;
  for (let i = 0; i < n; i++) {
    positions[i] = p;
    p += 1 + Math.floor(rnd() * gap);
  }
  return positions;
}

test('classes follow the block finder and colours follow ldplot', () => {
  for (let lower = 0; lower <= 100; lower++) {
    for (let upper = lower; upper <= 100; upper++) {
      const expected = upper / 100 > 0.98 && lower / 100 > 0.7 ? C.CLASS.strong : upper / 100 < 0.9 ? C.CLASS.recombination : C.CLASS.uninformative;
      assert.equal(C.classOf(lower, upper), expected, `${lower} ${upper}`);
    }
  }
  assert.equal(C.classOf(C.NO_RECORD, C.NO_RECORD), C.CLASS.noRecord);
  // ldplot's colours, rounded to bytes as its PNG writer rounds them.
  const ldplot = [[1, 1, 1], [0.839, 0.153, 0.157], [0.122, 0.467, 0.706], [0.78, 0.78, 0.78], [0.941, 0.706, 0]];
  assert.deepEqual(C.CLASS_RGB, ldplot.map((c) => c.map((v) => Math.round(v * 255))));
  const pixel = new Uint8Array(C.palette(true).buffer);
  assert.deepEqual([...pixel.subarray(4, 8)], [214, 39, 40, 255]);
});

test('pair ends and the pairs of a tile', () => {
  const rnd = random(3);
  const positions = randomPositions(300, rnd, 30);
  const ends = C.pairEnds(positions, 500);
  for (let a = 0; a < positions.length; a++) {
    let e = a;
    while (e + 1 < positions.length && positions[e + 1] - positions[a] < 500) e++;
    assert.equal(ends[a], e);
  }
  const from = 40;
  const to = 90;
  const starts = C.tileRowStarts(ends, from, to);
  const bytes = new Uint8Array(2 * starts[to - from]);
  const expected = new Map();
  let k = 0;
  for (let a = from; a < to; a++) {
    for (let b = a + 1; b <= ends[a]; b++, k++) {
      const missing = rnd() < 0.1;
      const upper = Math.floor(rnd() * 101);
      const lower = Math.floor(rnd() * (upper + 1));
      bytes[2 * k] = missing ? 255 : lower;
      bytes[2 * k + 1] = missing ? 255 : upper;
      expected.set(a + ',' + b, missing ? [255, 255] : [lower, upper]);
    }
  }
  const tile = C.decodePairTile(bytes, ends, from, to);
  for (const [key, [lower, upper]] of expected) {
    const [a, b] = key.split(',').map(Number);
    assert.deepEqual(C.tilePair(tile, ends, a, b), { lower, upper, pairClass: C.classOf(lower, upper) });
  }
  assert.equal(C.tilePair(tile, ends, from, ends[from] + 1), null);
  assert.equal(C.tilePair(tile, ends, to, to + 1), null);
  assert.throws(() => C.decodePairTile(bytes.subarray(2), ends, from, to), /holds/);
});

test('the folding rule of ldplot, and levels that nest', () => {
  const n = 1000;
  const depth = 137;
  for (const width of [360, 720, 999]) {
    // Rows as ldplot's layout counts them, in whole numbers.
    assert.equal(C.foldedRows(width, n, depth), Number((BigInt(depth + 1) * BigInt(width) + BigInt(2 * n - 1)) / BigInt(2 * n)));
    for (let a = 0; a < n; a += 7) {
      for (let b = a + 1; b < Math.min(n, a + depth + 1); b += 5) {
        const [column, row] = C.foldedPixel(a, b, width, n);
        assert.equal(column, Number((BigInt(a + b + 1) * BigInt(width)) / BigInt(2 * n)));
        assert.equal(row, Number((BigInt(b - a) * BigInt(width)) / BigInt(2 * n)));
        assert.ok(row < C.foldedRows(width, n, depth));
        if (width === 360) {
          const [c2, r2] = C.foldedPixel(a, b, 2 * width, n);
          assert.deepEqual([c2 >> 1, r2 >> 1], [column, row]);
        }
      }
    }
  }
  assert.equal(C.majority([0, 0, 0, 0]), C.CLASS.blank);
  assert.equal(C.majority([2, 2, 2, 2]), C.CLASS.strong);
  assert.equal(C.majority([1, 3, 3, 2]), C.CLASS.recombination);
  assert.equal(C.majority([0, 0, 1, 1]), C.CLASS.uninformative);
  assert.equal(C.majority([0, 0, 0, 1]), C.CLASS.noRecord);
});

test('the cell under a point is the diamond around it', () => {
  const rnd = random(9);
  for (let k = 0; k < 2000; k++) {
    const s = 0.5 + rnd() * 20;
    const a = Math.floor(rnd() * 500);
    const b = a + 1 + Math.floor(rnd() * 50);
    // A point inside the diamond centred at ((a + b + 1) s / 2, (b - a) s / 2).
    const du = (rnd() - 0.5) * 0.98 * s;
    const dv = (rnd() - 0.5) * (0.98 * s - 2 * Math.abs(du));
    assert.deepEqual(C.cellAt(((a + b + 1) * s) / 2 + du, ((b - a) * s) / 2 + dv, s), [a, b]);
  }
});

// The map drawn pixel by pixel from the rule, without the loop's tables; cells of 12 pixels and
// more without the pixel where a row enters them.
function drawnByRule(w, h, view, n, ends, classOfPair) {
  const out = new Int32Array(w * h);
  for (let y = 0; y < h; y++) {
    for (let x = 0; x < w; x++) {
      const [a, b] = C.cellOfPixel(x, y, view);
      const [a0, b0] = C.cellOfPixel(x - 1, y, view);
      if (view.s >= 12 && (a !== a0 || b !== b0)) continue;
      if (a >= 0 && b < n && b > a && b <= ends[a]) out[y * w + x] = classOfPair(a, b);
    }
  }
  return out;
}

test('pairs are drawn as the pixel rule says, pixel by pixel and run by run', () => {
  const rnd = random(5);
  const n = 400;
  const positions = randomPositions(n, rnd, 60);
  const ends = C.pairEnds(positions, 1000);
  const depth = Math.max(...ends.map((e, a) => e - a));
  const classOfPair = (a, b) => 1 + ((a * 7 + b * 3) % 4);
  const identity = Int32Array.from([0, 1, 2, 3, 4]);
  for (const view of [
    { x0: 0, s: 1.6180339, y0: 0 },
    { x0: 37.3, s: 2.71, y0: 5.5 },
    { x0: 121.9, s: 7.77, y0: 40 },
    { x0: 200.2, s: 11.99, y0: 13 },
    { x0: 250.5, s: 20.5, y0: 100 },
  ]) {
    const w = 300;
    const h = 200;
    const from = 0;
    const to = n;
    const starts = C.tileRowStarts(ends, from, to);
    const classes = new Uint8Array(starts[n]);
    const start = new Int32Array(n);
    for (let a = 0; a < n; a++) {
      start[a] = starts[a] - a - 1;
      for (let b = a + 1; b <= ends[a]; b++) classes[start[a] + b] = classOfPair(a, b);
    }
    const out = new Int32Array(w * h);
    C.renderPairs(out, w, h, view, n, depth, ends, from, to, classes, start, identity, { a: new Int32Array(0), b: new Int32Array(0) });
    assert.deepEqual(out, drawnByRule(w, h, view, n, ends, classOfPair), JSON.stringify(view));
    // At the map's own origin the arithmetic is ldplot's: the pixel centre (x + 0.5, y + 0.5).
    if (view.x0 === 0 && view.y0 === 0) {
      for (let y = 0; y < h; y += 7) {
        for (let x = 0; x < w; x += 3) assert.deepEqual(C.cellOfPixel(x, y, view), C.cellAt(x + 0.5, y + 0.5, view.s));
      }
    }
  }
});

test('a level drawn at its own width is the level itself', () => {
  const rnd = random(8);
  const n = 5000;
  const level = { width: 1560, rows: 30, data: new Uint8Array(1560 * 30) };
  for (let k = 0; k < level.data.length; k++) level.data[k] = Math.floor(rnd() * 5);
  const identity = Int32Array.from([0, 1, 2, 3, 4]);
  const out = new Int32Array(1560 * 40);
  C.renderLevel(out, 1560, 40, { x0: 0, s: 1560 / n, y0: 0 }, n, level, () => true, identity, { column: new Int32Array(0) });
  assert.deepEqual(out.subarray(0, 1560 * 30), Int32Array.from(level.data));
  assert.ok(out.subarray(1560 * 30).every((v) => v === 0));
  // Columns whose tile is not loaded are left alone.
  out.fill(9);
  C.renderLevel(out, 1560, 40, { x0: 0, s: 1560 / n, y0: 0 }, n, level, (c) => c < 100, identity, { column: new Int32Array(0) });
  assert.equal(out[100], 9);
  assert.equal(out[99], level.data[99] === 0 ? 9 : level.data[99]);
  assert.equal(C.levelFor([{ width: 1560 }, { width: 3120 }], n, 1560 / n), 0);
  assert.equal(C.levelFor([{ width: 1560 }, { width: 3120 }], n, 1.5 * (1560 / n)), 1);
  assert.equal(C.levelFor([{ width: 1560 }, { width: 3120 }], n, 1), -1);
});

test('views stay inside the map, zoom about the pointer and round-trip through the address', () => {
  const rnd = random(2);
  const positions = randomPositions(2000, rnd, 500);
  const lo = { plotWidth: 1560, mapHeight: 700, n: positions.length, depth: 300, maxScale: 64 };
  const whole = C.wholeView(lo);
  assert.deepEqual(whole, { x0: 0, s: 1560 / 2000, y0: 0 });
  assert.deepEqual(C.shownSnps(whole, lo), [0, 1999]);
  assert.deepEqual(C.clampView({ x0: -50, s: 0.1, y0: -3 }, lo), whole);
  const deep = C.clampView({ x0: 1e9, s: 1000, y0: 1e9 }, lo);
  assert.equal(deep.s, 64);
  assert.equal(deep.x0, 2000 - 1560 / 64);
  assert.equal(deep.y0, C.mapHeightAt(lo, 64) - 700);

  const view = { x0: 500, s: 4, y0: 100 };
  const zoomed = C.zoomAt(view, 2, 780, 50, lo);
  assert.equal(zoomed.s, 8);
  assert.ok(Math.abs(zoomed.x0 + 780 / 8 - (500 + 780 / 4)) < 1e-9, 'the SNP axis under the pointer stays');
  assert.ok(Math.abs((zoomed.y0 + 50) / 8 - (100 + 50) / 4) < 1e-9, 'the depth under the pointer stays');

  for (let k = 0; k < 200; k++) {
    const i = Math.floor(rnd() * 1990);
    const j = i + Math.floor(rnd() * (1999 - i));
    const v = C.viewOfRange(positions, positions[i] - (i > 0 ? 1 : 0), positions[j], lo);
    const [first, last] = C.shownSnps(v, lo);
    if (j - i + 1 >= 1560 / 64) assert.deepEqual([first, last], [i, j]);
    const fragment = C.formatFragment('20', positions[first], positions[last]);
    const back = C.parseFragment(fragment);
    assert.deepEqual(C.shownSnps(C.viewOfRange(positions, back.from, back.to, lo), lo), [first, last]);
  }
  assert.equal(C.viewOfRange(positions, 1, 2, lo), null);
  assert.deepEqual(C.parseFragment('#chr20:1,000-2,000'), { chromosome: 'chr20', from: 1000, to: 2000 });
  assert.equal(C.parseFragment('#20:2000-1000'), null);
  assert.equal(C.parseFragment('#20'), null);
  // A name with a ':' travels braced, both ways.
  assert.equal(C.formatFragment('HLA:1', 5, 9), '#{HLA:1}:5-9');
  assert.deepEqual(C.parseFragment(C.formatFragment('HLA:1', 5, 9)), { chromosome: 'HLA:1', from: 5, to: 9 });
  assert.equal(C.parseFragment('#HLA:1:5-9'), null);
  assert.equal(C.parseFragment('#%E0%A4%A'), null);
  const centred = C.viewOfSnp(1000, whole, lo, 8);
  assert.equal(Math.floor(centred.x0 + 1560 / centred.s / 2), 1000);
});

test('the search box', () => {
  assert.deepEqual(C.parseQuery(' rs123 '), { kind: 'id', id: 'rs123' });
  assert.deepEqual(C.parseQuery('1,234,567'), { kind: 'position', position: 1234567 });
  assert.deepEqual(C.parseQuery('20:1000-900'), { kind: 'range', from: 900, to: 1000 });
  assert.deepEqual(C.parseQuery('1000 - 2000'), { kind: 'range', from: 1000, to: 2000 });
  assert.deepEqual(C.parseQuery('20:1:A:G'), { kind: 'id', id: '20:1:A:G' });
  assert.equal(C.parseQuery('  '), null);
});

test('the axis, positions between SNPs and the recombination rate', () => {
  assert.deepEqual(C.axisTicks(1001135, 1399985, 14), [1050000, 1100000, 1150000, 1200000, 1250000, 1300000, 1350000]);
  assert.deepEqual(C.axisTicks(5, 5, 10), [5]);
  assert.equal(C.withThousands(60998603), '60,998,603');
  assert.equal(C.withThousands(12), '12');
  const positions = Int32Array.from([100, 200, 400]);
  assert.equal(C.positionAt(positions, 0), 100);
  assert.equal(C.positionAt(positions, 1), 150);
  assert.equal(C.positionAt(positions, 2.5), 400);
  assert.equal(C.positionAt(positions, 3), 400);
  // 2 cM over 1 Mb, then flat: 2 cM/Mb, then 0.
  const map = { positions: Int32Array.from([1000000, 2000000, 3000000]), cm: Float64Array.from([1, 3, 3]) };
  const rates = C.recombinationRates(map, 1000000, 3000000, 4);
  assert.deepEqual([...rates].map((r) => Math.round(r * 1e9) / 1e9), [2, 2, 0, 0]);
  assert.ok(Number.isNaN(C.recombinationRates(map, 0, 1000000, 2)[0]));
});
