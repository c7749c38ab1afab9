// Signed installers: the pack tool packs and signs installers of every archive layout and
// integrity mode with a certificate made here by openssl; osslsigncode finds each signature and
// its file digest intact; the checks the installer makes of its own file at start (the image CRC
// of integrity mode 1, the archive's bounds and CRC) pass on the signed file, and still catch one
// changed byte. A signing step that fails leaves no installer and no temporary file behind.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "foundation/format/corrupt_codes.h"
#include "foundation/format/crc32.h"
#include "foundation/format/pe_image.h"
#include "foundation/format/setup_data.h"
#include "pack/installer_writer.h"
#include "pack/signing.h"

using namespace halberd;
using namespace halberd::format;
namespace fs = std::filesystem;

namespace {

constexpr char kPasswordVariable[] = "HALBERD_TEST_SIGNING_PASSWORD";
constexpr char kPassword[] = "correct horse";

std::string RunCommand(const std::string& command, int& status) {
  std::string output;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) {
    status = -1;
    return output;
  }
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) output.append(buffer, n);
  int s = pclose(p);
  status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  return output;
}

Bytes Load(const fs::path& path) {
  Bytes bytes;
  std::string error;
  pack::ReadWholeFile(path.string(), bytes, error);
  return bytes;
}

void Save(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// What the installer finds in its own file at start, as engine/installation_data_win32.cpp reads
// it, and the codes of its checks.
struct OwnChecks {
  PeLayout layout;
  PeSection section;
  SetupHeader header;
  uint64_t archive_start = 0;
  int header_code = -1;
  int image_code = -1;    // integrity mode 1
  int archive_code = -1;  // size (46) and CRC (55) of the archive from its source
};

OwnChecks CheckAsTheInstallerDoes(const Bytes& file, bool archive_in_file) {
  OwnChecks c;
  bool found = false;
  c.header_code = LocateSetupSection(file.data(), std::min(file.size(), kPeHeaderReadSize), c.layout, c.section, found);
  if (c.header_code || !found) return c;
  size_t mapped = std::min({size_t(c.section.virtual_size), size_t(c.section.raw_size), file.size() - c.section.raw_position});
  c.header_code = ParseSetupHeader(file.data() + c.section.raw_position, mapped, c.header);
  if (c.header_code) return c;
  uint32_t crc = 0;
  c.image_code = ImageCrc(file.data(), c.section.raw_position, c.layout, crc) && crc == c.header.image_crc
                     ? 0 : corrupt::kImageCrc;
  c.archive_start = uint64_t(c.section.raw_position) + c.header.archive_offset;
  const CertificateTable table = FindCertificateTable(file.data(), file.size(), c.layout);
  uint64_t available = archive_in_file ? FileArchiveBytes(uint64_t(c.header.archive_size), file.size(), c.archive_start, table)
                                       : SectionArchiveBytes(c.header, mapped);
  MemoryArchiveSource source(file.data() + c.archive_start, size_t(available));
  c.archive_code = VerifyArchive(c.header, source).corrupt_code;  // 0 when it passed
  return c;
}

class Signing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    fs::path self = fs::read_symlink("/proc/self/exe");
    tool_ = (self.parent_path() / "halberd-pack").string();
    stub_ = HALBERD_SOURCE_DIR "/build/win32/bin/halberd-setup.exe";
    std::random_device rd;
    keys_ = fs::temp_directory_path() / ("halberd-signing-keys-" + std::to_string(rd()));
    fs::create_directories(keys_);
    const std::string k = keys_.string();
    int status = 0;
    std::string out = RunCommand("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + k + "/key.pem -out " + k +
                              "/cert.pem -days 2 -subj '/CN=Halberd Test Publisher'",
                          status);
    if (status == 0)
      out = RunCommand("openssl pkcs12 -export -in " + k + "/cert.pem -inkey " + k + "/key.pem -out " + k +
                    "/publisher.p12 -passout 'pass:" + kPassword + "'",
                status);
    keys_made_ = status == 0;
    if (!keys_made_) std::fprintf(stderr, "openssl: %s\n", out.c_str());
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(keys_, ec);
  }

  void SetUp() override {
    if (!fs::exists(stub_)) GTEST_SKIP() << "the Windows stub is not built";
    if (!fs::exists(tool_)) GTEST_SKIP() << "halberd-pack is not built";
    if (!fs::exists("/usr/bin/osslsigncode")) GTEST_SKIP() << "osslsigncode is not installed";
    ASSERT_TRUE(keys_made_) << "openssl could not make the test certificate";
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("halberd-signing-" + std::to_string(rd()));
    fs::create_directories(dir_ / "out");
    setenv(kPasswordVariable, kPassword, 1);
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }

  // A product of one file of `size` bytes.
  fs::path Product(size_t size) {
    fs::path files = dir_ / ("files" + std::to_string(size));
    fs::create_directories(files);
    Bytes content(size);
    for (size_t i = 0; i < size; ++i) content[i] = uint8_t(i * 7 + size);
    Save(files / "data.bin", content);
    return files;
  }

  // Packs with the pack tool; `extra` are more arguments (layout, integrity, signing).
  int Pack(const fs::path& files, const fs::path& output, const std::string& extra, std::string& out) {
    int status = 0;
    out = RunCommand(tool_ + " --stub " + stub_ + " --files " + files.string() + " --name Signed --store -o " + output.string() +
                  " " + extra,
              status);
    return status;
  }

  std::string SignWithPkcs12() const {
    return "--sign-pkcs12 " + (keys_ / "publisher.p12").string() + " --sign-password-env " + kPasswordVariable;
  }

  // A shell script in the test's folder, for signing commands with more than one step.
  fs::path Script(const std::string& name, const std::string& body) {
    fs::path path = dir_ / name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
  }

  std::vector<std::string> FilesIn(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  static inline std::string tool_, stub_;
  static inline fs::path keys_;
  static inline bool keys_made_ = false;
  fs::path dir_;
};

}  // namespace

