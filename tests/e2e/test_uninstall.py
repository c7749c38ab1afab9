"""End to end: the uninstall run under Wine. Products packed with an uninstaller are installed
silently, then removed through their registration's QuietUninstallString (run from a batch, so the
command line reaches the uninstaller as the registration wrote it); the tests compare the prefix
before and after, and check the exit codes of an uninstall that cannot start or cannot finish."""
import os
import shutil
import time

import pytest

from conftest import holding, pack_project_file, run_installer, run_wine, wine_path_to_unix, z

UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"


def run_through_batch(tmp_path, *lines):
    """Runs `lines` as a batch file under Wine's cmd.exe; the run's code is the last line's."""
    runner = tmp_path / "run.bat"
    runner.write_bytes("".join(f"@{line}\r\n" for line in lines).encode() + b"@exit /b %errorlevel%\r\n")
    return run_wine(["cmd", "/c", z(runner)])


def reg_value(key, name):
    """A value of the 32-bit view as `reg query` prints it; None when it is missing. The columns
    of its lines are separated by four blanks (a name may hold single blanks)."""
    out = run_wine(["reg", "query", key, "/v", name, "/reg:32"]).stdout
    for line in out.splitlines():
        parts = line.strip().split("    ")
        if len(parts) >= 2 and parts[0] == name and parts[1].startswith("REG_"):
            return parts[2] if len(parts) >= 3 else ""
    return None


def key_exists(key, view="/reg:32"):
    return run_wine(["reg", "query", key, view]).code == 0


def folder_tree(unix):
    """Every path below `unix`, relative, with a slash after folders."""
    tree = set()
    for root, dirs, files in os.walk(unix, followlinks=False):
        rel = os.path.relpath(root, unix)
        for d in dirs:
            tree.add(os.path.normpath(os.path.join(rel, d)) + "/")
        for f in files:
            tree.add(os.path.normpath(os.path.join(rel, f)))
    return tree


def wait_until_gone(unix, seconds=30):
    """The self-deletion batch removes the uninstaller and the folders after the run has ended."""
    deadline = time.time() + seconds
    while unix.exists() and time.time() < deadline:
        time.sleep(0.5)
    return not unix.exists()


class Product:
    """A product packed with an uninstaller into its own folder (below C:\\ unless `folder` says)."""

    def __init__(self, tmp_path, name, files, extra="", folder=None):
        self.name = name
        self.folder = folder or "C:\\halberd-un-" + tmp_path.name
        self.unix = wine_path_to_unix(self.folder)
        shutil.rmtree(self.unix, ignore_errors=True)
        source = tmp_path / "source"
        source.mkdir()
        entries = []
        for rel, data in files.items():
            path = source / rel
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
            folder = os.path.dirname(rel).replace("/", "\\")
            entries += ["[[files]]", f"source = '{path}'"] + ([f"folder = '{folder}'"] if folder else []) + [""]
        lines = ["[product]", f'name = "{name}"', 'version = "1.2.3"', 'publisher = "Uninstall Tests"',
                 f"install_folder = '{self.folder}'", "", "[uninstall]", "create = true", "", extra, ""] + entries
        project = tmp_path / "product.toml"
        project.write_text("\n".join(lines), encoding="utf-8")
        self.exe = pack_project_file(project)
        self.key = UNINSTALL_KEY + "\\" + name
        self.tmp_path = tmp_path

    def install(self):
        run = run_installer(self.exe, "/silent")
        assert run.code == 0, run
        assert key_exists(self.key), "the closing phase registers the product"

    def uninstall(self):
        quiet = reg_value(self.key, "QuietUninstallString")
        assert quiet, "QuietUninstallString"
        return run_through_batch(self.tmp_path, quiet)

    def uninstall_by_name(self, name):
        """The installer itself started with /a /u:"name" (it exits before any self-deletion)."""
        return run_through_batch(self.tmp_path, f'"{z(self.exe)}" /a /u:"{name}"')

    def uninstall_data(self):
        return (self.unix / "Uninstall.dat").read_bytes()


FILES = {"app.txt": b"the product\r\n", "bin/tool.dat": b"x" * 5000, "bin/deep/more.dat": b"more\r\n"}


def test_the_cycle_leaves_nothing_of_the_product_and_keeps_a_users_file(tmp_path):
    drive_c = wine_path_to_unix("C:\\")
    product = Product(tmp_path, "Uninstall Cycle", FILES, "[registry]\nproduct_key = 'Uninstall Tests\\Cycle'")
    before = {p for p in folder_tree(drive_c) if not p.startswith(("windows/", "users/"))}
    product.install()
    assert (product.unix / "bin" / "deep" / "more.dat").exists()
    # A file of the user's inside the installation folder stays, with its folder chain.
    (product.unix / "bin" / "deep" / "notes.txt").write_bytes(b"mine\r\n")

    run = product.uninstall()
    assert run.code == 0, run
    assert not key_exists(product.key)
    assert not key_exists("HKLM\\Software\\Uninstall Tests\\Cycle")
    for _ in range(60):  # the self-deletion batch ends after the uninstaller
        if not (product.unix / "uninstall.exe").exists():
            break
        time.sleep(0.5)
    after = {p for p in folder_tree(drive_c) if not p.startswith(("windows/", "users/"))}
    base = os.path.relpath(product.unix, drive_c)
    assert after - before == {base + "/", base + "/bin/", base + "/bin/deep/", base + "/bin/deep/notes.txt"}
    assert before - after == set()


def test_a_second_uninstall_finds_nothing_to_remove(tmp_path):
    product = Product(tmp_path, "Uninstall Twice", {"a.txt": b"a"})
    product.install()
    assert product.uninstall().code == 0
    wait_until_gone(product.unix)
    run = product.uninstall_by_name("Uninstall Twice")
    assert run.code == 13, run


