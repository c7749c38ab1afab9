"""End to end: the batches before installation under Wine with its cmd.exe. Each installer's batch
copies the "SETUPBAT.BAT" it runs from and writes what it sees (its `set` output, its folder) into
files the test reads; the running log reaches Install.log because the products always write it."""
import shutil

import pytest

from conftest import forget_product, pack_project_file, run_installer, run_wine, wine_path_to_unix, wine_temp_folder, z
from test_policy import make_folder, register_earlier, unique

BOM = b"\xef\xbb\xbf"
# The batch keeps a copy of the file it runs from (it runs in the batch folder).
COPY_SELF = "copy /y SETUPBAT.BAT batch-copy.txt >nul"


def toml_text(text):
    return "'''\n" + text + "'''"


def pack_project(tmp_path, product, commands, *, name="Batch Product", publisher="Batch Maker", hidden=True,
                 log_output=False):
    lines = ['[product]', f'name = "{name}"', 'version = "4.5.6"', f'publisher = "{publisher}"', '',
             '[install]', 'always_write_log = true', '',
             '[batches.pre_install]', f'commands = {toml_text(commands)}', f'hidden = {str(hidden).lower()}',
             f'log_output = {str(log_output).lower()}', '',
             '[[files]]', f"source = '{product}'", '']
    project = tmp_path / "product.toml"
    project.write_text("\n".join(lines), encoding="utf-8")
    exe = pack_project_file(project)
    forget_product(name)
    return exe


def install_folder(tmp_path):
    """A fresh folder name under C:\\ (the run creates it), and its Windows path."""
    win = "C:\\halberd-batch-" + tmp_path.name
    unix = wine_path_to_unix(win)
    shutil.rmtree(unix, ignore_errors=True)  # left by an earlier session in the same prefix
    return win, unix


def install_log(unix):
    data = (unix / "Install.log").read_bytes()
    assert data.startswith(BOM)
    return data[len(BOM):].decode("utf-8")


def run_through_batch(tmp_path, *lines):
    """Runs `lines` as a batch file under Wine's cmd.exe and returns the run with the batch's exit
    code, the last line's. A batch passes an installer's arguments as written, where Wine would
    escape their double quotes, and gives the installer the environment it sets."""
    runner = tmp_path / "run.bat"
    runner.write_bytes("".join(f"@{line}\r\n" for line in lines).encode() + b"@exit /b %errorlevel%\r\n")
    return run_wine(["cmd", "/c", z(runner)])


def set_output(path):
    """The variables of a `set` listing, by upper-case name."""
    values = {}
    for line in path.read_bytes().decode("cp1252").splitlines():
        name, sep, value = line.partition("=")
        if sep:
            values[name.upper()] = value
    return values


