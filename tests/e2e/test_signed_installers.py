"""End to end: installers signed by the pack tool's signing step install under Wine whatever their
archive layout and integrity mode, and one byte changed after signing still fails its check."""
import hashlib
import struct
import subprocess

import pytest

from conftest import SetupData, pack, run_installer, run_wine

PASSWORD_VARIABLE = "HALBERD_E2E_SIGNING_PASSWORD"
PASSWORD = "e2e signing password"


@pytest.fixture(scope="module")
def certificate(tmp_path_factory):
    """A self-signed code-signing certificate made with openssl: the PKCS#12 file and the DER bytes."""
    d = tmp_path_factory.mktemp("signing")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(d / "key.pem"),
                    "-out", str(d / "cert.pem"), "-days", "2", "-subj", "/CN=Halberd E2E Publisher",
                    "-addext", "extendedKeyUsage=codeSigning"], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-in", str(d / "cert.pem"), "-inkey", str(d / "key.pem"),
                    "-out", str(d / "publisher.p12"), "-passout", "pass:" + PASSWORD], check=True, capture_output=True)
    der = subprocess.run(["openssl", "x509", "-in", str(d / "cert.pem"), "-outform", "DER"], check=True,
                         capture_output=True).stdout
    return d / "publisher.p12", der


@pytest.fixture
def signing(certificate, monkeypatch):
    """The pack tool's signing options, with the test certificate trusted as a root in the prefix
    (stored in the registry as Windows stores it: a property list holding the certificate)."""
    p12, der = certificate
    monkeypatch.setenv(PASSWORD_VARIABLE, PASSWORD)
    thumbprint = hashlib.sha1(der).hexdigest().upper()
    blob = struct.pack("<III", 32, 1, len(der)) + der  # CERT_CERT_PROP_ID, its encoding, its length
    key = r"HKLM\Software\Microsoft\SystemCertificates\Root\Certificates" + "\\" + thumbprint
    added = run_wine(["reg", "add", key, "/v", "Blob", "/t", "REG_BINARY", "/d", blob.hex().upper(), "/f"])
    assert added.code == 0, added
    return ["--sign-pkcs12", str(p12), "--sign-password-env", PASSWORD_VARIABLE]


@pytest.mark.parametrize("integrity", ["crc", "signature"])
@pytest.mark.parametrize("layout", ["section", "file"])
def test_signed_installer_installs(product, tmp_path, signing, layout, integrity):
    exe = pack(product, tmp_path / "setup.exe", "--archive-source", layout, "--integrity", integrity, *signing)
    s = SetupData(bytearray(exe.read_bytes()))
    certificate_position = struct.unpack_from("<I", s.data, s.e_lfanew + 152)[0]
    assert certificate_position >= s.archive_at + s.archive_size, "the installer is not signed"
    run = run_installer(exe, "/silent")
    assert run.code == 0, run


def header_padding_byte(s: SetupData):
    """A zero byte of the header after the section table: covered by the image CRC and the
    signature, ignored by the loader."""
    count = struct.unpack_from("<H", s.data, s.e_lfanew + 6)[0]
    opt_size = struct.unpack_from("<H", s.data, s.e_lfanew + 20)[0]
    return s.e_lfanew + 24 + opt_size + 40 * count + 4


@pytest.mark.parametrize("layout,integrity,where,code", [
    ("section", "crc", "image", 40),
    ("file", "crc", "image", 40),
    ("section", "crc", "archive", 55),
    ("file", "crc", "archive", 55),
    ("file", "signature", "archive", 1003),  # the signature's digest no longer matches
], ids=["section-image", "file-image", "section-archive", "file-archive", "file-signature"])
def test_a_byte_changed_after_signing_fails_its_check(product, tmp_path, signing, layout, integrity, where, code):
    exe = pack(product, tmp_path / "setup.exe", "--archive-source", layout, "--integrity", integrity, *signing)
    s = SetupData(bytearray(exe.read_bytes()))
    at = header_padding_byte(s) if where == "image" else s.archive_at + s.archive_size // 2
    s.data[at] ^= 0x20
    exe.write_bytes(bytes(s.data))
    run = run_installer(exe, "/silent")
    assert run.code == 2, run
    assert f"Error code: {code}" in run.stderr, run
