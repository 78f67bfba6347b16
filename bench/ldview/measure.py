#!/usr/bin/python3
"""Times a view in headless Chromium at 1600x900: the first picture, and per power-of-two zoom from
the whole chromosome down to 8 pixels a SNP the slowest frame of 20 pans, timing only frames drawn
from data already loaded (each pan waits until its data are in, then draws once more, timed).

    measure.py VIEW_FOLDER [RUNS_OF_FIRST_PICTURE]
"""

import os
import random
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'ldview', 'tests'))
from browser_test import start_browser  # noqa: E402

WIDTH, HEIGHT = 1600, 900
PANS = 20


def first_picture(url):
    driver = start_browser(WIDTH, HEIGHT)
    try:
        driver.get(url)
        return driver.execute_async_script(
            'const done = arguments[arguments.length - 1]; ldview.ready.then(() => ldview.idle()).then(() => done(ldview.firstPicture()))')
    finally:
        driver.quit()
        shutil.rmtree(driver.profile, ignore_errors=True)


def main():
    folder = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    url = 'file://' + folder + '/index.html'
    firsts = [first_picture(url) for _ in range(runs)]
    print('first picture: %.2f s (slowest of %d fresh browsers: %s ms; target <= 2 s)' % (
        max(firsts) / 1000, runs, ', '.join('%.0f' % f for f in firsts)))

    driver = start_browser(WIDTH, HEIGHT)
    try:
        driver.get(url)
        driver.execute_async_script('const done = arguments[arguments.length - 1]; ldview.ready.then(() => done())')
        lo = driver.execute_script('return ldview.layout()')
        n = driver.execute_script('return ldview.snps()')
        whole = lo['plotWidth'] / n
        random.seed(1)
        print('frames at %dx%d, slowest of %d pans per zoom (data loaded; target <= 50 ms):' % (WIDTH, HEIGHT, PANS))
        worst_all = 0
        k = 0
        # Every power-of-two zoom from the whole chromosome until a pair is 8 pixels wide or more.
        while k == 0 or whole * 2 ** (k - 1) < 8 * (1 - 1e-9):
            s = whole * 2 ** k
            times = []
            for p in range(PANS):
                shown = lo['plotWidth'] / s
                depth_pixels = (lo['depth'] + 1) * s / 2 - lo['mapHeight']
                view = {'x0': random.uniform(0, max(0, n - shown)), 's': s,
                        'y0': random.uniform(0, max(0, depth_pixels)) if p % 2 else 0}
                times.append(driver.execute_async_script('''
                    const done = arguments[arguments.length - 1];
                    ldview.setView(arguments[0]);
                    ldview.idle().then(() => done(ldview.draw()));''', view))
            level = driver.execute_script('return ldview.levelFor(arguments[0])', s)
            drawn = 'overview level %d' % level if level >= 0 else 'single pairs'
            print('  zoom x%-4d %8.4f px a SNP  %-17s slowest %5.1f ms  (median %4.1f)' % (
                2 ** k, s, drawn, max(times), sorted(times)[PANS // 2]))
            worst_all = max(worst_all, max(times))
            k += 1
        print('slowest frame of all: %.1f ms' % worst_all)
    finally:
        driver.quit()
        shutil.rmtree(driver.profile, ignore_errors=True)


if __name__ == '__main__':
    main()