def test_the_batch_sees_the_run_environment_and_both_files_are_deleted(tmp_path, product):
    exe = pack_project(tmp_path, product, 'set > "%InstallDir%\\env.txt"\n' + COPY_SELF + "\n")
    win, unix = install_folder(tmp_path)
    # No earlier installation of the product (pack_project forgets it), so Existing is 0 and the
    # OldVersion values are empty (the table below covers the others).
    run = run_installer(exe, "/silent", f"/d:{win}")
    assert run.code == 0, run
    env = set_output(unix / "env.txt")
    expected = {
        "AUTOMATIC": "1", "INSTALLDIR": win, "UNINSTALLDIR": win, "PRODUCTNAME": "Batch Product",
        "COMPANYNAME": "Batch Maker", "VERSION": "4.5.6", "VERSIONMAJOR": "4", "VERSIONMINOR": "5",
        "EXISTING": "0", "OLDVERSION": "", "INSTALLDRIVE": "C:", "LOGFILEPATH": win + "\\Install.log",
        "INSTALLERFILENAME": "setup.exe", "PORTABLE": "0", "NETWORKINSTALL": "0",
    }
    for name, value in expected.items():
        if value:
            assert env.get(name) == value, (name, env.get(name))
        else:  # an empty SET removes the variable
            assert name not in env, name
    assert env["INSTALLERFILEPATH"].lower().endswith("\\setup.exe")
    assert env["SYSTEMDIR"].lower().endswith("\\system32")
    assert env["OSNAME"] and env["OSDESCRIPTION"] and env["OS"].isdigit()
    # The file as written: the code-page line, "@echo off", the 58 lines, the batch, CR LF.
    text = (unix / "batch-copy.txt").read_bytes()
    lines = text.split(b"\r\n")
    assert lines[0] == b"@chcp 1252 >nul" and lines[1] == b"@echo off"
    assert lines[2] == b"SET Automatic=1"
    assert lines[3] == f'SET "InstallDir={win}"'.encode()
    assert lines[49] == b"SET Existing=0" and lines[59] == b"SET OSServer=0"
    assert lines[60:] == [f'set > "%InstallDir%\\env.txt"'.encode(), COPY_SELF.encode(), b""]
    assert b"\n" not in text.replace(b"\r\n", b"")
    assert not (unix / "SETUPBAT.BAT").exists()
    assert not (unix / "hs_batch.log").exists()
    # Without output logging the batch leaves no line in the log.
    assert "Running Pre-Installation Batch" not in install_log(unix)


# A visible batch loses its PAUSE lines in an automatic run too, not only in a silent one.
@pytest.mark.parametrize("mode", ["/silent", "/a"])
def test_pause_lines_are_dropped_in_an_automatic_run(tmp_path, product, mode):
    exe = pack_project(tmp_path, product, "echo before> out.txt\n  @ PaUsE \t\npause\necho pause later>> out.txt\n"
                                          + COPY_SELF + "\n", hidden=False)
    win, unix = install_folder(tmp_path)
    run = run_installer(exe, mode, f"/d:{win}", timeout=60)  # a PAUSE left in would wait for a key
    assert run.code == 0, run
    copy = (unix / "batch-copy.txt").read_bytes().decode("cp1252")
    batch_lines = copy.split("\r\n")[60:]
    assert batch_lines == ["echo before> out.txt", "echo pause later>> out.txt", COPY_SELF, ""]
    assert (unix / "out.txt").read_bytes() == b"before\r\npause later\r\n"


def test_b1_commands_with_backquotes_and_tildes_add_two_lines(tmp_path, product):
    exe = pack_project(tmp_path, product, "echo script> b1.txt\n" + COPY_SELF)
    win, unix = install_folder(tmp_path)
    run = run_through_batch(tmp_path, f'"{z(exe)}" /silent /d:{win} /b1:"echo `one two`>> b1.txt~~echo three>> b1.txt"')
    assert run.code == 0, run
    assert (unix / "b1.txt").read_bytes() == b'script\r\n"one two"\r\nthree\r\n'
    batch_lines = (unix / "batch-copy.txt").read_bytes().decode("cp1252").split("\r\n")[60:]
    assert batch_lines == ["echo script> b1.txt", COPY_SELF, 'echo "one two">> b1.txt', "echo three>> b1.txt", ""]


def test_captured_output_follows_the_running_line_in_the_log(tmp_path, product):
    exe = pack_project(tmp_path, product, "echo hello from the batch\necho second line\necho.\n", log_output=True)
    win, unix = install_folder(tmp_path)
    run = run_installer(exe, "/silent", f"/d:{win}")
    assert run.code == 0, run
    log = install_log(unix)
    assert "\r\nRunning Pre-Installation Batch...\r\nhello from the batch\r\nsecond line\r\n\r\n" in log, log
    assert not (unix / "hs_batch.log").exists()
    assert not (unix / "SETUPBAT.BAT").exists()


