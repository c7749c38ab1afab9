"""End to end: real installers packed with halberd-pack, run under Wine."""
import re
import shutil
import struct
import subprocess

import pytest

from conftest import (NATIVE_TOOLS, PACK, STUB, WIN_TEST_TOOLS, SetupData, forget_product, pack, pack_project_file, run_installer,
                      run_wine, wine_path_to_unix, wine_temp_folder)
from test_policy import windows_is_64bit

KEY = "0123456789abcdef" * 7


def assert_installed_like(source_root, target):
    """Every file of the product is installed with the bytes of its source, at its relative path."""
    sources = [p for p in source_root.rglob("*") if p.is_file()]
    assert sources
    for source in sources:
        installed = target / source.relative_to(source_root)
        assert installed.is_file(), installed
        assert installed.read_bytes() == source.read_bytes(), source


def leftover_temp_files():
    temp = wine_temp_folder()
    return sorted(p.name for p in temp.glob("TLT*")) if temp.exists() else []


@pytest.mark.parametrize("options", [
    [],
    ["--store"],
    ["--cipher-key", KEY],
    ["--archive-source", "file"],
    ["--chunk-size", "4096"],
    ["--chunk-size", "4096", "--cipher-key", KEY, "--store"],
    ["--integrity", "none", "--keep-uninstaller-data"],
], ids=["default", "stored", "enciphered", "archive-in-file", "many-chunks", "many-enciphered-stored-chunks",
        "no-integrity"])
def test_silent_install_finishes(product, tmp_path, options):
    exe = pack(product, tmp_path / "setup.exe", *options)
    folder = "C:\\halberd-variant-" + tmp_path.name
    target = wine_path_to_unix(folder)
    shutil.rmtree(target, ignore_errors=True)
    before = leftover_temp_files()
    run = run_installer(exe, "/silent", f"/d:{folder}")
    assert run.code == 0, run
    assert_installed_like(product, target)
    # The extraction file is deleted at the end of the run.
    assert leftover_temp_files() == before
    shutil.rmtree(target, ignore_errors=True)


def test_extraction_file_is_registered_for_deletion_at_restart(product, tmp_path):
    exe = pack(product, tmp_path / "setup.exe")
    assert run_installer(exe, "/silent").code == 0
    q = run_wine(["reg", "query", r"HKLM\System\CurrentControlSet\Control\Session Manager",
                  "/v", "PendingFileRenameOperations"])
    assert re.search(r"TLT[0-9A-F ]{0,4}", q.stdout), q


def corrupt_header(field_offset, value):
    def damage(s: SetupData):
        s.put_i32(s.field(field_offset), value)
    return damage


