"""End to end: the closing phase under Wine. A silent install registers the product under the
Uninstall key of the 32-bit registry view with the values and types the uninstaller reads back,
writes the uninstaller (a program that starts, with the product's icon in its resources), saves
the readme and EULA copies, replaces a locked uninstaller at restart, and starts the launch-after
program and the product's program at the end (the recording tool writes a marker)."""
import re
import shutil
import struct
import time
import uuid

from conftest import ROOT, WIN_TEST_TOOLS, holding, pack_project_file, run_installer, run_wine, wine_path_to_unix

UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
BOM = b"\xef\xbb\xbf"


def unique(prefix):
    return f"{prefix} {uuid.uuid4().hex[:8]}"


def icon_file(colour):
    """A one-image icon: a 1x1 32-bit bitmap image of the given colour (its bytes tell icons apart)."""
    image = struct.pack("<IiiHHIIiiII", 40, 1, 2, 1, 32, 0, 8, 0, 0, 0, 0) + bytes([*colour, 255]) + b"\0\0\0\0"
    return struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 1, 1, 0, 0, 1, 32, len(image), 22) + image


def pack_product(tmp_path, name, sections="", *, version="4.10", files=None, product_extra=""):
    """A product installed into C:\\<name> with `files` (name to bytes) and further TOML tables."""
    source = tmp_path / "files"
    source.mkdir(exist_ok=True)
    for file_name, data in (files if files is not None else {"app.txt": b"x" * 4096}).items():
        (source / file_name).write_bytes(data)
    project = tmp_path / "product.toml"
    project.write_text(f"[product]\nname = \"{name}\"\nversion = \"{version}\"\npublisher = \"Closing Maker\"\n"
                       f"install_folder = 'C:\\{name}'\n{product_extra}\n[install]\nalways_write_log = true\n\n"
                       f"{sections}\n\n[[files]]\nsource = \"files\"\n", encoding="utf-8")
    return pack_project_file(project)


def query_key(name):
    """The values of the product's Uninstall key in the 32-bit view: name -> (type, data)."""
    q = run_wine(["reg", "query", f"{UNINSTALL_KEY}\\{name}", "/reg:32"])
    assert q.code == 0, q
    values = {}
    for line in q.stdout.splitlines():
        m = re.match(r"^\s{4}(\S.*?)\s{4}(REG_\w+)\s{4}(.*)$", line)
        if m:
            values[m.group(1)] = (m.group(2), m.group(3))
        m = re.match(r"^\s{4}(\S.*?)\s{4}(REG_\w+)\s*$", line)
        if m:
            values[m.group(1)] = (m.group(2), "")
    return values


def key_exists(name, view):
    return run_wine(["reg", "query", f"{UNINSTALL_KEY}\\{name}", view]).code == 0


def remove_product(name):
    run_wine(["reg", "delete", f"{UNINSTALL_KEY}\\{name}", "/reg:32", "/f"])
    shutil.rmtree(wine_path_to_unix(f"C:\\{name}"), ignore_errors=True)


def install_log(name):
    data = wine_path_to_unix(f"C:\\{name}\\Install.log").read_bytes()
    assert data.startswith(BOM)
    return data[len(BOM):].decode("utf-8")


