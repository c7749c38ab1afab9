"""End to end: file extraction under Wine. One installer carries a table of file entries (every
overwrite mode against an existing and a missing target, the kinds that compare, the target forms,
a folder blocked by a file, the permanent flag, attributes); after a silent run the files, their
times and attributes, Uninstall.dat and (once the run writes it) Install.log are checked against
the table. A full disk is a real 1 MiB file system mapped as a Wine drive."""
import calendar
import os
import pathlib
import re
import shutil
import subprocess
import uuid

import pytest

from conftest import (PACK, STUB, SetupData, holding, pack, pack_project_file, run_installer, run_wine,
                      wine_path_to_unix, wine_temp_folder)

ENTRY_TIME = (2021, 6, 1, 10, 0, 0)
OLD = (2020, 1, 1, 10, 0, 0)
NEWER = (2030, 1, 1, 0, 0, 0)


def stamp(t):
    return "%d/%02d/%02d %02d:%02d:%02d" % t


# name, [[files]] options, existing target (its time) or None, expected content ("new", "old",
# None: absent), recorded for removal, log line after the path (None: none).
CASES = [
    ("m0_exists.txt", "overwrite = 0", OLD, "new", True, None),
    ("m0_missing.txt", "overwrite = 0", None, "new", True, None),
    ("m1_exists.txt", 'overwrite = "never"', OLD, "old", False, None),
    ("m1_missing.txt", "overwrite = 1", None, None, False, None),
    ("m2_exists.txt", 'overwrite = "if-exists"', OLD, "new", True, None),
    ("m2_missing.txt", "overwrite = 2", None, None, False, " was not installed because it does not already exist."),
    ("m3_exists.txt", 'overwrite = "if-missing"', OLD, "old", True, " was not installed because it already exists."),
    ("m3_missing.txt", "overwrite = 3", None, "new", True, None),
    ("m4_older.txt", 'overwrite = "if-newer"', OLD, "new", True, None),
    ("m4_newer.txt", "overwrite = 4", NEWER, "old", True, " was not installed because the existing file is newer."),
    ("m4_missing.txt", "overwrite = 4", None, "new", True, None),
    ("m5_exists.txt", "overwrite = 5", OLD, "old", False, None),
    ("m5_missing.txt", "overwrite = 5", None, None, False, None),
    ("m6_exists.txt", "overwrite = 6", NEWER, "new", True, None),
    ("m7_missing.txt", "overwrite = 7", None, "new", True, None),
    ("k5_startup.txt", 'kind = "startup"', None, "new", True, None),
    ("k9_older.txt", 'kind = "if-newer"', NEWER, "old", True,
     f" was not installed because its date ({stamp(ENTRY_TIME)}) is not newer than {stamp(NEWER)}."),
    ("k9_newer.txt", "kind = 9", OLD, "new", True,
     f" needs replacement because its date ({stamp(ENTRY_TIME)}) is newer than {stamp(OLD)}."),
    ("k9_missing.txt", "kind = 9", None, "new", True, None),
    ("permanent.txt", "permanent = true", None, "new", False, None),
    ("attributes.txt", 'attributes = ["read-only", "hidden"]', None, "new", True, None),
]
# Kind 9 against an existing file with a version resource (the installer stub, file version
# 48.0.11.0, with a tail that tells the copies apart): name, entry version, expected, log line.
VERSION_CASES = [
    ("v_older.exe", "48.0.10", "old", " was not installed because its version (48.0.10) is not newer than 48.0.11.0"),
    ("v_same.exe", "48.0.11", "old", " was not installed because its version (48.0.11) is not newer than 48.0.11.0"),
    ("v_newer.exe", "48.1", "new", f" needs replacement because its version (48.1) is newer than 48.0.11.0 and its date "
                                   f"({stamp(ENTRY_TIME)}) is newer than {stamp(OLD)}."),
]
# Target forms: source name, options, the path below the installation folder, the folder record
# it brings (below the installation folder), or None.
TARGETS = [
    ("trailing.txt", 'folder = "sub"', r"sub\trailing.txt", "sub"),
    ("newname-source.txt", 'rename = "renamed.txt"', "renamed.txt", None),
    ("fullform-source.txt", 'folder = "deep\\\\er"\nrename = "full.txt"', r"deep\er\full.txt", "deep"),
    ("blocked.txt", 'folder = "blocker"', None, None),
    ("sub_again.txt", 'folder = "sub"', r"sub\sub_again.txt", None),  # the folder is recorded once
]


