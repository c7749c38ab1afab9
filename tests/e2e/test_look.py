"""The message box and the background window as real windows under Xvfb, driven and measured with
tests/tools/window_driver.cpp. Every window shown is saved in build/screenshots/."""
import pathlib
import struct
import subprocess

import pytest

from conftest import pack_project_file, run_wine
from window_driver import Bitmap, close, drive, keep, parse_list, shot_path, show_box, z

BOX = "#32770"
BACKGROUND = "SEA Window Class"


def box_session(name, commands, **options):
    """Shows a box with `options`, runs the driver's `commands` on it (after waiting for it,
    listing it and saving its picture), and returns (answer line, window, controls, driver run)."""
    program = show_box(**options)
    try:
        shot = shot_path(name)
        run = drive("wait", BOX, options.get("caption", "*"), "120000", "list", "shot", z(shot), *commands)
        assert run.code == 0, run
        code, out, err = program.finish(timeout=60)
    finally:
        program.kill()
    keep(shot)
    window, controls = parse_list(run.stdout)
    assert code == 0, err
    return out.strip(), window, controls, run


def buttons(controls):
    return [c for c in controls if c.cls.lower() == "button" and c.id not in (0x401,)]


def test_yes_no_with_both_extra_buttons_and_escape_swallowed():
    answer, _, controls, _ = box_session(
        "box-yes-no-to-all", ["key", "ESC", "press", "20"], text="Replace the file readme.txt?", caption="Question",
        flags=hex(0x4 | 0x20 | 0x8000000 | 0x10000000), owner_drawn="1")
    assert [(b.id, b.text) for b in buttons(controls)] == [(6, "&Yes"), (19, "Yes to all"), (7, "&No"),
                                                           (20, "No to all")]
    # Escape did not end the box (no single button): the press of "No to all" did.
    assert answer == "answer=20 check=0"
    assert all(c.fits for c in controls), controls


def test_yes_to_all_answer_and_default_button():
    answer, _, controls, _ = box_session("box-yes-to-all", ["key", "ENTER"], text="Overwrite?", caption="Overwrite",
                                         flags=hex(0x4 | 0x8000000 | 0x100))
    focused = [c.id for c in controls if c.focused]
    assert focused == [19]  # the second button
    assert answer == "answer=19 check=0"


def test_default_button_on_abort_retry_ignore():
    answer, _, controls, _ = box_session("box-abort-retry-ignore", ["key", "ENTER"], text="The file is locked.",
                                         caption="Error", flags=hex(0x2 | 0x10 | 0x200))
    assert [c.id for c in controls if c.focused] == [5]  # "&Ignore"
    assert answer == "answer=5 check=0"


def test_escape_ends_a_single_ok_box_with_cancel_and_ctrl_c_copies():
    text = "Setup has finished.\\nPress OK."
    answer, _, controls, run = box_session("box-ok", ["key", "CTRL+C", "clipboard", "key", "ESC"], text=text,
                                           caption="Done", flags=hex(0x40), dialog_bg="#FFFFF0", check="Show the log")
    assert 'clipboard "Setup has finished.\\r\\nPress OK."' in run.stdout
    assert answer == "answer=2 check=0"
    assert any(c.id == 0x401 and c.text == "Show the log" for c in controls)


def test_custom_buttons_centred_and_check_box_state():
    answer, window, controls, _ = box_session(
        "box-custom", ["press", "1025", "press", "6"], text="Keep your settings?", caption="Settings",
        custom="6:&Ja,7:&Nein", centred="1", check="Immer", owner_drawn="1", button_face="#2E7D32",
        button_text="#FFFFFF", button_border="#1B5E20")
    assert [(b.id, b.text) for b in buttons(controls)] == [(6, "&Ja"), (7, "&Nein")]
    assert answer == "answer=6 check=1"
    ja, nein = buttons(controls)
    assert ja.rect[2] == nein.rect[2]  # one common width
    # A centred row: as much room left of "Ja" as right of "Nein", within a pixel.
    message = next(c for c in controls if c.id == 0x400)
    client_width = message.rect[0] * 2 + message.rect[2]  # the text column has a margin on each side
    assert abs(ja.rect[0] - (client_width - nein.rect[0] - nein.rect[2])) <= 1


