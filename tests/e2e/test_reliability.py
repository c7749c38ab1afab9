"""End to end: what a trusted installer promises when things go wrong. Repeated install and
uninstall cycles of the demo product leave the prefix as they found it; a run killed at points
chosen by its progress leaves no half-written file and a whole or absent Uninstall.dat, and a
second run then finishes; a drive that fills up during an install or an uninstall loses nothing
and a later run finishes; links planted in the installation folder carry no write or deletion
outside it. HALBERD_CYCLES sets the number of cycles (20; `make soak` runs 200). The figures go to
build/soak-*.txt for the soak summary."""
import os
import pathlib
import re
import shutil
import subprocess
import time

import pytest

from conftest import ROOT, WIN_TEST_TOOLS, holding, pack_project_file, run_installer, run_wine, wine_env, wine_path_to_unix
from test_uninstall import Product, folder_tree, key_exists, reg_value, run_through_batch, wait_until_gone

DEMO = ROOT / "examples/demo/product.toml"
DEMO_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Halberd Demo"
FIGURES = ROOT / "build"

# The registry that an installation may touch. The 64-bit reg.exe of the suite's prefix exports
# HKLM\Software with its Wow6432Node, so the 32-bit view comes with it.
EXPORTED_KEYS = ["HKLM\\Software", "HKCU\\Software",
                 "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment"]
# Lines Wine itself rewrites while any program runs, whatever the installer does: the random
# generator's seed (rewritten at each use of the crypto library) and the window metrics and
# "MUICache" names the shell keeps of every program started. A key is dropped with its values.
VOLATILE_KEYS = ("\\Microsoft\\Cryptography\\RNG", "\\Shell\\MuiCache", "\\ShellNoRoam\\MUICache",
                 "\\Explorer\\SessionInfo", "\\Wine\\Fonts\\Cache")
VOLATILE_VALUES = ('"Seed"=',)
# Files Wine itself writes below drive_c: its temporary folders (the uninstaller's self-deletion
# batch ends there after it has run) hold only the current run's leftovers of Wine's own.
VOLATILE_FILES = ("windows/temp/", "windows/Installer/")


def registry_lines():
    """The exported keys as a set of "key | line" texts, Wine's volatile lines dropped."""
    export = wine_path_to_unix("C:\\halberd-reliability-export.reg")
    lines = set()
    for key in EXPORTED_KEYS:
        run = run_wine(["reg", "export", key, "C:\\halberd-reliability-export.reg", "/y"])
        assert run.code == 0, (key, run)
        current = ""
        for line in export.read_bytes().decode("utf-16", "replace").splitlines():
            line = line.strip()
            if not line or line.startswith("Windows Registry Editor"):
                continue
            if line.startswith("[") and line.endswith("]"):
                current = line
                if not any(v in current for v in VOLATILE_KEYS):
                    lines.add(current)  # an empty key counts too
                continue
            if any(v in current for v in VOLATILE_KEYS) or line.startswith(VOLATILE_VALUES):
                continue
            lines.add(f"{current} | {line}")
    export.unlink()
    return lines


def drive_tree():
    """Every path below drive_c with the size of each file, Wine's volatile folders left out."""
    drive_c = wine_path_to_unix("C:\\")
    out = set()
    for rel in folder_tree(drive_c):
        if rel.startswith(VOLATILE_FILES) or "/Temp/" in rel or rel.endswith("/Temp/"):
            continue
        path = drive_c / rel
        out.add(rel if rel.endswith("/") or path.is_symlink() else f"{rel} {path.stat().st_size}")
    return out


def residue(before, after):
    return sorted(f"+ {x}" for x in after - before) + sorted(f"- {x}" for x in before - after)


def demo_installer(tmp_path):
    # The demo's paths are relative to its project file; the installer goes to the test's folder.
    return pack_project_file(DEMO, tmp_path / "demo-setup.exe")


def install_and_uninstall_demo(exe, tmp_path):
    run = run_installer(exe, "/silent", timeout=600)
    assert run.code == 0, run
    quiet = reg_value(DEMO_KEY, "QuietUninstallString")
    assert quiet, "the demo registers its QuietUninstallString"
    folder = reg_value(DEMO_KEY, "InstallLocation")
    run = run_through_batch(tmp_path, quiet)
    assert run.code == 0, run
    assert folder and wait_until_gone(wine_path_to_unix(folder.rstrip("\\")), 60), f"{folder} stays"
    assert not key_exists(DEMO_KEY)


