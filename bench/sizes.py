#!/usr/bin/env python3
"""Installer sizes against NSIS, natively: no Windows program runs, so no 32-bit code is needed.

Packs each payload with makensis (LZMA solid) once and with halberd-pack (the release build of
build/bench-pack) under each chunk size and xz preset, and prints one table:

  chunk, preset  the pack tool's --chunk-size (MiB) and --preset; presets 6 to 9 differ only in
                 their dictionary (8, 16, 32, 64 MiB), which the pack tool halves down to the chunk
                 size, so preset 9 is packed only where the chunk is larger than 8 MiB
  size, /NSIS    the installer's size and its ratio to the NSIS installer of the same files
  pack           wall time of the pack (all processors)
  x86            chunks that got the x86 branch filter / all chunks (the pack tool chooses it per
                 chunk by a trial; it is not a setting)
  dict           the largest xz dictionary in the installer: one decoder's memory
  peak slow      the peak memory of unpacking the archive with the installer's own code and its
                 three decoding threads (bench/unpack_memory.cpp), the extraction stream written at
                 a slow disk's pace (30 MB/s), so unpacked chunks wait in the buffers
  fast           the same, the extraction stream thrown away as fast as it comes
  unpack 3t, 1t  wall time of that unpack with three threads and with one, output thrown away

Chunks larger than the unpacker's buffer (8 MiB) are unpacked in one thread, as the installer does.

Usage: bench/sizes.py [PAYLOAD ...] [--scale S] [--chunks 4,8,16,32,64] [--presets 6,9] [--no-nsis]
PAYLOAD is one of the kinds of bench/payload.py (default: programs small-files standard). Figures
depend on the machine and its load; nothing is asserted.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402  (the pack tool's build, makensis's script, the stub)
import payload  # noqa: E402

MiB = 1 << 20
OUT = os.path.join(bench.ROOT, "build", "sizes")
PAYLOADS = bench.OUT  # the payloads are make bench's
UNPACK = os.path.join(bench.PACK_BUILD, "bin", "unpack_memory")
SLOW_DISK = 30  # MB/s


def unpack(installer, threads, pace=0):
    cmd = [UNPACK, installer, "--threads", str(threads)]
    if pace:
        cmd += ["--write-mb-per-s", str(pace)]
    line = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout
    return {k: float(v) for k, v in (field.split("=") for field in line.split())}


def pack(src, out, chunk, preset):
    start = time.monotonic()
    bench.run([bench.PACK, "--files", src, "--name", "Sizes", "-o", out, "--stub", bench.STUB,
               "--chunk-size", str(chunk * MiB), "--preset", str(preset)], stdout=subprocess.DEVNULL)
    return time.monotonic() - start


def source_folder(kind, scale):
    folder = os.path.join(PAYLOADS, f"payload-{kind}")
    payload.ensure(kind, folder, scale)
    src = os.path.join(OUT, f"src-{kind}")
    # The pack tools see the payload without the stamp file.
    shutil.rmtree(src, ignore_errors=True)
    shutil.copytree(folder, src, ignore=shutil.ignore_patterns(payload.STAMP), copy_function=os.link)
    return src


def megabytes(n):
    return f"{n / MiB:.1f}"


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("payloads", nargs="*", metavar="PAYLOAD")
    p.add_argument("--scale", type=float, default=1.0)
    p.add_argument("--chunks", default="4,8,16,32,64", help="chunk sizes in MiB")
    p.add_argument("--presets", default="6,9")
    p.add_argument("--no-nsis", action="store_true", help="leave makensis out (its pack is the slowest)")
    a = p.parse_args()
    kinds = a.payloads or ["programs", "small-files", "standard"]
    if any(kind not in payload.KINDS for kind in kinds):
        sys.exit(f"a payload is one of {', '.join(payload.KINDS)}")
    chunks = [int(c) for c in a.chunks.split(",")]
    presets = [int(c) for c in a.presets.split(",")]
    if not os.path.exists(bench.STUB):
        sys.exit("the installer stub is missing: run make win32")
    if not a.no_nsis and not shutil.which("makensis"):
        sys.exit("makensis is missing: run scripts/setup.sh")
    os.makedirs(OUT, exist_ok=True)
    bench.OUT = OUT  # makensis's scripts go here too
    bench.build_pack_tool(extra_targets=["unpack_memory"])

    header = (f"{'payload':<12} {'chunk':>6} {'preset':>6} {'size MB':>9} {'/NSIS':>6} {'pack s':>7} "
              f"{'x86':>7} {'dict MB':>8} {'peak slow':>9} {'fast':>6} {'unpack 3t':>10} {'1t':>6}")
    rows = []
    for kind in kinds:
        src = source_folder(kind, a.scale)
        total = sum(os.path.getsize(os.path.join(d, f)) for d, _, files in os.walk(src) for f in files)
        count = sum(len(files) for _, _, files in os.walk(src))
        print(f"== {kind}: {count} files, {megabytes(total)} MB (scale {a.scale})", flush=True)
        nsis_size = None
        if not a.no_nsis:
            nsis_exe = os.path.join(OUT, f"nsis-{kind}.exe")
            seconds = bench.pack_nsis(src, nsis_exe, kind)
            nsis_size = os.path.getsize(nsis_exe)
            rows.append(f"{kind:<12} {'solid':>6} {'lzma':>6} {megabytes(nsis_size):>9} {'1.00':>6} {seconds:>7.1f}"
                        f" {'':>7} {'8.0':>8}   (makensis, SetCompressor /SOLID lzma)")
            print(rows[-1], flush=True)
        for preset in presets:
            for chunk in chunks:
                if preset > 6 and chunk <= 8:
                    continue  # the same dictionary as preset 6: the same installer
                exe = os.path.join(OUT, f"halberd-{kind}-{chunk}-{preset}.exe")
                seconds = pack(src, exe, chunk, preset)
                size = os.path.getsize(exe)
                slow = unpack(exe, 3, SLOW_DISK)
                fast = unpack(exe, 3)
                one = unpack(exe, 1)
                ratio = f"{size / nsis_size:.2f}" if nsis_size else "n/a"
                x86 = f"{int(slow['x86_chunks'])}/{int(slow['chunks'])}"
                rows.append(f"{kind:<12} {chunk:>6} {preset:>6} {megabytes(size):>9} {ratio:>6} {seconds:>7.1f} "
                            f"{x86:>7} {megabytes(slow['largest_dict']):>8} {megabytes(slow['peak_memory']):>9} "
                            f"{megabytes(fast['peak_memory']):>6} "
                            f"{fast['seconds']:>10.2f} {one['seconds']:>6.2f}")
                print(rows[-1], flush=True)
                os.remove(exe)

    empty = os.path.join(OUT, "empty")
    os.makedirs(empty, exist_ok=True)
    open(os.path.join(empty, "empty.txt"), "w").close()
    pack(empty, os.path.join(OUT, "halberd-empty.exe"), 4, 6)
    stub = os.path.getsize(os.path.join(OUT, "halberd-empty.exe"))
    line = f"{'empty':<12} {'':>6} {'':>6} {megabytes(stub):>9}"
    if not a.no_nsis:
        bench.pack_nsis(empty, os.path.join(OUT, "nsis-empty.exe"), "empty")
        nsis_stub = os.path.getsize(os.path.join(OUT, "nsis-empty.exe"))
        line += f" {stub / nsis_stub:>6.2f}   (stub and one empty file; NSIS: {nsis_stub / 1024:.1f} KB)"
    rows.append(line)

    print()
    print(f"Installer sizes, MB = MiB; peak memory of the unpack with 3 threads writing at {SLOW_DISK} MB/s and at full speed")
    print(header)
    for row in rows:
        print(row)
    return 0


if __name__ == "__main__":
    sys.exit(main())
