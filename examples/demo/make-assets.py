#!/usr/bin/env python3
"""Writes the small pictures, sound, icon and documents that examples/demo/product.toml uses, into
examples/demo/assets/. The files are kept in the repository; run this again only to change them.
Everything is generated, so the output is the same on every machine."""
import math
import pathlib
import struct

ASSETS = pathlib.Path(__file__).resolve().parent / "assets"


def bmp_24bit(width, height, pixel):
    """A bottom-up 24-bit Windows bitmap; pixel(x, y) gives (r, g, b) with y = 0 at the top."""
    row = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        data += line + b"\0" * (row - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(data), 0, 0, 14 + 40) + header + bytes(data)


def background(x, y):
    """A halberd's head on a soft circle: enough shape to see how the picture is placed."""
    cx, cy = x - 24, y - 24
    inside = cx * cx + cy * cy < 22 * 22
    blade = abs(cx) < 3 or (cy < -4 and abs(cx + cy // 2) < 6 and cx < 10)
    if inside and blade:
        return (230, 230, 240)
    return (40, 90, 160) if inside else (20, 40, 80)


def wav_chime(seconds=0.25, rate=8000):
    """An 8-bit mono chime: two falling tones."""
    samples = bytearray()
    n = int(seconds * rate)
    for i in range(n):
        t = i / rate
        f = 880 if t < seconds / 2 else 660
        level = 1 - i / n
        samples.append(int(128 + 90 * level * math.sin(2 * math.pi * f * t)))
    fmt = struct.pack("<HHIIHH", 1, 1, rate, rate, 1, 8)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(samples)) + samples
    return b"RIFF" + struct.pack("<I", len(body)) + body


def icon_16():
    """A 16 x 16 32-bit icon (one image, BMP-style with an AND mask)."""
    size = 16
    pixels = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            edge = x in (0, size - 1) or y in (0, size - 1)
            b, g, r = (160, 90, 40) if edge else (230, 230, 240) if abs(x - y) < 2 else (200, 140, 60)
            pixels += bytes((b, g, r, 255))
    mask = b"\0" * (4 * size)  # 16 bits per row, padded to 32
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + bytes(pixels) + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + image


RTF_LICENCE = r"""{\rtf1\ansi\deff0{\fonttbl{\f0 Arial;}}
\f0\fs20{\b Halberd Demo licence}\par
\par
This demo product may be copied, installed and removed freely. It comes without any warranty.\par
}
"""

README = """Halberd Demo
============

Thank you for trying the Halberd demo product. It installs a few small files, a shortcut and a
file association, and it removes all of them again when it is uninstalled.
"""

REGISTRY = """REGEDIT4

[HKEY_CURRENT_USER\\Software\\Halberd Demo\\Merged]
"FromMergeFile"="yes"
"""


def main():
    ASSETS.mkdir(exist_ok=True)
    (ASSETS / "background.bmp").write_bytes(bmp_24bit(48, 48, background))
    (ASSETS / "chime.wav").write_bytes(wav_chime())
    (ASSETS / "demo.ico").write_bytes(icon_16())
    (ASSETS / "licence.rtf").write_bytes(RTF_LICENCE.encode("ascii"))
    (ASSETS / "readme.txt").write_bytes(README.replace("\n", "\r\n").encode("utf-8"))
    (ASSETS / "settings.reg").write_bytes(REGISTRY.replace("\n", "\r\n").encode("ascii"))


if __name__ == "__main__":
    main()
