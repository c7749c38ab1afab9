"""End to end: the crash handler. The test program crash_test_program.exe (built with the Windows
tests, never shipped) faults on purpose and shows the crash dialog, driven here by the window
driver; the installer itself, which has no way to crash on purpose, is made to crash from outside
(crash_process.exe starts a thread at an invalid address in it) during a silent run, and its report
reaches the loopback server."""
import re
import uuid

from conftest import STUB, WIN_TEST_TOOLS, pack_project_file
from window_driver import Program, _unescape, drive, parse_list, z

CRASH_PROGRAM = WIN_TEST_TOOLS / "crash_test_program.exe"
CRASH_PROCESS = WIN_TEST_TOOLS / "crash_process.exe"
ACCESS_VIOLATION = 0xC0000005 & 0xFF  # Windows exit codes reach Linux modulo 256


def form_fields(request):
    """The fields of a multipart form post, in order, as (name, text)."""
    _, _, body = request.partition(b"\r\n\r\n")
    fields = []
    for part in body.split(b"--AaB03x")[1:]:
        if part.startswith(b"--"):
            break
        head, _, value = part.partition(b"\r\n\r\n")
        name = head.split(b'name="', 1)[1].split(b'"', 1)[0].decode()
        fields.append((name, value[:-2].decode("cp1252")))
    return fields


def clipboard_texts(output):
    return [_unescape(line[len('clipboard "'):-1]) for line in output.splitlines() if line.startswith('clipboard "')]


def crash_with_dialog(server, tmp_path, test_id, *commands):
    report = tmp_path / "report.txt"
    program = Program([CRASH_PROGRAM, "access-violation", "--post", server.address(test_id, "answer"),
                       "--report", z(report)])
    try:
        run = drive("wait", "#32770", "Illegal Operation", "90000", "list", *commands, "wait-gone", "90000",
                    timeout=300)
        code, _, _ = program.finish(timeout=120)
    finally:
        program.kill()
    return run, code, report.read_bytes().decode("cp1252")


def test_dialog_copies_the_report_and_informs_us(server, tmp_path):
    test_id = "crash-dialog-" + uuid.uuid4().hex
    run, code, report = crash_with_dialog(
        server, tmp_path, test_id,
        # CTRL+C empties the clipboard first, so each wait sees the text of that press.
        "key", "CTRL+C", "press", "2704", "clipboard", "key", "CTRL+C", "press", "2704", "clipboard",
        "type", "2705", "jo@example.org", "type", "2707", "Clicked Next.", "press", "2700")
    assert run.code == 0, run
    window, controls = parse_list(run.stdout)
    buttons = {c.id: (c.text, c.enabled) for c in controls if c.cls == "Button"}
    assert buttons == {2700: ("Inform Us", True), 2704: ("Copy Report", True), 2701: ("Exit", True)}
    edits = {c.id for c in controls if c.cls == "Edit"}
    assert edits == {2703, 2705, 2707}
    assert report.startswith("Exception: Illegal memory access.\r\n\r\nProduct: Crash Test 1.0 \r\n"), report
    assert re.search(r"\r\nRead/write: write\r\nMemory address: [0-9A-F]{8}\r\n", report), report
    # Copy Report, pressed twice, puts the same whole report on the clipboard; the dialog stays.
    assert clipboard_texts(run.stdout) == [report, report]
    assert code == ACCESS_VIOLATION
    requests = server.requests(test_id)
    assert len(requests) == 1
    assert form_fields(requests[0]) == [
        ("from", "support@vellorin.example"),
        ("body", report + "\r\nEmail: jo@example.org\r\n\r\nComments:\r\nClicked Next."),
        ("subject", "Exception - Installer 48.0.11: crash_test_program.exe"),
        ("headers", "X-Vellorin-Internal: 2\r\nX-Exception-Email: jo@example.org\r\nReply-To: jo@example.org\r\n"),
    ]


def test_exit_sends_nothing_and_ends_with_the_exception_code(server, tmp_path):
    test_id = "crash-exit-" + uuid.uuid4().hex
    run, code, report = crash_with_dialog(server, tmp_path, test_id, "press", "2701")
    assert run.code == 0, run
    assert report.startswith("Exception: Illegal memory access.\r\n")
    assert code == ACCESS_VIOLATION
    assert server.requests(test_id) == []


def test_silent_installer_crash_posts_its_report(server, tmp_path):
    test_id = "crash-installer-" + uuid.uuid4().hex
    files = tmp_path / "files"
    files.mkdir()
    (files / "a.txt").write_text("a\r\n")
    project = tmp_path / "product.toml"
    # The Pre-Installation batch keeps the installer inside its run until the crash.
    project.write_text(
        "[product]\nname = \"Crashing Product\"\nversion = \"1.0\"\n"
        f"install_folder = 'C:\\Crashing {uuid.uuid4().hex[:8]}'\n\n"
        f"[notify]\nproblem_reports = '{server.address(test_id, 'answer')}'\n\n"
        f"[batches.pre_install]\ncommands = '\"{z(CRASH_PROCESS)}\" sleep 200000'\n\n"
        "[[files]]\nsource = \"files\"\n")
    exe = pack_project_file(project)
    installer = Program([exe, "/silent"])
    try:
        fault = Program([CRASH_PROCESS, "fault", "setup.exe", "200000"])
        fault_code, fault_out, _ = fault.finish(timeout=300)
        code, _, _ = installer.finish(timeout=120)
    finally:
        installer.kill()
    assert fault_code == 0, fault_out
    assert code == ACCESS_VIOLATION
    posts = [form_fields(r) for r in server.requests(test_id)]
    crash_posts = [dict(f) for f in posts if [name for name, _ in f] == ["from", "body", "subject", "headers"]]
    assert len(crash_posts) == 1, posts
    post = crash_posts[0]
    assert post["subject"] == "Exception - Installer 48.0.11: setup.exe"
    assert post["headers"] == "X-Vellorin-Internal: 2\r\n"
    report = post["body"]
    assert report.startswith("Exception: Illegal memory access.\r\n\r\nProduct: Halberd Setup 48.0.11 \r\n"
                             "Exception code: C0000005\r\nAddress: 00000010\r\n"), report
    assert "\r\nRead/write: read\r\nMemory address: 00000010\r\n" in report
    assert "/silent\r\n" in report and "\r\nModules:\r\n" in report and " setup.exe\r\n" in report
    # The problem report of the run carries the crash in its failure text.
    problems = [dict(f)["problems"] for f in posts if [name for name, _ in f] == ["problems"]]
    assert len(problems) == 1 and "\r\n\r\nINSTALLER CRASHED!\r\nException: Illegal memory access." in problems[0]


def test_the_installer_carries_no_way_to_crash_on_purpose():
    # The test program's words (and its name) are nowhere in the shipped stub, in 8-bit or wide text.
    data = STUB.read_bytes()
    for word in ["access-violation", "stack-overflow", "cpp-exception", "crash_test_program", "HALBERD_CRASH"]:
        assert word.encode() not in data, word
        assert word.encode("utf-16-le") not in data, word