def test_a_character_above_127_makes_a_utf8_file(tmp_path, product):
    # The product name reaches the file through its SET line, the "é" of the batch as code page 1252.
    exe = pack_project(tmp_path, product, "rem caf\u00e9\n" + COPY_SELF + "\n", name="Caf\u00e9 Product")
    win, unix = install_folder(tmp_path)
    run = run_installer(exe, "/silent", f"/d:{win}")
    assert run.code == 0, run
    text = (unix / "batch-copy.txt").read_bytes()
    assert text.startswith(b"@chcp 65001 >nul\r\n@echo off\r\n")
    assert 'SET "ProductName=Caf\u00e9 Product"\r\n'.encode("utf-8") in text
    assert "rem caf\u00e9\r\n".encode("utf-8") in text


def test_plain_ascii_makes_a_code_page_1252_file(tmp_path, product):
    exe = pack_project(tmp_path, product, COPY_SELF + "\n")
    win, unix = install_folder(tmp_path)
    run = run_installer(exe, "/silent", f"/d:{win}")
    assert run.code == 0, run
    text = (unix / "batch-copy.txt").read_bytes()
    assert text.startswith(b"@chcp 1252 >nul\r\n@echo off\r\n")
    assert all(b < 0x80 for b in text)


def test_the_temporary_folder_serves_while_the_installation_folder_is_missing(tmp_path, product):
    # A file takes the name of the installation folder's parent, so the folder cannot be made.
    base_win, base_unix = install_folder(tmp_path)
    base_unix.mkdir(parents=True)
    (base_unix / "blocker").write_bytes(b"a file, not a folder")
    win = base_win + "\\blocker\\app"
    exe = pack_project(tmp_path, product, f'cd > "{base_win}\\where.txt"\n')
    run_installer(exe, "/silent", f"/d:{win}")
    where = (base_unix / "where.txt").read_bytes().decode("cp1252").strip()
    assert wine_path_to_unix(where) == wine_temp_folder()
    assert not (wine_temp_folder() / "SETUPBAT.BAT").exists()


def test_a_batch_file_that_cannot_be_written_is_a_failure(tmp_path, product):
    exe = pack_project(tmp_path, product, "echo never\n", log_output=True)
    win, unix = install_folder(tmp_path)
    (unix / "SETUPBAT.BAT").mkdir(parents=True)  # a folder where the file would be
    run = run_installer(exe, "/silent", f"/d:{win}")
    log = install_log(unix)
    assert f'Unable to create batch file "{win}\\SETUPBAT.BAT".\r\n\r\n' in log, log
    assert "\r\nRunning Pre-Installation Batch...\r\n" in log
    assert (unix / "SETUPBAT.BAT").is_dir()
    assert run.code == 0, run


def test_a_missing_interpreter_is_logged(tmp_path, product):
    exe = pack_project(tmp_path, product, 'echo never> "%InstallDir%\\ran.txt"\n')
    win, unix = install_folder(tmp_path)
    # The installer inherits the environment of the batch that starts it.
    run = run_through_batch(tmp_path, "set COMSPEC=C:\\no-such-folder\\cmd.exe", f'"{z(exe)}" /silent /d:{win}')
    assert run.code == 0, run
    assert "The CLI C:\\no-such-folder\\cmd.exe does not exist!\r\n" in install_log(unix)
    assert not (unix / "ran.txt").exists()


def test_an_interpreter_that_cannot_start_is_a_failure(tmp_path, product):
    exe = pack_project(tmp_path, product, 'echo never> "%InstallDir%\\ran.txt"\n')
    win, unix = install_folder(tmp_path)
    not_a_program = tmp_path / "not-a-program.exe"
    not_a_program.write_bytes(b"plain text, no program")
    run = run_through_batch(tmp_path, f"set COMSPEC={z(not_a_program)}", f'"{z(exe)}" /silent /d:{win}')
    assert run.code == 0, run
    log = install_log(unix)
    assert f'Unable to launch batch file "{win}\\SETUPBAT.BAT".\r\n' in log, log
    assert f'\r\nCommand-line: "{z(not_a_program)}" /c ' in log, log
    assert not (unix / "ran.txt").exists()
    assert not (unix / "SETUPBAT.BAT").exists()