def test_long_text_wraps_and_stays_on_the_screen():
    text = " ".join(["word"] * 1000)  # 4999 characters: the widest column, 50 font heights
    answer, window, controls, _ = box_session("box-long-text", ["key", "ENTER"], text=text, caption="Long",
                                              flags="0")
    message = next(c for c in controls if c.id == 0x400)
    font_height = round(13 * int(window["dpi"]) / 72)
    work_x, work_y, work_width, work_height = (int(v) for v in window["work"].split(","))
    assert message.rect[2] <= min(50 * font_height, work_width // 2) + 20  # plus a scroll bar
    # Too tall for the screen: the message scrolls and the box, buttons included, stays on it.
    x, y, w, h = (int(v) for v in window["rect"].split(","))
    assert y >= work_y and y + h <= work_y + work_height, window
    ok = next(c for c in controls if c.id == 1)
    assert ok.visible and ok.rect[1] + ok.rect[3] <= h
    assert answer == "answer=1 check=0"


def test_system_fallback_maps_continue_abort():
    answer, window, controls, _ = box_session("box-system-fallback", ["press", "1"], text="Continue?",
                                              caption="Fallback", flags=hex(0x7), system_box="1")
    ids = sorted(c.id for c in controls if c.cls.lower() == "button")
    assert ids == [1, 2]  # the system's OK/Cancel
    assert answer == "answer=11 check=0"  # OK is Continue


def set_dpi(dpi):
    for key in (r"HKCU\Control Panel\Desktop", r"HKCC\Software\Fonts"):
        assert run_wine(["reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"]).code == 0
    # Each Wine process reads the dots per inch when it starts: the next box takes them.


@pytest.fixture
def dpi144():
    set_dpi(144)
    yield
    set_dpi(96)


def measure_box(name):
    _, window, controls, _ = box_session(name, ["press", "6"], text="Remove the shared file\\tC:\\Program Files\\x.dll?",
                                         caption="Shared file", flags=hex(0x3 | 0x20 | 0x8000000 | 0x10000000),
                                         zoom="150", owner_drawn="1")
    return window, controls


def test_same_box_at_96_and_144_dpi(dpi144):
    window144, controls144 = measure_box("box-dpi-144")
    set_dpi(96)
    window96, controls96 = measure_box("box-dpi-96")
    assert int(window144["dpi"]) == 144 and int(window96["dpi"]) == 96
    for controls in (controls96, controls144):
        assert all(c.fits for c in controls), controls
    # Everything grows with the dots per inch: button height ceil(20 x D x 17 / 720).
    b96 = next(c for c in controls96 if c.id == 6)
    b144 = next(c for c in controls144 if c.id == 6)
    assert b96.rect[3] == 46  # ceil(20 x 96 x 17 / 720) = ceil(45.3)
    assert b144.rect[3] == 68  # ceil(20 x 144 x 17 / 720)
    assert 1.3 < int(window144["rect"].split(",")[2]) / int(window96["rect"].split(",")[2]) < 1.7


# ---- the background window ---------------------------------------------------------------------

def bmp_file(path, width, height, colour):
    """A 24-bit picture of one colour with a black frame of one pixel."""
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            edge = x in (0, width - 1) or y in (0, height - 1)
            r, g, b = (0, 0, 0) if edge else colour
            row += bytes((b, g, r))
        rows.append(bytes(row) + b"\0" * (stride - 3 * width))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    path.write_bytes(header + info + data)
    return path


def background_session(name, **options):
    program = show_box(background="1", text="Over the background", caption="On top", flags="0", **options)
    try:
        shot = shot_path(name)
        run = drive("wait", BACKGROUND, options.get("taskbar", "Setup"), "120000", "shot", z(shot),
                    "wait", BOX, "On top", "120000", "press", "1")
        if run.code != 0:
            program.kill()
        code, out, err = program.finish(timeout=60)
        assert run.code == 0, (run, code, out, err)
        assert code == 0, err
    finally:
        program.kill()
    return keep(shot)


def red_span(bitmap, y):
    xs = [x for x in range(bitmap.width) if close(bitmap.pixel(x, y), (220, 30, 30), 20)]
    return (min(xs), max(xs) + 1) if xs else None


def test_background_gradient_and_title():
    shot = background_session("background-gradient", top="#2040A0", bottom="#000000", title="Demo Product",
                              position="2", taskbar="Demo Setup")
    assert close(shot.pixel(3, shot.height - 2), (0, 0, 0), 8)
    assert close(shot.pixel(3, 2), (0x20, 0x40, 0xA0), 8)
    middle = shot.pixel(3, shot.height // 2)
    assert close(middle, (0x10, 0x20, 0x50), 10)  # half way down, half the top colour
    # The title, centred at the top, in its near-white colour somewhere on the top band.
    top_band = [shot.pixel(x, y) for y in range(0, 60) for x in range(shot.width // 2 - 200, shot.width // 2 + 200, 2)]
    assert any(close(p, (0xF7, 0xFE, 0xFF), 20) for p in top_band)


@pytest.mark.parametrize("stretch", [0, 1, 2, 3])
def test_background_picture_modes(tmp_path, stretch):
    picture = bmp_file(tmp_path / "picture.bmp", 100, 60, (220, 30, 30))
    shot = background_session(f"background-picture-mode-{stretch}", top="#404040", bottom="#404040",
                              picture=z(picture), stretch=str(stretch), size="50")
    w, h = shot.width, shot.height
    area_w, area_h = round(w * 0.5), round(h * 0.5)
    span = red_span(shot, h // 2 + 3)
    if stretch == 3:  # tiles from the top left corner, each its own size
        assert close(shot.pixel(50, 30), (220, 30, 30), 20)
        assert close(shot.pixel(150, 90), (220, 30, 30), 20)
        assert close(shot.pixel(100, 30), (0, 0, 0), 20)  # the frame of the second tile
        return
    assert span is not None
    expected_w = {0: area_w, 1: area_w if area_w * 60 <= area_h * 100 else round(area_h * 100 / 60),
                  2: min(area_w // 100, area_h // 60) * 100}[stretch]
    # The picture's black frame of one pixel in a hundred is scaled with it; halftone stretching
    # blurs an edge by a pixel or two.
    assert abs((span[1] - span[0]) - expected_w * 98 / 100) <= 8, (span, expected_w)
    assert abs((span[0] + span[1]) / 2 - w / 2) <= 3
    assert close(shot.pixel(5, 5), (0x40, 0x40, 0x40), 6)  # outside the area: the plain fill


# The first window of an interactive install is the wizard's greeting page: its Cancel ends the
# run (exit 12) without a question.
CANCEL_THE_WIZARD = ["press", "1003", "wait-gone", "60000"]


def look_installer(tmp_path, name, look):
    files = tmp_path / "files"
    files.mkdir()
    (files / "readme.txt").write_text("look\r\n")
    project = tmp_path / "product.toml"
    project.write_text(f"[product]\nname = \"{name}\"\nversion = \"1.0\"\ninstall_folder = 'C:\\{name}'\n\n"
                       f"[look]\n{look}\n\n[[files]]\nsource = \"files\"\n", encoding="utf-8")
    return pack_project_file(project)


def test_installer_shows_its_background_and_first_page(tmp_path):
    exe = look_installer(tmp_path, "Look Product", """
taskbar_text = "Look Product Setup"
title = "Look Product"
title_position = "top-centre"
top_colour = "#7F3F00"
bottom_colour = "#000000"
""")
    program = subprocess.Popen(["wine", str(exe)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        background = shot_path("installer-background")
        box = shot_path("installer-box")
        run = drive("wait", BACKGROUND, "Look Product Setup", "90000", "shot", z(background),
                    "wait", BOX, "*", "90000", "list", "shot", z(box), *CANCEL_THE_WIZARD, timeout=180)
        assert run.code == 0, run
        assert program.wait(timeout=120) == 12
    finally:
        if program.poll() is None:
            program.kill()
    shot = keep(background)
    keep(box)
    assert close(shot.pixel(3, 2), (0x7F, 0x3F, 0x00), 8)
    _, controls = parse_list(run.stdout)
    assert all(c.fits for c in controls), controls


def test_installer_without_background(tmp_path):
    exe = look_installer(tmp_path, "Plain Product", "background_window = false")
    program = subprocess.Popen(["wine", str(exe)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        assert drive("wait", BOX, "*", "90000", timeout=180).code == 0
        assert drive("wait", BACKGROUND, "*", "1").code == 3  # none, while the page is open
        assert drive("wait", BOX, "*", "10000", *CANCEL_THE_WIZARD).code == 0
        assert program.wait(timeout=120) == 12
    finally:
        if program.poll() is None:
            program.kill()
