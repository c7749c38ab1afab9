"""End to end: shared files, fonts and component registration under Wine. One product carries each
kind with a real fixture made at test time: two COM servers built with the Windows tools (one that
registers, one whose registration reports a failure), a type library compiled by widl, a TrueType
font from Debian, a Windows Installer package built by wixl, a driver information file and a
control-panel applet. A shared file already counted 2 by other products is counted 3. A second
product carries what fails: a file that is no COM server, a font whose file cannot be written and a
package that is no package. The uninstall run then takes the counts down and removes what the
first product registered."""
import re
import shutil
import subprocess
import uuid

import pytest

from conftest import WIN_TEST_TOOLS, pack_project_file, run_installer, run_wine, wine_path_to_unix
from test_uninstall import UNINSTALL_KEY, key_exists, reg_value, run_through_batch

SHARED_DLLS = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
FONTS_KEY = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"
SERVER_CLASS = "{5A0C6B19-2A3E-4949-8B7C-6E5F4A3B2C1D}"
REFUSING_CLASS = "{6E1D7C2A-3B4F-4A5E-9C8D-7F6A5B4C3D2F}"
LIBRARY_ID = "{3F2E1D0C-4B5A-4978-8695-A4B3C2D1E0F9}"
APPLET_CLASS = "{0D1C2B3A-4958-4677-8695-A4B3C2D1E0F1}"
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

IDL = """import "unknwn.idl";
[uuid(%s), version(1.0), helpstring("Halberd test library")]
library HalberdTestLib {
  importlib("stdole2.tlb");
  [object, uuid(4A3B2C1D-5E6F-4071-8293-A4B5C6D7E8F9), oleautomation]
  interface IHalberdTest : IUnknown { HRESULT Ping([in] long value); };
};
""" % LIBRARY_ID[1:-1]

WXS = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Halberd MSI Test {uid}" Language="1033" Version="1.0.0" Manufacturer="Test"
           UpgradeCode="7B6A5948-3726-4150-8F9E-0D1C2B3A4958">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="p.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="HalberdMsiTest{uid}">
          <Component Id="Payload" Guid="8C7B6A59-4837-4261-9A0B-1C2D3E4F5061">
            <File Id="PayloadFile" Source="payload.txt" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="Payload"/></Feature>
  </Product>
