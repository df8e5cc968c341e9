"""Shared pieces of the preview's browser tests: a served `corvelle serve`, a headless Chromium
driven through Debian's chromedriver, pictures written without any imaging library."""
import json
import os
import signal
import struct
import subprocess
import tempfile
import time
import zlib

from selenium import webdriver
from selenium.webdriver.chrome.service import Service


def write_png(path, width, height, rgba):
    """An 8-bit RGBA PNG with no gamma chunk, so the browser and the host read the same bytes."""
    rows = b''.join(b'\x00' + rgba[y * width * 4:(y + 1) * width * 4] for y in range(height))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))

    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n')
        f.write(chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)))
        f.write(chunk(b'IDAT', zlib.compress(rows)))
        f.write(chunk(b'IEND', b''))


def read_png(path):
    """(width, height, RGBA bytes) of an 8-bit RGBA, non-interlaced PNG such as `corvelle render` writes."""
    with open(path, 'rb') as f:
        data = f.read()
    assert data[:8] == b'\x89PNG\r\n\x1a\n', path
    pos, idat, header = 8, b'', None
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            header = struct.unpack('>IIBBBBB', body)
        elif kind == b'IDAT':
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    assert (depth, colour, interlace) == (8, 6, 0), header
    raw = zlib.decompress(idat)
    stride = width * 4
    out = bytearray(stride * height)
    previous = bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = previous[i]
            c = previous[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        out[y * stride:(y + 1) * stride] = line
        previous = line
    return width, height, bytes(out)


def rgba_to_argb(rgba):
    out = bytearray(len(rgba))
    out[0::4], out[1::4], out[2::4], out[3::4] = rgba[3::4], rgba[0::4], rgba[1::4], rgba[2::4]
    return bytes(out)


def argb_to_rgba(argb):
    out = bytearray(len(argb))
    out[0::4], out[1::4], out[2::4], out[3::4] = argb[1::4], argb[2::4], argb[3::4], argb[0::4]
    return bytes(out)


class Server:
    """`corvelle serve ARGS` on a free port, stopped with Ctrl+C (SIGINT)."""

    def __init__(self, corvelle, args, cwd):
        self.process = subprocess.Popen([corvelle, 'serve', '--port', '0', '--threads', '2'] + args, cwd=cwd,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        if not line.startswith('Preview at http://127.0.0.1:'):
            self.process.kill()
            raise AssertionError('serve printed %r; stderr: %s' % (line, self.process.stderr.read()))
        self.url = line.split()[-1]
        self.port = int(self.url.split(':')[2].split('/')[0])
        self.token = self.url.split('token=')[1]

    def stop(self):
        """Ctrl+C; the exit status."""
        self.process.send_signal(signal.SIGINT)
        try:
            return self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return None


def start_browser(home):
    os.environ['HOME'] = home
    os.environ['TMPDIR'] = home
    options = webdriver.ChromeOptions()
    for arg in ['--headless=new', '--no-sandbox', '--window-size=1024,768', '--disable-dev-shm-usage',
                '--enable-unsafe-swiftshader', '--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1']:
        options.add_argument(arg)
    return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)


def wait_for(driver, script, timeout=20.0):
    """Polls `script` (a JS expression) until it is truthy; its value."""
    deadline = time.time() + timeout
    while True:
        value = driver.execute_script('return ' + script)
        if value:
            return value
        if time.time() > deadline:
            raise AssertionError('timed out waiting for ' + script)
        time.sleep(0.02)


def wait_applied(driver):
    """Waits until the server has applied every message the page sent and drawn the result."""
    wait_for(driver, 'corvelle.state && corvelle.state.seq >= (corvelle.sent.length ? '
                     'corvelle.sent[corvelle.sent.length - 1].seq : 0)')


def read_pixels(driver, x, y, w, h):
    import base64
    return base64.b64decode(driver.execute_script('return corvelle.readPixels(%d, %d, %d, %d)' % (x, y, w, h)))


def run(args, cwd):
    result = subprocess.run(args, cwd=cwd, capture_output=True, text=True)
    if result.returncode != 0:
        raise AssertionError('%s failed (%d): %s' % (' '.join(args), result.returncode, result.stderr))
    return result.stdout


def scratch():
    return tempfile.mkdtemp(prefix='corvelle-browser-')


def parse_json(text):
    return json.loads(text)
