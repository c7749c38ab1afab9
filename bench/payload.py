#!/usr/bin/env python3
"""Deterministic benchmark payloads: the same bytes on every machine, from a fixed seed.

  standard  about 300 MB: machine-code-like files (compressible, x86 call/jump patterns), text
            files, one 64 MB incompressible file and about 2,000 small files in nested folders
  large     one 1.5 GB file (machine code and text interleaved)
  programs  about 120 MB of real 32-bit Windows programs and DLLs: the MinGW-w64 i686 runtime DLLs
            (POSIX thread model), then Wine's i386 PE files in name order until the size is reached
  small-files
            10,000 files of 1-4 KB in nested folders, pieces of the real text documentation in
            /usr/share/doc (gzipped pages unpacked) taken in path order

The two payloads of real files are the same wherever the same system packages are installed, not
on every machine: their stamp carries a digest of what they were made from, so they are made again
when those files change. A payload folder carries a stamp file with its parameters; it is made
again only when they change.
"""
import argparse
import gzip
import hashlib
import os
import random
import shutil
import struct
import sys

MB = 1 << 20
SEED = 20261210
STAMP = ".payload-stamp"
KINDS = ["standard", "large", "programs", "small-files"]

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


WINE_PE = "/usr/lib/i386-linux-gnu/wine/i386-windows"
MINGW_DLLS = ["/usr/lib/gcc/i686-w64-mingw32/12-posix", "/usr/i686-w64-mingw32/lib"]
DOCS = "/usr/share/doc"


def is_pe32_x86(path):
    """A 32-bit x86 PE image: "MZ", e_lfanew, "PE\\0\\0", machine 0x14C (16-bit NE programs and
    other files of the Wine folder are left out)."""
    try:
        with open(path, "rb") as f:
            head = f.read(4096)
    except OSError:
        return False
    if len(head) < 64 or head[:2] != b"MZ":
        return False
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    return pe + 6 <= len(head) and head[pe:pe + 4] == b"PE\0\0" and struct.unpack_from("<H", head, pe + 4)[0] == 0x14C


def program_sources(scale):
    """(source path, path in the payload) of the programs payload, in a fixed order: the MinGW
    DLLs, then Wine's PE files spread over the whole name order (every n-th one), until about
    120 MB (times scale) are chosen. A run of names would take whole families of near-identical
    versions (13 d3dcompiler_NN.dll, 6 d3dx9_NN.dll of 3 MB) that flatter a solid archive."""
    if not os.path.isdir(WINE_PE):
        sys.exit(f"the programs payload needs Wine's 32-bit PE files in {WINE_PE}")
    budget = int(120 * MB * scale)
    chosen, total = [], 0
    for folder in MINGW_DLLS:
        if not os.path.isdir(folder):
            continue
        for name in sorted(os.listdir(folder)):
            src = os.path.join(folder, name)
            if name.endswith(".dll") and is_pe32_x86(src) and total + os.path.getsize(src) <= budget // 2:
                chosen.append((src, os.path.join("mingw", name)))
                total += os.path.getsize(src)
    wine = [os.path.join(WINE_PE, n) for n in sorted(os.listdir(WINE_PE))]
    wine = [p for p in wine if os.path.isfile(p) and is_pe32_x86(p)]
    wine_total = sum(os.path.getsize(p) for p in wine)
    stride = max(1, wine_total // max(budget - total, 1))
    for src in wine[::stride]:
        if total >= budget:
            break
        chosen.append((src, os.path.join("wine", os.path.basename(src))))
        total += os.path.getsize(src)
    return chosen


def make_programs(root, sources):
    for src, rel in sources:
        dest = os.path.join(root, rel)
        os.makedirs(os.path.dirname(dest), exist_ok=True)
        shutil.copyfile(src, dest)


def doc_text(size):
    """About `size` bytes of real documentation text: the files of /usr/share/doc in path order,
    gzipped ones unpacked, binary ones (a NUL byte, not UTF-8) left out."""
    paths = []
    for folder, dirs, files in os.walk(DOCS):
        dirs.sort()
        paths += [os.path.join(folder, n) for n in sorted(files)]
    parts, total = [], 0
    for path in paths:
        if total >= size:
            break
        if os.path.islink(path) or not os.path.isfile(path):
            continue
        try:
            data = gzip.open(path).read() if path.endswith(".gz") else open(path, "rb").read()
            if b"\0" in data:
                continue
            data.decode("utf-8")
        except (OSError, UnicodeDecodeError, EOFError, gzip.BadGzipFile):
            continue
        parts.append(data)
        total += len(data)
    if total < size:
        sys.exit(f"the small-files payload needs {size // MB} MB of text in {DOCS}, found {total // MB} MB")
    return b"".join(parts)


def make_small_files(root, scale, text):
    rng = random.Random(SEED + 2)
    at = 0
    for i in range(small_file_count(scale)):
        depth = rng.randint(1, 4)
        folder = os.path.join(root, "doc", *[f"part{rng.randint(0, 9)}" for _ in range(depth)])
        size = rng.randint(1024, 4096)
        write(os.path.join(folder, f"page{i:05d}.{rng.choice(['txt', 'html', 'md', 'xml'])}"), text[at:at + size])
        at += size


def small_file_count(scale):
    return max(int(10000 * scale), 20)


def ensure(kind, root, scale):
    stamp = f"{kind} seed={SEED} scale={scale} v1"
    sources = text = None
    if kind == "programs":
        sources = program_sources(scale)
        listing = "".join(f"{src} {os.path.getsize(src)} {os.path.getmtime(src)}\n" for src, _ in sources)
        stamp += " sources=" + hashlib.sha256(listing.encode()).hexdigest()[:16]
    elif kind == "small-files":
        text = doc_text(small_file_count(scale) * 4096)
        stamp += " text=" + hashlib.sha256(text).hexdigest()[:16]
    stamp_path = os.path.join(root, STAMP)
    if os.path.exists(stamp_path) and open(stamp_path).read() == stamp:
        return
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    if kind == "programs":
        make_programs(root, sources)
    elif kind == "small-files":
        make_small_files(root, scale, text)
    else:
        (make_standard if kind == "standard" else make_large)(root, scale)
    with open(stamp_path, "w") as f:
        f.write(stamp)


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("kind", choices=KINDS)
    p.add_argument("folder")
    p.add_argument("--scale", type=float, default=1.0, help="fraction of the full sizes (for a quick try)")
    a = p.parse_args()
    ensure(a.kind, a.folder, a.scale)
    return 0


if __name__ == "__main__":
    sys.exit(main())