def set_time(path, t):
    s = calendar.timegm(t + (0, 0, 0))
    os.utime(path, (s, s))


def temp_files():
    temp = wine_temp_folder()
    return sorted(p.name for p in temp.glob("TLT*")) if temp.exists() else []


def unix(path):
    return wine_path_to_unix(path)


@pytest.fixture(scope="module")
def installed(tmp_path_factory):
    """Packs the table, prepares the targets, runs the installer once; returns what the tests need."""
    tmp = tmp_path_factory.mktemp("extraction")
    src = tmp / "src"
    src.mkdir()
    uid = uuid.uuid4().hex[:8]
    folder = rf"C:\ExtractTest\{uid}"
    shared_name = f"HalberdShared{uid}"
    lines = [f'[product]\nname = "Extraction {uid}"\nversion = "1.0"\npublisher = "Test"\n',
             f'[shared]\nfolder = "{shared_name}"\n',
             '[install]\nalways_write_log = true\ndetailed_log = true\n',
             "[[delete]]\nfiles = '%InstallDir%\\cache\\*.tmp'\n",
             "[[delete]]\nfiles = '%InstallDir%\\only-now.tmp'\nwhen = \"install\"\n"]
    for name, options, *_ in CASES + [(t[0], t[1]) for t in TARGETS]:
        (src / name).write_text(f"new {name}\n")
        lines.append(f'[[files]]\nsource = "src/{name}"\ntime = 2021-06-01T10:00:00\n{options}\n')
    stub = STUB.read_bytes()
    for name, version, *_ in VERSION_CASES:
        (src / name).write_bytes(stub + b"new")
        lines.append(f'[[files]]\nsource = "src/{name}"\ntime = 2021-06-01T10:00:00\nkind = "if-newer"\n'
                     f'version = "{version}"\n')
    (src / "shared.dll").write_bytes(b"shared library")
    lines.append('[[files]]\nsource = "src/shared.dll"\nkind = "shared"\ntime = 2021-06-01T10:00:00\n')
    project = tmp / "product.toml"
    project.write_text("\n".join(lines))
    exe = tmp / "setup.exe"
    p = subprocess.run([str(PACK), str(project), "-o", str(exe), "--stub", str(STUB)], capture_output=True, text=True)
    assert p.returncode == 0, p.stderr

    root = unix(folder)
    root.mkdir(parents=True)
    for name, _, existing, *_ in CASES:
        if existing:
            (root / name).write_text(f"old {name}\n")
            set_time(root / name, existing)
    for name, *_ in VERSION_CASES:
        (root / name).write_bytes(stub + b"old")
        set_time(root / name, OLD)
    (root / "blocker").write_text("a file where a folder should be")

    run = run_installer(exe, "/silent", f"/d:{folder}")
    # The shared-files folder is made in Common Files; its first record names where that is.
    body = uninstall_body(root) if (root / "Uninstall.dat").exists() else []
    shared = body[0][1:] if body and body[0].endswith("\\Common Files\\" + shared_name) else None
    yield dict(run=run, folder=folder, root=root, shared=shared)
    shutil.rmtree(root, ignore_errors=True)
    if shared:
        shutil.rmtree(unix(shared), ignore_errors=True)


def uninstall_body(root):
    text = (root / "Uninstall.dat").read_bytes().decode("ascii")
    head = text.split("\r\n\r\n[Strings]\r\n")[0]
    return [line for line in head.split("\r\n") if line]


def expected_body(folder, shared):
    body = ["~" + shared]
    for name, _, _, _, recorded, _ in CASES:
        if recorded:
            body.append(folder + "\\" + name)
    for _, _, path, folder_record in TARGETS:
        if folder_record:
            body.append("~" + folder + "\\" + folder_record)
            if "\\" in path[len(folder_record) + 1:]:  # deep\er: both levels were made
                body.append("~" + folder + "\\" + path.rsplit("\\", 1)[0])
        if path:
            body.append(folder + "\\" + path)
    for name, *_ in VERSION_CASES:
        body.append(folder + "\\" + name)  # kept or replaced, a kind-9 file is the product's
    return body