def flip_script_byte(s: SetupData):
    s.data[s.script_at + s.script_size // 2] ^= 0x55


def flip_archive_byte(s: SetupData):
    s.data[s.archive_at + s.archive_size // 2] ^= 0x55


def chunk_length(value):
    def damage(s: SetupData):
        at, _ = s.chunks()[0]
        s.put_i32(at, value)
        s.fix_archive_crc()
    return damage


def chunk_crc(s: SetupData):
    at, _ = s.chunks()[0]
    s.data[at + 4] ^= 0xFF
    s.fix_archive_crc()


def chunk_data(s: SetupData):
    at, n = s.chunks()[0]
    for i in range(8, min(n, 40)):  # the xz stream header and the start of the first block
        s.data[at + 8 + i] ^= 0xA5
    s.fix_chunk_crc(at)
    s.fix_archive_crc()


def script_key(s: SetupData):
    struct.pack_into("<I", s.data, s.field(20), s.script_key ^ 1)


def image_crc(s: SetupData):
    struct.pack_into("<I", s.data, s.field(24), 0xDEADBEEF)


@pytest.mark.parametrize("damage,code,options", [
    (corrupt_header(0, 0x12345678), 20, []),
    (corrupt_header(16, 0), 22, []),
    (corrupt_header(16, 0x3200000), 22, []),
    (corrupt_header(28, -1), 45, []),
    (corrupt_header(32, -1), 27, []),
    (corrupt_header(36, -1), 29, []),
    (corrupt_header(44, -5), 28, []),
    (corrupt_header(44, 0x73333334), 28, []),
    (corrupt_header(40, 0), 55, []),
    (flip_archive_byte, 55, []),
    (flip_script_byte, 47, []),
    (script_key, 25, ["--cipher-key", KEY]),
    (image_crc, 40, []),
    (chunk_length(0), 61, []),
    (chunk_length(0x7FFFFFF0), 63, []),
    (chunk_crc, 62, []),
    (chunk_data, 60, []),
], ids=["magic", "script-size-0", "script-size-limit", "total-size", "file-count", "archive-size", "file-size-neg",
        "file-size-limit", "archive-crc-field", "archive-byte", "script-byte", "script-crc", "image-crc",
        "chunk-length-0", "chunk-overrun", "chunk-crc", "chunk-xz"])
def test_damaged_installer_reports_its_corrupt_code(product, tmp_path, damage, code, options):
    exe = pack(product, tmp_path / "setup.exe", "--chunk-size", "65536", *options)
    s = SetupData(bytearray(exe.read_bytes()))
    damage(s)
    exe.write_bytes(bytes(s.data))
    before = leftover_temp_files()
    run = run_installer(exe, "/silent")
    assert run.code == 2, run
    assert f"Error code: {code}\r\n" in run.stderr + "\r\n", run
    assert "This installation program is corrupt." in run.stderr
    assert leftover_temp_files() == before


def test_archive_in_file_with_trailing_bytes_is_a_size_mismatch(product, tmp_path):
    exe = pack(product, tmp_path / "setup.exe", "--archive-source", "file")
    exe.write_bytes(exe.read_bytes() + b"\0" * 16)
    run = run_installer(exe, "/silent")
    assert run.code == 2 and "Error code: 46" in run.stderr, run


def test_unsigned_installer_fails_the_signature_check(product, tmp_path):
    exe = pack(product, tmp_path / "setup.exe", "--integrity", "signature")
    run = run_installer(exe, "/silent")
    assert run.code == 2, run
    assert "Error code: 1001" in run.stderr, run


# A 64-bit product switches file-system redirection off before the check; the trust provider must
# still be loaded (the 32-bit one) and reject the unsigned file, not be missing and let it pass.
def test_unsigned_64bit_product_fails_the_signature_check(product, tmp_path):
    if not windows_is_64bit():
        pytest.skip("a 64-bit product needs 64-bit Windows")
    project = tmp_path / "product.toml"
    project.write_text("\n".join([
        '[product]', 'name = "Sixty-Four"', 'version = "1.0"', '',
        '[requirements]', 'bitness = "64-bit"', '',
        '[package]', 'integrity = "signature"', '',
        '[[files]]', f"source = '{product}'", '']), encoding="utf-8")
    exe = pack_project_file(project)
    run = run_installer(exe, "/silent")
    assert run.code == 2, run
    assert "Error code: 1001" in run.stderr, run


def test_other_data_version_shows_the_installer_version_message(product, tmp_path):
    exe = pack(product, tmp_path / "setup.exe")
    s = SetupData(bytearray(exe.read_bytes()))
    s.data[s.field(4):s.field(12)] = b"47.9.3\0\0"
    exe.write_bytes(bytes(s.data))
    run = run_installer(exe, "/silent")
    assert run.code == 255, run
    assert ("The installer version (48.0.11) does not match the version of Halberd Setup (47.9.3).  "
            "Close all applications and reinstall Halberd Setup.") in run.stderr


def test_program_without_installation_data_explains_itself(tmp_path):
    exe = tmp_path / "plain.exe"
    shutil.copy(STUB, exe)
    run = run_installer(exe)
    assert run.code == 255, run
    assert "There is no installation data present." in run.stderr


# The uninstaller copy that keeps no installation data, for each archive layout: the loader must
# take the stripped image, which then ends with the "no installation data" fatal error, not with a
# loader failure.
@pytest.mark.parametrize("options", [
    [],
    ["--store"],
    ["--archive-source", "file"],
    ["--archive-source", "file", "--chunk-size", "4096", "--cipher-key", KEY],
], ids=["section", "section-stored", "file", "file-many-enciphered-chunks"])
def test_stripped_uninstaller_image_starts(product, tmp_path, options):
    exe = pack(product, tmp_path / "setup.exe", *options)
    stripped = tmp_path / "uninstall.exe"
    p = subprocess.run([str(NATIVE_TOOLS / "strip_installer"), str(exe), "-o", str(stripped)],
                       capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    assert b".setup\0" not in stripped.read_bytes()[:4096]
    run = run_installer(stripped)
    assert run.code == 255, run
    assert "There is no installation data present." in run.stderr, run


@pytest.mark.parametrize("args,first_line", [
    (["x"], "Unexpected command-line parameter:\r\nx"),
    (["/bogus"], "Illegal command-line atom:\r\n/bogus"),
    (["/u"], "/u requires Product Name"),
    (["/silent", "/q"], "Illegal command-line atom:\r\n/q"),
])
def test_usage_errors_exit_15(tmp_path, product, args, first_line):
    exe = pack(product, tmp_path / "setup.exe")
    run = run_installer(exe, *args)
    assert run.code == 15, run
    assert first_line in run.stderr
    assert "Usage:\r\n" in run.stderr and "/silent\tDisplay no user interface." in run.stderr


def test_twentieth_atom_is_ignored(tmp_path, product):
    exe = pack(product, tmp_path / "setup.exe")
    run = run_installer(exe, *(["/silent"] + ["/a"] * 18 + ["not-an-option"]))
    assert run.code == 0, run


def test_installer_imports_only_known_dlls():
    p = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(STUB)], capture_output=True, text=True, check=True)
    imported = {m.lower() for m in re.findall(r"DLL Name: (\S+)", p.stdout)}
    known = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll",
             "shlwapi.dll", "ws2_32.dll", "msvcrt.dll", "setupapi.dll", "comdlg32.dll", "imm32.dll"}
    assert imported <= known, imported - known


