#!/usr/bin/env python3
"""Deterministic benchmark payloads: the same bytes on every machine, from a fixed seed.

  standard  about 300 MB: machine-code-like files (compressible, x86 call/jump patterns), text
            files, one 64 MB incompressible file and about 2,000 small files in nested folders
  large     one 1.5 GB file (machine code and text interleaved)

A payload folder carries a stamp file with its parameters; it is made again only when they change.
"""
import argparse
import hashlib
import os
import random
import shutil
import struct
import sys

MB = 1 << 20
SEED = 20261210
STAMP = ".payload-stamp"

WORDS = ("the installer writes each file into its folder and records it for removal when the product "
         "is uninstalled a restart may be needed when another program holds a file open settings "
         "folder version registry shortcut language window message progress error value key data "
         "user system program setup archive chunk stream buffer memory network address report").split()


def incompressible(size, label):
    """Counter-mode SHA-256: fast, deterministic, not compressible."""
    out = bytearray()
    counter = 0
    key = label.encode()
    while len(out) < size:
        block = hashlib.sha256(key + struct.pack("<Q", counter)).digest()
        out += block
        counter += 1
    return bytes(out[:size])


class Generator:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        rng = self.rng
        # A vocabulary of instruction-like byte strings: prologues, calls and jumps with small
        # relative offsets, register moves; weighted so the mix compresses like real code (~2.5:1).
        self.code_tokens = []
        for _ in range(6000):
            kind = rng.random()
            if kind < 0.25:
                t = bytes([0xE8]) + struct.pack("<i", rng.randint(-60000, 60000))  # call rel32
            elif kind < 0.35:
                t = bytes([0x0F, 0x80 + rng.randint(0, 15)]) + struct.pack("<i", rng.randint(-4000, 4000))
            elif kind < 0.6:
                t = bytes([rng.choice([0x8B, 0x89, 0x8D, 0x3B, 0x85]), rng.randint(0, 255)])
            elif kind < 0.75:
                t = bytes([0x55, 0x8B, 0xEC, 0x83, 0xEC, rng.randint(4, 64) & 0xFC])
            else:
                t = bytes(rng.randint(0, 255) for _ in range(rng.randint(1, 6)))
            self.code_tokens.append(t)
        self.code_weights = [1.0 / (i + 8) for i in range(len(self.code_tokens))]
        self.word_weights = [1.0 / (i + 2) for i in range(len(WORDS))]

    def code(self, size):
        rng = self.rng
        parts = []
        total = 0
        while total < size:
            chunk = rng.choices(self.code_tokens, self.code_weights, k=65536)
            data = b"".join(chunk)
            parts.append(data)
            total += len(data)
        return b"".join(parts)[:size]

    def text(self, size):
        rng = self.rng
        parts = []
        total = 0
        while total < size:
            words = rng.choices(WORDS, self.word_weights, k=20000)
            lines = [" ".join(words[i:i + 12]) for i in range(0, len(words), 12)]
            data = ("\r\n".join(lines) + "\r\n").encode()
            parts.append(data)
            total += len(data)
        return b"".join(parts)[:size]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_standard(root, scale):
    gen = Generator(SEED)
    rng = gen.rng
    # Program files: 30 binaries of 1-12 MB (about 190 MB).
    for i in range(30):
        size = int(rng.randint(1 * MB, 12 * MB) * scale)
        ext = rng.choice([".exe", ".dll", ".dll", ".ocx"])
        write(os.path.join(root, "bin", f"module{i:02d}{ext}"), b"MZ" + gen.code(max(size - 2, 0)))
    # Documents and data: 20 text files of 0.5-4 MB (about 45 MB).
    for i in range(20):
        size = int(rng.randint(MB // 2, 4 * MB) * scale)
        write(os.path.join(root, "doc", f"manual{i:02d}.txt"), gen.text(size))
    # One incompressible file (media, already-compressed archives).
    write(os.path.join(root, "media", "video.bin"), incompressible(int(64 * MB * scale), "video"))
    # About 2,000 small files in nested folders.
    count = max(int(2000 * scale), 20)
    for i in range(count):
        depth = rng.randint(1, 4)
        folder = os.path.join(root, "res", *[f"d{rng.randint(0, 6)}" for _ in range(depth)])
        size = rng.randint(100, 16000)
        data = gen.text(size) if rng.random() < 0.6 else gen.code(size)
        write(os.path.join(folder, f"item{i:04d}.{rng.choice(['txt', 'xml', 'dat', 'ini'])}"), data)


def make_large(root, scale):
    gen = Generator(SEED + 1)
    size = int(1536 * MB * scale)
    path = os.path.join(root, "large.bin")
    os.makedirs(root, exist_ok=True)
    with open(path, "wb") as f:
        written = 0
        while written < size:
            piece = gen.code(8 * MB) if (written // (8 * MB)) % 2 == 0 else gen.text(8 * MB)
            piece = piece[:size - written]
            f.write(piece)
            written += len(piece)


def ensure(kind, root, scale):
    stamp = f"{kind} seed={SEED} scale={scale} v1"
    stamp_path = os.path.join(root, STAMP)
    if os.path.exists(stamp_path) and open(stamp_path).read() == stamp:
        return
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    (make_standard if kind == "standard" else make_large)(root, scale)
    with open(stamp_path, "w") as f:
        f.write(stamp)


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("kind", choices=["standard", "large"])
    p.add_argument("folder")
    p.add_argument("--scale", type=float, default=1.0, help="fraction of the full sizes (for a quick try)")
    a = p.parse_args()
    ensure(a.kind, a.folder, a.scale)
    return 0


if __name__ == "__main__":
    sys.exit(main())