def test_run_finishes(installed):
    assert installed["run"].code == 0, installed["run"]


@pytest.mark.parametrize("case", CASES, ids=[c[0] for c in CASES])
def test_each_overwrite_case_leaves_its_target(installed, case):
    name, _, existing, expected, _, _ = case
    target = installed["root"] / name
    if expected is None:
        assert not target.exists()
        return
    assert target.read_text() == f"{expected} {name}\n"
    want = ENTRY_TIME if expected == "new" else existing
    assert target.stat().st_mtime == calendar.timegm(want + (0, 0, 0))


@pytest.mark.parametrize("case", VERSION_CASES, ids=[c[0] for c in VERSION_CASES])
def test_newer_only_files_compare_the_version_resource(installed, case):
    name, _, expected, _ = case
    assert (installed["root"] / name).read_bytes()[-3:] == expected.encode()


def test_target_forms_and_the_blocked_folder(installed):
    root = installed["root"]
    for source, _, path, _ in TARGETS:
        if path:
            assert (root / path.replace("\\", "/")).read_text() == f"new {source}\n"
    assert (root / "blocker").is_file()
    assert not (root / "blocked.txt").exists()


def test_shared_file_goes_to_the_shared_folder(installed):
    assert installed["shared"], "the shared-files folder made by the run is the first record"
    assert (unix(installed["shared"]) / "shared.dll").read_bytes() == b"shared library"
    # A shared file of an installation that is not portable is counted, not recorded.
    assert installed["shared"] + "\\shared.dll" not in uninstall_body(installed["root"])


def test_attributes_are_applied(installed):
    out = run_wine(["cmd", "/c", "attrib", installed["folder"] + r"\attributes.txt"]).stdout
    marks = out.split("C:")[0]
    assert "R" in marks and "H" in marks, out
    plain = run_wine(["cmd", "/c", "attrib", installed["folder"] + r"\m0_missing.txt"]).stdout
    assert "R" not in plain.split("C:")[0] and "H" not in plain.split("C:")[0], plain


def test_uninstall_data_lists_exactly_what_the_run_made_or_kept(installed):
    body = uninstall_body(installed["root"])
    # The startup file's shortcut in the user's Startup folder is the run's too, recorded last.
    startup = run_wine(["cmd", "/c", "echo %APPDATA%"]).stdout.strip() + \
        "\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\k5_startup.txt.lnk"
    assert [line.lower() for line in body[-1:]] == [startup.lower()]
    assert wine_path_to_unix(body[-1]).is_file()
    assert body[:-1] == expected_body(installed["folder"], installed["shared"])
    text = (installed["root"] / "Uninstall.dat").read_bytes().decode("utf-8")
    strings = text.split("[Strings]\r\n")[1]
    ids = [int(line[1:]) for line in strings.split("\r\n") if line[:1] == "~" and line[1:].isdigit()]
    # Only the deletion meant for uninstall time is kept for the uninstaller.
    assert text.endswith("\r\n\r\n[ConditionalDelete]\r\n%InstallDir%\\cache\\*.tmp,0,,8\r\n"), text
    assert "only-now.tmp" not in text
    assert ids == [10, 15, 20, 30, 34, 35, 49, 53, 55, 56, 57, 58, 59, 65, 67, 68, 69, 70, 71, 74, 79, 80, 99,
                   100, 101, 104, 107, 108, 109, 110, 111, 115, 116, 999]


def test_log_names_each_skipped_file_and_the_blocked_folder(installed):
    log_path = installed["root"] / "Install.log"
    if not log_path.exists():
        pytest.skip("this build writes no Install.log yet")
    log = log_path.read_bytes().decode("utf-8")
    for name, _, _, _, _, line in CASES:
        if line:
            assert installed["folder"] + "\\" + name + line + "\r\n" in log
    for name, _, _, line in VERSION_CASES:
        assert installed["folder"] + "\\" + name + line + "\r\n" in log
    assert "Cannot create folder because there is a file with the same name." in log
    assert "Not installed: " + installed["folder"] + r"\blocker\blocked.txt" in log