def test_install_and_uninstall_cycles_of_the_demo_leave_nothing_behind(tmp_path):
    cycles = int(os.environ.get("HALBERD_CYCLES", "20"))
    exe = demo_installer(tmp_path)
    # One cycle first, so that what Wine makes once for any program (its shell folders, the
    # Start-menu folder) is there before the first picture.
    install_and_uninstall_demo(exe, tmp_path)
    tree, keys = drive_tree(), registry_lines()
    started = time.monotonic()
    for _ in range(cycles):
        install_and_uninstall_demo(exe, tmp_path)
    seconds = (time.monotonic() - started) / max(cycles, 1)
    left = residue(tree, drive_tree()) + residue(keys, registry_lines())
    line = f"cycles={cycles} residue={len(left)} seconds_per_cycle={seconds:.1f}"
    print("\n" + line)
    FIGURES.mkdir(exist_ok=True)
    (FIGURES / "soak-cycles.txt").write_text(line + "\n" + "".join(x + "\n" for x in left))
    assert not left, "\n".join(left[:50])


# ---- killed runs -------------------------------------------------------------------------------

BIG = 8 * 1024 * 1024  # incompressible, stored: the writes last long enough to be caught


def processes_of(name):
    """Linux processes whose command line holds `name` (a Windows program under Wine)."""
    pids = []
    for entry in pathlib.Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if name.encode() in (entry / "cmdline").read_bytes():
                pids.append(int(entry.name))
        except OSError:
            pass
    return pids


def kill_everything_named(name):
    for pid in processes_of(name):
        try:
            os.kill(pid, 9)
        except OSError:
            pass
    deadline = time.time() + 60
    while processes_of(name) and time.time() < deadline:
        time.sleep(0.2)


def partly_written(unix, sources):
    """A file of the product, at its final name or beside it, holding part of its contents."""
    for rel, data in sources.items():
        for path in (unix / rel, unix / (rel + ".hbpart")):
            try:
                size = path.stat().st_size
            except OSError:
                continue
            if 0 < size < len(data):
                return True
    return False


def any_target(unix, sources):
    return any((unix / rel).exists() or (unix / (rel + ".hbpart")).exists() for rel in sources)


KILL_POINTS = {
    "first-file": any_target,
    "partial-file": partly_written,
    "uninstall-data": lambda unix, sources: (unix / "Uninstall.dat").exists(),
}


def uninstall_data_is_whole(data):
    """The records, the [Strings] section and the caption text that closes it (id 999)."""
    if b"[Strings]\r\n" not in data or not data.endswith(b"\r\n"):
        return False
    strings = data.split(b"[Strings]\r\n", 1)[1]
    return b"~999\r\n" in strings


