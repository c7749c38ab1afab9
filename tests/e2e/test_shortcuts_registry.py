"""End to end: shortcuts and registry entries under Wine. One product with shortcuts in every
destination (one of them blocked by a file where its folder should be), typed registry values, a
merge file and an App Paths entry is installed once; each link is read back through the shell's link
object (tests/tools/read_shortcut.exe), the values with the registry tool, and Uninstall.dat is
checked for exactly the links and folders the run made."""
import re
import shutil
import struct
import subprocess
import time
import uuid

import pytest

from conftest import PACK, STUB, WIN_TEST_TOOLS, run_installer, run_wine, wine_path_to_unix

READ_SHORTCUT = WIN_TEST_TOOLS / "read_shortcut.exe"
SW_SHOWNORMAL, SW_SHOWMAXIMIZED, SW_SHOWMINNOACTIVE = 1, 3, 7


def fields(run):
    return dict(line.split("=", 1) for line in run.stdout.replace("\r", "").splitlines() if "=" in line)


def read_link(path):
    run = run_wine([READ_SHORTCUT, path])
    assert run.code == 0, (path, run)
    link = fields(run)
    # The show command is read from the file's header (offset 0x3C of the shell link format):
    # Wine's link object writes it but does not read it back.
    link["show"] = struct.unpack_from("<I", wine_path_to_unix(path).read_bytes(), 0x3C)[0]
    return link


def reg_value(key, name):
    """(type, data) of one value as `reg query` shows it, or None when it is missing."""
    run = run_wine(["reg", "query", key, "/v", name] if name else ["reg", "query", key, "/ve"])
    if run.code != 0:
        return None
    for line in run.stdout.replace("\r", "").splitlines():
        m = re.search(r"\s(REG_[A-Z_]+)\s*(.*)$", line)
        if m:
            return m.group(1), m.group(2).strip()
    return None


def uninstall_body(root):
    text = (root / "Uninstall.dat").read_bytes().decode("utf-8")
    return [line for line in text.split("\r\n\r\n[Strings]\r\n")[0].split("\r\n") if line]


