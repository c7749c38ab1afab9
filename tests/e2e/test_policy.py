"""End to end: the checks before installing. Each refusal ends the run with its exit code; an
earlier installation is found through the uninstall key or a registry location; the uninstall-first
rule starts the earlier version's uninstaller; the installation folder is checked before it is
used."""
import os
import pathlib
import subprocess
import time
import uuid

import pytest

from conftest import ROOT, WIN_TEST_TOOLS, pack_project_file, run_installer, run_wine, wine_env, wine_path_to_unix, z

UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"


def unique(prefix):
    return f"{prefix} {uuid.uuid4().hex[:8]}"


def pack_project(tmp_path, name, sections="", version="2.0", folder=None, product_extra=""):
    """Packs a one-file product; `sections` are further TOML tables of the project."""
    files = tmp_path / "files"
    files.mkdir(exist_ok=True)
    (files / "readme.txt").write_text("policy\r\n")
    folder = folder or f"C:\\{name}"
    project = tmp_path / "product.toml"
    project.write_text(f"[product]\nname = \"{name}\"\nversion = \"{version}\"\ninstall_folder = '{folder}'\n"
                       f"{product_extra}\n"
                       f"{sections}\n\n[[files]]\nsource = \"files\"\n", encoding="utf-8")
    exe = pack_project_file(project)
    return exe


def run_command_line(tmp_path, exe, arguments):
    """Runs the installer with its arguments exactly as written (Wine would escape the double
    quotes of an argument; a batch file passes the line as it is)."""
    command = f'"{z(exe)}" {arguments}'
    if "/silent" not in arguments:
        # A run that shows boxes goes through the window driver, which answers them.
        shots = ROOT / "build/screenshots/runs" / tmp_path.name
        shots.mkdir(parents=True, exist_ok=True)
        command = f'"{z(WIN_TEST_TOOLS / "window_driver.exe")}" answer-all "{z(shots)}" -- {command}'
    batch = tmp_path / "run.bat"
    batch.write_bytes(f'@{command}\r\n@exit /b %errorlevel%\r\n'.encode())
    return run_wine(["cmd", "/c", z(batch)])


def reg_add(key, name, value):
    run = run_wine(["reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"])
    assert run.code == 0, run


def register_earlier(key_name, **values):
    for name, value in values.items():
        reg_add(f"{UNINSTALL_KEY}\\{key_name}", name, value)


def windows_is_64bit():
    return "#arch=win64" in (pathlib.Path(os.environ["WINEPREFIX"]) / "system.reg").read_text(errors="replace")[:4096]


def make_folder(win_path):
    wine_path_to_unix(win_path).mkdir(parents=True, exist_ok=True)
    return win_path


ALL_WINDOWS = ["95", "98", "me", "nt3", "nt4", "2000", "xp", "server-2003", "vista", "server-2008", "7", "8",
               "server-2012", "10", "11", "server-2016", "server-2019", "server-2025", "win32s", "unknown"]


def refusal_bitness():
    wrong = "32-bit" if windows_is_64bit() else "64-bit"
    return f'[requirements]\nbitness = "{wrong}"\n', 5, "can only be installed on"


REFUSALS = {
    "bitness": refusal_bitness,
    "minimum Windows version": lambda: ('[requirements]\nminimum_windows = "99.0"\n', 6, "needs Windows 99.0 or later"),
    "excluded Windows version": lambda: ("[requirements]\nexcluded_windows = [" + ", ".join(f'"{w}"' for w in ALL_WINDOWS)
                                         + "]\n", 5, "cannot be installed on Windows"),
    "missing master product": lambda: ('[requirements]\nmaster_product = { uninstall_key = "No Such Master '
                                       + uuid.uuid4().hex + '", name = "Master Suite" }\n', 7, "needs Master Suite"),
    "master product too old": lambda: ("MASTER", 7, "needs version 5.0 or later of Master Suite"),
}


