#!/usr/bin/python3
"""The view of the bundled chr20 example in a real browser (headless Chromium through Selenium).

Builds the example's bounds (linkstat -D), blocks (ldtile), tag SNPs (haplotypes -t) and variant IDs,
writes its views with ldview, opens them from file:// and checks what a user sees: the overview's
pixel classes against ldplot's picture at the same width, the colours of known cells, the tooltips
against the records, search by ID and by position, the address of the view, the PNG, and that the
page logs no error and asks for nothing but file:, data: and blob: URLs.

    browser_test.py --bin BUILD_DIR --source SOURCE_DIR [--screenshots DIR]

Exits with 77 (skipped) when Chromium, its driver or Selenium is missing.
"""

import argparse
import base64
import gzip
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

SKIP = 77
CHROMIUM = shutil.which('chromium') or '/usr/bin/chromium'
CHROMEDRIVER = shutil.which('chromedriver') or '/usr/bin/chromedriver'

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
except ImportError:
    webdriver = None

ARGS = None

# ldplot's colours as its PNG holds them, by class: blank, strong, recombination, uninformative,
# no record.
COLOURS = {(255, 255, 255): 0, (214, 39, 40): 1, (31, 119, 180): 2, (199, 199, 199): 3, (240, 180, 0): 4}
CLASS_NAMES = ['blank', 'strong LD', 'recombination', 'uninformative', 'no record']


def class_of(lower, upper):
    if upper > 0.98 and lower > 0.7:
        return 1
    if upper < 0.9:
        return 2
    return 3


def read_png(path):
    """The RGB rows of an 8-bit RGB or RGBA PNG without interlacing (what cairo writes)."""
    with open(path, 'rb') as file:
        data = file.read()
    assert data[:8] == b'\x89PNG\r\n\x1a\n', path
    k = 8
    chunks = b''
    width = height = channels = 0
    while k < len(data):
        length, kind = struct.unpack('>I4s', data[k:k + 8])
        body = data[k + 8:k + 8 + length]
        if kind == b'IHDR':
            width, height, depth, colour, _, _, interlace = struct.unpack('>IIBBBBB', body)
            assert depth == 8 and interlace == 0 and colour in (2, 6), (depth, colour, interlace)
            channels = 3 if colour == 2 else 4
        elif kind == b'IDAT':
            chunks += body
        k += 12 + length
    raw = zlib.decompress(chunks)
    stride = width * channels
    rows = []
    previous = bytearray(stride)
    at = 0
    for _ in range(height):
        kind = raw[at]
        line = bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append([tuple(line[i:i + 3]) for i in range(0, stride, channels)])
        previous = line
    return rows