def test_a_capture_file_that_cannot_be_made_leaves_the_batch_running_without_capture(tmp_path, product):
    exe = pack_project(tmp_path, product, "echo not captured\necho ran> ran.txt\n", log_output=True)
    win, unix = install_folder(tmp_path)
    (unix / "hs_batch.log").mkdir(parents=True)  # a folder where the capture file would be
    run = run_installer(exe, "/silent", f"/d:{win}")
    assert run.code == 0, run
    log = install_log(unix)
    assert "\r\nRunning Pre-Installation Batch...\r\nFailed to create batch output capture file.  " in log, log
    assert "not captured" not in log
    assert (unix / "ran.txt").read_bytes() == b"ran\r\n"
    assert (unix / "hs_batch.log").is_dir()


def test_closing_batches_run_after_the_files_and_after_the_log_with_their_commands_appended(tmp_path, product):
    """The Post-Installation batch sees the installed files; the Installation-Exit batch runs after
    Install.log is written. /b2: and /b3: add their commands to each."""
    post = toml_text("dir /b %InstallDir% > %InstallDir%\\post-files.txt\n")
    at_exit = toml_text("copy /y %InstallDir%\\Install.log %InstallDir%\\exit-log.txt >nul\n")
    lines = ['[product]', 'name = "Closing Batches"', 'version = "1.0"', '',
             '[install]', 'always_write_log = true', '',
             '[batches.post_install]', f'commands = {post}', '',
             '[batches.install_exit]', f'commands = {at_exit}', '',
             '[[files]]', f"source = '{product}'", '']
    project = tmp_path / "product.toml"
    project.write_text("\n".join(lines), encoding="utf-8")
    exe = pack_project_file(project)
    win, unix = install_folder(tmp_path)
    # "%%" in the starting batch is the "%" the installer's own batches expand.
    run = run_through_batch(tmp_path, f'"{z(exe)}" /silent /d:{win} /b2:"echo b2> %%InstallDir%%\\b2.txt" '
                                      f'/b3:"echo b3> %%InstallDir%%\\b3.txt"')
    assert run.code == 0, run
    installed = {f.name for f in product.rglob("*") if f.is_file() and f.parent == product}
    listed = set((unix / "post-files.txt").read_text(errors="replace").split())
    assert installed <= listed, (installed, listed)
    assert (unix / "exit-log.txt").read_bytes() == (unix / "Install.log").read_bytes()
    assert (unix / "b2.txt").read_text().strip() == "b2"
    assert (unix / "b3.txt").read_text().strip() == "b3"


