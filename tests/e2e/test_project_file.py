"""End to end: the bundled example project packed with halberd-pack and installed under Wine, and a
faulty project refused with its file, line and reason."""
import os
import shutil
import subprocess

import pytest

from conftest import BUILD_NATIVE, PACK, ROOT, STUB, forget_product, run_installer, wine_path_to_unix

DEMO = ROOT / "examples/demo/product.toml"


def pack_project(project, out):
    return subprocess.run([str(PACK), str(project), "-o", str(out), "--stub", str(STUB)], capture_output=True, text=True)


def installed_tool(prefix):
    """The pack tool as `cmake --install` lays it out, with its stub and language files."""
    subprocess.run(["cmake", "--install", str(BUILD_NATIVE), "--prefix", str(prefix)], check=True,
                   capture_output=True)
    return prefix / "bin/halberd-pack"


@pytest.mark.parametrize("tool", ["build tree", "installed"])
def test_example_project_installs_silently(tmp_path, tool):
    exe = tmp_path / "example-setup.exe"
    if tool == "installed":
        # No stub option and no environment variable: the tool finds its own parts.
        env = {k: v for k, v in os.environ.items() if k not in ("HALBERD_STUB", "HALBERD_LANGUAGES")}
        p = subprocess.run([str(installed_tool(tmp_path / "prefix")), str(DEMO), "-o", str(exe)], capture_output=True,
                           text=True, env=env, cwd=tmp_path)
    else:
        p = pack_project(DEMO, exe)
    assert p.returncode == 0, p.stderr
    assert p.stderr == "", p.stderr  # the example packs without a single warning
    forget_product("Halberd Demo")
    folder = "C:\\halberd-demo-" + tmp_path.name
    target = wine_path_to_unix(folder)
    shutil.rmtree(target, ignore_errors=True)
    run = run_installer(exe, "/silent", f"/d:{folder}")
    assert run.code == 0, run
    # The example's files, each with the bytes of its source ("files/**" keeps the folders; the
    # two files of bin/ are listed with the folder 'bin').
    files = DEMO.parent / "files"
    sources = [p for p in files.rglob("*") if p.is_file()]
    assert sources
    for source in sources:
        installed = target / source.relative_to(files)
        assert installed.is_file(), installed
        assert installed.read_bytes() == source.read_bytes(), source
    shutil.rmtree(target, ignore_errors=True)


def test_faulty_project_is_refused_and_nothing_is_written(tmp_path):
    project = tmp_path / "product.toml"
    project.write_text('[product]\nname = "Faulty"\n\n[install]\nask_for_foldr = true\n'
                       '[[files]]\nsource = "bin/app.exe"\n')
    out = tmp_path / "setup.exe"
    p = pack_project(project, out)
    assert p.returncode == 1
    assert f"{project}:5: unknown option `ask_for_foldr` \u2014 did you mean `ask_for_folder`?" in p.stderr
    assert f"{project}:7: missing file `bin/app.exe`" in p.stderr
    assert sorted(x.name for x in tmp_path.iterdir()) == ["product.toml"]