@pytest.mark.parametrize("case", sorted(REFUSALS))
def test_platform_refusal_ends_with_its_code(tmp_path, case):
    sections, code, text = REFUSALS[case]()
    name = unique("Refused")
    if sections == "MASTER":
        master_key = unique("Master")
        register_earlier(master_key, DisplayVersion="4.9", InstallLocation="C:\\Master")
        sections = (f'[requirements]\nmaster_product = {{ uninstall_key = "{master_key}", name = "Master Suite", '
                    f'minimum_version = "5.0" }}\n')
    exe = pack_project(tmp_path, name, sections)
    run = run_installer(exe)
    assert run.code == code, run
    assert text in run.stderr, run
    assert not wine_path_to_unix(f"C:\\{name}\\readme.txt").exists()


@pytest.mark.parametrize("windows, bitness, required", [
    ("64-bit", "32-bit", "32"),   # a 32-bit-only product on 64-bit Windows names 32
    ("32-bit", "64-bit", "64"),   # a 64-bit product on 32-bit Windows names 64
])
def test_bitness_refusal_names_the_required_bitness(tmp_path, request, windows, bitness, required):
    if windows == "32-bit":
        request.getfixturevalue("windows32")
    assert windows_is_64bit() == (windows == "64-bit")
    exe = pack_project(tmp_path, unique("Bitness"), f'[requirements]\nbitness = "{bitness}"\n')
    run = run_installer(exe)
    assert run.code == 5, run
    assert f"can only be installed on {required}-bit Windows." in run.stderr, run


def test_master_product_folder_becomes_the_installation_folder(tmp_path):
    master_key = unique("Master")
    folder = make_folder(f"C:\\{master_key}")
    register_earlier(master_key, DisplayVersion="5.0", InstallLocation=folder)
    exe = pack_project(tmp_path, unique("Addon"), folder="<master>",
                       sections=f'[requirements]\nmaster_product = {{ uninstall_key = "{master_key}", '
                                f'name = "Master Suite", minimum_version = "5.0" }}\n')
    run = run_installer(exe, "/silent")
    assert run.code == 0, run
    assert wine_path_to_unix(folder + "\\readme.txt").exists()


def test_second_installer_holding_the_mutex_refuses_with_8(tmp_path):
    name = unique("Single")
    exe = pack_project(tmp_path, name, "[install]\nsingle_instance = true\n")
    ready, release = tmp_path / "ready", tmp_path / "release"
    holder = subprocess.Popen(["wine", str(WIN_TEST_TOOLS / "hold_mutex.exe"), "Halberd HVS",
                               "Z:" + str(ready).replace("/", "\\"), "Z:" + str(release).replace("/", "\\")],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              env=wine_env())
    try:
        for _ in range(600):
            if ready.exists() or holder.poll() is not None:
                break
            time.sleep(0.1)
        assert ready.exists(), f"the helper did not take the mutex (exit {holder.poll()})"
        run = run_installer(exe)
        assert run.code == 8, run
        assert "Another installation is already running" in run.stderr, run
    finally:
        release.write_text("")
        holder.wait(timeout=60)
    # Once the other installer is gone the run goes on.
    assert run_installer(exe, "/silent").code == 0


@pytest.mark.parametrize("answer,code", [(403, 18), (200, 0), (404, 0)])
def test_blocking_status_from_the_loopback_server(server, tmp_path, answer, code):
    name = unique("Blocked")
    address = f"http://127.0.0.1:{server.port}/{uuid.uuid4().hex}/answer?status={answer}"
    exe = pack_project(tmp_path, name, f"[notify]\nblocking_query = '{address}'\nblock_when_status = 403\n",
                       product_extra='publisher = "Acme Ltd"\n')
    run = run_installer(exe)
    assert run.code == code, run
    if code == 18:
        assert "The installation was blocked by Acme Ltd." in run.stderr, run
    assert wine_path_to_unix(f"C:\\{name}\\readme.txt").exists() == (code == 0)