def run(*command, stdout=None):
    result = subprocess.run([str(c) for c in command], stdout=stdout or subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        raise RuntimeError(' '.join(map(str, command)) + ' failed: ' + result.stderr)
    return result.stdout


class Example:
    """The example's files, built once."""

    def __init__(self, scratch):
        b = ARGS.bin
        self.dir = scratch
        vcf = os.path.join(ARGS.source, 'examples', 'chr20', 'chr20.vcf.gz')
        prefix = os.path.join(scratch, 'chr20')
        run(os.path.join(b, 'vcf2markers', 'vcf2markers'), '-e', '3', '-o', prefix, vcf)
        self.bounds = os.path.join(scratch, 'bounds.txt')
        full = os.path.join(scratch, 'linkstat.txt')
        run(os.path.join(b, 'linkstat', 'linkstat'), '-D', '-I' + prefix + '.markers.txt', '-O' + full)
        # Three pairs lose their records, so that "no record" is drawn too.
        lines = open(full).read().splitlines(True)
        self.dropped = [lines[i] for i in (1000, 50000, 200000)]
        with open(self.bounds, 'w') as out:
            out.writelines(line for line in lines if line not in self.dropped)
        self.blocks = os.path.join(scratch, 'blocks.dat')
        run(os.path.join(b, 'ldtile', 'ldtile'), '-d', self.bounds, '-f', self.blocks, '-o', os.path.join(scratch, 'plot.dat'))
        block_lines = open(self.blocks).read().splitlines()
        sorted_blocks = os.path.join(scratch, 'blocks.sorted.dat')
        with open(sorted_blocks, 'w') as out:
            out.write(block_lines[0] + '\n')
            out.writelines(l + '\n' for l in sorted(block_lines[1:], key=lambda l: int(l.split()[0])))
        self.tags = os.path.join(scratch, 'tags.txt')
        run(os.path.join(b, 'Haplotypes', 'haplotypes'), '-s', prefix + '.snps.txt', '-b', sorted_blocks, '-t', self.tags)

        self.records = {}
        for line in open(self.bounds):
            w = line.split()
            self.records[(int(w[0]), int(w[1]))] = (w[2], w[3])
        self.snps = sorted({p for pair in self.records for p in pair})
        self.index = {p: i for i, p in enumerate(self.snps)}
        self.block_spans = [tuple(int(w) for w in l.split()[0::2]) for l in block_lines[1:]]
        header = open(self.tags).readline().rstrip('\n').split('\t')
        column = header.index('htSNPs')
        self.tag_positions = set()
        for line in open(self.tags).read().splitlines()[1:]:
            field = line.split('\t')[column]
            if field != '-':
                self.tag_positions.update(int(p) for p in field.split(','))

        # The IDs of the VCF, one of them '.', which the view names chrom:pos:ref:alt.
        self.ids_file = os.path.join(scratch, 'ids.txt')
        self.ids = {}
        wanted = set(self.snps)
        with gzip.open(vcf, 'rt') as vcf_text, open(self.ids_file, 'w') as out:
            for line in vcf_text:
                if line.startswith('#'):
                    continue
                chrom, pos, vid, ref, alt = line.split('\t', 5)[:5]
                pos = int(pos)
                if pos not in wanted or pos in self.ids:
                    continue
                if pos == self.snps[10]:
                    vid = '.'
                self.ids[pos] = vid if vid != '.' else '20:%d:%s:%s' % (pos, ref, alt)
                out.write('%d %s %s %s\n' % (pos, vid, ref, alt))
        # A genetic map of 1.5 cM/Mb, then 6 cM/Mb from 1,250,000 on.
        self.map = os.path.join(scratch, 'map.txt')
        with open(self.map, 'w') as out:
            out.write('pos chr cM\n')
            cm = 0.0
            for p in range(990000, 1420001, 10000):
                out.write('%d 20 %.6f\n' % (p, cm))
                cm += 0.01 * (1.5 if p < 1250000 else 6)

        ldview = os.path.join(b, 'ldview', 'ldview')
        self.view = os.path.join(scratch, 'view')
        run(ldview, '-d', self.bounds, '-b', self.blocks, '-t', self.tags, '-i', self.ids_file, '-m', self.map,
            '-c', '20', '-o', self.view)
        # Views without outlines, for comparing the map's pixels with ldplot's picture.
        self.plain = {}
        self.ldplot = {}
        for width in (600, 1600):
            self.plain[width] = os.path.join(scratch, 'plain%d' % width)
            run(ldview, '-d', self.bounds, '-w', str(width), '-c', '20', '-o', self.plain[width])
            self.ldplot[width] = os.path.join(scratch, 'ld%d.png' % width)
            run(os.path.join(b, 'ldplot', 'ldplot'), '-d', self.bounds, '-w', str(width), '-c', 'class', '-o', self.ldplot[width])

    def block_of(self, position):
        for first, last in self.block_spans:
            if first <= position <= last:
                return (first, last)
        return None


def start_browser(width, height):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    profile = tempfile.mkdtemp(prefix='ldview-chromium-')
    for flag in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
                 '--disable-component-update', '--disable-sync', '--no-first-run', '--user-data-dir=' + profile,
                 '--window-size=%d,%d' % (width, height)):
        options.add_argument(flag)
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL', 'performance': 'ALL'})
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                           {'width': width, 'height': height, 'deviceScaleFactor': 1, 'mobile': False})
    driver.set_script_timeout(60)
    driver.profile = profile
    # What the browser asked for on its own at start (its new-tab page) is not the view's.
    driver.get('about:blank')
    driver.get_log('performance')
    driver.get_log('browser')
    return driver


def requests_and_errors(driver):
    """The URLs the pages asked for and the errors they logged since the last call."""
    urls = []
    for entry in driver.get_log('performance'):
        message = json.loads(entry['message'])['message']
        if message['method'] == 'Network.requestWillBeSent':
            urls.append(message['params']['request']['url'])
    errors = [entry['message'] for entry in driver.get_log('browser') if entry['level'] == 'SEVERE']
    return urls, errors


def open_view(driver, folder, fragment=''):
    driver.get('about:blank')
    driver.get('file://' + folder + '/index.html' + fragment)
    driver.execute_async_script('const done = arguments[arguments.length - 1]; ldview.ready.then(() => ldview.idle()).then(() => done())')


