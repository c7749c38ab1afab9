"""End to end: the installer's notifications and problem reports reach a loopback HTTP server
(tests/tools/http_test_server.py on 127.0.0.1) before the installer exits."""
import re
import time
import uuid


from conftest import SetupData, pack_project_file, run_installer

def pack_project(tmp_path, notify, version="1.2 beta"):
    files = tmp_path / "files"
    files.mkdir()
    (files / "readme.txt").write_text("notified\r\n")
    lines = "\n".join(f"{key} = '{value}'" for key, value in notify.items())
    project = tmp_path / "product.toml"
    project.write_text(f"[product]\nname = \"Notified Product\"\nversion = \"{version}\"\n"
                       f"install_folder = 'C:\\Notified {uuid.uuid4().hex[:8]}'\n\n"
                       f"[notify]\n{lines}\n\n[[files]]\nsource = \"files\"\n")
    exe = pack_project_file(project)
    return exe


def request_line(raw):
    return raw.split(b"\r\n", 1)[0].decode("latin-1")


def test_corrupt_installer_delivers_its_problem_report_before_exit_2(server, tmp_path):
    test_id = "corrupt-" + uuid.uuid4().hex
    exe = pack_project(tmp_path, {"problem_reports": server.address(test_id, "answer"),
                                  "on_start": server.address(test_id, "answer?start")})
    s = SetupData(bytearray(exe.read_bytes()))
    s.data[s.archive_at + s.archive_size // 2] ^= 0x55  # read after the setup script: the address is known
    exe.write_bytes(bytes(s.data))

    run = run_installer(exe, "/silent")
    assert run.code == 2, run
    requests = server.requests(test_id)
    # The archive is unpacked after the installation has started.
    assert [request_line(r) for r in requests] == [f"GET /{test_id}/answer?start HTTP/1.0",
                                                   f"POST /{test_id}/answer HTTP/1.0"]
    head, _, body = requests[1].partition(b"\r\n\r\n")
    assert b"\r\nContent-Type: multipart/form-data; boundary=AaB03x" in head
    prefix = b'--AaB03x\r\nContent-Disposition: form-data; name="problems"\r\n\r\n'
    assert body.startswith(prefix), body
    report = body[len(prefix):].decode("utf-8")
    assert report.startswith("Notified Product 1.2 beta\r\nInstaller version: 48.0.11\r\nOS: Windows "), report
    assert re.search(r"\r\nAdmin rights: (Yes|No)\r\nFilename: [A-Z]:\\.*setup\.exe\r\n\r\n"
                     r"This installation program is corrupt\.", report), report
    assert "Error code: 55" in report, report


def test_start_and_completion_notifications_carry_session_and_version(server, tmp_path):
    test_id = "install-" + uuid.uuid4().hex
    exe = pack_project(tmp_path, {
        "on_start": server.address(test_id, "answer?moment=start&s=%Session%&v=%version%"),
        "on_new_install": server.address(test_id, "answer?moment=new&s=%SESSION%&v=%Version%"),
        "on_upgrade": server.address(test_id, "answer?moment=upgrade"),
        "on_cancel": server.address(test_id, "answer?moment=cancel"),
        "problem_reports": server.address(test_id, "answer?moment=problems"),
    })
    run = run_installer(exe, "/silent")
    assert run.code == 0, run
    lines = [request_line(r) for r in server.requests(test_id)]
    assert len(lines) == 2, lines
    # The system's internet library sends HTTP/1.0; when it gets no answer (a loaded machine can
    # make it time out) the installer's own client sends the same request as HTTP/1.1.
    pattern = rf"GET /{test_id}/answer\?moment=(\w+)&s=(\d+)&v=1\.2%20beta HTTP/1\.[01]"
    found = [re.fullmatch(pattern, line) for line in lines]
    assert all(found), lines
    assert [m.group(1) for m in found] == ["start", "new"]
    sessions = {m.group(2) for m in found}
    assert len(sessions) == 1 and int(sessions.pop()) < 2 ** 63, lines