@pytest.mark.parametrize("no_downgrade_below,mode,code", [
    ("2.5", "interactive", 11),   # refused: nothing to start, the message and 11
    ("2.5", "/silent", 11),       # nothing registered to start: still 11, never an empty command
    ("2.0", "/silent", 0),        # an equal version is allowed
])
def test_no_downgrade_below(tmp_path, no_downgrade_below, mode, code):
    name = unique("Downgrade")
    folder = make_folder(f"C:\\{name}")
    register_earlier(name, InstallLocation=folder, DisplayVersion="3.0", NoDowngradeBelow=no_downgrade_below)
    exe = pack_project(tmp_path, name, version="2.0")
    run = run_installer(exe, *([] if mode == "interactive" else [mode]))
    assert run.code == code, run
    if mode == "interactive":
        assert "cannot be replaced by a version below 2.5" in run.stderr, run
    assert wine_path_to_unix(folder + "\\readme.txt").exists() == (code == 0)


def test_earlier_installation_through_install_location(tmp_path):
    name = unique("Earlier")
    folder = make_folder(f"C:\\Earlier place {uuid.uuid4().hex[:6]}")
    register_earlier(name, InstallLocation=folder, DisplayVersion="1.5")
    exe = pack_project(tmp_path, name, "[install]\nalways_write_log = true\n", version="2.0")
    # Automatic, not silent: silent mode does not compare versions.
    run = run_installer(exe, "/a", "/d:C:\\Elsewhere")
    assert run.code == 0, run
    # The earlier folder wins over the proposed one, and the run is an upgrade of 1.5.
    assert wine_path_to_unix(folder + "\\readme.txt").exists()
    assert not wine_path_to_unix("C:\\Elsewhere\\readme.txt").exists()
    log = wine_path_to_unix(folder + "\\Install.log").read_text(encoding="utf-8-sig")
    assert "Install type: Upgrade" in log, log
    assert "Overwriting version: 1.5" in log, log


def test_earlier_installation_through_the_registry_location_only(tmp_path):
    name = unique("Located")
    folder = make_folder(f"C:\\Located place {uuid.uuid4().hex[:6]}")
    value_key = f"HKLM\\Software\\Halberd Tests\\{name}"
    reg_add(value_key, "InstallPath", folder)
    exe = pack_project(tmp_path, name, f"[upgrade]\nearlier_location = '{value_key}\\InstallPath'\n")
    run = run_installer(exe, "/silent")
    assert run.code == 0, run
    assert wine_path_to_unix(folder + "\\readme.txt").exists()
    assert not wine_path_to_unix(f"C:\\{name}\\readme.txt").exists()


def test_uninstall_first_in_silent_mode_starts_the_earlier_uninstaller(tmp_path):
    name = unique("First")
    folder = make_folder(f"C:\\{name}")
    record = "C:\\" + uuid.uuid4().hex + ".txt"
    tool = wine_path_to_unix("C:\\record_command_line.exe")
    tool.write_bytes((WIN_TEST_TOOLS / "record_command_line.exe").read_bytes())
    register_earlier(name, InstallLocation=folder, DisplayVersion="1.0",
                     UninstallString=f"C:\\record_command_line.exe {record} /u:`{name}`")
    exe = pack_project(tmp_path, name, '[upgrade]\nuninstall_first = true\nuninstall_first_below = "2.0"\n')
    run = run_command_line(tmp_path, exe, '/silent /d:"C:\\Some Folder"')
    assert run.code == 10, run
    recorded = ""
    for _ in range(50):  # the uninstaller runs on after the installer has ended
        if wine_path_to_unix(record).exists() and (recorded := wine_path_to_unix(record).read_text()):
            break
        time.sleep(0.2)
    assert recorded.startswith(f"C:\\record_command_line.exe {record} /u:`{name}` /r:\""), recorded
    assert recorded.endswith("\" /silent /a"), recorded
    inner = recorded[recorded.index('/r:"') + 4:-len('" /silent /a')]
    assert '"' not in inner and "/silent" in inner and "/d:`C:\\Some Folder`" in inner, recorded
    assert not wine_path_to_unix(folder + "\\readme.txt").exists()


def test_uninstall_first_without_a_registered_command_ends_with_9(tmp_path):
    name = unique("NoCommand")
    folder = make_folder(f"C:\\{name}")
    register_earlier(name, InstallLocation=folder, DisplayVersion="1.0")
    exe = pack_project(tmp_path, name, "[upgrade]\nuninstall_first = true\n")
    run = run_installer(exe, "/silent")
    assert run.code == 9, run
    assert not wine_path_to_unix(folder + "\\readme.txt").exists()


