#!/usr/bin/python3
"""Benchmark (not a test): time from a pointer event to the new frame painted in `corvelle serve`,
for the built-in 1920x1080 picture at 50 % zoom, over a scripted drag of 200 moves about 16 ms
apart (one per display frame, as a real mouse sends them). Prints p50, p95 and the frame count.

usage: bench/serve_latency.py build/release/corvelle [MOVES]"""
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'browser'))
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

from browser_support import Server, scratch, start_browser, wait_applied, wait_for  # noqa: E402


def main():
    corvelle = os.path.abspath(sys.argv[1])
    moves = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    work = scratch()
    server = Server(corvelle, [], work)
    driver = start_browser(work)
    try:
        driver.set_window_size(1400, 900)
        driver.get(server.url)
        wait_for(driver, 'window.corvelle && corvelle.ready')
        driver.execute_script('''const z = document.getElementById('zoom'); z.value = '0.5';
                                 z.dispatchEvent(new Event('change'));''')
        wait_applied(driver)
        view = driver.execute_script('return corvelle.state.view')
        assert view['zoom'] == 0.5 and view['downsample'] == 2, view
        canvas = driver.find_element(By.ID, 'controls')
        rect = driver.execute_script('return arguments[0].getBoundingClientRect().toJSON()', canvas)
        cx = int((rect['left'] + rect['right']) / 2)
        cy = int((rect['top'] + rect['bottom']) / 2)
        # The default shape's top-left corner, layer (810, 440), in window pixels.
        x = view['layerLeft'] + 810 * 0.5
        y = view['layerTop'] + 440 * 0.5
        start = (round(rect['left'] + x + 0.5 - cx), round(rect['top'] + y + 0.5 - cy))
        driver.execute_script('corvelle.latencies.length = 0; corvelle.paintTimes.length = 0; corvelle.framesDrawn = 0')
        chain = ActionChains(driver, duration=0).move_to_element_with_offset(canvas, *start).click_and_hold()
        for i in range(moves):
            dx = -1 if (i // 50) % 2 == 0 else 1
            chain.move_by_offset(dx, dx).pause(0.016)
        chain.release()
        began = time.time()
        chain.perform()
        wait_applied(driver)
        elapsed = time.time() - began
        latencies = driver.execute_script('return corvelle.latencies')
        frames = driver.execute_script('return corvelle.framesDrawn')
        paint = driver.execute_script('return corvelle.paintTimes.slice(-frames)')
        sent = driver.execute_script("return corvelle.sent.filter((m) => m.t === 'move').length")
        q = statistics.quantiles(latencies, n=100)
        print('pointer event -> frame painted, 1920x1080 at 50%% zoom (rendered 960x540), %d moves sent '
              'in %.1f s, %d frames painted' % (sent, elapsed, frames))
        print('p50 %.1f ms, p95 %.1f ms, max %.1f ms over %d events' % (q[49], q[94], max(latencies),
                                                                       len(latencies)))
        print('of which the page spends p50 %.1f ms from a frame message arriving to its picture drawn'
              % statistics.median(paint))
    finally:
        driver.quit()
        server.stop()


if __name__ == '__main__':
    main()
