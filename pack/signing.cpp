#include "pack/signing.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "foundation/format/byte_io.h"
#include "foundation/format/pe_image.h"
#include "pack/installer_check.h"
#include "pack/installer_writer.h"

#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace halberd::pack {

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxPassword = 4096;  // fits a pipe's buffer, so writing it never blocks
constexpr size_t kOutputShown = 2000;  // the end of the signer's output shown with a failure

bool IsEnvironmentName(const std::string& name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (char c : name)
    if (!(c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

bool Mentions(const std::vector<std::string>& words, const char* placeholder) {
  for (const std::string& w : words)
    if (w.find(placeholder) != std::string::npos) return true;
  return false;
}

std::string Replace(std::string word, const std::string& from, const std::string& to) {
  for (size_t at = word.find(from); at != std::string::npos; at = word.find(from, at + to.size()))
    word.replace(at, from.size(), to);
  return word;
}

// A program named without a folder is looked up in the absolute folders of PATH only, so that a
// relative entry (".") cannot make a planted program run.
std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::string list = path ? path : "/usr/local/bin:/usr/bin:/bin";
  for (size_t start = 0; start <= list.size();) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string folder = list.substr(start, end - start);
    start = end + 1;
    if (folder.empty() || folder[0] != '/') continue;
    fs::path candidate = fs::path(folder) / name;
#ifndef _WIN32
    if (access(candidate.c_str(), X_OK) == 0 && fs::is_regular_file(candidate)) return candidate.string();
#endif
  }
  return {};
}

}  // namespace

std::vector<std::pair<std::string, std::string>> SigningProblems(const SigningSettings& s) {
  std::vector<std::pair<std::string, std::string>> problems;
  if (!s.pkcs12.empty() && !s.command.empty())
    problems.emplace_back("command", "give either `pkcs12` (signing with osslsigncode) or `command`, not both");
  std::error_code ec;
  if (!s.pkcs12.empty() && !fs::is_regular_file(s.pkcs12, ec))
    problems.emplace_back("pkcs12", "cannot find the PKCS#12 file \"" + s.pkcs12 + "\"");
  if (!s.password_env.empty()) {
    if (!IsEnvironmentName(s.password_env))
      problems.emplace_back("password_env", "`password_env` names an environment variable (letters, digits and _), not \"" +
                                                s.password_env + "\"");
    else if (const char* value = std::getenv(s.password_env.c_str()); !value)
      problems.emplace_back("password_env", "the environment variable " + s.password_env + " (the certificate's password) is not set");
    else if (std::strlen(value) > kMaxPassword)
      problems.emplace_back("password_env", "the password in " + s.password_env + " is longer than 4096 bytes");
  }
  if (!s.timestamp.empty()) {
    std::string lower = s.timestamp.substr(0, 8);
    for (char& c : lower) c = char(std::tolower(uint8_t(c)));
    if ((lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) ||
        s.timestamp.find_first_of(" \t\r\n") != std::string::npos)
      problems.emplace_back("timestamp", "`timestamp` must be a web address beginning with http:// or https://, without blanks");
  }
  if (!s.command.empty()) {
    if (s.command[0].empty() || FindProgram(s.command[0]).empty())
      problems.emplace_back("command", "the signing command \"" + s.command[0] + "\" is not found");
    else if (!Mentions(s.command, "{in}"))
      problems.emplace_back("command", "the signing command must name the installer to sign as {in}");
  } else if (!s.pkcs12.empty()) {
#ifndef _WIN32
    if (access(s.osslsigncode.c_str(), X_OK) != 0)
      problems.emplace_back("osslsigncode", "osslsigncode is not installed at \"" + s.osslsigncode +
                                                "\" (Debian package osslsigncode)");
#endif
  }
  return problems;
}

std::vector<std::string> SigningCommand(const SigningSettings& s, const std::string& in, const std::string& out) {
  std::vector<std::string> words;
  if (!s.command.empty()) {
    for (const std::string& w : s.command) words.push_back(Replace(Replace(w, "{in}", in), "{out}", out));
    return words;
  }
  words = {s.osslsigncode, "sign", "-pkcs12", s.pkcs12};
  if (!s.password_env.empty()) words.insert(words.end(), {"-readpass", "-"});  // from standard input
  words.insert(words.end(), {"-h", "sha256"});
  if (!s.description.empty()) words.insert(words.end(), {"-n", s.description});
  if (!s.url.empty()) words.insert(words.end(), {"-i", s.url});
  if (!s.timestamp.empty()) words.insert(words.end(), {"-ts", s.timestamp});
  words.insert(words.end(), {"-in", in, "-out", out});
  return words;
}