@pytest.fixture(scope="module")
def installed(tmp_path_factory):
    tmp = tmp_path_factory.mktemp("links")
    uid = uuid.uuid4().hex[:8]
    folder = rf"C:\LinkTest\{uid}"
    app = f"app{uid}.exe"
    (tmp / "src").mkdir()
    (tmp / "src" / app).write_bytes(b"not really a program")
    (tmp / "src" / "blocker").write_text("a file where a shortcut's folder should be")
    (tmp / "merge.reg").write_text("Windows Registry Editor Version 5.00\r\n\r\n"
                                   f"[HKEY_CURRENT_USER\\Software\\HalberdE2E\\{uid}Merge]\r\n\"Merged\"=\"yes\"\r\n")
    key = rf"HKLM\Software\HalberdE2E\{uid}"
    (tmp / "product.toml").write_text(f"""
[product]
name = "Links {uid}"
version = "1.0"
publisher = "Test"

[install]
always_write_log = true
detailed_log = true

[shortcuts]
start_menu_folder = 'Links {uid}'

[registry]
product_key = 'HalberdE2E\\{uid}'
merge_file = "merge.reg"
app_path = '{app}'

[[registry.entry]]
key = '{key}'
name = "Count"
type = "dword"
value = 42

[[registry.entry]]
key = '{key}'
name = "Bytes"
type = "binary"
value = "0A 0B ff"

[[registry.entry]]
key = '{key}'
name = "Home"
type = "string"
value = '%InstallDir%\\bin'

[[registry.entry]]
key = '{key}'
name = "Raw"
type = "expand-string"
value = '%InstallDir%\\bin'

[[shortcut]]
target = '{app}'
name = "Every {uid}"
arguments = '/open "a b.txt"'
start_in = 'C:\\windows'
icon = 'C:\\windows\\system32\\shell32.dll'
desktop = true
start_menu = true
startup = true
folder = '{folder}\\extra'
window = "maximized"

[[shortcut]]
target = '{app}'
name = 'Tools\\Tool {uid}'
start_menu = true
window = "minimized"

[[shortcut]]
target = '{app}'
name = "Kept {uid}"
desktop = true
keep_at_uninstall = true

[[shortcut]]
target = '{app}'
name = "Blocked {uid}"
folder = '{folder}\\blocker\\sub'

[[files]]
source = "src/*"
""")
    exe = tmp / "setup.exe"
    p = subprocess.run([str(PACK), str(tmp / "product.toml"), "-o", str(exe), "--stub", str(STUB)],
                       capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    run = run_installer(exe, "/silent", f"/d:{folder}")
    shell = fields(run_wine([READ_SHORTCUT, "--folders"]))
    root = wine_path_to_unix(folder)
    yield dict(run=run, uid=uid, folder=folder, app=app, root=root, shell=shell, key=key)
    shutil.rmtree(root, ignore_errors=True)
    for path in (shell["desktop"] + rf"\Every {uid}.lnk", shell["desktop"] + rf"\Kept {uid}.lnk",
                 shell["startup"] + rf"\Every {uid}.lnk"):
        wine_path_to_unix(path).unlink(missing_ok=True)
    shutil.rmtree(wine_path_to_unix(shell["programs"] + rf"\Links {uid}"), ignore_errors=True)


def test_run_finishes(installed):
    assert installed["run"].code == 0, installed["run"]


def test_links_hold_what_the_entries_say(installed):
    uid, shell, folder = installed["uid"], installed["shell"], installed["folder"]
    every = [shell["desktop"] + rf"\Every {uid}.lnk", shell["programs"] + rf"\Links {uid}\Every {uid}.lnk",
             shell["startup"] + rf"\Every {uid}.lnk", folder + rf"\extra\Every {uid}.lnk"]
    for path in every:
        link = read_link(path)
        assert link["target"].lower() == (folder + "\\" + installed["app"]).lower(), path
        assert link["arguments"] == '/open "a b.txt"', path
        assert link["start_in"].lower() == r"c:\windows", path
        assert link["icon"].lower() == r"c:\windows\system32\shell32.dll,0", path
        assert int(link["show"]) == SW_SHOWMAXIMIZED, path
    tool = read_link(shell["programs"] + rf"\Links {uid}\Tools\Tool {uid}.lnk")
    assert tool["start_in"].lower() == folder.lower()  # no start-in folder: the installation folder
    assert tool["icon"].lower() == (folder + "\\" + installed["app"] + ",0").lower()  # no icon: the target
    assert int(tool["show"]) == SW_SHOWMINNOACTIVE


def test_uninstall_data_records_exactly_what_the_run_made(installed):
    uid, shell, folder = installed["uid"], installed["shell"], installed["folder"]
    body = [line.lower() for line in uninstall_body(installed["root"])]
    menu = shell["programs"] + rf"\Links {uid}"
    made = [shell["desktop"] + rf"\Every {uid}.lnk", menu + rf"\Every {uid}.lnk", shell["startup"] + rf"\Every {uid}.lnk",
            folder + rf"\extra\Every {uid}.lnk", menu + rf"\Tools\Tool {uid}.lnk",
            "~" + menu, "~" + menu + r"\Tools", "~" + folder + r"\extra"]
    for record in made:
        assert record.lower() in body, record
    assert body.count(("~" + menu).lower()) == 1
    for line in body:
        assert f"kept {uid}" not in line and f"blocked {uid}" not in line, line
    # The kept shortcut exists all the same.
    assert wine_path_to_unix(shell["desktop"] + rf"\Kept {uid}.lnk").exists()


def test_a_link_whose_folder_cannot_be_made_is_reported(installed):
    log = (installed["root"] / "Install.log").read_bytes().decode("utf-8", "replace")
    assert rf"{installed['folder']}\blocker\sub\Blocked {installed['uid']}.lnk" in log
    assert f"Start Menu Shortcut(Every {installed['uid']}) >>> " in log


def test_registry_values_are_written_with_their_types(installed):
    key, folder = installed["key"], installed["folder"]
    assert reg_value(key, "Count") == ("REG_DWORD", "0x2a")
    assert reg_value(key, "Bytes")[0] == "REG_BINARY"
    assert reg_value(key, "Bytes")[1].replace(" ", "").upper() == "0A0BFF"
    assert reg_value(key, "Home") == ("REG_SZ", folder + r"\bin")
    assert reg_value(key, "Raw") == ("REG_EXPAND_SZ", r"%InstallDir%\bin")


def test_app_paths_and_its_undo_lines(installed):
    key = r"HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths" + "\\" + installed["app"]
    assert reg_value(key, "") == ("REG_SZ", installed["folder"] + "\\" + installed["app"])
    assert reg_value(key, "Path") == ("REG_SZ", installed["folder"])
    text = (installed["root"] / "Uninstall.dat").read_bytes().decode("utf-8")
    registry2 = text.split("[Registry2]\r\n")[1]
    full = "\\" + key
    assert f"{full},,,,2\r\n" in registry2
    assert f"{full},Path,,,2\r\n" in registry2


def test_merge_file_is_imported(installed):
    key = rf"HKCU\Software\HalberdE2E\{installed['uid']}Merge"
    for _ in range(40):  # the registry editor is not waited for
        if reg_value(key, "Merged"):
            break
        time.sleep(0.5)
    assert reg_value(key, "Merged") == ("REG_SZ", "yes")