def test_pack_is_reproducible(product, tmp_path):
    a = pack(product, tmp_path / "a.exe").read_bytes()
    b = pack(product, tmp_path / "b.exe").read_bytes()
    assert a == b


@pytest.mark.parametrize("args,reason", [
    (["--files", "/nonexistent-folder", "--name", "x"], "is not a folder"),
    (["--files", ".", "--name", "x", "--cipher-key", "12"], "112 hexadecimal digits"),
    (["--files", ".", "--name", "x", "--chunk-size", "12"], "--chunk-size"),
    (["--files", ".", "--name", "x", "--stub", "/nonexistent.exe"], "cannot open"),
])
def test_pack_refuses_bad_input_without_writing(tmp_path, args, reason):
    out = tmp_path / "out.exe"
    p = subprocess.run([str(PACK), *args, "-o", str(out)], capture_output=True, text=True)
    assert p.returncode != 0
    assert reason in p.stderr
    assert not out.exists() and list(tmp_path.iterdir()) == []


def test_many_chunks_unpacked_ahead_install_the_same_files(product, tmp_path):
    exe = pack(product, tmp_path / "setup.exe", "--chunk-size", "4096")
    forget_product("Test Product")  # or the run would go to an earlier test's folder
    folder = r"C:\ManyChunks"
    target = wine_path_to_unix(folder)
    shutil.rmtree(target, ignore_errors=True)
    run = run_installer(exe, "/silent", f"/d:{folder}")
    assert run.code == 0, run
    assert_installed_like(product, target)
    shutil.rmtree(target, ignore_errors=True)