</Wix>
"""

INF = """[Version]\r
Signature="$Windows NT$"\r
Class=System\r
ClassGuid={4D36E97D-E325-11CE-BFC1-08002BE10318}\r
Provider=%Test%\r
DriverVer=01/01/2024,1.0.0.0\r
\r
[Strings]\r
Test="Halberd Test"\r
"""


def tool(*args, cwd):
    p = subprocess.run(list(args), cwd=cwd, capture_output=True, text=True)
    if p.returncode != 0:
        pytest.fail(f"{args[0]}: {p.stderr}")


def project(tmp, name, folder, body):
    text = "\n".join(["[product]", f'name = "{name}"', 'version = "1.0"', 'publisher = "Component Tests"',
                      f"install_folder = '{folder}'", "", "[install]", "always_write_log = true", "",
                      "[uninstall]", "create = true", "", body])
    path = tmp / f"{name.replace(' ', '_')}.toml"
    path.write_text(text, encoding="utf-8")
    return pack_project_file(path, tmp / f"{name.replace(' ', '_')}.exe")


def files_entry(source, kind, *options):
    return "\n".join(["[[files]]", f"source = '{source}'", f'kind = "{kind}"', *options, ""])


def default_value(key):
    """The default value of a key of the 32-bit view; None when it is missing."""
    out = run_wine(["reg", "query", key, "/ve", "/reg:32"]).stdout
    for line in out.splitlines():
        parts = line.strip().split("    ")
        if len(parts) >= 2 and parts[0] == "(Default)" and parts[1].startswith("REG_"):
            return parts[2] if len(parts) >= 3 else ""
    return None


def log_of(unix):
    return (unix / "Install.log").read_bytes().decode("utf-8", "replace")


@pytest.fixture(scope="module")
def installed(tmp_path_factory):
    if not shutil.which("widl") or not shutil.which("wixl"):
        pytest.skip("widl and wixl are needed (scripts/setup.sh installs them)")
    tmp = tmp_path_factory.mktemp("components")
    uid = uuid.uuid4().hex[:8]
    (tmp / "t.idl").write_text(IDL)
    tool("widl", "-t", "-o", "types.tlb", "t.idl", cwd=tmp)
    (tmp / "payload.txt").write_text("installed by the package\r\n")
    (tmp / "p.wxs").write_text(WXS.replace("{uid}", uid))
    tool("wixl", "-o", "package.msi", "p.wxs", cwd=tmp)
    (tmp / "test.inf").write_bytes(INF.encode())
    (tmp / "applet.cpl").write_bytes(b"MZ applet stand-in")
    (tmp / "counted.dll").write_bytes(b"a shared library")
    shutil.copy(FONT, tmp / f"HalberdSans{uid}.ttf")

    folder = f"C:\\halberd-components-{uid}"
    shared = f"C:\\halberd-shared-{uid}"
    font_name = f"Halberd Sans {uid} (TrueType)"
    body = "\n".join([
        f"[shared]\nfolder = '{shared}'\n",
        files_entry(tmp / "counted.dll", "shared"),
        files_entry(WIN_TEST_TOOLS / "test_com_server.dll", "com-server", "folder = 'bin'"),
        files_entry(WIN_TEST_TOOLS / "test_com_refusing.dll", "com", "folder = 'bin'"),
        files_entry(tmp / "types.tlb", "type-library", "folder = 'bin'"),
        files_entry(tmp / f"HalberdSans{uid}.ttf", "font", f'font_name = "{font_name}"'),
        files_entry(tmp / "package.msi", "msi", 'msi_ui_level = "none"'),
        files_entry(tmp / "test.inf", "driver"),
        files_entry(tmp / "applet.cpl", "applet", f'applet_class_id = "{APPLET_CLASS}"',
                    'applet_name = "Halberd Test Applet"', "applet_arguments = '/page 2'"),
    ])
    name = f"Components {uid}"
    exe = project(tmp, name, folder, body)

    # Two other products hold the shared file already.
    counted = shared + "\\counted.dll"
    assert run_wine(["reg", "add", SHARED_DLLS, "/v", counted, "/t", "REG_DWORD", "/d", "2", "/f", "/reg:32"]).code == 0
    run = run_installer(exe, "/silent", timeout=300)
    unix = wine_path_to_unix(folder)
    yield dict(run=run, uid=uid, folder=folder, unix=unix, shared=shared, counted=counted, font_name=font_name,
               key=UNINSTALL_KEY + "\\" + name, tmp=tmp, exe=exe)
    shutil.rmtree(unix, ignore_errors=True)
    shutil.rmtree(wine_path_to_unix(shared), ignore_errors=True)


def test_run_finishes(installed):
    assert installed["run"].code == 0, (installed["run"], log_of(installed["unix"]))


def test_shared_counts_go_up_and_are_listed(installed):
    counted = installed["counted"]
    assert int(reg_value(SHARED_DLLS, counted), 16) == 3
    bin_folder = installed["folder"] + "\\bin\\"
    for name in ("test_com_server.dll", "test_com_refusing.dll", "types.tlb"):
        assert int(reg_value(SHARED_DLLS, bin_folder + name), 16) == 1
    # Each path with its mark, in quotes: "^" a COM server, the byte 0xA9 (a character of the code
    # page) a type library.
    value = reg_value(installed["key"], "SharedFiles")
    listed = ";".join([f'"{counted}"', f'"{bin_folder}test_com_server.dll^"', f'"{bin_folder}test_com_refusing.dll^"',
                       f'"{bin_folder}types.tlb'])
    assert re.fullmatch(re.escape(listed) + '[^"]"', value), value


def test_com_servers_are_registered(installed):
    log = log_of(installed["unix"])
    bin_folder = installed["folder"] + "\\bin\\"
    assert f'Registering COM File "{bin_folder}test_com_server.dll"...OK\r\n' in log
    # regsvr32 fails on the refusing server; its own DllRegisterServer counts as success.
    assert f'Registering COM File "{bin_folder}test_com_refusing.dll"...OK\r\n' in log
    for cls in (SERVER_CLASS, REFUSING_CLASS):
        assert key_exists(f"HKLM\\Software\\Classes\\CLSID\\{cls}"), cls


def test_type_library_is_registered(installed):
    log = log_of(installed["unix"])
    assert f'Registering Type Library "{installed["folder"]}\\bin\\types.tlb"...OK\r\n' in log
    assert key_exists(f"HKCR\\TypeLib\\{LIBRARY_ID}\\1.0") or key_exists(f"HKCR\\TypeLib\\{LIBRARY_ID}\\1.0", "/reg:64")


def test_font_is_installed_and_listed(installed):
    uid = installed["uid"]
    assert reg_value(FONTS_KEY, installed["font_name"]) == f"HalberdSans{uid}.ttf"
    assert (wine_path_to_unix("C:\\windows\\Fonts") / f"HalberdSans{uid}.ttf").read_bytes() == open(FONT, "rb").read()
    # (reg prints the value without its last blank)
    assert reg_value(installed["key"], "ProductFonts") == f'"{installed["font_name"]}" "HalberdSans{uid}.ttf"'


def test_package_is_installed_and_recorded(installed):
    uid = installed["uid"]
    payload = wine_path_to_unix(f"C:\\Program Files (x86)\\HalberdMsiTest{uid}\\payload.txt")
    assert payload.read_bytes() == b"installed by the package\r\n"
    path = installed["folder"] + "\\package.msi"
    assert f'Installing MSI package "{path}"...OK\r\n' in log_of(installed["unix"])
    data = (installed["unix"] / "Uninstall.dat").read_bytes().decode("latin-1")
    assert f'\r\n[MSI]\r\n"{path}",2\r\n' in data


def test_driver_is_installed_or_its_failure_logged(installed):
    """Wine's driver store may refuse the file; either way the line is the one for its result, and
    a stored file is listed for the uninstaller."""
    log = log_of(installed["unix"])
    start = f'Installing driver "{installed["folder"]}\\test.inf"...'
    assert start in log
    rest = log.split(start, 1)[1]
    data = (installed["unix"] / "Uninstall.dat").read_bytes().decode("latin-1")
    if rest.startswith("OK\r\nFinal driver location: "):
        location = rest.split("Final driver location: ", 1)[1].split("\r\n", 1)[0]
        assert f"\r\n[INF]\r\n{location}\r\n" in data
    else:
        assert rest.startswith("FAILED!  Code ") or rest.startswith("OK, but resulting filepath is unknown\r\n")
        assert "[INF]" not in data


def test_applet_keys_are_written_and_recorded(installed):
    clsid = f"HKLM\\Software\\Classes\\CLSID\\{APPLET_CLASS}"
    assert default_value(clsid) == "Halberd Test Applet"
    path = installed["folder"] + "\\applet.cpl"
    assert default_value(clsid + "\\DefaultIcon") == path
    assert default_value(clsid + "\\Shell\\Open\\Command") == f'"{path}" /page 2'
    namespace = f"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\{APPLET_CLASS}"
    assert default_value(namespace) == "Halberd Test Applet"
    data = (installed["unix"] / "Uninstall.dat").read_bytes().decode("latin-1")
    assert f"\r\n^\\HKLM\\Software\\Classes\\CLSID\\{APPLET_CLASS}\r\n" in data
    assert f"\r\n^\\HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\{APPLET_CLASS}\r\n" in data


def test_failures_are_logged_and_the_run_goes_on(installed):
    tmp, uid = installed["tmp"], installed["uid"]
    (tmp / "broken.dll").write_bytes(b"no library at all")
    (tmp / "broken.msi").write_bytes(b"no package at all")
    shutil.copy(FONT, tmp / f"Unwritable{uid}.ttf")
    (tmp / "after.txt").write_text("after")
    folder = f"C:\\halberd-components-failing-{uid}"
    body = "\n".join([
        files_entry(tmp / "broken.dll", "com-server", "folder = 'bin'"),
        # No drive Q: the font's file cannot be written, and no value names it.
        files_entry(tmp / f"Unwritable{uid}.ttf", "font", f'font_name = "Unwritable {uid}"', "folder = 'Q:\\Fonts'"),
        files_entry(tmp / "broken.msi", "msi", 'msi_ui_level = "none"'),
        files_entry(tmp / "after.txt", "file"),
    ])
    exe = project(tmp, f"Failing Components {uid}", folder, body)
    run = run_installer(exe, "/silent", timeout=300)
    unix = wine_path_to_unix(folder)
    try:
        log = log_of(unix)
        # An install run with failures still exits 0: its failure summary in the log tells them.
        assert run.code == 0, (run, log)
        bad = folder + "\\bin\\broken.dll"
        assert f'Registering COM File "{bad}"...FAILED, code ' in log
        assert f'Installing MSI package "{folder}\\broken.msi"...FAILED code ' in log
        assert reg_value(FONTS_KEY, f"Unwritable {uid}") is None
        # The failure summary names each item ("Could not install:" is text 31); the file after
        # them is installed.
        assert f"Could not install: {bad}\r\n" in log
        assert log.count(f'Installing MSI package "{folder}\\broken.msi"...FAILED code ') == 2
        assert f"Q:\\Fonts\\Unwritable{uid}.ttf" in log
        assert (unix / "after.txt").read_text() == "after"
    finally:
        shutil.rmtree(unix, ignore_errors=True)


def test_a_reinstallation_does_not_count_again(installed):
    listed = reg_value(installed["key"], "SharedFiles")
    run = run_installer(installed["exe"], "/silent", timeout=300)
    assert run.code == 0, run
    assert int(reg_value(SHARED_DLLS, installed["counted"]), 16) == 3
    assert int(reg_value(SHARED_DLLS, installed["folder"] + "\\bin\\test_com_server.dll"), 16) == 1
    assert reg_value(installed["key"], "SharedFiles") == listed


def test_uninstall_takes_the_counts_down_and_removes_what_was_registered(installed):
    """Runs last: the uninstaller leaves the shared file to the two other products and removes
    the rest."""
    quiet = reg_value(installed["key"], "QuietUninstallString")
    assert quiet
    run = run_through_batch(installed["tmp"], quiet)
    assert run.code == 0, run
    assert int(reg_value(SHARED_DLLS, installed["counted"]), 16) == 2
    assert wine_path_to_unix(installed["counted"]).exists()
    assert not key_exists(f"HKLM\\Software\\Classes\\CLSID\\{SERVER_CLASS}")
    assert reg_value(FONTS_KEY, installed["font_name"]) is None
    assert not (wine_path_to_unix("C:\\windows\\Fonts") / f"HalberdSans{installed['uid']}.ttf").exists()
    assert not wine_path_to_unix(f"C:\\Program Files (x86)\\HalberdMsiTest{installed['uid']}\\payload.txt").exists()
    assert not key_exists(f"HKLM\\Software\\Classes\\CLSID\\{APPLET_CLASS}")