def settle(driver):
    driver.execute_async_script('const done = arguments[arguments.length - 1]; ldview.idle().then(() => done())')


def canvas_pixels(driver, x, y, w, h):
    """RGB of the canvas rectangle, row by row."""
    encoded = driver.execute_script('''
        const [x, y, w, h] = arguments;
        const data = document.getElementById('map').getContext('2d').getImageData(x, y, w, h).data;
        let text = '';
        for (let k = 0; k < data.length; k += 0x8000) text += String.fromCharCode.apply(null, data.subarray(k, k + 0x8000));
        return btoa(text);''', x, y, w, h)
    raw = base64.b64decode(encoded)
    return [[tuple(raw[4 * (r * w + c):4 * (r * w + c) + 3]) for c in range(w)] for r in range(h)]


def classes_of(rows):
    out = []
    for row in rows:
        line = []
        for rgb in row:
            if rgb not in COLOURS:
                raise AssertionError('a map pixel of no class colour: %r' % (rgb,))
            line.append(COLOURS[rgb])
        out.append(line)
    return out


class BrowserView(unittest.TestCase):
    example = None
    driver = None

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix='ldview-browser-')
        cls.example = Example(cls.scratch)
        cls.driver = start_browser(1600, 900)

    @classmethod
    def tearDownClass(cls):
        if cls.driver:
            cls.driver.quit()
            shutil.rmtree(cls.driver.profile, ignore_errors=True)
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def tearDown(self):
        self.assertQuiet(self.driver)

    def assertQuiet(self, driver):
        """No error in the console, no request but for file:, data: and blob: URLs."""
        urls, errors = requests_and_errors(driver)
        self.assertEqual(errors, [])
        self.assertEqual([u for u in urls if not u.startswith(('file:', 'data:', 'blob:'))], [])
        return urls

    def shoot(self, name):
        if ARGS.screenshots:
            os.makedirs(ARGS.screenshots, exist_ok=True)
            self.driver.save_screenshot(os.path.join(ARGS.screenshots, name))

    def layout(self):
        return self.driver.execute_script('return ldview.layout()')

    def view(self):
        return self.driver.execute_script('return ldview.view()')

    def move_pointer(self, x, y):
        """Moves the pointer to canvas pixel (x, y) (CSS pixels: the device pixel ratio is 1)."""
        canvas = self.driver.find_element(By.ID, 'map')
        size = canvas.size
        ActionChains(self.driver).move_to_element_with_offset(canvas, int(x - size['width'] / 2), int(y - size['height'] / 2)).perform()

    def tooltip(self):
        return self.driver.execute_script("const t = document.getElementById('tooltip'); return t.hidden ? '' : t.textContent")

    def show_cell(self, a, b, s):
        """A view at s pixels a SNP with the cell of a < b inside; returns its centre on the canvas."""
        lo = self.layout()
        self.driver.execute_script('ldview.setView(arguments[0])', {
            'x0': (a + b + 1) / 2 - lo['plotWidth'] / s / 2, 's': s, 'y0': (b - a) * s / 2 - lo['mapHeight'] / 2})
        settle(self.driver)
        v = self.view()
        return (lo['left'] + ((a + b + 1) / 2 - v['x0']) * v['s'], lo['matrixTop'] + (b - a) * v['s'] / 2 - v['y0'])

    # ---- the tests -----------------------------------------------------------------------------

    def test_overview_equals_ldplot(self):
        """The map's pixel classes equal ldplot's at the same width: folded (600) and not (1600)."""
        for width in (600, 1600):
            driver = start_browser(width, 900)
            try:
                open_view(driver, self.example.plain[width])
                lo = driver.execute_script('return ldview.layout()')
                self.assertEqual(lo['plotWidth'], width - 40)
                png = read_png(self.example.ldplot[width])
                # ldplot: the map starts 20 pixels in, 118 down (title, axis, lines to the SNPs,
                # block strip); its rows end before the legend's blank line.
                top = 118
                rows = 0
                while any(rgb != (255, 255, 255) for rgb in png[top + rows][20:20 + lo['plotWidth']]):
                    rows += 1
                self.assertGreater(rows, 50)
                expected = classes_of([row[20:20 + lo['plotWidth']] for row in png[top:top + rows]])
                shown = classes_of(canvas_pixels(driver, lo['left'], lo['matrixTop'], lo['plotWidth'], min(lo['mapHeight'], rows + 8)))
                self.assertEqual(shown[:rows], expected, 'width %d' % width)
                self.assertTrue(all(c == 0 for row in shown[rows:] for c in row))
                folded = driver.execute_script('return ldview.levelFor(ldview.view().s)') >= 0
                self.assertEqual(folded, width == 600)
                self.assertQuiet(driver)
            finally:
                driver.quit()
                shutil.rmtree(driver.profile, ignore_errors=True)

    def test_cells_tooltips_and_snps(self):
        """Known cells have their class's colour at 2 and 16 pixels a SNP; the tooltip says the record."""
        ex = self.example
        open_view(self.driver, ex.view)
        self.shoot('overview.png')
        index = ex.index
        # Block outlines run through the centres of the cells of a block's first and last SNP:
        # those cells are not read.
        firsts = {first for first, _ in ex.block_spans}
        lasts = {last for _, last in ex.block_spans}
        wanted = {}
        for (p1, p2), (lower, upper) in sorted(ex.records.items()):
            c = class_of(float(lower), float(upper))
            if 4 <= index[p2] - index[p1] <= 30 and c not in wanted and index[p1] > 20 and p1 not in firsts and p2 not in lasts:
                wanted[c] = (p1, p2)
        for line in ex.dropped:
            p1, p2 = int(line.split()[0]), int(line.split()[1])
            if p2 - p1 < 200000 and p1 not in firsts and p2 not in lasts:
                wanted[4] = (p1, p2)
                break
        self.assertEqual(sorted(wanted), [1, 2, 3, 4])
        for pair_class, (p1, p2) in sorted(wanted.items()):
            a, b = index[p1], index[p2]
            for s in (3, 16):
                x, y = self.show_cell(a, b, s)
                rgb = canvas_pixels(self.driver, int(x), int(y), 1, 1)[0][0]
                self.assertEqual(COLOURS.get(rgb), pair_class, 'cell %d-%d at %d px a SNP' % (p1, p2, s))
            # The pointer on the cell: both SNPs, the bounds of the record, the class, the block.
            self.move_pointer(x, y)
            text = self.tooltip()
            if pair_class == 1:
                self.shoot('tooltip.png')
            lines = text.split('\n')
            self.assertEqual(lines[0], '%s at %s and' % (ex.ids[p1], format(p1, ',')), text)
            self.assertEqual(lines[1], '%s at %s' % (ex.ids[p2], format(p2, ',')), text)
            if pair_class == 4:
                self.assertTrue(lines[2].startswith('no record'), text)
            else:
                lower, upper = ex.records[(p1, p2)]
                m = re.fullmatch(r'lower (\S+), upper (\S+): (.+)', lines[2])
                self.assertIsNotNone(m, text)
                self.assertEqual((float(m.group(1)), float(m.group(2))), (float(lower), float(upper)))
                self.assertEqual(m.group(3), CLASS_NAMES[pair_class])
            block = ex.block_of(p1)
            same = block is not None and block == ex.block_of(p2)
            self.assertEqual(lines[3].startswith('both in block %s-%s' % (format(block[0], ','), format(block[1], ',')))
                             if same else lines[3] == 'not in one block', True, text)

        # A SNP under the pointer, above the map: its ID, position, block and whether it is a tag.
        lo = self.layout()
        for position in (sorted(ex.tag_positions)[5], ex.snps[10], ex.snps[400]):
            i = index[position]
            self.driver.execute_script('ldview.setView(arguments[0])', {'x0': i + 0.5 - lo['plotWidth'] / 32, 's': 16, 'y0': 0})
            settle(self.driver)
            v = self.view()
            self.move_pointer(lo['left'] + (i + 0.5 - v['x0']) * v['s'], lo['tagTop'])
            lines = self.tooltip().split('\n')
            self.assertEqual(lines[0], '%s at %s' % (ex.ids[position], format(position, ',')))
            block = ex.block_of(position)
            self.assertEqual(lines[2], 'in no block' if block is None else 'block %s-%s (%d SNPs)' % (
                format(block[0], ','), format(block[1], ','), index[block[1]] - index[block[0]] + 1))
            self.assertEqual(lines[3], 'tag SNP' if position in ex.tag_positions else 'not a tag SNP')
        self.assertTrue(ex.ids[ex.snps[10]].startswith('20:'))
        self.move_pointer(5, 5)

    def test_search_and_address(self):
        """Search by ID and by position centres and marks the SNP; the address round-trips."""
        ex = self.example
        open_view(self.driver, ex.view)
        box = self.driver.find_element(By.ID, 'query')
        for i, text in ((500, ex.ids[ex.snps[500]]), (123, str(ex.snps[123])), (700, format(ex.snps[700], ','))):
            box.clear()
            box.send_keys(text, Keys.ENTER)
            settle(self.driver)
            self.assertEqual(self.driver.execute_script('return ldview.mark()'), i, text)
            self.assertEqual(self.driver.execute_script('return ldview.centreSnp()'), i, text)
        self.shoot('search.png')
        box.clear()
        box.send_keys('rs-no-such-id', Keys.ENTER)
        settle(self.driver)
        self.assertEqual(self.driver.find_element(By.ID, 'message').text, 'no SNP has the ID rs-no-such-id')

        # The address a view gets, and the same view from that address.
        open_view(self.driver, ex.view, '#20:1100000-1150000')
        first = next(p for p in ex.snps if p >= 1100000)
        last = [p for p in ex.snps if p <= 1150000][-1]
        self.assertEqual(self.driver.execute_script('return location.hash'), '#20:%d-%d' % (first, last))
        view = self.view()
        self.driver.find_element(By.ID, 'map').send_keys(Keys.ARROW_RIGHT)
        self.driver.find_element(By.ID, 'map').send_keys('+')
        settle(self.driver)
        moved = self.view()
        self.assertAlmostEqual(moved['s'], 2 * view['s'])
        self.driver.execute_script('ldview.setView({})')  # writes the address at once
        fragment = self.driver.execute_script('return location.hash')
        open_view(self.driver, ex.view, fragment)
        self.assertEqual(self.driver.execute_script('return location.hash'), fragment)
        again = self.view()
        self.assertAlmostEqual(again['s'], moved['s'], delta=moved['s'] * 0.05)

        # Double-click zooms in at the pointer; the wheel zooms out.
        lo = self.layout()
        canvas = self.driver.find_element(By.ID, 'map')
        ActionChains(self.driver).move_to_element_with_offset(canvas, 0, 100).double_click().perform()
        settle(self.driver)
        self.assertAlmostEqual(self.view()['s'], min(64, 2 * again['s']))
        ActionChains(self.driver).scroll_from_origin(
            __import__('selenium.webdriver.common.actions.wheel_input', fromlist=['ScrollOrigin']).ScrollOrigin.from_element(canvas), 0, 300).perform()
        settle(self.driver)
        self.assertLess(self.view()['s'], min(64, 2 * again['s']))
        del lo

    def test_png_and_requests(self):
        """The PNG is a PNG; the data came as scripts from the view's folder (every test checks that
        nothing else was asked for, and that nothing was logged as an error)."""
        ex = self.example
        self.assertQuiet(self.driver)
        open_view(self.driver, ex.view, '#20:1200000-1260000')
        kind, head = self.driver.execute_async_script('''
            const done = arguments[arguments.length - 1];
            ldview.pngBlob().then((blob) => { const r = new FileReader(); r.onload = () => done([blob.type, r.result.slice(0, 40)]); r.readAsDataURL(blob); });''')
        self.assertEqual(kind, 'image/png')
        self.assertTrue(head.startswith('data:image/png;base64,iVBORw0KGgo'), head)
        self.driver.find_element(By.ID, 'png').click()
        self.shoot('zoomed.png')
        settle(self.driver)
        urls = self.assertQuiet(self.driver)
        self.assertTrue(any(u.startswith('file:') and u.endswith('/data/meta.js') for u in urls), urls[:5])
        self.assertTrue(any(u.startswith('file:') and '/data/p' in u for u in urls))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument('--bin', required=True, help='the build folder (its programs)')
    parser.add_argument('--source', required=True, help='the source folder (its example)')
    parser.add_argument('--screenshots', help='save screenshots of the view here')
    ARGS, rest = parser.parse_known_args()
    missing = [name for name, ok in (('selenium (python3-selenium)', webdriver is not None),
                                     ('chromium', os.path.exists(CHROMIUM)),
                                     ('chromedriver (chromium-driver)', os.path.exists(CHROMEDRIVER))) if not ok]
    if missing:
        print('skipped: the browser tests need ' + ', '.join(missing) + ' (scripts/deps.sh browser)')
        return SKIP
    program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == '__main__':
    sys.exit(main())