@pytest.mark.parametrize("point", list(KILL_POINTS))
def test_a_run_killed_midway_leaves_whole_files_and_a_second_run_finishes(tmp_path, point):
    sources = {f"data/part{i}.bin": os.urandom(BIG) for i in range(3)}
    sources["app.txt"] = b"the product\r\n"
    product = Product(tmp_path, f"Killed Run {point}", sources, '[package]\ncompression = "none"')
    # A name of its own, to find the run's Linux process.
    exe = product.exe.with_name(f"killed-{point}.exe")
    shutil.copy(product.exe, exe)
    reached = KILL_POINTS[point]
    run = subprocess.Popen(["wine", str(exe), "/silent"], env=wine_env(), stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    caught = False
    deadline = time.time() + 900
    while run.poll() is None and time.time() < deadline:
        if reached(product.unix, sources):
            run.kill()
            kill_everything_named(exe.name)
            caught = True
            break
        time.sleep(0.01)
    run.wait(60)
    if not caught:
        if point == "first-file":
            pytest.fail(f"the run ended (exit {run.returncode}) before a file of the product appeared")
        # The state came and went between two looks: the run finished, which is not this test's case.
        forget_installation(product)
        pytest.skip(f"the run finished before the point {point} was seen")

    # No file at its final name differs from its source.
    for rel, data in sources.items():
        path = product.unix / rel
        if path.exists():
            assert path.read_bytes() == data, f"{rel} is half-written at its final name after the kill"
    dat = product.unix / "Uninstall.dat"
    if dat.exists():
        assert uninstall_data_is_whole(dat.read_bytes()), "Uninstall.dat is torn"

    # The second run finishes and leaves every file whole, and nothing partial beside it.
    product.install()
    for rel, data in sources.items():
        assert (product.unix / rel).read_bytes() == data, rel
        assert not (product.unix / (rel + ".hbpart")).exists(), rel
    assert uninstall_data_is_whole(dat.read_bytes())
    # An uninstall removes everything, the folder included.
    run = product.uninstall()
    assert run.code == 0, run
    assert wait_until_gone(product.unix, 60), sorted(folder_tree(product.unix))
    FIGURES.mkdir(exist_ok=True)
    with open(FIGURES / "soak-kills.txt", "a") as figures:
        figures.write(f"survived {point}\n")


def forget_installation(product):
    if key_exists(product.key):
        product.uninstall()
    shutil.rmtree(product.unix, ignore_errors=True)


# ---- locked files ------------------------------------------------------------------------------------

def test_a_file_locked_during_a_reinstall_keeps_its_whole_contents_and_a_later_run_finishes(tmp_path):
    # (test_uninstall.py holds a file during the uninstall; this is the install's side.)
    files = {"app.txt": b"version one\r\n", "bin/tool.dat": b"one" * 3000}
    product = Product(tmp_path, "Locked Reinstall", files)
    product.install()
    (tmp_path / "source" / "app.txt").write_bytes(b"version two\r\n")
    (tmp_path / "source" / "bin" / "tool.dat").write_bytes(b"two" * 4000)
    second = pack_project_file(tmp_path / "product.toml", tmp_path / "setup-two.exe")
    with holding(product.folder + "\\bin\\tool.dat"):
        run = run_installer(second, "/silent")
    assert run.code == 0, run
    # The locked file is the earlier one, whole; the other file is the new one; the log says which
    # file was not installed.
    assert (product.unix / "bin" / "tool.dat").read_bytes() == b"one" * 3000
    assert (product.unix / "app.txt").read_bytes() == b"version two\r\n"
    assert not (product.unix / "bin" / "tool.dat.hbpart").exists()
    log = (product.unix / "Install.log").read_bytes().decode("utf-8", "replace")
    assert "Could not install: " + product.folder + "\\bin\\tool.dat" in log, log
    run = run_installer(second, "/silent")
    assert run.code == 0, run
    assert (product.unix / "bin" / "tool.dat").read_bytes() == b"two" * 4000
    assert product.uninstall().code == 0
    assert wait_until_gone(product.unix, 60), sorted(folder_tree(product.unix))


# ---- a full disk ---------------------------------------------------------------------------------

@pytest.fixture
def small_drive(tmp_path):
    """Drive S: on a memory file system of 3 MB of its own, which a run can fill. A mount needs
    root, which the jobs of the emulated test machine have; elsewhere these tests are skipped."""
    if os.geteuid() != 0:
        pytest.skip("a drive that can fill up needs a mount of its own, and a mount needs root")
    mount = tmp_path / "small-drive"
    mount.mkdir()
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=3m", "tmpfs", str(mount)], check=True)
    link = pathlib.Path(os.environ["WINEPREFIX"]) / "dosdevices" / "s:"
    link.symlink_to(mount)
    try:
        yield mount
    finally:
        link.unlink()
        subprocess.run(["umount", "-l", str(mount)])


def fill(mount):
    """Takes the drive's free space to the last page."""
    with open(mount / "filler", "wb", buffering=0) as filler:
        try:
            while True:
                filler.write(b"\0" * 4096)
        except OSError:
            pass


def test_a_full_disk_during_the_install_loses_nothing_and_a_later_run_finishes(tmp_path, small_drive):
    # 4 MB of files for a drive of 3 MB: the run writes until the drive is full.
    sources = {"a.bin": os.urandom(1 << 20), "b.bin": os.urandom(1 << 20), "c.bin": os.urandom(2 << 20)}
    product = Product(tmp_path, "Full Disk Install", sources, '[package]\ncompression = "none"',
                      folder="S:\\Full Install")
    run = run_installer(product.exe, "/silent")
    assert run.code == 17, run  # the disk was full
    for rel, data in sources.items():
        assert not (product.unix / (rel + ".hbpart")).exists(), f"a partial {rel} is left behind"
        if (product.unix / rel).exists():
            assert (product.unix / rel).read_bytes() == data, f"{rel} is half-written"
    dat = product.unix / "Uninstall.dat"
    assert not dat.exists() or uninstall_data_is_whole(dat.read_bytes()), "Uninstall.dat is torn"
    # Room made, the same installer finishes, and the uninstall removes everything.
    subprocess.run(["mount", "-o", "remount,size=16m", str(small_drive)], check=True)
    product.install()
    for rel, data in sources.items():
        assert (product.unix / rel).read_bytes() == data, rel
    assert uninstall_data_is_whole(dat.read_bytes())
    assert product.uninstall().code == 0
    assert wait_until_gone(product.unix, 60), sorted(folder_tree(product.unix))


def test_a_full_disk_during_the_uninstall_keeps_its_data_and_a_later_run_finishes(tmp_path, small_drive):
    # One file, held open, stays; the other is removed, but being empty it frees no room, so the
    # shorter list of what is left cannot be written on the full drive: the earlier list, which
    # still names both, must stay whole.
    product = Product(tmp_path, "Full Disk Uninstall", {"app.txt": b"the product\r\n", "empty.txt": b""},
                      folder="S:\\Full Uninstall")
    product.install()
    before = product.uninstall_data()
    assert b"\\empty.txt\r\n" in before
    fill(small_drive)
    with holding(product.folder + "\\app.txt"):
        run = product.uninstall()
    assert run.code == 3, run  # removed with failures
    assert key_exists(product.key)
    after = product.uninstall_data()
    assert uninstall_data_is_whole(after), "Uninstall.dat is torn"
    assert after == before, "the full drive took no new list, so the earlier one stays"
    assert not (product.unix / "empty.txt").exists()
    # Room made and the file let go, a later run finishes.
    (small_drive / "filler").unlink()
    run = product.uninstall()
    assert run.code == 0, run
    assert not key_exists(product.key)
    assert wait_until_gone(product.unix, 60), sorted(folder_tree(product.unix))


# ---- hostile folders -----------------------------------------------------------------------------

def snapshot(folder):
    return {p: (folder / p).read_bytes() if not p.endswith("/") else None for p in folder_tree(folder)}


def test_links_planted_in_the_installation_folder_carry_no_write_or_deletion_outside(tmp_path):
    # (test_uninstall.py plants a junction after the installation, where this Wine can make one;
    # here the links are there before the installer runs, as Unix symbolic links, which Wine shows
    # as a reparse point for a folder and follows for a file.)
    files = {"app.txt": b"the product\r\n", "bin/tool.dat": b"x" * 5000, "bin/deep/more.dat": b"more\r\n"}
    product = Product(tmp_path, "Planted Links", files)
    outside = wine_path_to_unix("C:\\halberd-outside-" + tmp_path.name)
    shutil.rmtree(outside, ignore_errors=True)
    (outside / "deep").mkdir(parents=True)
    (outside / "tool.dat").write_bytes(b"not the product's\r\n")
    (outside / "deep" / "more.dat").write_bytes(b"not the product's either\r\n")
    (outside / "victim.txt").write_bytes(b"a file the product must not write\r\n")
    before = snapshot(outside)
    # The installation folder, made in advance, holds a folder link where the product has a
    # folder, and a file link where it has a file.
    product.unix.mkdir(parents=True)
    os.symlink(outside, product.unix / "bin")
    os.symlink(outside / "victim.txt", product.unix / "app.txt")

    run = run_installer(product.exe, "/silent")
    assert run.code == 0, run
    assert snapshot(outside) == before, "the installer wrote through a planted link"
    # The file link was replaced by the product's file, not written through.
    assert not (product.unix / "app.txt").is_symlink()
    assert (product.unix / "app.txt").read_bytes() == files["app.txt"]
    # The refusal is told: in the log, which failures always write.
    log = (product.unix / "Install.log").read_bytes().decode("utf-8", "replace")
    assert "is a link to another place" in log, log

    run = product.uninstall()
    assert run.code in (0, 3), run
    assert snapshot(outside) == before, "the uninstaller deleted through a planted link"
    assert (product.unix / "bin").is_symlink(), "the link is not the product's to remove"
    shutil.rmtree(product.unix, ignore_errors=True)
    shutil.rmtree(outside, ignore_errors=True)


# ---- planted DLLs and programs ---------------------------------------------------------------------

# DLLs that are not among the system's KnownDLLs (which Windows always takes from the system
# folder), so that a copy beside a program or in its current folder would be found first by a
# careless load: the ones the installer loads at run time, and ones Wine's own DLLs pull in.
# (imm32, shcore, oleaut32, psapi, setupapi and gdiplus are KnownDLLs, which Windows always takes
# from the system folder; Wine's loader has no such list and was seen taking planted imm32 and
# shcore at start-up.)
PLANTED_DLLS = ["version", "msimg32", "comctl32", "msi", "wininet", "srclient", "riched20", "rasapi32", "dbghelp",
                "wintrust", "winmm", "uxtheme", "dwmapi", "userenv", "profapi", "cryptbase", "secur32", "sspicli",
                "propsys", "winhttp", "mpr", "netapi32", "iphlpapi", "dnsapi", "crypt32"]
# Programs the demo's run starts (its batch, the registry editor for the merge file, the
# uninstaller's self-deletion): a copy of the same name beside the installer must not be run.
PLANTED_PROGRAMS = ["cmd.exe", "regedit.exe", "reg.exe", "notepad.exe", "explorer.exe", "rundll32.exe"]


def test_dlls_and_programs_planted_beside_the_installer_or_in_its_current_folder_are_never_loaded(tmp_path):
    beside, current = tmp_path / "download", tmp_path / "current"
    beside.mkdir()
    current.mkdir()
    exe = beside / "demo-setup.exe"
    shutil.copy(demo_installer(tmp_path), exe)
    for folder in (beside, current):
        for name in PLANTED_DLLS:
            shutil.copy(WIN_TEST_TOOLS / "planted_dll.dll", folder / (name + ".dll"))
        for name in PLANTED_PROGRAMS:
            shutil.copy(WIN_TEST_TOOLS / "load_library.exe", folder / name)
    markers = tmp_path / "markers"
    markers.mkdir()
    # Wine takes its own built-in DLL before a file it finds unless told otherwise: "n,b" makes it
    # search as Windows does, so that a planted copy that the search reaches is loaded.
    overrides = ";".join(f"{name}=n,b" for name in PLANTED_DLLS)
    # Wine's loader names every DLL it maps ("+loaddll") and the start-up code it runs ("+module"),
    # and the process layer every program it starts ("+process"), for the installer and every
    # program it runs.
    env = dict(wine_env(), WINEDEBUG="+loaddll,+module,+process",
               HALBERD_PROBE_MARKERS="Z:" + str(markers).replace("/", "\\"),
               WINEDLLOVERRIDES=wine_env()["WINEDLLOVERRIDES"] + ";" + overrides)
    with open(tmp_path / "loader.log", "wb") as log:
        run = subprocess.run(["wine", str(exe), "/silent"], cwd=current, env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=log, timeout=900)
    # Wine's trace doubles the backslashes of the paths it shows.
    lines = (tmp_path / "loader.log").read_text("utf-8", "replace").replace("\\\\", "\\").lower().splitlines()
    assert any(":loaddll:" in line for line in lines), "Wine's loader reported nothing: the test proves nothing"
    folders = [("Z:" + str(f).replace("/", "\\")).lower() for f in (beside, current)]

    def taken(names):
        """The indexes of the lines where a planted file was mapped or started."""
        return [i for i, line in enumerate(lines) if (":loaddll:" in line or ":process:" in line)
                and any(f"{w}\\{n}" in line for w in folders for n in names)]

    programs = taken(PLANTED_PROGRAMS)
    assert not programs, "\n".join(lines[i] for i in programs[:20])
    assert run.returncode == 0, run.returncode
    # The installation is removed again, for the tests that follow.
    install_and_uninstall_demo(exe, tmp_path)

    # Before the installer's first instruction, Wine's loader resolves the imports of the system
    # DLLs the program imports and runs their start-up code, and there it searches the program's
    # folder first, where Windows takes a KnownDLL's own imports from the system folder: Wine's
    # user32 imports version.dll and loads imm32.dll, its shlwapi imports shcore.dll. Those loads
    # are Wine's (the installer's own imports are KnownDLLs alone, see test_installer.py). Every
    # load after that start-up is the installer's, and none may take a planted copy.
    started = installer_code_starts(lines, exe.name.lower())
    dlls = taken([n + ".dll" for n in PLANTED_DLLS])
    own = [lines[i] for i in dlls if i > started]
    assert not own, "planted DLLs loaded by the installer's run:\n" + "\n".join(own[:20])
    # Every planted DLL that ran left its marker; each must show in the trace, or it missed a load.
    traced = {re.search(r"\\([^\\\"]+)\"", lines[i]).group(1) for i in dlls}
    markers_left = {p.name.lower().removesuffix(".loaded") for p in markers.iterdir()}
    assert markers_left <= traced, markers_left - traced
    if dlls:
        print("taken by Wine's start-up of the installer's process:\n" + "\n".join(lines[i] for i in dlls))


def installer_code_starts(lines, exe_name):
    """The index of the trace line after which the installer's own code runs: the end of the
    start-up code of the last DLL that its process loaded at start-up. Those DLLs get the
    start-up's context in the loader's lines; a DLL loaded later gets none (00000000)."""
    thread = next(line.split(":", 1)[0] for line in lines if ":loaddll:" in line and f"\\{exe_name}\"" in line)
    context, end = None, None
    for i, line in enumerate(lines):
        if not line.startswith(thread + ":") or ":module:process_attach (" not in line:
            continue
        attach = line.rsplit(",", 1)[1].split(")")[0]
        if context is None and attach != "00000000":
            context = attach
        if attach == context and line.endswith("- end"):
            end = i
    assert end is not None, "the trace shows no start-up of the installer's process"
    return end
