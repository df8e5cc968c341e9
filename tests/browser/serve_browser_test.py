"""Real-browser tests of `corvelle serve`: headless Chromium through chromedriver, a real server, a real
module. Usage: serve_browser_test.py CORVELLE_COMMAND (picture|sequence|keys|video)."""
import http.client
import os
import shlex
import shutil
import socket
import subprocess
import sys
import time

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By

from browser_support import (Server, argb_to_rgba, parse_json, read_pixels, read_png, rgba_to_argb, run,
                             scratch, start_browser, wait_applied, wait_for, write_png)

W, H = 480, 270   # fits the viewport at 100 %, so every layer pixel is on screen


def test_picture():
    """A ramp with translucent rows, so the exact read-back covers straight alpha."""
    pixels = bytearray()
    for y in range(H):
        for x in range(W):
            alpha = 255 if y < H // 2 else (x * 255) // (W - 1)
            pixels += bytes(((x * 255) // (W - 1), (y * 255) // (H - 1), (x + y) % 256, alpha))
    return bytes(pixels)


def request(port, path, headers, method='GET', body=None):
    connection = http.client.HTTPConnection('127.0.0.1', port, timeout=10)
    connection.request(method, path, body=body, headers=headers)
    response = connection.getresponse()
    response.read()
    connection.close()
    return response


def check_access(server):
    """Token, cookie, Host, Origin and size checks, straight over HTTP."""
    own = '127.0.0.1:%d' % server.port
    first = request(server.port, '/?token=' + server.token, {'Host': own})
    assert first.status == 303, first.status
    cookie = first.getheader('Set-Cookie')
    assert 'HttpOnly' in cookie and 'SameSite=Strict' in cookie, cookie
    jar = cookie.split(';')[0]
    csp = first.getheader('Content-Security-Policy')
    assert "script-src 'self'" in csp and "default-src 'none'" in csp, csp
    ok = {'Host': own, 'Cookie': jar}
    assert request(server.port, '/', ok).status == 200
    assert request(server.port, '/app.js', ok).status == 200
    upgrade = {'Connection': 'Upgrade', 'Upgrade': 'websocket', 'Sec-WebSocket-Version': '13',
               'Sec-WebSocket-Key': 'dGhlIHNhbXBsZSBub25jZQ=='}
    refused = [
        ('/', {'Host': own}),                                               # no token
        ('/?token=' + '0' * 32, {'Host': own}),                             # a wrong token
        ('/app.js', {'Host': own}),
        ('/', {'Host': 'attacker.example:%d' % server.port, 'Cookie': jar}),   # DNS rebinding
        ('/', {'Host': '127.0.0.1:1', 'Cookie': jar}),
        ('/', dict(ok, Origin='http://attacker.example')),
        ('/ws', dict(upgrade, Host=own, Origin='http://' + own)),           # WebSocket without cookie
        ('/ws', dict(upgrade, Host=own, Cookie=jar, Origin='http://attacker.example')),
        ('/ws', dict(upgrade, Host=own, Cookie=jar)),                       # no Origin
    ]
    for path, headers in refused:
        status = request(server.port, path, headers).status
        assert status == 403, (path, headers, status)
    assert request(server.port, '/', ok, 'POST', b'x' * 100000).status in (405, 413)
    big = request(server.port, '/', dict(ok, Filler='y' * 20000)).status
    assert 400 <= big < 500, big
    raw = socket.create_connection(('127.0.0.1', server.port), timeout=10)
    raw.sendall(b'\x00\x01garbage\r\n\r\n')
    assert raw.recv(100).startswith(b'HTTP/1.1 400'), 'malformed request not answered 400'
    raw.close()


def params_of(driver):
    return driver.execute_script('return corvelle.state.params')


def check_panel(driver):
    rows = driver.find_elements(By.CSS_SELECTOR, '#params .param')
    names = [r.find_element(By.CSS_SELECTOR, '.name').text for r in rows]
    assert names == ['Corvelle Type', 'Point of origin', 'Width', 'Height', 'Angle', 'Feather', 'Fill with',
                     'Color', 'Opacity', 'Blending mode', 'Invert', 'Mask Only', 'Alpha falloff'], names
    width = driver.find_element(By.CSS_SELECTOR, '[data-key=width] input[type=number]')
    assert (width.get_attribute('min'), width.get_attribute('max')) == ('0', '15000')
    slider = driver.find_element(By.CSS_SELECTOR, '[data-key=opacity] input[type=range]')
    assert (slider.get_attribute('min'), slider.get_attribute('max')) == ('0', '100')
    blend = driver.find_elements(By.CSS_SELECTOR, '[data-key=blend] option')
    assert len(blend) == 23 and blend[0].text == 'Normal', len(blend)
    falloff = [o.text for o in driver.find_elements(By.CSS_SELECTOR, '[data-key=falloff] option')]
    assert falloff[3] == 'Gamma 2.2', falloff

    # Mask Only: the module greys out and renames two controls.
    before = {p['key']: (p['name'], p['enabled']) for p in params_of(driver)}
    driver.find_element(By.ID, 'param-mask_only').click()
    wait_applied(driver)
    after = {p['key']: (p['name'], p['enabled']) for p in params_of(driver)}
    changed = [k for k in before if before[k] != after[k]]
    assert len(changed) == 2, (before, after)
    for key in changed:
        assert after[key][1] is False and after[key][0] != before[key][0], (key, before[key], after[key])
        row = driver.find_element(By.CSS_SELECTOR, '[data-key=%s]' % key)
        assert 'disabled' in row.get_attribute('class')
        assert row.find_element(By.CSS_SELECTOR, '.name').text == after[key][0]
    driver.find_element(By.ID, 'undo').click()
    wait_applied(driver)
    assert {p['key']: (p['name'], p['enabled']) for p in params_of(driver)} == before


def mouse_drag(driver, canvas, points):
    """Presses at points[0], moves through the rest and releases at the last, one server round trip
    per step so no move is collapsed; the window points the page sent."""
    rect = driver.execute_script('return arguments[0].getBoundingClientRect().toJSON()', canvas)
    cx = int((rect['left'] + rect['right']) / 2)
    cy = int((rect['top'] + rect['bottom']) / 2)

    def offset(p):
        return round(rect['left'] + p[0] + 0.5 - cx), round(rect['top'] + p[1] + 0.5 - cy)

    first = driver.execute_script('return corvelle.sent.length')
    ActionChains(driver, duration=0).move_to_element_with_offset(canvas, *offset(points[0])).perform()
    ActionChains(driver, duration=0).click_and_hold().perform()
    wait_applied(driver)
    for p in points[1:]:
        ActionChains(driver, duration=0).move_to_element_with_offset(canvas, *offset(p)).perform()
        wait_applied(driver)
    ActionChains(driver, duration=0).release().perform()
    wait_applied(driver)
    sent = driver.execute_script('return corvelle.sent.slice(arguments[0])', first)
    return [m for m in sent if m['t'] in ('press', 'move', 'release')]


def check_drags(driver, server, corvelle, work):
    canvas = driver.find_element(By.ID, 'controls')
    defaults = driver.execute_script('return corvelle.state.snapshot')
    # At 100 % with the layer at the window's corner: centre (240, 135), 300x200, knob 54 above.
    drags = {
        'corner': [(90, 35), (80, 30), (70, 24), (61, 20)],
        'rotation knob': [(240, 81), (262, 86), (281, 96), (290, 104)],
        'feather': [(290, 135), (300, 136), (312, 137)],
    }
    for what, points in drags.items():
        sent = mouse_drag(driver, canvas, points)
        kinds = [m['t'] for m in sent]
        assert kinds[0] == 'press' and kinds[-1] == 'release', (what, kinds)
        args = [corvelle, 'drag', '--input', 'in.png', '--press', '%d,%d' % (sent[0]['x'], sent[0]['y'])]
        for m in sent[1:-1]:
            if m['t'] == 'move':
                args += ['--move', '%d,%d' % (m['x'], m['y'])]
        args += ['--release', '%d,%d' % (sent[-1]['x'], sent[-1]['y'])]
        expected = parse_json(run(args, work))
        assert expected['grabbed'] != 0, (what, sent)
        got = driver.execute_script('return corvelle.state.snapshot')
        assert got == expected['params'], (what, got, expected['params'])
        assert got != defaults, what
        # Undo restores the values before the drag.
        driver.find_element(By.ID, 'undo').click()
        wait_applied(driver)
        assert driver.execute_script('return corvelle.state.snapshot') == defaults, what
    driver.find_element(By.ID, 'redo').click()
    wait_applied(driver)
    assert driver.execute_script('return corvelle.state.snapshot') != defaults
    driver.find_element(By.ID, 'undo').click()
    wait_applied(driver)


def check_hover_cursor(driver):
    canvas = driver.find_element(By.ID, 'controls')
    rect = driver.execute_script('return arguments[0].getBoundingClientRect().toJSON()', canvas)
    cx = int((rect['left'] + rect['right']) / 2)
    cy = int((rect['top'] + rect['bottom']) / 2)
    ActionChains(driver, duration=0).move_to_element_with_offset(
        canvas, round(rect['left'] + 90.5 - cx), round(rect['top'] + 35.5 - cy)).perform()
    wait_for(driver, "document.getElementById('controls').style.cursor === 'nwse-resize'")


def check_exact_frame(driver, corvelle, work):
    """The frame layer at 100 % with the controls hidden equals `corvelle render`, byte for byte."""
    checkbox = driver.find_element(By.ID, 'showControls')
    checkbox.click()
    assert driver.execute_script('return corvelle.state.view.zoom') == 1
    run([corvelle, 'render', '--raw', '%dx%d' % (W, H), 'in.raw', 'ref.raw'], work)
    with open(work + '/ref.raw', 'rb') as f:
        expected = argb_to_rgba(f.read())
    got = read_pixels(driver, 0, 0, W, H)
    assert len(got) == len(expected)
    if got != expected:
        bad = next(i for i in range(len(got)) if got[i] != expected[i]) // 4
        raise AssertionError('pixel (%d, %d) differs: %r vs %r' % (bad % W, bad // W, got[bad * 4:bad * 4 + 4],
                                                                     expected[bad * 4:bad * 4 + 4]))
    checkbox.click()


def check_bad_messages(driver):
    """Malformed WebSocket messages get a 400 answer; the session lives on."""
    replies = driver.execute_async_script('''
        const done = arguments[arguments.length - 1];
        const ws = new WebSocket(`ws://${location.host}/ws`);
        const got = [];
        ws.onmessage = (e) => { if (typeof e.data === 'string') { const m = JSON.parse(e.data);
            if (m.t === 'error') got.push(m.status); if (got.length === 4) { ws.close(); done(got); } } };
        ws.onopen = () => { for (const m of ['not json', '{"t":"set","key":"width","value":"wide"}',
            '{"t":"press","x":1e300,"y":0}', '{"t":"zap"}']) ws.send(m); };
        setTimeout(() => done(got), 8000);''')
    assert replies == [400, 400, 400, 400], replies
    closed = driver.execute_async_script('''
        const done = arguments[arguments.length - 1];
        const ws = new WebSocket(`ws://${location.host}/ws`);
        ws.onopen = () => ws.send('x'.repeat(100000));
        ws.onclose = () => done(true);
        setTimeout(() => done(false), 8000);''')
    assert closed, 'an oversized message did not close the socket'


def case_picture(corvelle):
    work = scratch()
    try:
        pixels = test_picture()
        write_png(work + '/in.png', W, H, pixels)
        with open(work + '/in.raw', 'wb') as f:
            f.write(rgba_to_argb(pixels))
        server = Server(corvelle, ['in.png'], work)
        try:
            check_access(server)
            driver = start_browser(work)
            try:
                driver.get('http://127.0.0.1:%d/' % server.port)   # no token: refused
                assert 'corvelle' not in driver.execute_script('return typeof window.corvelle')
                driver.get(server.url)
                wait_for(driver, 'window.corvelle && corvelle.ready')
                assert driver.execute_script('return location.search') == '', 'the token stayed in the address'
                check_panel(driver)
                check_hover_cursor(driver)
                check_drags(driver, server, corvelle, work)
                check_exact_frame(driver, corvelle, work)
                check_bad_messages(driver)
                assert driver.execute_script('return corvelle.ready')
            finally:
                driver.quit()
        finally:
            status = server.stop()
        assert status == 0, 'Ctrl+C ended serve with status %r' % status
    finally:
        shutil.rmtree(work, ignore_errors=True)


def case_sequence(corvelle):
    """A frame change on a sequence shows that frame."""
    work = scratch()
    w, h = 64, 48
    try:
        for n, colour in [(1, (200, 30, 30)), (2, (30, 200, 30)), (3, (30, 30, 200))]:
            pixels = bytes(colour + (255,)) * (w * h)
            write_png(work + '/seq.%04d.png' % n, w, h, pixels)
            with open(work + '/f%d.raw' % n, 'wb') as f:
                f.write(rgba_to_argb(pixels))
        server = Server(corvelle, ['seq.%04d.png', '--frames', '1-3', '--width', '30', '--feather', '5',
                                   '--opacity', '80'], work)
        try:
            driver = start_browser(work)
            try:
                driver.get(server.url)
                wait_for(driver, 'window.corvelle && corvelle.ready')
                slider = driver.find_element(By.ID, 'frameSlider')
                assert slider.is_displayed()
                for index in (2, 1):
                    driver.execute_script(
                        'arguments[0].value = arguments[1]; arguments[0].dispatchEvent(new Event("input"))',
                        slider, index)
                    wait_applied(driver)
                    assert driver.execute_script('return corvelle.state.frames.index') == index
                    run([corvelle, 'render', '--raw', '%dx%d' % (w, h), '--width', '30', '--feather', '5',
                         '--opacity', '80', 'f%d.raw' % (index + 1), 'ref.raw'], work)
                    with open(work + '/ref.raw', 'rb') as f:
                        expected = argb_to_rgba(f.read())
                    driver.find_element(By.ID, 'showControls').click()
                    got = read_pixels(driver, 0, 0, w, h)
                    driver.find_element(By.ID, 'showControls').click()
                    assert got == expected, 'frame %d is not shown' % (index + 1)
            finally:
                driver.quit()
        finally:
            status = server.stop()
        assert status == 0, status
    finally:
        shutil.rmtree(work, ignore_errors=True)


def same_pixels(got, expected, width, what):
    assert len(got) == len(expected), (what, len(got), len(expected))
    if got != expected:
        bad = next(i for i in range(len(got)) if got[i] != expected[i]) // 4
        raise AssertionError('%s: pixel (%d, %d) differs: %r vs %r' % (
            what, bad % width, bad // width, got[bad * 4:bad * 4 + 4], expected[bad * 4:bad * 4 + 4]))


def state(driver, path):
    return driver.execute_script('return corvelle.state.' + path)


def shown_frame(driver, width, height):
    """The frame layer at 100 % with the controls hidden."""
    checkbox = driver.find_element(By.ID, 'showControls')
    checkbox.click()
    try:
        assert state(driver, 'view.zoom') == 1
        return read_pixels(driver, 0, 0, width, height)
    finally:
        checkbox.click()


def case_keys(corvelle):
    """Stopwatch, a value at frame 0, a corner dragged at frame 6 with the real mouse, Save, the saved
    file through `corvelle render --keys` equal to the page's pixels, and undo."""
    work = scratch()
    try:
        write_png(work + '/in.png', W, H, test_picture())
        server = Server(corvelle, ['in.png', '--duration', '10', '--keys', 'keys.json', '--output', 'out.png'],
                        work)
        try:
            driver = start_browser(work)
            try:
                driver.get(server.url)
                wait_for(driver, 'window.corvelle && corvelle.ready')
                assert driver.find_element(By.ID, 'frameSlider').is_displayed()
                assert state(driver, 'frames.count') == 10
                driver.find_element(By.CSS_SELECTOR, '[data-key=width] .stopwatch').click()
                wait_applied(driver)
                assert state(driver, 'keys.frames') == {'width': [0]}, state(driver, 'keys.frames')
                number = driver.find_element(By.CSS_SELECTOR, '[data-key=width] input[type=number]')
                driver.execute_script('arguments[0].value = "260"; arguments[0].dispatchEvent(new Event("change"))',
                                      number)
                wait_applied(driver)
                assert state(driver, 'snapshot.width') == 260
                assert state(driver, 'keys.frames') == {'width': [0]}

                slider = driver.find_element(By.ID, 'frameSlider')
                driver.execute_script(
                    'arguments[0].value = 6; arguments[0].dispatchEvent(new Event("input"))', slider)
                wait_applied(driver)
                assert state(driver, 'frames.index') == 6
                # Centre (240, 135), 260x200: the top-left corner is at (110, 35).
                sent = mouse_drag(driver, driver.find_element(By.ID, 'controls'),
                                  [(110, 35), (100, 30), (90, 26), (84, 22)])
                assert [m['t'] for m in sent][0] == 'press', sent
                assert state(driver, 'keys.frames') == {'width': [0, 6]}, state(driver, 'keys.frames')
                dragged = state(driver, 'snapshot.width')
                assert dragged > 260, dragged
                marks = driver.find_elements(By.CSS_SELECTOR, '#keyMarks .mark')
                assert [m.get_attribute('data-frame') for m in marks] == ['0', '6']

                assert state(driver, 'keys.unsaved') is True
                driver.find_element(By.ID, 'saveKeys').click()
                wait_for(driver, 'corvelle.saved === 1')
                wait_applied(driver)
                assert state(driver, 'keys.unsaved') is False
                saved = parse_json(open(work + '/keys.json').read())
                assert [k['frame'] for k in saved['keys']['width']] == [0, 6], saved

                # The copied command, run as given (with this build's program), renders the frame.
                command = state(driver, 'command')
                words = shlex.split(command)
                assert words[:2] == ['corvelle', 'render'] and '--keys' in words and '--frame' in words, command
                words[0] = corvelle
                words[words.index('out.png')] = 'ref.png'
                run(words, work)
                width, height, expected = read_png(work + '/ref.png')
                assert (width, height) == (W, H)
                same_pixels(shown_frame(driver, W, H), expected, W, 'frame 6 against the saved keys')

                driver.find_element(By.ID, 'undo').click()
                wait_applied(driver)
                assert state(driver, 'keys.frames') == {'width': [0]}, state(driver, 'keys.frames')
                assert state(driver, 'keys.unsaved') is True
                assert state(driver, 'snapshot.width') == 260
                driver.save_screenshot(work + '/keys.png')
                if os.environ.get('CORVELLE_KEEP_SCREENSHOT'):
                    shutil.copy(work + '/keys.png', os.environ['CORVELLE_KEEP_SCREENSHOT'])
            finally:
                driver.quit()
        finally:
            status = server.stop()
        assert status == 0, status
    finally:
        shutil.rmtree(work, ignore_errors=True)


def case_video(corvelle):
    """A lossless clip: frame 7 at 100 % equals `corvelle render` of frame 7 as ffmpeg decodes it."""
    if shutil.which('ffmpeg') is None:
        print('ffmpeg not found: skipped')
        return
    work = scratch()
    w, h, index = 160, 120, 7
    try:
        run(['ffmpeg', '-v', 'error', '-f', 'lavfi', '-i', 'testsrc2=size=%dx%d:rate=25' % (w, h), '-frames:v', '12',
             '-c:v', 'ffv1', 'clip.mkv'], work)
        server = Server(corvelle, ['clip.mkv', '--output', 'out.%04d.png', '--width', '60', '--feather', '9'], work)
        try:
            driver = start_browser(work)
            try:
                driver.get(server.url)
                wait_for(driver, 'window.corvelle && corvelle.ready')
                assert state(driver, 'frames.count') == 12
                assert state(driver, 'keys.fps') == 25
                slider = driver.find_element(By.ID, 'frameSlider')
                driver.execute_script(
                    'arguments[0].value = arguments[1]; arguments[0].dispatchEvent(new Event("input"))', slider, index)
                wait_applied(driver)
                assert state(driver, 'frames.index') == index
                decoded = subprocess.run(
                    ['ffmpeg', '-v', 'error', '-i', 'clip.mkv', '-vf', 'select=eq(n\\,%d)' % index, '-fps_mode',
                     'passthrough', '-frames:v', '1', '-f', 'rawvideo', '-pix_fmt', 'rgba', '-'],
                    cwd=work, capture_output=True, check=True).stdout
                assert len(decoded) == w * h * 4, len(decoded)
                with open(work + '/f.raw', 'wb') as f:
                    f.write(rgba_to_argb(decoded))
                run([corvelle, 'render', '--raw', '%dx%d' % (w, h), '--width', '60', '--feather', '9', 'f.raw',
                     'ref.raw'], work)
                with open(work + '/ref.raw', 'rb') as f:
                    expected = argb_to_rgba(f.read())
                same_pixels(shown_frame(driver, w, h), expected, w, 'video frame %d' % index)

                driver.find_element(By.ID, 'renderOutput').click()
                wait_for(driver, 'corvelle.rendered', 60)
                width, height, written = read_png(work + '/out.%04d.png' % index)
                same_pixels(written, expected, w, 'rendered frame %d' % index)
                assert os.path.exists(work + '/out.0011.png') and not os.path.exists(work + '/out.0012.png')
            finally:
                driver.quit()
        finally:
            status = server.stop()
        assert status == 0, status
    finally:
        shutil.rmtree(work, ignore_errors=True)


CASES = {'picture': case_picture, 'sequence': case_sequence, 'keys': case_keys, 'video': case_video}

if __name__ == '__main__':
    if len(sys.argv) != 3 or sys.argv[2] not in CASES:
        sys.exit('usage: serve_browser_test.py CORVELLE (%s)' % '|'.join(CASES))
    started = time.time()
    CASES[sys.argv[2]](sys.argv[1])
    print('ok: %s in %.1f s' % (sys.argv[2], time.time() - started))
