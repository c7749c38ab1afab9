"""The window driver from pytest: runs build/win32/bin/window_driver.exe under Wine, reads its
control lists, and turns its BMP pictures into PNGs in build/screenshots/ (without Pillow)."""
import os
import pathlib
import re
import struct
import subprocess
import tempfile
import zlib

from conftest import ROOT, WIN_TEST_TOOLS, run_wine, wine_env, z

DRIVER = WIN_TEST_TOOLS / "window_driver.exe"
SHOW_BOX = WIN_TEST_TOOLS / "show_message_box.exe"
SCREENSHOTS = ROOT / "build/screenshots"


class Control:
    def __init__(self, fields):
        self.id = int(fields["id"])
        self.cls = fields["class"]
        self.text = fields["text"]
        self.visible = fields["visible"] == "1"
        self.enabled = fields["enabled"] == "1"
        self.checked = fields["checked"] == "1"
        self.focused = fields["focused"] == "1"
        self.rect = tuple(int(v) for v in fields["rect"].split(","))
        self.fits = fields["fits"] == "1"

    def __repr__(self):
        return f"<{self.cls} {self.id} {self.text!r} {self.rect}{' focused' if self.focused else ''}>"


_FIELD = re.compile(r'(\w[\w-]*)=("(?:[^"\\]|\\.)*"|\S+)')


def _unescape(text):
    return re.sub(r"\\(.)", lambda m: {"r": "\r", "n": "\n"}.get(m.group(1), m.group(1)), text)


def parse_list(output):
    """(window fields, [Control]) from the lines of a `list` command."""
    window, controls = {}, []
    for line in output.splitlines():
        kind, _, rest = line.partition(" ")
        fields = {k: _unescape(v[1:-1]) if v.startswith('"') else v for k, v in _FIELD.findall(rest)}
        if kind == "window":
            window = fields
        elif kind == "control":
            controls.append(Control(fields))
    return window, controls


def drive(*commands, timeout=120):
    """Runs the driver with a list of commands; returns the run (code, stdout, stderr)."""
    return run_wine([DRIVER, *commands], timeout=timeout)


class Program:
    """A Windows program started in the background under Wine; its output read when it ends."""

    def __init__(self, args):
        self._out = tempfile.TemporaryFile()
        self._err = tempfile.TemporaryFile()
        self.process = subprocess.Popen(["wine", *map(str, args)], stdout=self._out, stderr=self._err,
                                        stdin=subprocess.DEVNULL, env=wine_env())

    def finish(self, timeout=120):
        code = self.process.wait(timeout=timeout)
        self._out.seek(0)
        self._err.seek(0)
        return code, self._out.read().decode("utf-8", "replace"), self._err.read().decode("utf-8", "replace")

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def show_box(**options):
    """Starts show_message_box.exe with NAME=VALUE options (underscores become hyphens)."""
    args = [f"{k.replace('_', '-')}={v}" for k, v in options.items()]
    return Program([SHOW_BOX, *args])


# ---- pictures -----------------------------------------------------------------------------------

class Bitmap:
    """A 24-bit bottom-up BMP as the driver saves it."""

    def __init__(self, data):
        assert data[:2] == b"BM", "not a BMP"
        offset = struct.unpack_from("<I", data, 10)[0]
        self.width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
        assert bits == 24, bits
        self.height = abs(height)
        self.bottom_up = height > 0
        self.stride = (self.width * 3 + 3) // 4 * 4
        self.pixels = data[offset:offset + self.stride * self.height]

    @classmethod
    def read(cls, path):
        return cls(pathlib.Path(path).read_bytes())

    def pixel(self, x, y):
        """(r, g, b) at x, y from the top left."""
        row = self.height - 1 - y if self.bottom_up else y
        at = row * self.stride + x * 3
        b, g, r = self.pixels[at:at + 3]
        return r, g, b

    def png(self):
        rows = []
        for y in range(self.height):
            row = self.height - 1 - y if self.bottom_up else y
            bgr = self.pixels[row * self.stride:row * self.stride + 3 * self.width]
            rgb = bytearray(bgr)
            rgb[0::3], rgb[2::3] = bgr[2::3], bgr[0::3]
            rows.append(b"\0" + bytes(rgb))

        def chunk(kind, body):
            return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows), 6)) +
                chunk(b"IEND", b""))


def shot_path(name):
    """Where a test's picture goes: build/screenshots/NAME.bmp (a PNG is written beside it by keep())."""
    SCREENSHOTS.mkdir(parents=True, exist_ok=True)
    return SCREENSHOTS / f"{name}.bmp"


def keep(bmp_path):
    """Writes the PNG of a saved BMP beside it and returns the bitmap."""
    bitmap = Bitmap.read(bmp_path)
    pathlib.Path(bmp_path).with_suffix(".png").write_bytes(bitmap.png())
    return bitmap


def close(colour, expected, tolerance=12):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))