def test_an_association_gets_its_previous_default_back(tmp_path):
    ext = ".hbdun"
    assert run_wine(["reg", "add", f"HKCR\\{ext}", "/ve", "/d", "Earlier.Type", "/f"]).code == 0
    product = Product(tmp_path, "Uninstall Association", {"app.txt": b"app"},
                      "[[association]]\n"
                      f'extension = "{ext}"\n'
                      'program_id = "HalberdUn.Document"\n'
                      "command = '\"%InstallDir%\\app.txt\" \"%1\"'\n")
    product.install()
    assert "HalberdUn.Document" in run_wine(["reg", "query", f"HKCR\\{ext}", "/ve"]).stdout
    assert product.uninstall().code == 0
    out = run_wine(["reg", "query", f"HKCR\\{ext}", "/ve"]).stdout
    assert "Earlier.Type" in out
    assert not key_exists("HKCR\\HalberdUn.Document", "/reg:64")


@pytest.mark.parametrize("count, stays", [(3, True), (1, False)])
def test_shared_file_counts(tmp_path, count, stays):
    (tmp_path / "shared.dll").write_bytes(b"shared library stand-in")
    product = Product(tmp_path, f"Uninstall Shared {count}", {"app.txt": b"app"},
                      "[shared]\nfolder = 'Halberd Uninstall Tests'\n\n"
                      f"[[files]]\nsource = '{tmp_path / 'shared.dll'}'\nkind = \"shared\"")
    product.install()
    shared_dlls = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
    out = run_wine(["reg", "query", shared_dlls, "/reg:32"]).stdout
    path = next(line.strip().split("    ")[0] for line in out.splitlines() if "shared.dll" in line)
    # Two other products count the file too (3), or none does (1).
    assert run_wine(["reg", "add", shared_dlls, "/v", path, "/t", "REG_DWORD", "/d", str(count), "/f",
                     "/reg:32"]).code == 0
    assert product.uninstall().code == 0
    assert wine_path_to_unix(path).exists() == stays
    value = reg_value(shared_dlls, path)
    assert value is not None and int(value, 16) == count - 1


def test_a_locked_file_gives_3_then_a_second_run_finishes(tmp_path):
    product = Product(tmp_path, "Uninstall Locked", FILES)
    product.install()
    locked = product.folder + "\\bin\\tool.dat"
    with holding(locked):
        run = product.uninstall()
    assert run.code == 3, run
    assert key_exists(product.key)
    body = product.uninstall_data().split(b"[Strings]")[0]
    assert [line for line in body.split(b"\r\n") if line] == [locked.encode()]
    run = product.uninstall()
    assert run.code == 0, run
    assert not key_exists(product.key)
    assert wait_until_gone(product.unix)


def test_uninstall_that_cannot_start(tmp_path):
    product = Product(tmp_path, "Uninstall Broken", {"a.txt": b"a"})
    # No registration at all.
    assert product.uninstall_by_name("No Such Product Here").code == 13
    product.install()
    key = product.key
    # An empty InstallLocation.
    location = reg_value(key, "InstallLocation")
    assert run_wine(["reg", "add", key, "/v", "InstallLocation", "/d", "", "/f", "/reg:32"]).code == 0
    assert product.uninstall_by_name(product.name).code == 14
    assert run_wine(["reg", "add", key, "/v", "InstallLocation", "/d", location, "/f", "/reg:32"]).code == 0
    # "Uninstall.dat" cannot be read.
    (product.unix / "Uninstall.dat").rename(product.unix / "Uninstall.moved")
    assert product.uninstall_by_name(product.name).code == 14
    (product.unix / "Uninstall.moved").rename(product.unix / "Uninstall.dat")
    assert (product.unix / "a.txt").exists(), "codes 13 and 14 leave everything untouched"
    assert product.uninstall().code == 0


def test_a_junction_planted_in_the_installation_folder_survives_with_its_contents(tmp_path):
    product = Product(tmp_path, "Uninstall Junction", FILES)
    product.install()
    outside = wine_path_to_unix("C:\\halberd-outside-" + tmp_path.name)
    shutil.rmtree(outside, ignore_errors=True)
    outside.mkdir()
    (outside / "deep").mkdir()
    (outside / "deep" / "more.dat").write_bytes(b"not the product's\r\n")
    (outside / "tool.dat").write_bytes(b"not the product's either\r\n")
    # "bin" becomes a junction to a folder outside that holds files of the same names.
    shutil.rmtree(product.unix / "bin")
    made = run_wine(["cmd", "/c", "mklink", "/J", product.folder + "\\bin", "C:\\halberd-outside-" + tmp_path.name])
    if made.code != 0:
        pytest.skip("this Wine's cmd makes no junctions")
    run = product.uninstall()
    assert run.code == 0, run
    assert (outside / "tool.dat").read_bytes() == b"not the product's either\r\n"
    assert (outside / "deep" / "more.dat").exists()
    shutil.rmtree(outside, ignore_errors=True)


def test_an_uninstall_data_file_users_may_change_is_refused(tmp_path):
    product = Product(tmp_path, "Uninstall Tampered", {"a.txt": b"a"})
    product.install()
    data = product.folder + "\\Uninstall.dat"
    # An ordinary user is given write access (as a loosened folder would).
    if run_wine(["icacls", data, "/grant", "Users:(M)"]).code != 0:
        pytest.skip("this Wine has no icacls")
    if "Users:(M)" not in run_wine(["icacls", data]).stdout:
        pytest.skip("this file system keeps no access lists (Wine's does not)")
    run = product.uninstall_by_name(product.name)
    assert run.code == 14, run
    assert (product.unix / "a.txt").exists()