def one_file_installer(tmp_path, file_name, content, settings, *, name, folder=None):
    """An installer of one file `src/<file_name>` with `content`: `settings` are the project's
    further TOML lines before its [[files]] entry (for the [product] table and others)."""
    src = tmp_path / "src"
    src.mkdir()
    (src / file_name).write_text(content, encoding="utf-8")
    target = f"\nfolder = \"{folder}\"" if folder else ""
    project = tmp_path / "product.toml"
    project.write_text(f'[product]\nname = "{name}"\n{settings}[[files]]\nsource = "src/{file_name}"{target}\n',
                       encoding="utf-8")
    return pack_project_file(project)


def test_without_an_uninstaller_no_uninstall_data_is_written(tmp_path):
    exe = one_file_installer(tmp_path, "a.txt", "a", "[uninstall]\ncreate = false\n", name="No Uninstaller")
    folder = rf"C:\ExtractTest\none-{uuid.uuid4().hex[:8]}"
    run = run_installer(exe, "/silent", f"/d:{folder}")
    assert run.code == 0, run
    root = unix(folder)
    assert (root / "a.txt").read_text() == "a"
    assert not (root / "Uninstall.dat").exists()
    shutil.rmtree(root, ignore_errors=True)


@pytest.fixture
def small_drive(tmp_path):
    """A 1 MiB tmpfs mapped as drive Q: of the Wine prefix."""
    mount_point = tmp_path / "small"
    mount_point.mkdir()
    m = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", str(mount_point)], capture_output=True,
                       text=True)
    if m.returncode != 0:
        pytest.skip(f"cannot mount a small file system here: {m.stderr.strip()}")
    link = pathlib.Path(os.environ["WINEPREFIX"]) / "dosdevices" / "q:"
    old = os.readlink(link) if link.is_symlink() else None
    if link.is_symlink():
        link.unlink()
    link.symlink_to(mount_point)
    yield mount_point
    link.unlink()
    if old:
        link.symlink_to(old)
    subprocess.run(["umount", str(mount_point)], check=False)