TEST_F(Signing, SignedInstallersOfEveryLayoutPassTheirOwnChecks) {
  struct Case {
    const char* layout;
    const char* integrity;
    size_t size;  // the file layout ends with the archive: sizes that leave the end off 8 bytes
  };
  const Case cases[] = {
      {"section", "crc", 3000},       {"section", "signature", 3000}, {"file", "crc", 3000},
      {"file", "signature", 3000},    {"file", "crc", 3001},          {"file", "crc", 3002},
      {"file", "crc", 3005},
  };
  bool end_padded = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.layout) + " " + c.integrity + " " + std::to_string(c.size));
    const bool in_file = std::string(c.layout) == "file";
    const fs::path files = Product(c.size);
    const std::string how = std::string("--archive-source ") + c.layout + " --integrity " + c.integrity;
    const fs::path plain = dir_ / "plain.exe", signed_file = dir_ / "out" / "setup.exe";
    std::string out;
    ASSERT_EQ(Pack(files, plain, how, out), 0) << out;
    ASSERT_EQ(Pack(files, signed_file, how + " " + SignWithPkcs12(), out), 0) << out;
    EXPECT_EQ(FilesIn(dir_ / "out"), std::vector<std::string>{"setup.exe"});

    int status = 0;
    std::string verify = RunCommand("osslsigncode verify -in " + signed_file.string(), status);
    // The test certificate is self-signed, so the chain may be reported untrusted; the signature
    // must be there and the digest of the file must match the signed one.
    EXPECT_NE(verify.find("Signer's certificate"), std::string::npos) << verify;
    EXPECT_NE(verify.find("/CN=Halberd Test Publisher"), std::string::npos) << verify;
    const size_t current = verify.find("Current message digest"), calculated = verify.find("Calculated message digest");
    ASSERT_NE(current, std::string::npos) << verify;
    ASSERT_NE(calculated, std::string::npos) << verify;
    auto digest = [&](size_t at) {
      size_t colon = verify.find(':', at), end = verify.find('\n', colon);
      return verify.substr(colon + 1, end - colon - 1);
    };
    EXPECT_EQ(digest(current), digest(calculated));

    // Signing changed only the checksum and the certificate entry of the packed bytes, and added
    // the table (and the zeros that align it) after them.
    const Bytes a = Load(plain), b = Load(signed_file);
    OwnChecks unsigned_checks = CheckAsTheInstallerDoes(a, in_file);
    ASSERT_EQ(unsigned_checks.header_code, 0);
    const uint32_t e = unsigned_checks.layout.e_lfanew;
    ASSERT_GT(b.size(), a.size());
    for (size_t i = 0; i < a.size(); ++i) {
      const bool rewritten = (i >= e + 88 && i < e + 92) || (i >= e + 152 && i < e + 160);
      ASSERT_TRUE(a[i] == b[i] || rewritten) << "byte " << i;
    }
    end_padded |= in_file && a.size() % 8 != 0;

    // The image CRC of an unsigned installer is the plain CRC after the checksum field, as before.
    const uint32_t from = e + 92;
    EXPECT_EQ(unsigned_checks.header.image_crc,
              Crc32(a.data() + from, unsigned_checks.section.raw_position - from));
    EXPECT_EQ(unsigned_checks.image_code, 0);
    EXPECT_EQ(unsigned_checks.archive_code, 0);

    OwnChecks signed_checks = CheckAsTheInstallerDoes(b, in_file);
    ASSERT_EQ(signed_checks.header_code, 0);
    EXPECT_TRUE(FindCertificateTable(b.data(), b.size(), signed_checks.layout).present());
    EXPECT_EQ(signed_checks.image_code, 0);
    EXPECT_EQ(signed_checks.archive_code, 0);

    // One changed byte still fails its check: in the program image, and in the archive.
    Bytes image_changed = b;
    image_changed[signed_checks.section.raw_position - 600] ^= 0x20;
    EXPECT_EQ(CheckAsTheInstallerDoes(image_changed, in_file).image_code, corrupt::kImageCrc);
    Bytes archive_changed = b;
    archive_changed[signed_checks.archive_start + signed_checks.header.archive_size / 2] ^= 0x20;
    EXPECT_EQ(CheckAsTheInstallerDoes(archive_changed, in_file).archive_code, corrupt::kArchiveCrc);
    if (in_file) {
      // A certificate entry moved off the table's real place leaves bytes that are not the archive.
      Bytes entry_moved = b;
      const uint32_t at = LoadU32(b.data() + e + 152);
      StoreU32(entry_moved.data() + e + 152, at + 8);
      EXPECT_EQ(CheckAsTheInstallerDoes(entry_moved, in_file).archive_code, corrupt::kArchiveAvailable);
    }
  }
  EXPECT_TRUE(end_padded) << "no case left the file layout's end off an 8-byte boundary";
}

