"""End to end: every check of the setup script's items that stops a run, reached by a real
installer under Wine. The pack tool refuses such scripts, so make_test_installer writes them: the
minimal script with one item damaged, in an installer whose script key matches the damaged bytes."""
import subprocess

import pytest

from conftest import NATIVE_TOOLS, STUB, run_installer

MAKE = NATIVE_TOOLS / "make_test_installer"


def make_installer(tmp_path, damage):
    out = tmp_path / f"{damage}.exe"
    p = subprocess.run([str(MAKE), "--stub", str(STUB), "-o", str(out), "--script-damage", damage],
                       capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    return out


# (damage, corrupt code or None for a run that finishes)
CASES = [
    ("none", None),
    ("dwell-time", 19),
    ("licence-count", 24),
    ("readme-count", 26),
    ("language-count-0", 30),
    ("language-count-201", 30),
    ("text-count-0", 31),
    ("text-count-10001", 31),
    ("end-marker", 32),
    ("script-cut", 32),
    ("no-product-name", 33),
    ("association-count", 36),
    ("uninstall-value-count", 37),
    ("deletions-1001", None),
    ("deletions-1002", 38),
    ("bitmap-size", 39),
    ("programs-1000", None),
    ("programs-1001", 41),
    ("registration-count", 48),
]


@pytest.mark.parametrize("damage,code", CASES, ids=[c[0] for c in CASES])
def test_script_check_gives_its_corrupt_code(tmp_path, damage, code):
    exe = make_installer(tmp_path, damage)
    run = run_installer(exe, "/silent")
    if code is None:
        assert run.code == 0, run
        assert "This installation program is corrupt." not in run.stderr, run
    else:
        assert run.code == 2, run
        assert "This installation program is corrupt." in run.stderr, run
        assert f"Error code: {code}\r\n" in run.stderr + "\r\n", run


def test_a_product_name_on_the_command_line_stands_in_for_the_missing_one(tmp_path):
    exe = make_installer(tmp_path, "no-product-name")
    run = run_installer(exe, "/silent", "/n:Named")
    assert run.code == 0, run