def test_full_disk_ends_with_17_and_leaves_no_partial_file(tmp_path, small_drive):
    src = tmp_path / "src"
    src.mkdir()
    (src / "small.txt").write_text("fits")
    (src / "big.bin").write_bytes(os.urandom(3 << 20))
    (src / "after.txt").write_text("after")
    project = tmp_path / "product.toml"
    project.write_text('[product]\nname = "Full Disk"\n[install]\nalways_write_log = true\n'
                       "[[files]]\nsource = \"src/small.txt\"\nfolder = 'Q:\\'\n"
                       "[[files]]\nsource = \"src/big.bin\"\nfolder = 'Q:\\'\n"
                       '[[files]]\nsource = "src/after.txt"\n')
    exe = tmp_path / "setup.exe"
    p = subprocess.run([str(PACK), str(project), "-o", str(exe), "--stub", str(STUB), ],
                       capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    folder = rf"C:\ExtractTest\full-{uuid.uuid4().hex[:8]}"
    run = run_installer(exe, "/silent", f"/d:{folder}")
    assert run.code == 17, run
    assert (small_drive / "small.txt").read_text() == "fits"
    assert not (small_drive / "big.bin").exists()
    # The run went on after the failed file.
    root = unix(folder)
    assert (root / "after.txt").read_text() == "after"
    # What the run made is recorded; the file it could not make is not.
    files = [line for line in uninstall_body(root) if not line.startswith("~")]
    assert files == ["Q:\\small.txt", folder + "\\after.txt"]
    log_path = root / "Install.log"
    if log_path.exists():
        assert "Q:\\big.bin" in log_path.read_bytes().decode("utf-8")
    shutil.rmtree(root, ignore_errors=True)


@pytest.mark.parametrize("offset,value,code", [
    (0, 0x600FFEE2, 101),     # magic number
    (16, 6, 73),              # size differs from the file-size table
    (16, -1, 71),             # negative size
    (16, 0x73333334, 72),     # size above the limit
    (4, 13, 110),             # kind outside the table
    (4, 2, 110),              # kind without a folder and no target text
    (48, 254, 70),            # the name's length runs past the stream (its length byte)
], ids=["magic", "size-mismatch", "size-negative", "size-limit", "kind-13", "kind-2", "texts-past-end"])
def test_damaged_file_entry_ends_the_run_with_its_code(tmp_path, offset, value, code):
    files = tmp_path / "files"
    files.mkdir()
    (files / "a.txt").write_text("hello")
    exe = pack(files, tmp_path / "setup.exe", "--store", "--install-folder", rf"C:\ExtractTest\corrupt-{uuid.uuid4().hex[:8]}")
    s = SetupData(bytearray(exe.read_bytes()))
    chunk_at, _ = s.chunks()[0]
    entry = chunk_at + 8
    if offset == 48:
        s.data[entry + offset] = value
    else:
        s.put_i32(entry + offset, value)
    s.fix_chunk_crc(chunk_at)
    s.fix_archive_crc()
    exe.write_bytes(bytes(s.data))
    before = temp_files()
    run = run_installer(exe, "/silent")
    assert run.code == 2, run
    assert f"Error code: {code}\r\n" in run.stderr + "\r\n", run
    # The extraction file does not outlive the run.
    assert temp_files() == before


def test_locked_file_is_replaced_at_restart_and_the_run_asks_for_one(tmp_path):
    exe = one_file_installer(tmp_path, "locked.txt", "new locked.txt\n",
                             "[install]\nreplace_locked_files = true\nalways_write_log = true\n", name="Locked")
    folder = rf"C:\ExtractTest\locked-{uuid.uuid4().hex[:8]}"
    root = unix(folder)
    root.mkdir(parents=True)
    (root / "locked.txt").write_text("old locked.txt\n")
    target = folder + r"\locked.txt"
    with holding(target):
        run = run_installer(exe, "/silent", f"/d:{folder}")
    assert run.code == 16, run
    assert (root / "locked.txt").read_text() == "old locked.txt\n"
    # The new contents wait in a "TLT" temporary file beside the target.
    temps = [f for f in root.iterdir() if re.fullmatch(r"TLT[0-9A-Fa-f]{1,4}\.tmp", f.name)]
    assert len(temps) == 1, list(root.iterdir())
    assert temps[0].read_text() == "new locked.txt\n"
    temp = folder + "\\" + temps[0].name
    # A silent run that needs a restart restarts Windows at once; Wine's restart works through the
    # list of pending moves and empties it (the move itself fails while the file is held). The
    # list's entries are checked by the Windows unit tests of the restart operations.
    log = (root / "Install.log").read_bytes().decode("utf-8")
    assert (f'"{target}" was successfully registered for replacement.\r\nTemporary file is "{temp}"\r\n'
            "Reboot will be required.\r\n\r\n") in log
    # A pending replacement is not a failure.
    assert "*** FAILURE SUMMARY ***" not in log
    assert target in uninstall_body(root)
    run_wine(["reg", "delete", r"HKLM\System\CurrentControlSet\Control\Session Manager",
              "/v", "PendingFileRenameOperations", "/f"])
    shutil.rmtree(root, ignore_errors=True)


def test_a_name_outside_ascii_is_installed_and_recorded_in_utf8(tmp_path):
    exe = one_file_installer(tmp_path, "café.txt", "crème", "", name="Accents", folder="données")
    folder = rf"C:\ExtractTest\accents-{uuid.uuid4().hex[:8]}"
    run = run_installer(exe, "/silent", f"/d:{folder}")
    assert run.code == 0, run
    root = unix(folder)
    assert (root / "données" / "café.txt").read_text() == "crème"
    body = (root / "Uninstall.dat").read_bytes().split(b"\r\n\r\n[Strings]\r\n")[0].split(b"\r\n")
    assert ("~|" + folder + "\\données").encode() in body
    assert ("|" + folder + "\\données\\café.txt").encode() in body
    shutil.rmtree(root, ignore_errors=True)


def test_restart_marker_exists_until_the_restart(tmp_path):
    exe = one_file_installer(tmp_path, "app.txt", "app\n", "[install]\nrestart_marker = true\n", name="Marked")
    folder = rf"C:\ExtractTest\marked-{uuid.uuid4().hex[:8]}"
    run = run_installer(exe, "/silent", f"/d:{folder}")
    assert run.code == 0, run
    marker = unix(folder) / "reboot.dat"
    assert marker.exists() and marker.stat().st_size == 0
    q = run_wine(["reg", "query", r"HKLM\System\CurrentControlSet\Control\Session Manager",
                  "/v", "PendingFileRenameOperations"])
    assert (folder + r"\reboot.dat").lower() in q.stdout.lower(), q
    shutil.rmtree(unix(folder), ignore_errors=True)