TEST_F(Signing, ACustomCommandSignsTheInstaller) {
  // The command writes the signed copy to {out}; without {out} it signs {in} in place.
  const std::string sign = "/usr/bin/osslsigncode sign -pkcs12 " + (keys_ / "publisher.p12").string() + " -pass '" +
                           kPassword + "'";
  const fs::path in_place = Script("in-place.sh", sign + " -in \"$1\" -out \"$1.s\" && mv \"$1.s\" \"$1\"");
  const std::string commands[] = {sign + " -in {in} -out {out}", in_place.string() + " {in}"};
  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    const fs::path output = dir_ / "out" / "setup.exe";
    std::string out;
    ASSERT_EQ(Pack(Product(2000), output, "--archive-source file --sign-command \"" + command + "\"", out), 0) << out;
    const Bytes b = Load(output);
    OwnChecks c = CheckAsTheInstallerDoes(b, true);
    ASSERT_EQ(c.header_code, 0);
    EXPECT_TRUE(FindCertificateTable(b.data(), b.size(), c.layout).present());
    EXPECT_EQ(c.image_code, 0);
    EXPECT_EQ(c.archive_code, 0);
    EXPECT_EQ(FilesIn(dir_ / "out"), std::vector<std::string>{"setup.exe"});
    fs::remove(output);
  }
}

TEST_F(Signing, AFailedSigningWritesNoInstaller) {
  struct Case {
    const char* what;
    std::string options;
    const char* reason;
  };
  const std::string p12 = (keys_ / "publisher.p12").string();
  // A signer that changes a byte of the program image besides signing it.
  const fs::path tamper = Script("tamper.sh", "printf X | dd of=\"$1\" bs=1 seek=2000 conv=notrunc 2>/dev/null && "
                                              "/usr/bin/osslsigncode sign -pkcs12 " + p12 + " -pass '" + kPassword +
                                              "' -in \"$1\" -out \"$2\"");
  const Case cases[] = {
      {"the command fails", "--sign-command '/bin/false {in} {out}'", "signing failed: false exited with code 1"},
      {"a wrong password", "--sign-pkcs12 " + p12 + " --sign-password-env HALBERD_TEST_WRONG_PASSWORD",
       "signing failed: osslsigncode exited"},
      {"the password variable is not set", "--sign-pkcs12 " + p12 + " --sign-password-env HALBERD_TEST_NO_SUCH_VARIABLE",
       "HALBERD_TEST_NO_SUCH_VARIABLE (the certificate's password) is not set"},
      {"no PKCS#12 file", "--sign-pkcs12 " + (dir_ / "none.p12").string(), "cannot find the PKCS#12 file"},
      {"a command that does not sign", "--sign-command '/bin/cp {in} {out}'", "without a signature"},
      {"a command that changes the image", "--sign-command '" + tamper.string() + " {in} {out}'",
       "fails its own check of the image CRC (code 40)"},
  };
  setenv("HALBERD_TEST_WRONG_PASSWORD", "not the password", 1);
  unsetenv("HALBERD_TEST_NO_SUCH_VARIABLE");
  const fs::path files = Product(1500);
  const fs::path output = dir_ / "out" / "setup.exe";
  const Bytes earlier = {'o', 'l', 'd'};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Save(output, earlier);
    std::string out;
    EXPECT_NE(Pack(files, output, c.options, out), 0) << out;
    EXPECT_NE(out.find(c.reason), std::string::npos) << out;
    EXPECT_NE(out.find("no installer written"), std::string::npos) << out;
    // The earlier installer is untouched, and nothing else is left in the folder.
    EXPECT_EQ(Load(output), earlier);
    EXPECT_EQ(FilesIn(dir_ / "out"), std::vector<std::string>{"setup.exe"});
  }
}