# A refused folder gets its message, and the folder page comes back with the same text, which the
# window driver then cancels as a user would with Escape: exit 12 after the message. A folder that
# passes every check is installed into. The folders go in with /d:,
# except the one outside ASCII, which the project file carries (the command line of Wine's
# starter is not UTF-8 everywhere).
FOLDERS = [
    ("invalid path", "relative\\folder", "", "This folder cannot be used"),
    ("path with a wildcard", "C:\\bad*name", "", "This folder cannot be used"),
    ("profiles folder", "C:\\users", "", "This folder cannot be used"),
    ("missing drive", "Q:\\Product", "", "Drive Q: is not available"),
    ("drive root", "C:\\", "", "cannot be installed in the top folder of a drive"),
    ("Program Files itself", "C:\\Program Files", "", "cannot be installed directly in C:\\Program Files"),
    ("network folder with the flag", "\\\\server\\share\\Product", "[install]\nallow_network_folder = false\n",
     "cannot be installed in a network folder"),
    ("non-ASCII with the flag", "C:\\Caf\u00e9 Product", "[install]\nallow_non_ascii_folder = false\n",
     "only plain English letters"),
]


@pytest.mark.parametrize("what,folder,sections,text", FOLDERS, ids=[f[0] for f in FOLDERS])
def test_folder_check_rejects(tmp_path, what, folder, sections, text):
    if folder.isascii():
        exe = pack_project(tmp_path, unique("Folder"), sections)
        run = run_command_line(tmp_path, exe, f'/d:"{folder}"')
    else:
        exe = pack_project(tmp_path, unique("Folder"), sections, folder=folder)
        run = run_installer(exe)
    assert run.code == 12, run
    assert text in run.stderr, run


@pytest.mark.parametrize("folder,sections", [
    ("C:\\Caf\u00e9 Product {}", ""),                                      # non-ASCII without the flag
    ("C:\\Apps {}\\Nested\\", "[install]\nallow_network_folder = false\n"),  # created, trailing backslash dropped
])
def test_folder_that_passes_is_created_and_used(tmp_path, folder, sections):
    folder = folder.format(uuid.uuid4().hex[:6])
    exe = pack_project(tmp_path, unique("Folder"), sections, folder=folder)
    run = run_installer(exe)
    assert run.code == 0, run
    assert wine_path_to_unix(folder.rstrip("\\") + "\\readme.txt").exists()


def test_restore_point_without_the_service_is_logged_and_the_run_goes_on(tmp_path):
    name = unique("Restore")
    exe = pack_project(tmp_path, name, "[install]\nrestore_point = true\nalways_write_log = true\n")
    run = run_installer(exe, "/silent")
    assert run.code == 0, run
    log = wine_path_to_unix(f"C:\\{name}\\Install.log").read_bytes().decode("utf-8-sig")
    assert "Creating restore point...FAILEDSystem Restore is not present.\r\n\r\n" in log, log
    assert "Failed to commit restore point." not in log, log


@pytest.mark.parametrize("action,when,closed", [
    ("close", "install", True),
    ("quit", "both", True),
    ("end-process", "install", True),
    ("end-process", "uninstall", False),  # an entry for uninstalling only leaves it running
])
def test_running_program_is_closed_before_installing(tmp_path, action, when, closed):
    title = unique("Viewer report")
    ready = tmp_path / "ready"
    program = subprocess.Popen(["wine", str(WIN_TEST_TOOLS / "show_window.exe"), title,
                                "Z:" + str(ready).replace("/", "\\")],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               env=wine_env())
    try:
        for _ in range(300):
            if ready.exists() or program.poll() is not None:
                break
            time.sleep(0.1)
        if program.poll() == 2:
            pytest.skip("no display for a window")
        assert ready.exists(), f"the program did not show its window (exit {program.poll()})"
        name = unique("Closer")
        exe = pack_project(tmp_path, name, f'[[close_program]]\nwindow_class = "HalberdTestWindow"\n'
                                           f'window_title = "*{title.split()[-1]}"\naction = "{action}"\n'
                                           f'when = "{when}"\n')
        run = run_installer(exe, "/silent")
        assert run.code == 0, run
        if closed:
            assert program.wait(timeout=30) == 0
        else:
            time.sleep(1)
            assert program.poll() is None
    finally:
        if program.poll() is None:
            program.kill()
            program.wait(10)