def pe_resources(data):
    """The resources of a PE file: (type, name) -> bytes of the first language."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    rva = struct.unpack_from("<I", data, pe + 24 + 112)[0]  # data directory 2 of a PE32 image
    table = pe + 24 + optional_size
    for i in range(sections):
        _, _, virtual, _, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
        size = struct.unpack_from("<I", data, table + 40 * i + 16)[0]
        if virtual <= rva < virtual + size:
            base = raw + rva - virtual
            break
    else:
        return {}

    def entries(offset):
        named, ids = struct.unpack_from("<HH", data, base + offset + 12)
        for k in range(named + ids):
            ident, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * k)
            yield ident, target

    found = {}
    for type_id, type_target in entries(0):
        for name_id, name_target in entries(type_target & 0x7FFFFFFF):
            lang_target = next(entries(name_target & 0x7FFFFFFF))[1]
            data_rva, data_size = struct.unpack_from("<II", data, base + lang_target)
            start = base + data_rva - rva
            found[(type_id, name_id)] = bytes(data[start:start + data_size])
    return found


def test_uninstall_key_holds_every_value_in_the_32bit_view(tmp_path):
    name = unique("Registered")
    folder = f"C:\\{name}"
    (tmp_path / "product.ico").write_bytes(icon_file((1, 2, 3)))
    exe = pack_product(tmp_path, name, "[look]\ndialog_background = \"#102030\"\ndialog_text = \"#A0B0C0\"\n",
                       product_extra="icon = \"product.ico\"")
    try:
        run = run_installer(exe, "/silent")
        assert run.code == 0, run
        v = query_key(name)
        uninstaller = folder + "\\uninstall.exe"
        assert v["UninstallString"] == ("REG_SZ", f'"{uninstaller}" /u:"{name}"')
        assert v["QuietUninstallString"] == ("REG_SZ", f'"{uninstaller}" /a /u:"{name}"')
        assert v["DisplayName"] == ("REG_SZ", name)
        assert v["Publisher"] == ("REG_SZ", "Closing Maker")
        assert v["DisplayVersion"] == ("REG_SZ", "4.10")
        assert v["VersionMajor"] == ("REG_DWORD", "0x4")
        assert v["VersionMinor"] == ("REG_DWORD", "0xa")
        assert v["EstimatedSize"] == ("REG_DWORD", "0x4")
        assert v["DisplayIcon"] == ("REG_SZ", folder + "\\product.ico")
        assert wine_path_to_unix(folder + "\\product.ico").read_bytes() == icon_file((1, 2, 3))
        assert v["InstallLocation"] == ("REG_SZ", folder)
        assert re.fullmatch(r"\d{6}", v["InstallDate"][1]) and v["InstallDate"][0] == "REG_SZ"
        assert v["Session"][0] == "REG_QWORD"
        assert re.fullmatch(r"-?\d+", v["ProductFlags"][1]) and re.fullmatch(r"\d+", v["ProductFlags2"][1])
        # Colours: six upper-case hexadecimal digits, red first.
        assert v["DialogBG"] == ("REG_SZ", "102030") and v["DialogFG"] == ("REG_SZ", "A0B0C0")
        assert re.fullmatch(r"[0-9A-F]{6}", v["BannerFG"][1])
        # A silent run has no title settings.
        assert "DisplayTitle" not in v
        assert wine_path_to_unix(folder + "\\Uninstall.dat").exists()
    finally:
        remove_product(name)


def test_version_without_a_point_and_an_empty_product_leave_their_values_out(tmp_path):
    name = unique("Bare")
    exe = pack_product(tmp_path, name, version="4", files={"empty.txt": b""})
    try:
        run = run_installer(exe, "/silent")
        assert run.code == 0, run
        v = query_key(name)
        for absent in ("VersionMajor", "VersionMinor", "EstimatedSize", "DisplayIcon"):
            assert absent not in v, absent
        assert v["DisplayVersion"] == ("REG_SZ", "4")
    finally:
        remove_product(name)


def test_the_uninstaller_starts_and_carries_the_product_icon(tmp_path):
    name = unique("Iconic")
    (tmp_path / "remove.ico").write_bytes(icon_file((9, 8, 7)))
    exe = pack_product(tmp_path, name, "[uninstall]\nicon = \"remove.ico\"\n")
    try:
        run = run_installer(exe, "/silent")
        assert run.code == 0, run
        uninstaller = wine_path_to_unix(f"C:\\{name}\\uninstall.exe")
        assert wine_path_to_unix(f"C:\\{name}\\uninstall.ico").read_bytes() == icon_file((9, 8, 7))
        resources = pe_resources(uninstaller.read_bytes())
        ico = icon_file((9, 8, 7))
        assert resources[(3, 1)] == ico[22:]  # RT_ICON 1: the image
        assert resources[(14, 1)] == ico[:6] + ico[6:18] + struct.pack("<H", 1)  # RT_GROUP_ICON 1
        assert "Uninstaller >>> " + f"C:\\{name}\\uninstall.exe" in install_log(name)
        # Without /u and without installation data, the copy explains itself in a box (the window
        # driver saves its text and presses OK): it is a working program.
        shots = ROOT / "build/screenshots/runs"
        pattern = "test_the_uninstaller_starts_and_carries_the_product_icon*"
        for old in shots.glob(pattern):
            shutil.rmtree(old)  # an earlier run's boxes would prove nothing
        started = run_installer(f"C:\\{name}\\uninstall.exe")  # the prefix's own path holds a "c:"
        assert started.code == 255, started  # the fatal error's -1
        shown = started.stderr + "".join(f.read_text(errors="replace") for f in shots.glob(pattern + "/*.txt"))
        assert "There is no installation data present." in shown, started
    finally:
        remove_product(name)


def test_readme_and_eula_copies(tmp_path):
    name = unique("Readme")
    docs = tmp_path / "docs"
    docs.mkdir()
    (docs / "one.txt").write_bytes("Grüße\n".encode("utf-8"))
    (docs / "two.txt").write_bytes(b"second\n")
    (docs / "licence.rtf").write_bytes(b"{\\rtf1 licence}")
    exe = pack_product(tmp_path, name, "[readme]\nfiles = ['docs/one.txt', 'docs/two.txt']\nsave_copies = true\n\n"
                                       "[licence]\nfiles = ['docs/licence.rtf']\nsave_copies = true\n")
    try:
        run = run_installer(exe, "/silent")
        assert run.code == 0, run
        root = wine_path_to_unix(f"C:\\{name}")
        assert (root / "readme1.txt").read_bytes() == b"\xff\xfe" + "Grüße\n".encode("utf-16-le")
        assert (root / "readme2.txt").read_bytes() == b"\xff\xfe" + "second\n".encode("utf-16-le")
        assert (root / "eula.rtf").read_bytes() == b"{\\rtf1 licence}"
        assert not (root / "readme.txt").exists()
        body = (root / "Uninstall.dat").read_bytes().split(b"\r\n\r\n[Strings]\r\n")[0]
        for copy in ("readme1.txt", "readme2.txt", "eula.rtf"):
            assert f"C:\\{name}\\{copy}".encode() in body, copy
    finally:
        remove_product(name)


def copy_tool(files):
    files["record_command_line.exe"] = (WIN_TEST_TOOLS / "record_command_line.exe").read_bytes()
    return files


def wait_for(path):
    for _ in range(50):  # started programs run on after the installer has ended
        if path.exists() and path.stat().st_size:
            return path.read_text(encoding="utf-8")
        time.sleep(0.2)
    return ""


def test_a_product_without_uninstaller_still_copies_runs_batches_and_launches(tmp_path):
    name = unique("Plain")
    folder = f"C:\\{name}"
    docs = tmp_path / "docs"
    docs.mkdir()
    (docs / "readme.txt").write_text("read me\n")
    exe = pack_product(tmp_path, name,
                       "[uninstall]\ncreate = false\n\n[readme]\nfiles = ['docs/readme.txt']\nsave_copies = true\n\n"
                       "[batches.post_install]\ncommands = 'echo post> \"%InstallDir%\\post.txt\"'\n\n"
                       f"[finish]\nlaunch = '\"%InstallDir%\\record_command_line.exe\" \"{folder}\\launched.txt\"'\n",
                       files=copy_tool({}))
    try:
        run = run_installer(exe, "/silent")
        assert run.code == 0, run
        root = wine_path_to_unix(folder)
        assert not (root / "uninstall.exe").exists() and not (root / "Uninstall.dat").exists()
        assert not key_exists(name, "/reg:32") and not key_exists(name, "/reg:64")
        assert (root / "readme.txt").read_bytes() == b"\xff\xfe" + "read me\n".encode("utf-16-le")
        assert (root / "post.txt").exists()
        assert wait_for(root / "launched.txt")
    finally:
        remove_product(name)


def test_launch_after_and_the_product_program_are_started_and_a_failure_is_logged(tmp_path):
    name = unique("Launch")
    folder = f"C:\\{name}"
    exe = pack_product(tmp_path, name, "[finish]\nlaunch = '\"%InstallDir%\\missing-program.exe\" x'\nlaunch_directly = true\n",
                       files=copy_tool({}))
    # The launch-after program of /r: (double quotes written as backquotes), through a batch file so
    # that the quotes reach the installer as written.
    batch = tmp_path / "run.bat"
    z = "Z:" + str(exe).replace("/", "\\")
    batch.write_bytes(f'@"{z}" /silent /r:"`{folder}\\record_command_line.exe` `{folder}\\after.txt`"\r\n'
                      "@exit /b %errorlevel%\r\n".encode())
    try:
        run = run_wine(["cmd", "/c", "Z:" + str(batch).replace("/", "\\")])
        assert run.code == 0, run
        root = wine_path_to_unix(folder)
        assert wait_for(root / "after.txt").startswith(f'"{folder}\\record_command_line.exe"')
        log = install_log(name)
        assert f"Launch on exit: \"{folder}\\record_command_line.exe\" \"{folder}\\after.txt\"\r\n" in log
        assert f"Failed to launch app: {folder}\\missing-program.exe\r\n" in log
    finally:
        remove_product(name)


def test_a_locked_uninstaller_is_replaced_at_restart(tmp_path):
    name = unique("Locked")
    folder = f"C:\\{name}"
    exe = pack_product(tmp_path, name)
    try:
        assert run_installer(exe, "/silent").code == 0
        target = folder + "\\uninstall.exe"
        with holding(target):
            run = run_installer(exe, "/silent")
        assert run.code == 16, run
        log = install_log(name)
        m = re.search(r'"' + re.escape(target) + r'" was successfully registered for replacement\.\r\n'
                      r'Temporary file is "([^"]+)"\r\nReboot will be required\.\r\n\r\n', log)
        assert m, log
        # A silent run restarts at once: Wine's restart (wineboot) carries out the pending moves, so
        # the list itself is not looked at here.
        # The registration is written all the same.
        assert query_key(name)["UninstallString"][1] == f'"{target}" /u:"{name}"'
    finally:
        run_wine(["reg", "delete", r"HKLM\System\CurrentControlSet\Control\Session Manager",
                  "/v", "PendingFileRenameOperations", "/f"])
        remove_product(name)