TEST_F(Signing, TheProjectsSigningTableSignsAndNamesTheLineOfAProblem) {
  const fs::path project = dir_ / "product.toml";
  const fs::path files = Product(1200);
  auto write_project = [&](const std::string& variable) {
    std::ofstream(project) << "[product]\nname = \"Signed\"\n\n[signing]\npkcs12 = \"" << (keys_ / "publisher.p12").string()
                           << "\"\npassword_env = \"" << variable << "\"\ndescription = \"Signed setup\"\n\n[[files]]\nsource = \""
                           << files.string() << "\"\n";
  };
  const fs::path output = dir_ / "out" / "setup.exe";
  auto pack = [&](const std::string& extra, std::string& out) {
    int status = 0;
    out = RunCommand(tool_ + " " + project.string() + " --stub " + stub_ + " -o " + output.string() + " " + extra, status);
    return status;
  };
  std::string out;
  write_project(kPasswordVariable);
  ASSERT_EQ(pack("", out), 0) << out;
  Bytes b = Load(output);
  OwnChecks c = CheckAsTheInstallerDoes(b, false);
  ASSERT_EQ(c.header_code, 0);
  EXPECT_TRUE(FindCertificateTable(b.data(), b.size(), c.layout).present());
  EXPECT_EQ(c.image_code, 0);
  fs::remove(output);

  write_project("HALBERD_TEST_NO_SUCH_VARIABLE");
  unsetenv("HALBERD_TEST_NO_SUCH_VARIABLE");
  EXPECT_NE(pack("", out), 0);
  EXPECT_NE(out.find(project.string() + ":6: the environment variable HALBERD_TEST_NO_SUCH_VARIABLE"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(output));
  // --no-sign builds the same project unsigned, for a quick local build without the password.
  ASSERT_EQ(pack("--no-sign", out), 0) << out;
  b = Load(output);
  c = CheckAsTheInstallerDoes(b, false);
  ASSERT_EQ(c.header_code, 0);
  EXPECT_FALSE(FindCertificateTable(b.data(), b.size(), c.layout).present());
}

TEST(SigningCommand, ThePasswordNeverStandsOnTheCommandLine) {
  pack::SigningSettings s;
  s.pkcs12 = "/keys/p.p12";
  s.password_env = kPasswordVariable;
  s.timestamp = "http://timestamp.example.com";
  setenv(kPasswordVariable, kPassword, 1);
  const std::vector<std::string> words = pack::SigningCommand(s, "/out/in.exe", "/out/signed.exe");
  const std::vector<std::string> expected = {"/usr/bin/osslsigncode", "sign", "-pkcs12", "/keys/p.p12", "-readpass", "-",
                                             "-h", "sha256", "-ts", "http://timestamp.example.com",
                                             "-in", "/out/in.exe", "-out", "/out/signed.exe"};
  EXPECT_EQ(words, expected);
}

TEST(SigningCommand, ACommandTextSplitsIntoWordsWithoutAShell) {
  struct Case {
    const char* text;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"sign {in} {out}", {"sign", "{in}", "{out}"}},
      {"  sign\t--name 'Acme Draw' {in}  ", {"sign", "--name", "Acme Draw", "{in}"}},
      {"sign \"a 'b' c\" x''y \"\"", {"sign", "a 'b' c", "xy", ""}},
      {"sign $(rm -rf x) ; & | {in}", {"sign", "$(rm", "-rf", "x)", ";", "&", "|", "{in}"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> words;
    std::string error;
    EXPECT_TRUE(pack::SplitCommandWords(c.text, words, error)) << c.text;
    EXPECT_EQ(words, c.words) << c.text;
  }
  std::vector<std::string> words;
  std::string error;
  EXPECT_FALSE(pack::SplitCommandWords("sign 'unclosed {in}", words, error));
  EXPECT_NE(error.find("unclosed '"), std::string::npos);
  EXPECT_FALSE(pack::SplitCommandWords("   ", words, error));

  // Placeholders are replaced inside words too, and nothing else is.
  pack::SigningSettings s;
  s.command = {"/opt/sign", "--in={in}", "{out}", "$HOME"};
  EXPECT_EQ(pack::SigningCommand(s, "/a b/in.exe", "/o/s.exe"),
            (std::vector<std::string>{"/opt/sign", "--in=/a b/in.exe", "/o/s.exe", "$HOME"}));
}