def test_interactive_run_tells_the_install_type_and_asks_over_installation(tmp_path):
    name = unique("Confirmed")
    folder = make_folder(f"C:\\{name}")
    register_earlier(name, InstallLocation=folder, DisplayVersion="1.5")
    exe = pack_project(tmp_path, name, "[upgrade]\nconfirm_over_install = true\n", version="2.0")
    run = run_installer(exe)
    assert run.code == 0, run
    # The confirmation: the type's text, the folder, then the question; the answers go on.
    assert "will be upgraded:\r\n" + folder + "\r\n\r\nDo you want to continue?" in run.stderr, run
    assert "Do you want to install this version over it?" in run.stderr, run
    assert wine_path_to_unix(folder + "\\readme.txt").exists()


@pytest.mark.parametrize("value", ["C:\\From registry {}", None])
def test_installation_folder_named_by_a_registry_value(tmp_path, value):
    name = unique("RegFolder")
    key = f"HKLM\\Software\\Halberd Tests\\{name}"
    if value:
        value = value.format(uuid.uuid4().hex[:6])
        reg_add(key, "Path", value)
    exe = pack_project(tmp_path, name, folder=f"{key}\\Path")
    run = run_installer(exe)
    if value:
        # A folder that does not exist yet is only warned about.
        assert run.code == 0, run
        assert f'Installation path "{value}" obtained from "{key}\\Path" does not exist.' in run.stderr, run
        assert wine_path_to_unix(value + "\\readme.txt").exists()
    else:
        assert run.code == 7, run
        assert f'Failed to obtain installation path from "{key}\\Path"' in run.stderr, run


@pytest.mark.parametrize("arguments,errors_flag,shown", [
    (["/a"], False, False),        # automatic: no error box
    (["/a"], True, True),          # unless the product asks for errors in automatic mode
    (["/silent"], True, False),    # silent shows nothing, whatever the product asks
])
def test_refusal_message_follows_the_automatic_and_silent_rules(tmp_path, arguments, errors_flag, shown):
    sections = '[requirements]\nminimum_windows = "99.0"\n'
    if errors_flag:
        sections += "[install]\nerrors_in_automatic_mode = true\n"
    exe = pack_project(tmp_path, unique("Quiet"), sections)
    run = run_installer(exe, *arguments)
    assert run.code == 6, run
    assert ("needs Windows 99.0 or later" in run.stderr) == shown, run


def test_d_folder_is_expanded_with_the_path_variables(tmp_path):
    name = unique("Expanded")
    exe = pack_project(tmp_path, name)
    # Doubled percent signs reach the installer as single ones: the batch does not expand them.
    run = run_command_line(tmp_path, exe, f'/silent /d:"%%ProgramFiles%%\\{name}"')
    assert run.code == 0, run
    program_files = "C:\\Program Files (x86)" if windows_is_64bit() else "C:\\Program Files"
    assert wine_path_to_unix(f"{program_files}\\{name}\\readme.txt").exists()


def test_registry_folder_takes_precedence_over_d(tmp_path):
    name = unique("RegOverD")
    key = f"HKLM\\Software\\Halberd Tests\\{name}"
    folder = make_folder(f"C:\\From registry {uuid.uuid4().hex[:6]}")
    reg_add(key, "Path", folder)
    exe = pack_project(tmp_path, name, folder=f"{key}\\Path")
    elsewhere = f"C:\\Not here {uuid.uuid4().hex[:6]}"
    run = run_command_line(tmp_path, exe, f'/silent /d:"{elsewhere}"')
    assert run.code == 0, run
    assert wine_path_to_unix(folder + "\\readme.txt").exists()
    assert not wine_path_to_unix(elsewhere).exists()