# An earlier installation registered under the product's uninstall key (none, the same version,
# an older one, a newer one) and the Reinstall batch's only_same_version off and on: which of the
# Upgrade and Reinstall batches runs, and what each sees of the earlier installation. The run is
# automatic, not silent: silent mode does not compare versions.
@pytest.mark.parametrize("earlier,existing", [(None, "0"), ("4.5.6", "1"), ("3.9.2", "2"), ("10.1", "3")])
@pytest.mark.parametrize("only_same_version", [False, True])
def test_upgrade_and_reinstall_batches_follow_the_earlier_installation(tmp_path, product, earlier, existing,
                                                                       only_same_version):
    name = unique("Earlier Batch")
    folder = make_folder(f"C:\\halberd-earlier-{tmp_path.name}")
    if earlier is not None:
        register_earlier(name, InstallLocation=folder, DisplayVersion=earlier)
    pre_install = 'set > "%InstallDir%\\pre-set.txt"\n'
    upgrade = 'set > "%InstallDir%\\upgrade-set.txt"\n'
    reinstall = 'set > "%InstallDir%\\reinstall-set.txt"\n'
    project = tmp_path / "product.toml"
    project.write_text("\n".join([
        '[product]', f'name = "{name}"', 'version = "4.5.6"', '',
        '[batches.pre_install]', f'commands = {toml_text(pre_install)}', '',
        '[batches.upgrade]', f'commands = {toml_text(upgrade)}', '',
        '[batches.reinstall]', f'commands = {toml_text(reinstall)}',
        f'only_same_version = {str(only_same_version).lower()}', '',
        '[[files]]', f"source = '{product}'", '']), encoding="utf-8")
    exe = pack_project_file(project)
    other, other_unix = install_folder(tmp_path)
    run = run_installer(exe, "/a", f"/d:{other}")
    assert run.code == 0, run
    # An earlier installation gives the folder; without one the /d: folder is used.
    unix = wine_path_to_unix(folder) if earlier is not None else other_unix
    ran_upgrade = (unix / "upgrade-set.txt").exists()
    ran_reinstall = (unix / "reinstall-set.txt").exists()
    assert ran_upgrade == (existing == "2")
    assert ran_reinstall == (earlier is not None and (existing == "1" or not only_same_version))
    major, minor = earlier.split(".")[:2] if earlier is not None else (None, None)
    for ran, listing in [(True, "pre-set.txt"), (ran_upgrade, "upgrade-set.txt"), (ran_reinstall, "reinstall-set.txt")]:
        if not ran:
            continue
        env = set_output(unix / listing)
        assert env.get("EXISTING") == existing, (listing, env.get("EXISTING"))
        # An empty SET removes the variable: with no earlier installation they are not there.
        assert env.get("OLDVERSION") == earlier, listing
        assert env.get("OLDVERSIONMAJOR") == major and env.get("OLDVERSIONMINOR") == minor, listing


def toml_basic(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def test_hostile_values_stay_literal_in_their_set_lines(tmp_path, product):
    """A publisher, a version and a /d: folder with the interpreter's special characters: the batch
    file still has its 58 SET lines, `set` shows each value as it was, and nothing else runs."""
    publisher = '"AT&T" & echo pwned> pwned1.txt | more ^ %PATH% (x) <y'
    version = "4.5 & echo pwned> pwned2.txt"
    commands = 'set > "%InstallDir%\\env.txt"\n' + COPY_SELF + "\n"
    lines = ['[product]', 'name = "Hostile Values"', f'version = {toml_basic(version)}',
             f'publisher = {toml_basic(publisher)}', '',
             '[install]', 'always_write_log = true', '',
             '[batches.pre_install]',
             f'commands = {toml_text(commands)}',
             'hidden = true', '',
             '[[files]]', f"source = '{product}'", '']
    project = tmp_path / "product.toml"
    project.write_text("\n".join(lines), encoding="utf-8")
    exe = pack_project_file(project)
    forget_product("Hostile Values")
    base_win, base_unix = install_folder(tmp_path)
    win = base_win + "\\a&b^c(1)"
    unix = wine_path_to_unix(win)
    run = run_installer(exe, "/silent", f"/d:{win}")
    assert run.code == 0, run
    env = set_output(unix / "env.txt")
    assert env["COMPANYNAME"] == publisher
    assert env["VERSION"] == version
    assert env["INSTALLDIR"] == win
    assert env["LOGFILEPATH"] == win + "\\Install.log"
    for folder in (unix, base_unix, wine_temp_folder()):
        assert not (folder / "pwned1.txt").exists() and not (folder / "pwned2.txt").exists(), folder
    text = (unix / "batch-copy.txt").read_bytes().decode("cp1252")
    file_lines = text.split("\r\n")
    assert file_lines[:2] == ["@chcp 1252 >nul", "@echo off"]
    assert all(line.startswith("SET ") for line in file_lines[2:60]), file_lines[2:60]
    assert file_lines[60:] == ['set > "%InstallDir%\\env.txt"', COPY_SELF, ""]