bool SplitCommandWords(const std::string& text, std::vector<std::string>& words, std::string& error) {
  words.clear();
  std::string word;
  bool in_word = false;
  char quote = 0;
  for (char c : text) {
    if (quote) {
      if (c == quote) quote = 0;
      else word += c;
    } else if (c == '"' || c == '\'') {
      quote = c;
      in_word = true;
    } else if (c == ' ' || c == '\t') {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (quote) {
    error = std::string("the signing command has an unclosed ") + quote;
    return false;
  }
  if (in_word) words.push_back(word);
  if (words.empty()) error = "the signing command is empty";
  return !words.empty();
}

#ifdef _WIN32

bool SignInstaller(const SigningSettings&, const fs::path&, bool, std::string& error) {
  error = "signing is done by the Linux build of the pack tool; sign the installer afterwards";
  return false;
}

#else

namespace {

// The file descriptors of one pipe, closed when they go out of scope.
struct Pipe {
  int fd[2] = {-1, -1};
  bool Open() { return pipe2(fd, O_CLOEXEC) == 0; }
  void Close(int i) {
    if (fd[i] >= 0) close(fd[i]);
    fd[i] = -1;
  }
  ~Pipe() {
    Close(0);
    Close(1);
  }
};

// Runs `words` without a shell, `input` on its standard input, its output and errors collected.
// Returns the exit status (-1 when it could not start or ended by a signal).
int RunProgram(const std::vector<std::string>& words, const std::string& input, std::string& output, std::string& error) {
  std::string program = FindProgram(words[0]);
  if (program.empty()) {
    error = "\"" + words[0] + "\" is not found";
    return -1;
  }
  Pipe in, out;
  if (!in.Open() || !out.Open()) {
    error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return -1;
  }
  // The input is at most a password, well within the pipe's buffer: written whole before the start.
  if (!input.empty() && write(in.fd[1], input.data(), input.size()) != ssize_t(input.size())) {
    error = std::string("cannot pass the password: ") + std::strerror(errno);
    return -1;
  }
  in.Close(1);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.fd[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
  posix_spawn_file_actions_adddup2(&actions, out.fd[1], 2);
  std::vector<char*> argv;
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int started = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) {
    error = "cannot start \"" + program + "\": " + std::strerror(started);
    return -1;
  }
  in.Close(0);
  out.Close(1);
  char buffer[4096];
  for (;;) {
    ssize_t n = read(out.fd[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    output.append(buffer, size_t(n));
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  error = "\"" + program + "\" ended by signal " + std::to_string(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  return -1;
}

std::string Tail(const std::string& output) {
  std::string t = output.size() > kOutputShown ? output.substr(output.size() - kOutputShown) : output;
  while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
  return t.empty() ? "" : ":\n" + t;
}

// A folder only this user can enter, beside the installer (so the signed copy is renamed, not
// copied), removed with whatever it holds when the signing ends.
class PrivateFolder {
 public:
  bool Create(const fs::path& beside) {
    std::string pattern = (beside.has_parent_path() ? beside.parent_path() : fs::path(".")) / ".halberd-sign-XXXXXX";
    if (!mkdtemp(pattern.data())) return false;
    path_ = pattern;
    return true;
  }
  const fs::path& path() const { return path_; }
  ~PrivateFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }

 private:
  fs::path path_;
};

}  // namespace

bool SignInstaller(const SigningSettings& s, const fs::path& file, bool archive_in_file, std::string& error) {
  PrivateFolder folder;
  if (!folder.Create(file)) {
    error = "signing: cannot create a folder beside \"" + file.string() + "\": " + std::strerror(errno);
    return false;
  }
  const fs::path signed_copy = folder.path() / "signed.exe";
  std::string in = file.string();
  if (!s.command.empty() && !Mentions(s.command, "{out}")) {
    // The command signs {in} in place: it gets a copy, so a failure leaves the installer as it was.
    std::error_code ec;
    if (!fs::copy_file(file, signed_copy, ec)) {
      error = "signing: cannot copy the installer: " + ec.message();
      return false;
    }
    in = signed_copy.string();
  }
  std::vector<std::string> words = SigningCommand(s, in, signed_copy.string());
  std::string password;
  if (!s.password_env.empty()) {
    const char* value = std::getenv(s.password_env.c_str());
    if (!value) {
      error = "signing: the environment variable " + s.password_env + " is not set";
      return false;
    }
    if (s.command.empty()) password = value;
  }
  std::string output, run_error;
  int status = RunProgram(words, password, output, run_error);
  if (status != 0) {
    error = "signing failed: " + (status < 0 ? run_error : fs::path(words[0]).filename().string() +
                                                               " exited with code " + std::to_string(status)) +
            Tail(output);
    return false;
  }
  format::Bytes bytes;
  if (!ReadWholeFile(signed_copy.string(), bytes, error)) {
    error = "signing: the signing command wrote no signed installer (" + error + ")";
    return false;
  }
  format::PeLayout layout;
  format::PeSection section;
  bool found = false;
  if (format::LocateSetupSection(bytes.data(), std::min(bytes.size(), format::kPeHeaderReadSize), layout, section,
                                 found) != 0 ||
      !format::FindCertificateTable(bytes.data(), bytes.size(), layout).present()) {
    error = "signing: the signing command left the installer without a signature";
    return false;
  }
  std::string failure;
  if (int code = CheckInstallerFile(bytes, archive_in_file, failure)) {
    error = "signing: the signed installer fails its own check of " + failure + " (code " + std::to_string(code) +
            "); the signing command changed more than the signature";
    return false;
  }
  std::error_code ec;
  fs::permissions(signed_copy, fs::status(file, ec).permissions(), ec);
  fs::rename(signed_copy, file, ec);
  if (ec) {
    error = "signing: cannot replace \"" + file.string() + "\": " + ec.message();
    return false;
  }
  return true;
}

#endif

}  // namespace halberd::pack
