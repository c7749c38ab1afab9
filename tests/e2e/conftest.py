"""Shared helpers of the end-to-end tests: pack real installers with halberd-pack, run them under
Wine, and take the installation data apart to damage one region at a time."""
import contextlib
import os
import pathlib
import struct
import subprocess
import sys
import tempfile
import time
import urllib.request
import zlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
# The build folders under test; HALBERD_BUILD_NATIVE and HALBERD_BUILD_WIN32 point at others.
BUILD_NATIVE = pathlib.Path(os.environ.get("HALBERD_BUILD_NATIVE", ROOT / "build/native"))
BUILD_WIN32 = pathlib.Path(os.environ.get("HALBERD_BUILD_WIN32", ROOT / "build/win32"))
PACK = BUILD_NATIVE / "bin/halberd-pack"
NATIVE_TOOLS = BUILD_NATIVE / "bin"
STUB = BUILD_WIN32 / "bin/halberd-setup.exe"
WIN_TEST_TOOLS = BUILD_WIN32 / "bin"


def wine_env():
    env = dict(os.environ)
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    return env


@pytest.fixture(scope="session")
def _prefix32():
    """A fresh copy of the 32-bit Windows template (HALBERD_WINEPREFIX32), its server kept running
    for the session."""
    template = pathlib.Path(os.environ.get("HALBERD_WINEPREFIX32", "/opt/halberd-deps/wineprefix32"))
    if not (template / "system.reg").exists():
        pytest.skip(f"no 32-bit Wine prefix at {template}: run scripts/setup.sh")
    prefix = pathlib.Path(os.environ.get("HALBERD_TEST_WINE_DIR", ROOT / "build/test-wine")) / "e2e32"
    prefix.parent.mkdir(parents=True, exist_ok=True)
    env = dict(wine_env(), WINEPREFIX=str(prefix))
    subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
    subprocess.run(["rm", "-rf", str(prefix)], check=True)
    subprocess.run(["cp", "-a", str(template), str(prefix)], check=True)
    # The server must not inherit pytest's pipes, or a reader of the output would wait for it.
    subprocess.run(["wineserver", "-p"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    yield prefix
    subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)


@pytest.fixture
def windows32(_prefix32, monkeypatch):
    """Runs the test's Windows programs on 32-bit Windows (the suite's own prefix is 64-bit)."""
    monkeypatch.setenv("WINEPREFIX", str(_prefix32))
    return _prefix32


class Run:
    def __init__(self, code, stdout, stderr):
        self.code, self.stdout, self.stderr = code, stdout, stderr

    def __repr__(self):
        return f"exit {self.code}\n--stderr--\n{self.stderr}"


def z(path):
    """A Unix path as Wine's Z: drive shows it."""
    return "Z:" + str(path).replace("/", "\\")


def run_wine(args, timeout=120):
    """Runs a Windows program under Wine and waits for its exit, not for the end of its output:
    Wine's own helper processes may hold a pipe open long after the program ended, so the output
    goes to files."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        p = subprocess.run(["wine", *map(str, args)], stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                           env=wine_env(), timeout=timeout)
        out.seek(0)
        err.seek(0)
        return Run(p.returncode, out.read().decode("utf-8", "replace"), err.read().decode("utf-8", "replace"))


def forget_product(name):
    """Removes an earlier test's registration of the product `name`: a registered installation
    folder takes precedence over /d:, so a later install of the same name would land there."""
    for view in ("/reg:32", "/reg:64"):
        run_wine(["reg", "delete", rf"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\{name}", view, "/f"])


_runs = {}


def run_installer(exe, *args, timeout=120):
    """Runs an installer under Wine; the exit code as Windows gave it (modulo 256). Unless the run
    is silent, it runs under the window driver, which saves every box the installer shows (with
    its control list) in build/screenshots/runs/TEST-N/ and answers it with its default button,
    as a user who presses Enter would."""
    driver = WIN_TEST_TOOLS / "window_driver.exe"
    if "/silent" in args or not driver.exists():
        return run_wine([exe, *args], timeout=timeout)
    test = os.environ.get("PYTEST_CURRENT_TEST", "run").split(" ")[0]
    name = "".join(c if c.isalnum() or c in "-_" else "_" for c in test.split("::", 1)[-1])[:80]
    _runs[name] = _runs.get(name, 0) + 1
    shots = ROOT / "build/screenshots/runs" / f"{name}-{_runs[name]}"
    shots.mkdir(parents=True, exist_ok=True)
    program = z(exe) if str(exe).startswith("/") else str(exe)
    return run_wine([driver, "answer-all", z(shots), "--", program, *args], timeout=timeout)


def pack_project_file(project, out=None):
    """Packs a project file with the stub under test; returns the installer ("setup.exe" beside
    the project unless `out` is given)."""
    out = out or project.parent / "setup.exe"
    p = subprocess.run([str(PACK), str(project), "-o", str(out), "--stub", str(STUB)], capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    return out


def pack(files_dir, out, *options, name="Test Product"):
    p = subprocess.run([str(PACK), "--files", str(files_dir), "--name", name, "-o", str(out), "--stub", str(STUB),
                        *options], capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    return out


def wine_path_to_unix(path):
    """C:\\x\\y inside the test prefix."""
    prefix = pathlib.Path(os.environ["WINEPREFIX"])
    drive, rest = path[0].lower(), path[3:].replace("\\", "/")
    return prefix / "dosdevices" / f"{drive}:" / rest


_temp_folder = None


def wine_temp_folder():
    global _temp_folder
    if _temp_folder is None:
        _temp_folder = wine_path_to_unix(run_wine(["cmd", "/c", "echo %TEMP%"]).stdout.strip())
    return _temp_folder


class SetupData:
    """The installer's ".setup" section: where each field lies, so that a test can damage it."""

    def __init__(self, data: bytearray):
        self.data = data
        e_lfanew = struct.unpack_from("<H", data, 0x3C)[0]
        count = struct.unpack_from("<H", data, e_lfanew + 6)[0]
        opt_size = struct.unpack_from("<H", data, e_lfanew + 20)[0]
        table = e_lfanew + 24 + opt_size
        self.e_lfanew = e_lfanew
        for i in range(count):
            entry = table + 40 * i
            if data[entry:entry + 8].rstrip(b"\0") == b".setup":
                self.raw = struct.unpack_from("<I", data, entry + 20)[0]
                break
        else:
            raise AssertionError("no .setup section")
        r = self.raw
        self.flags2, self.script_size, self.script_key = struct.unpack_from("<IiI", data, r + 12)
        self.total, self.file_count, self.archive_size, self.archive_crc = struct.unpack_from("<iiiI", data, r + 28)
        self.sizes_at = r + 44
        self.script_at = self.sizes_at + 4 * self.file_count + (56 if self.flags2 & (1 << 12) else 0)
        self.archive_at = self.script_at + self.script_size

    def field(self, offset):
        return self.raw + offset

    def put_i32(self, at, value):
        struct.pack_into("<i", self.data, at, value)

    def chunks(self):
        """(offset of the chunk's length field, stored length) for each chunk."""
        at, end, out = self.archive_at, self.archive_at + self.archive_size, []
        while at < end:
            n = struct.unpack_from("<i", self.data, at)[0]
            out.append((at, n))
            at += 8 + n
        return out

    def fix_archive_crc(self):
        crc = zlib.crc32(bytes(self.data[self.archive_at:self.archive_at + self.archive_size]))
        struct.pack_into("<I", self.data, self.field(40), crc)

    def fix_chunk_crc(self, chunk_at):
        n = struct.unpack_from("<i", self.data, chunk_at)[0]
        struct.pack_into("<I", self.data, chunk_at + 4, zlib.crc32(bytes(self.data[chunk_at + 8:chunk_at + 8 + n])))


@pytest.fixture(scope="session")
def product(tmp_path_factory):
    """A small product: text, a compressible file, an incompressible one, nested folders."""
    root = tmp_path_factory.mktemp("product")
    (root / "readme.txt").write_text("Hello from the test product.\r\n")
    (root / "bin").mkdir()
    (root / "bin" / "app.dat").write_bytes(b"compressible line of text\n" * 4000)
    (root / "bin" / "tools").mkdir()
    (root / "bin" / "tools" / "random.bin").write_bytes(os.urandom(50000))
    (root / "empty.txt").write_bytes(b"")
    return root


class LoopbackServer:
    def __init__(self, port):
        self.port = port

    def address(self, test_id, rest):
        return f"http://127.0.0.1:{self.port}/{test_id}/{rest}"

    def requests(self, test_id):
        """The raw requests recorded for `test_id`, in order."""
        with urllib.request.urlopen(f"http://127.0.0.1:{self.port}/_log/{test_id}", timeout=10) as answer:
            log = answer.read()
        out = []
        while log:
            length, _, rest = log.partition(b"\r\n")
            n = int(length)
            out.append(rest[:n])
            log = rest[n + 2:]
        return out


@pytest.fixture(scope="module")
def server(tmp_path_factory):
    """The loopback HTTP test server (tests/tools/http_test_server.py on 127.0.0.1), one per module."""
    port_file = tmp_path_factory.mktemp("http") / "port"
    p = subprocess.Popen([sys.executable, str(ROOT / "tests/tools/http_test_server.py"), "--port-file", str(port_file), "--lifetime", "900"],
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(1200):  # the server takes some 25 s to start in the emulated test machine
            if port_file.exists() or p.poll() is not None:
                break
            time.sleep(0.1)
        yield LoopbackServer(int(port_file.read_text()))
    finally:
        p.terminate()
        p.wait(10)


@contextlib.contextmanager
def holding(path):
    """A second program holds the file `path` open without sharing until the block ends."""
    holder = subprocess.Popen(["wine", str(WIN_TEST_TOOLS / "hold_file.exe"), path], env=wine_env(),
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        assert holder.stdout.readline().startswith(b"holding"), "the helper did not take the file"
        yield
    finally:
        holder.stdin.close()
        holder.wait(timeout=60)
