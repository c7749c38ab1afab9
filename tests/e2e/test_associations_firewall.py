"""End to end under Wine: file associations over an extension that already named a file type (the
backup value keeps it) and over a new one, with two verbs and an icon, read back from the registry;
the firewall lines of a port and a program, each in the log and recorded in Uninstall.dat only when
it was added. Wine's firewall keeps nothing, so the firewall's own lists are not read back."""
import re
import shutil

from conftest import forget_product, pack_project_file, run_installer, run_wine, wine_path_to_unix

BOM = b"\xef\xbb\xbf"


def reg_value(key, name=None):
    """A value's text as Wine's reg.exe shows it; None when the key or value is missing."""
    args = ["reg", "query", key] + (["/v", name] if name else ["/ve"])
    run = run_wine(args)
    if run.code != 0:
        return None
    for line in run.stdout.splitlines():
        m = re.match(r"^\s+(.*?)\s{4}(REG_\w+)\s{4}(.*)$", line)
        if m and (m.group(1) == name or (name is None and m.group(1).startswith("("))):
            return m.group(3).rstrip("\r")
    return None


def sections(data):
    """The lines of each bracketed section of Uninstall.dat."""
    result, current = {}, None
    for line in data.decode("utf-8", "replace").split("\r\n"):
        if line.startswith("[") and line.endswith("]"):
            current = result.setdefault(line, [])
        elif current is not None and line:
            current.append(line)
    return result


def install(tmp_path, product, body):
    win = "C:\\halberd-assoc-" + tmp_path.name
    unix = wine_path_to_unix(win)
    shutil.rmtree(unix, ignore_errors=True)
    project = tmp_path / "product.toml"
    project.write_text('[product]\nname = "Assoc Product"\nversion = "1.0"\n\n[install]\nalways_write_log = true\n\n'
                       f"[[files]]\nsource = '{product}'\n\n" + body, encoding="utf-8")
    forget_product("Assoc Product")
    run = run_installer(pack_project_file(project), "/silent", f"/d:{win}")
    assert run.code == 0, run
    log = (unix / "Install.log").read_bytes()
    assert log.startswith(BOM)
    return win, unix, log[len(BOM):].decode("utf-8")


def test_associations_keep_what_they_replace(tmp_path, product):
    assert run_wine(["reg", "add", "HKCR\\.halberdold", "/ve", "/d", "HalberdOld.Type", "/f"]).code == 0
    win, unix, log = install(tmp_path, product, """
[[association]]
extension = ".halberdold"
program_id = "HalberdE2E.Doc"
description = "Halberd test document"
verbs = ["open", "print"]
label = "&Open with Assoc Product"
command = '"%InstallDir%\\bin\\app.dat" "%1"'
icon = 'bin\\app.dat,1'

[[association]]
extension = "halberdnew"
program_id = "HalberdE2E.New"
command = '"%InstallDir%\\bin\\app.dat" "%1"'
""")
    command = f'"{win}\\bin\\app.dat" "%1"'
    assert reg_value("HKCR\\.halberdold") == "HalberdE2E.Doc"
    assert reg_value("HKCR\\.halberdold", "Assoc Product Backup") == "HalberdOld.Type"
    assert reg_value("HKCR\\HalberdE2E.Doc") == "Halberd test document"
    assert reg_value("HKCR\\HalberdE2E.Doc\\DefaultIcon") == f"{win}\\bin\\app.dat,1"
    assert reg_value("HKCR\\HalberdE2E.Doc\\shell\\open") == "&Open with Assoc Product"
    assert reg_value("HKCR\\HalberdE2E.Doc\\shell\\open\\command") == command
    assert reg_value("HKCR\\HalberdE2E.Doc\\shell\\print\\command") == command
    assert reg_value("HKCR\\.halberdnew") == "HalberdE2E.New"
    assert reg_value("HKCR\\.halberdnew", "Assoc Product Backup") is None
    assert reg_value("HKCR\\HalberdE2E.New\\shell\\open\\command") == command

    assert f"Associated .halberdold with {command} (verb=open)\r\n" in log
    assert f"Associated .halberdold with {command} (verb=print)\r\n" in log
    assert f"Associated .halberdnew with {command} (verb=open)\r\n" in log
    recorded = sections((unix / "Uninstall.dat").read_bytes())["[Associations]"]
    assert recorded == [".halberdold~!~HalberdE2E.Doc~!~open~!~bin\\app.dat,1",
                        ".halberdold~!~HalberdE2E.Doc~!~print~!~bin\\app.dat,1",
                        ".halberdnew~!~HalberdE2E.New~!~open~!~"]


def test_firewall_lines_and_records(tmp_path, product):
    win, unix, log = install(tmp_path, product, """
[[firewall]]
port = 18080
protocols = ["tcp", "udp"]
name = "E2E Port"

[[firewall]]
program = 'bin\\app.dat'
name = "E2E Program"

[[firewall]]
program = 'bin\\missing.exe'

[[firewall]]
port = 18081
keep = true
""")
    recorded = sections((unix / "Uninstall.dat").read_bytes()).get("[Firewall]", [])
    if "Failed to connect to the firewall service: code " in log:
        assert recorded == []
        return
    expected = []
    tcp = "Added firewall exception: TCP port 18080\r\n" in log
    udp = "Added firewall exception: UDP port 18080\r\n" in log
    assert tcp or "Failed to open firewall port 18080, code " in log
    if tcp:
        expected.append("18080;E2E Port;%d;0" % (3 if udp else 1))
    if f"Added firewall exception: {win}\\bin\\app.dat\r\n" in log:
        expected.append("bin\\app.dat;E2E Program;0;0")
    else:
        assert f'Failed to add firewall exception for "{win}\\bin\\app.dat", code ' in log
    assert f'Failed to add firewall exception for "{win}\\bin\\missing.exe": file does not exist\r\n' in log
    # The kept port is never recorded.
    assert recorded == expected