def test_the_first_damaged_chunk_gives_the_code_when_later_ones_are_damaged_too(product, tmp_path):
    # Workers unpack the xz-damaged chunk while the chunk with a bad length after it is read: the
    # earlier damage is the one reported.
    exe = pack(product, tmp_path / "setup.exe", "--chunk-size", "4096")
    s = SetupData(bytearray(exe.read_bytes()))
    chunks = s.chunks()
    assert len(chunks) > 10
    at, n = chunks[3]
    for i in range(8, min(n, 40)):
        s.data[at + 8 + i] ^= 0xA5
    s.fix_chunk_crc(at)
    s.put_i32(chunks[5][0], 0)
    s.fix_archive_crc()
    exe.write_bytes(bytes(s.data))
    run = run_installer(exe, "/silent")
    assert run.code == 2, run
    assert "Error code: 60\r\n" in run.stderr + "\r\n", run


# The DLLs the installer loads at run time (or that the system might look for beside it). Wine's own
# user32 imports version.dll by bare name at every process start, before any code of ours runs:
# that is Wine's loader, shown by the test below, so version.dll is left out here.
PLANTED_NAMES = ["winmm.dll", "wintrust.dll", "srclient.dll", "gdiplus.dll", "comctl32.dll", "wininet.dll",
                 "uxtheme.dll"]


def plant_dlls(folder, names, markers, monkeypatch):
    """Copies the marker DLL beside a program under each name and makes Wine prefer such native DLLs
    ("n,b"), as Windows takes a DLL from the program's folder first."""
    for name in names:
        shutil.copyfile(WIN_TEST_TOOLS / "planted_dll.dll", folder / name)
    markers.mkdir()
    monkeypatch.setenv("HALBERD_PROBE_MARKERS", "Z:" + str(markers).replace("/", "\\"))
    stems = ",".join(n[:-len(".dll")] for n in names)
    monkeypatch.setenv("WINEDLLOVERRIDES", f"mscoree,mshtml=;{stems}=n,b")


def test_dlls_planted_beside_the_installer_are_never_loaded(product, tmp_path, monkeypatch):
    exe = pack(product, tmp_path / "setup.exe")
    markers = tmp_path / "markers"
    plant_dlls(tmp_path, PLANTED_NAMES, markers, monkeypatch)
    # The control: a program that loads one of the names plainly does take the planted DLL.
    shutil.copyfile(WIN_TEST_TOOLS / "load_library.exe", tmp_path / "load_library.exe")
    assert run_wine([tmp_path / "load_library.exe", "--plain", "winmm.dll"]).code == 0
    assert sorted(p.name for p in markers.iterdir()) == ["winmm.dll.loaded"], "the plant does not work here"
    (markers / "winmm.dll.loaded").unlink()

    folder = "C:\\halberd-planted-" + tmp_path.name
    target = wine_path_to_unix(folder)
    shutil.rmtree(target, ignore_errors=True)
    run = run_installer(exe, "/silent", f"/d:{folder}")
    assert run.code == 0, run
    assert sorted(p.name for p in markers.iterdir()) == []
    shutil.rmtree(target, ignore_errors=True)


def test_wine_itself_loads_version_dll_by_bare_name(tmp_path, monkeypatch):
    """Why version.dll is not in the list above: a program that never loads it still gets the one
    beside it under "n,b", through Wine's user32."""
    markers = tmp_path / "markers"
    plant_dlls(tmp_path, ["version.dll"], markers, monkeypatch)
    shutil.copyfile(WIN_TEST_TOOLS / "load_library.exe", tmp_path / "load_library.exe")
    run_wine([tmp_path / "load_library.exe", "kernel32.dll"])
    if not (markers / "version.dll.loaded").exists():
        pytest.skip("this Wine no longer loads version.dll by bare name: add it to PLANTED_NAMES")
