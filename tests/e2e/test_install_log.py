"""End to end: Install.log across runs, its conversion from an 8-bit encoding, when it is written
at all, and its record of a corrupt installer."""
import re
import shutil

from conftest import SetupData, forget_product, pack, pack_project_file, run_installer, run_wine, wine_path_to_unix, z

BOM = b"\xef\xbb\xbf"
SEPARATOR = b"\r\n\r\n" + b"*" * 46 + b"\r\n"
HEADER_LINES = ["Installation log for: ", "Install date: ", "Install type: ", "Install location: ",
                "Installer version: ", "Installer built: ", "Product version: ", "Operating system: "]


def pack_project(tmp_path, product, *, always_write_log=True, build_date="2026-02-28", uninstall_folder=None):
    lines = ['[product]', 'name = "Log Product"', 'version = "1.2.3"', '',
             '[install]', f'always_write_log = {"true" if always_write_log else "false"}', '']
    if uninstall_folder:
        lines += ['[uninstall]', f'folder = "{uninstall_folder}"', '']
    if build_date:
        lines += ['[package]', f'build_date = {build_date}', '']
    lines += ['[[files]]', f"source = '{product}'", '']
    project = tmp_path / "product.toml"
    project.write_text("\n".join(lines))
    exe = pack_project_file(project)
    forget_product("Log Product")
    return exe


def install_folder(tmp_path, *subfolders):
    """A fresh folder under C:\\ (file extraction does not create it yet), and its Windows path."""
    win = "C:\\halberd-log-" + tmp_path.name
    unix = wine_path_to_unix(win)
    shutil.rmtree(unix, ignore_errors=True)  # left by an earlier session in the same prefix
    for sub in ("", *subfolders):
        (unix / sub).mkdir(parents=True, exist_ok=True)
    return win, unix


def header_lines(record: str):
    """The header's lines: from the first line to the blank line after "Operating system"."""
    lines = record.split("\r\n")
    end = next(i for i, line in enumerate(lines) if line.startswith("Operating system: "))
    assert lines[end + 1] == "", record
    return lines[:end + 1]


def test_two_runs_append_two_records_with_one_byte_order_mark(tmp_path, product):
    exe = pack_project(tmp_path, product, uninstall_folder="Uninstall")
    win, unix = install_folder(tmp_path, "Uninstall")
    for _ in range(2):
        run = run_installer(exe, "/silent", f"/d:{win}")
        assert run.code == 0, run
    assert not (unix / "Install.log").exists()  # it lies in the uninstall folder
    data = (unix / "Uninstall" / "Install.log").read_bytes()
    assert data.startswith(BOM)
    assert data.count(BOM) == 1
    assert data.count(SEPARATOR) == 1
    records = data[len(BOM):].decode("utf-8").split(SEPARATOR.decode())
    assert len(records) == 2
    # The second run finds the first one's installation: a reinstall over the same version.
    for record, install_type, overwriting in zip(records, ["New", "Reinstall"], [[], ["Overwriting version: "]]):
        lines = header_lines(record)
        assert [re.match(r"[A-Za-z ]+: ", line).group(0) for line in lines] == \
            HEADER_LINES[:-1] + overwriting + HEADER_LINES[-1:]
        assert lines[0] == "Installation log for: Log Product"
        assert re.fullmatch(r"Install date: \d{4}/\d\d/\d\d \d\d:\d\d:\d\d", lines[1]), lines[1]
        assert lines[2] == f"Install type: {install_type}"
        if overwriting:
            assert lines[7] == "Overwriting version: 1.2.3"
        assert lines[3] == f"Install location: {win}"
        assert lines[4] == "Installer version: 48.0.11"
        assert lines[5] == "Installer built: 2026/02/28"
        assert lines[6] == "Product version: 1.2.3"
        assert lines[-1].startswith("Operating system: Windows ")
        # Without failures the record ends with text 43.
        assert record.endswith("\r\nInstallation Complete\r\n"), record
        assert "FAILURE SUMMARY" not in record


def test_an_8_bit_log_is_converted_before_the_record_is_appended(tmp_path, product):
    exe = pack_project(tmp_path, product)
    win, unix = install_folder(tmp_path)
    old = b"Installation log for: Caf\xe9 1.0\r\nLieu: r\xe9sum\xe9 \x80 5\r\n"
    (unix / "Install.log").write_bytes(old)
    run = run_installer(exe, "/silent", f"/d:{win}")
    assert run.code == 0, run
    data = (unix / "Install.log").read_bytes()
    converted = BOM + old.decode("cp1252").encode("utf-8")
    assert data.startswith(converted + SEPARATOR), data[:120]
    assert data.count(BOM) == 1
    assert data[len(converted + SEPARATOR):].startswith(b"Installation log for: Log Product\r\n")


