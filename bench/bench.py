#!/usr/bin/env python3
"""make bench: Halberd against NSIS on the same payloads, side by side, under Wine.

Packs each payload of bench/payload.py (standard, large, and the real files: programs, about
120 MB of real 32-bit Windows DLLs and programs, and small-files, 10,000 pieces of real
documentation) with halberd-pack and with makensis (LZMA solid), then runs the
silent installs and uninstalls of both alternately (A B A B ..., in a warmed-up Wine prefix) and
prints one table of medians with the ratio Halberd / NSIS measured in this run, and Halberd's
wizard install (walked by the window driver) against its silent one. Nothing here is a test: no
figure is asserted.

Environment: HALBERD_BENCH_PAIRS (default 3), HALBERD_BENCH_SCALE (default 1.0; a fraction of the
payload sizes for a quick try), HALBERD_BENCH_LARGE=0 skips the 1.5 GB payload, HALBERD_BENCH_REAL=0
skips the two payloads of real files and HALBERD_BENCH_REAL=sizes gives them their sizes and pack
times without the install runs, HALBERD_BENCH_PACK a pack tool to time instead of the release
build made in build/bench-pack.

bench/sizes.py compares installer sizes alone, under several chunk sizes and presets, with the
unpacker's memory, natively (no Windows program runs).
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "build", "bench")
# The pack tool is timed as publishers run it: a release build, not the sanitizer build of the tests.
PACK_BUILD = os.path.join(ROOT, "build", "bench-pack")
PACK = os.environ.get("HALBERD_BENCH_PACK", os.path.join(PACK_BUILD, "bin", "halberd-pack"))
STUB = os.path.join(ROOT, "build", "win32", "bin", "halberd-setup.exe")
PAIRS = int(os.environ.get("HALBERD_BENCH_PAIRS", "3"))
SCALE = float(os.environ.get("HALBERD_BENCH_SCALE", "1.0"))
LARGE = os.environ.get("HALBERD_BENCH_LARGE", "1") != "0"
REAL = os.environ.get("HALBERD_BENCH_REAL", "1")  # 1: sizes and timings, sizes: no installs, 0: none
PREFIX = os.path.join(OUT, "wineprefix")
TEMPLATE = os.environ.get("HALBERD_WINEPREFIX", "/opt/halberd-deps/wineprefix")
ENV = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")

NSIS_SCRIPT = r'''Unicode true
Name "Bench {name}"
OutFile "{out}"
InstallDir "$PROGRAMFILES\Bench {name}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
{body}
'''
NSIS_BODY = r'''Section
  SetOutPath "$INSTDIR"
  File /r "{src}\*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
SectionEnd
Section "Uninstall"
  RMDir /r "$INSTDIR"
SectionEnd'''


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, **kw)


def timed(cmd, watch_name=None):
    """Runs cmd; returns (seconds, peak resident memory in MB of the Windows process named
    watch_name, or None). Under Wine each Windows process is one Linux process, so its VmHWM is
    the installer's own peak."""
    peak = [0]
    done = threading.Event()

    def watch():
        while not done.is_set():
            for pid in os.listdir("/proc"):
                if not pid.isdigit():
                    continue
                try:
                    with open(f"/proc/{pid}/cmdline", "rb") as f:
                        cmdline = f.read()
                    if watch_name.encode() not in cmdline.split(b"\0")[0]:
                        continue
                    with open(f"/proc/{pid}/status") as f:
                        for line in f:
                            if line.startswith("VmHWM:"):
                                peak[0] = max(peak[0], int(line.split()[1]))
                except OSError:
                    pass
            time.sleep(0.02)

    watcher = threading.Thread(target=watch) if watch_name else None
    if watcher:
        watcher.start()
    start = time.monotonic()
    result = subprocess.run(cmd, env=ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    seconds = time.monotonic() - start
    done.set()
    if watcher:
        watcher.join()
    if result.returncode != 0:
        print(f"  note: {' '.join(cmd)} exited with {result.returncode}", file=sys.stderr)
    return seconds, (peak[0] / 1024 if peak[0] else None)


def to_windows(path):
    return "Z:" + path.replace("/", "\\")


def build_pack_tool(extra_targets=()):
    if "HALBERD_BENCH_PACK" in os.environ and not extra_targets:
        return
    if not os.path.exists(os.path.join(PACK_BUILD, "build.ninja")):
        launcher = ["-DCMAKE_C_COMPILER_LAUNCHER=ccache", "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"] if shutil.which("ccache") else []
        run(["cmake", "-S", ROOT, "-B", PACK_BUILD, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
             "-DHALBERD_SANITIZE=OFF", "-DHALBERD_TESTS=OFF"] + launcher, stdout=subprocess.DEVNULL)
    targets = list(extra_targets) if "HALBERD_BENCH_PACK" in os.environ else ["halberd-pack", *extra_targets]
    run(["ninja", "-C", PACK_BUILD, *targets], stdout=subprocess.DEVNULL)


def halberd_name(kind):
    """The product name Halberd's installer of a payload gets: one without blanks, which Wine
    would quote whole on the uninstaller's command line."""
    return f"Bench-{kind}"


def halberd_uninstall(uninstaller, name):
    """The uninstaller as the registration's QuietUninstallString starts it: automatic, for the
    product's name."""
    return ["wine", uninstaller, "/a", f"/u:{name}"]


def pack_halberd(src, out, name):
    start = time.monotonic()
    run([PACK, "--files", src, "--name", name, "-o", out, "--stub", STUB], stdout=subprocess.DEVNULL)
    return time.monotonic() - start


def pack_nsis(src, out, name, body=True):
    script = os.path.join(OUT, f"{name}.nsi")
    text = NSIS_SCRIPT.format(name=name, out=out, body=NSIS_BODY.format(src=src) if body else
                              "Section\nSectionEnd")
    with open(script, "w") as f:
        f.write(text)
    start = time.monotonic()
    run(["makensis", "-V1", script], stdout=subprocess.DEVNULL)
    return time.monotonic() - start


def fresh_prefix():
    subprocess.run(["wineserver", "-k"], env=ENV, stderr=subprocess.DEVNULL)
    shutil.rmtree(PREFIX, ignore_errors=True)
    shutil.copytree(TEMPLATE, PREFIX, symlinks=True)
    # The persistent server must not inherit our output, or a reader of it would wait for its end.
    subprocess.run(["wineserver", "-p"], env=ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    # Warm-up: start Wine's services once so the first timed run does not pay for them.
    subprocess.run(["wine", "cmd", "/c", "exit"], env=ENV, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Product:
    def __init__(self, label, installer, name=""):
        self.label = label
        self.installer = installer
        self.name = name  # the product's name, for Halberd's uninstaller
        self.install = []
        self.uninstall = []
        self.memory = []


def one_round(product, target_linux, round_index):
    target = to_windows(target_linux)
    exe = os.path.basename(product.installer)
    if product.label == "Halberd":
        cmd = ["wine", product.installer, "/silent", f'/d:{target}']
    else:
        cmd = ["wine", product.installer, "/S", f"/D={target}"]
    seconds, peak = timed(cmd, exe)
    product.install.append(seconds)
    if peak:
        product.memory.append(peak)
    removal = None
    if product.label == "NSIS":
        removal, _ = timed(["wine", os.path.join(target_linux, "uninstall.exe"), "/S", f"_?={target}"])
    else:
        uninstaller = os.path.join(target_linux, "uninstall.exe")
        if os.path.exists(uninstaller):
            removal, _ = timed(halberd_uninstall(uninstaller, product.name))
    if removal is not None:
        product.uninstall.append(removal)
    # Every run's time, not only the medians: a stall shows here.
    print(f"  {product.label:<8} round {round_index}: install {seconds:.2f} s, uninstall "
          f"{'n/a' if removal is None else f'{removal:.2f} s'}, peak {peak or 0:.1f} MB", flush=True)
    # New inodes are slow right after mass deletion on this file system: set the tree aside.
    if os.path.exists(target_linux):
        os.rename(target_linux, f"{target_linux}.done{round_index}")


def median(values):
    return statistics.median(values) if values else None


def fmt(value, unit):
    if value is None:
        return "n/a"
    if unit == "MB":
        return f"{value:.1f} MB"
    if unit == "B":
        return f"{value / (1 << 20):.1f} MB" if value >= 1 << 20 else f"{value / 1024:.1f} KB"
    return f"{value:.2f} s"


def ratio(a, b):
    return f"{a / b:.2f}" if a is not None and b else "n/a"


def measure(kind, src, installs=True):
    name = f"{kind}"
    h_exe = os.path.join(OUT, f"halberd-{kind}.exe")
    n_exe = os.path.join(OUT, f"nsis-{kind}.exe")
    pack_h, pack_n = [], []
    for i in range(2):  # packing alternates too; the median of two
        pack_h.append(pack_halberd(src, h_exe, halberd_name(kind)))
        pack_n.append(pack_nsis(src, n_exe, name))
    if not installs:
        return [
            ("installer size", os.path.getsize(h_exe), os.path.getsize(n_exe), "B"),
            ("pack time", median(pack_h), median(pack_n), "s"),
        ]
    fresh_prefix()
    drive_c = os.path.join(PREFIX, "drive_c")
    h, n = Product("Halberd", h_exe, halberd_name(kind)), Product("NSIS", n_exe)
    for i in range(PAIRS):
        for product in (h, n):
            one_round(product, os.path.join(drive_c, f"bench-{product.label}-{i}"), i)
    sets = [os.path.join(drive_c, d) for d in os.listdir(drive_c) if d.startswith("bench-")]
    for d in sets:
        shutil.rmtree(d, ignore_errors=True)
    rows = [
        ("installer size", os.path.getsize(h_exe), os.path.getsize(n_exe), "B"),
        ("pack time", median(pack_h), median(pack_n), "s"),
        ("install time", median(h.install), median(n.install), "s"),
        ("uninstall time", median(h.uninstall), median(n.uninstall), "s"),
        ("peak memory", median(h.memory), median(n.memory), "MB"),
    ]
    return rows


def display():
    """A display for the wizard: the caller's, or a virtual one started here (stopped at exit)."""
    if os.environ.get("DISPLAY"):
        return True
    if not shutil.which("Xvfb"):
        return False
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                              pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    number = os.read(read, 16).decode().strip()
    os.close(read)
    if not number:
        return False
    import atexit
    atexit.register(server.terminate)
    ENV["DISPLAY"] = f":{number}"
    return True


def interactive_against_silent(h_exe):
    """Medians of Halberd's silent install and its interactive one, where the window driver walks
    the wizard with the default buttons (its listing of each page included), alternately."""
    driver = os.path.join(ROOT, "build", "win32", "bin", "window_driver.exe")
    if not os.path.exists(driver) or not display():
        return None, None
    fresh_prefix()
    drive_c = os.path.join(PREFIX, "drive_c")
    pages = os.path.join(OUT, "interactive-pages")
    os.makedirs(pages, exist_ok=True)
    silent, interactive = [], []
    for i in range(PAIRS):
        for mode, times in (("silent", silent), ("interactive", interactive)):
            target_linux = os.path.join(drive_c, f"bench-{mode}-{i}")
            target = to_windows(target_linux)
            if mode == "silent":
                cmd = ["wine", h_exe, "/silent", f"/d:{target}"]
            else:
                cmd = ["wine", driver, "answer-all", to_windows(pages), "--", to_windows(h_exe), f"/d:{target}"]
            seconds, _ = timed(cmd)
            times.append(seconds)
            uninstaller = os.path.join(target_linux, "uninstall.exe")
            if os.path.exists(uninstaller):
                subprocess.run(halberd_uninstall(uninstaller, halberd_name("standard")), env=ENV, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if os.path.exists(target_linux):
                os.rename(target_linux, f"{target_linux}.done")
    return median(interactive), median(silent)


def physical_limit(src):
    archive = os.path.join(OUT, "payload.tar.xz")
    run(f"tar -C '{src}' -cf - . | xz -T1 -6 > '{archive}'", shell=True)
    dest = tempfile.mkdtemp(dir=OUT)
    start = time.monotonic()
    run(f"xz -d -T1 < '{archive}' | tar -x -C '{dest}'", shell=True)
    seconds = time.monotonic() - start
    shutil.rmtree(dest)
    return seconds


def main():
    os.makedirs(OUT, exist_ok=True)
    if not shutil.which("makensis"):
        sys.exit("makensis is missing: run scripts/setup.sh")
    if not os.path.exists(STUB):
        sys.exit("the installer stub is missing: run make win32")
    build_pack_tool()
    tables = []
    payloads = [("standard", os.path.join(OUT, "payload-standard"))]
    if LARGE:
        payloads.append(("large", os.path.join(OUT, "payload-large")))
    if REAL != "0":
        payloads += [("programs", os.path.join(OUT, "payload-programs")),
                     ("small-files", os.path.join(OUT, "payload-small-files"))]
    for kind, folder in payloads:
        print(f"== payload {kind} (scale {SCALE})", flush=True)
        run([sys.executable, os.path.join(ROOT, "bench", "payload.py"), kind, folder, "--scale", str(SCALE)])
        src = os.path.join(OUT, f"src-{kind}")
        # The pack tools see the payload without the stamp file.
        shutil.rmtree(src, ignore_errors=True)
        shutil.copytree(folder, src, ignore=shutil.ignore_patterns(".payload-stamp"), copy_function=os.link)
        installs = kind in ("standard", "large") or REAL != "sizes"
        tables.append((kind, measure(kind, src, installs)))
        if kind == "standard":
            limit = physical_limit(src)
            wizard, silent = interactive_against_silent(os.path.join(OUT, "halberd-standard.exe"))

    empty = os.path.join(OUT, "empty")
    os.makedirs(empty, exist_ok=True)
    with open(os.path.join(empty, "empty.txt"), "w"):
        pass
    pack_halberd(empty, os.path.join(OUT, "halberd-empty.exe"), "Empty")
    pack_nsis(empty, os.path.join(OUT, "nsis-empty.exe"), "empty")
    stub_h = os.path.getsize(os.path.join(OUT, "halberd-empty.exe"))
    stub_n = os.path.getsize(os.path.join(OUT, "nsis-empty.exe"))

    subprocess.run(["wineserver", "-k"], env=ENV, stderr=subprocess.DEVNULL)
    print()
    print(f"Halberd against NSIS 3 (LZMA solid), medians of {PAIRS} alternating pairs under Wine")
    print(f"{'payload':<11} {'measure':<16} {'Halberd':>12} {'NSIS':>12} {'Halberd/NSIS':>13}")
    for kind, rows in tables:
        for label, a, b, unit in rows:
            print(f"{kind:<11} {label:<16} {fmt(a, unit):>12} {fmt(b, unit):>12} {ratio(a, b):>13}")
    print(f"{'empty':<11} {'stub overhead':<16} {fmt(stub_h, 'B'):>12} {fmt(stub_n, 'B'):>12} {ratio(stub_h, stub_n):>13}")
    print(f"{'standard':<11} {'physical limit':<16} {fmt(limit, 's'):>12}   (xz -d -T1 | tar -x of the same files)")
    print(f"{'standard':<11} {'wizard install':<16} {fmt(wizard, 's'):>12} {fmt(silent, 's'):>12} {ratio(wizard, silent):>13}"
          "   (Halberd's wizard walked by the window driver, against its silent install)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
