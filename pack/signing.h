// Signing a finished installer before it is put in place: by default `osslsigncode sign` with a
// PKCS#12 file whose password comes from an environment variable (handed to osslsigncode on its
// standard input, never on a command line), or a publisher's own command. The signed file must
// still pass the installer's own checks (image CRC, archive bounds and CRC), else nothing is
// written. The settings come from the project's [signing] table and the --sign-* options.
#pragma once
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace halberd::pack {

constexpr char kDefaultOsslsigncode[] = "/usr/bin/osslsigncode";

struct SigningSettings {
  std::string pkcs12;                     // certificate and key (osslsigncode); absolute or from the project
  std::string password_env;               // name of the environment variable holding its password
  std::string timestamp;                  // timestamp server address (RFC 3161), optional
  std::string description;                // shown by Windows as the signed program's name, optional
  std::string url;                        // the publisher's address in the signature, optional
  std::string osslsigncode = kDefaultOsslsigncode;
  std::vector<std::string> command;       // a custom command instead, its words with {in} and {out}

  bool enabled() const { return !pkcs12.empty() || !command.empty(); }
};

// The problems of a set of signing settings, each with the option it concerns ("pkcs12",
// "password_env", "timestamp", "command", "osslsigncode"), so the project reader can report the
// line and the command line the option.
std::vector<std::pair<std::string, std::string>> SigningProblems(const SigningSettings& settings);

// The words of the signing command for `in` (the unsigned file) and `out` (where the signed file is
// written). The default command reads the password from its standard input when one is set.
std::vector<std::string> SigningCommand(const SigningSettings& settings, const std::string& in, const std::string& out);

// Splits a command given as one text on the command line into words: blanks separate them, and
// single or double quotes keep blanks inside one. No shell is involved.
bool SplitCommandWords(const std::string& text, std::vector<std::string>& words, std::string& error);

// Signs `file` (the finished temporary installer) in place. The command writes the signed copy
// into a private folder beside it, which then replaces `file`; on failure `file` is unchanged and
// nothing else is left behind. `archive_in_file` tells which of the installer's checks apply.
bool SignInstaller(const SigningSettings& settings, const std::filesystem::path& file, bool archive_in_file,
                   std::string& error);

}  // namespace halberd::pack