def test_a_utf8_log_without_the_mark_is_not_converted_again(tmp_path, product):
    exe = pack_project(tmp_path, product)
    win, unix = install_folder(tmp_path)
    old = "Installation log for: Café\r\n".encode("utf-8")
    (unix / "Install.log").write_bytes(old)
    assert run_installer(exe, "/silent", f"/d:{win}").code == 0
    assert (unix / "Install.log").read_bytes().startswith(BOM + old + SEPARATOR)


def test_no_log_without_failures_unless_the_product_asks(tmp_path, product):
    exe = pack_project(tmp_path, product, always_write_log=False)
    win, unix = install_folder(tmp_path)
    assert run_installer(exe, "/silent", f"/d:{win}").code == 0
    assert not (unix / "Install.log").exists()


def test_no_build_date_line_without_a_build_date(tmp_path, product):
    exe = pack_project(tmp_path, product, build_date=None)
    win, unix = install_folder(tmp_path)
    assert run_installer(exe, "/silent", f"/d:{win}").code == 0
    lines = header_lines((unix / "Install.log").read_bytes()[len(BOM):].decode("utf-8"))
    assert not any(line.startswith("Installer built: ") for line in lines)
    assert lines[5] == "Product version: 1.2.3"


def test_a_corrupt_installer_writes_its_failure_summary(tmp_path, product):
    """Even without the product asking for a log, a failure writes one into an existing folder."""
    exe = pack(product, tmp_path / "setup.exe")
    s = SetupData(bytearray(exe.read_bytes()))
    at, _ = s.chunks()[0]
    s.data[at + 4] ^= 0xFF  # the first chunk's checksum no longer matches
    s.fix_archive_crc()
    exe.write_bytes(s.data)
    win, unix = install_folder(tmp_path)
    run = run_installer(exe, "/silent", f"/d:{win}")
    assert run.code == 2, run
    text = (unix / "Install.log").read_bytes()
    assert text.startswith(BOM)
    record = text[len(BOM):].decode("utf-8")
    assert "Installation log for: Test Product\r\n" in record
    summary = record.split("\r\n*** FAILURE SUMMARY ***\r\n")
    assert len(summary) == 2, record
    assert "This installation program is corrupt." in summary[1]
    assert "Error code: 62" in summary[1]
    assert "Installation Complete" not in record


def test_a_log_that_cannot_be_written_changes_nothing(tmp_path, product):
    exe = pack_project(tmp_path, product)
    win, unix = install_folder(tmp_path, "Install.log")  # a folder where the file would be
    run = run_installer(exe, "/silent", f"/d:{win}")
    assert run.code == 0, run
    assert (unix / "Install.log").is_dir()
    assert list((unix / "Install.log").iterdir()) == []


def test_an_interactive_run_tells_the_outcome(tmp_path, product):
    """Until the message box exists the outcome goes to the standard error handle only."""
    exe = pack_project(tmp_path, product)
    win, unix = install_folder(tmp_path)
    run = run_installer(exe, f"/d:{win}")
    assert run.code == 0, run
    assert "Installation Complete: Log Product has been installed successfully." in run.stderr, run
    silent = run_installer(exe, "/silent", f"/d:{win}")
    assert silent.code == 0, silent
    assert "Installation Complete" not in silent.stderr, silent


def test_the_launch_after_program_is_logged(tmp_path, product):
    exe = pack_project(tmp_path, product)
    win, unix = install_folder(tmp_path)
    # Wine would escape the double quotes of an argument; a batch file passes the line as written.
    batch = tmp_path / "run.bat"
    batch.write_bytes(f'@"{z(exe)}" /silent /d:{win} /r:"c:\\tools\\after.exe -x"\r\n@exit /b %errorlevel%\r\n'.encode())
    run = run_wine(["cmd", "/c", z(batch)])
    assert run.code == 0, run
    record = (unix / "Install.log").read_bytes()[len(BOM):].decode("utf-8")
    assert "\r\nLaunch on exit: c:\\tools\\after.exe -x\r\n" in record, record


def operating_system_line(tmp_path, product):
    exe = pack_project(tmp_path, product)
    win, unix = install_folder(tmp_path)
    run = run_installer(exe, "/silent", f"/d:{win}")
    assert run.code == 0, run
    record = (unix / "Install.log").read_bytes()[len(BOM):].decode("utf-8")
    return next(line for line in record.split("\r\n") if line.startswith("Operating system: "))


def test_the_log_names_a_64_bit_windows_as_such(tmp_path, product):
    line = operating_system_line(tmp_path, product)
    assert re.fullmatch(r"Operating system: Windows \S.* \(\d+\.\d+\.\d+\) 64-bit", line), line


def test_the_log_names_a_32_bit_windows_without_a_bitness(tmp_path, product, windows32):
    line = operating_system_line(tmp_path, product)
    assert re.fullmatch(r"Operating system: Windows \S.* \(\d+\.\d+\.\d+\)", line), line

