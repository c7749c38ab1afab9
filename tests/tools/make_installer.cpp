// make_test_installer: builds installers whose setup script breaks one rule of the item table,
// which the pack tool refuses to write. The script starts as the minimal one, is written by the
// validating writer, and is then patched (or extended by hand) at the item the damage names; the
// installer is assembled as the pack tool does it, with the script key taken from the damaged
// bytes, so that the installer's reader meets the damage itself and not a CRC mismatch.
//
//   make_test_installer --stub STUB -o OUT --script-damage NAME
//   make_test_installer --script-only -o OUT --script-damage NAME   (the script bytes alone, for
//                                                                    fuzzing seeds)
//   make_test_installer --list
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "foundation/format/byte_io.h"
#include "foundation/format/setup_script.h"
#include "pack/installer_writer.h"
#include "pack/payload.h"

using namespace halberd;
using format::Bytes;
using format::SetupScript;

namespace {

using Change = std::function<void(SetupScript&)>;

const SetupScript& Base() {
  static const SetupScript base = format::MinimalSetupScript(u"Damaged Product");
  return base;
}

bool Write(const SetupScript& s, Bytes& out) {
  format::ByteWriter w;
  std::string problem;
  if (!format::WriteSetupScript(s, w, &problem)) {
    std::fprintf(stderr, "make_test_installer: the writer refused the script: %s\n", problem.c_str());
    return false;
  }
  out = std::move(w.bytes());
  return true;
}

SetupScript With(const Change& change) {
  SetupScript s = Base();
  change(s);
  return s;
}

// Where the written script first differs when `change` is applied to the base: the offset of the
// item (or count) that the change touches.
size_t OffsetOfChange(const Change& change) {
  Bytes a, b;
  if (!Write(Base(), a) || !Write(With(change), b)) return SIZE_MAX;
  auto diff = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return diff.first == a.end() ? SIZE_MAX : size_t(diff.first - a.begin());
}

// The base script with the value at the item `locate` touches replaced by `value` of `width`
// bytes.
bool Patched(const Change& locate, uint32_t value, int width, Bytes& out) {
  size_t at = OffsetOfChange(locate);
  if (at == SIZE_MAX || !Write(Base(), out) || at + size_t(width) > out.size()) return false;
  for (int i = 0; i < width; ++i) out[at + size_t(i)] = uint8_t(value >> (8 * i));
  return true;
}

// `script` written, with `entry` inserted right before the first occurrence of `mark`.
bool Inserted(const SetupScript& script, const Bytes& mark, const Bytes& entry, Bytes& out) {
  if (!Write(script, out)) return false;
  auto at = std::search(out.begin(), out.end(), mark.begin(), mark.end());
  if (at == out.end()) return false;
  out.insert(at, entry.begin(), entry.end());
  return true;
}

Bytes DeletionListEnd() {
  return Bytes(format::kDeletionListEnd, format::kDeletionListEnd + sizeof format::kDeletionListEnd);
}

Bytes AutoCloseListEnd() {
  format::ByteWriter w;
  w.String16(format::kAutoCloseListEnd);
  return w.bytes();
}

struct Damage {
  const char* what;
  std::function<bool(Bytes&)> make;
};

std::map<std::string, Damage> Damages() {
  auto add_language = [](SetupScript& s) {
    s.languages.names.push_back(u"Other");
    s.languages.rows[0].push_back(u"");
  };
  auto add_text = [](SetupScript& s) { s.languages.rows.push_back({u""}); };
  auto deletions = [](size_t n) {
    return With([n](SetupScript& s) { s.conditional_deletions.assign(n, format::FileDeletion{"*.tmp", 1, "", 0}); });
  };
  auto programs = [](size_t n) {
    return With([n](SetupScript& s) { s.AutoClose.assign(n, format::AutoCloseEntry{u"C", u"T", u"p.exe", 0, 0}); });
  };
  // One more entry of each list, in the written form.
  const Bytes deletion_entry = {'x', 0, 1, 0, 0};
  format::ByteWriter program;
  program.String16(format::ByteWriter::BytesFromUtf16(u"C"));
  program.String16("");
  program.String16("");
  program.U8(0);
  program.U8(0);
  const Bytes program_entry = program.bytes();

  std::map<std::string, Damage> d;
  d["none"] = {"the minimal script, unchanged", [](Bytes& b) { return Write(Base(), b); }};
  d["dwell-time"] = {"status-line dwell time 10000 ms (item 7)",
                     [](Bytes& b) { return Patched([](SetupScript& s) { s.dwell_time = 1; }, 10000, 2, b); }};
  d["bitmap-size"] = {"BitmapSize 101 (item 24)",
                      [](Bytes& b) { return Patched([](SetupScript& s) { s.BitmapSize = 1; }, 101, 4, b); }};
  d["licence-count"] = {"21 licence texts (item 29)", [](Bytes& b) {
                          return Patched([](SetupScript& s) { s.license_texts.push_back(""); }, 21, 4, b);
                        }};
  d["readme-count"] = {"21 readme texts (item 30)", [](Bytes& b) {
                         return Patched([](SetupScript& s) { s.readme_texts.push_back(""); }, 21, 4, b);
                       }};
  d["language-count-0"] = {"no language (item 76)", [=](Bytes& b) { return Patched(add_language, 0, 1, b); }};
  d["language-count-201"] = {"201 languages (item 76)", [=](Bytes& b) { return Patched(add_language, 201, 1, b); }};
  d["text-count-0"] = {"no text (item 77)", [=](Bytes& b) { return Patched(add_text, 0, 4, b); }};
  d["text-count-10001"] = {"10001 texts (item 77)", [=](Bytes& b) { return Patched(add_text, 10001, 4, b); }};
  d["end-marker"] = {"a wrong end marker (item 80)", [](Bytes& b) {
                       if (!Write(Base(), b)) return false;
                       b.back() ^= 0xFF;
                       return true;
                     }};
  d["script-cut"] = {"the script cut in the middle of its items", [](Bytes& b) {
                       if (!Write(Base(), b)) return false;
                       b.resize(b.size() / 2);
                       return true;
                     }};
  d["association-count"] = {"1001 file associations (item 70)", [](Bytes& b) {
                              return Patched([](SetupScript& s) { s.associations.emplace_back(); }, 1001, 4, b);
                            }};
  d["uninstall-value-count"] = {"1001 extra uninstall values (item 73)", [](Bytes& b) {
                                  return Patched([](SetupScript& s) { s.uninstall_values.emplace_back(); }, 1001, 4, b);
                                }};
  d["registration-count"] = {"1001 registration entries (item 71)", [](Bytes& b) {
                               return Patched([](SetupScript& s) { s.registrations.emplace_back(); }, 1001, 4, b);
                             }};
  d["deletions-1001"] = {"1001 conditional deletions (item 69), the most that load",
                         [=](Bytes& b) { return Write(deletions(1001), b); }};
  d["deletions-1002"] = {"1002 conditional deletions (item 69)", [=](Bytes& b) {
                           return Inserted(deletions(1001), DeletionListEnd(), deletion_entry, b);
                         }};
  d["programs-1000"] = {"1000 programs to close (item 75), the most that load",
                        [=](Bytes& b) { return Write(programs(1000), b); }};
  d["programs-1001"] = {"1001 programs to close (item 75)", [=](Bytes& b) {
                          return Inserted(programs(1000), AutoCloseListEnd(), program_entry, b);
                        }};
  d["no-product-name"] = {"an empty display name (item 11)",
                          [](Bytes& b) { return Write(With([](SetupScript& s) { s.DisplayName.clear(); }), b); }};
  return d;
}

int Usage(const char* why) {
  if (why) std::fprintf(stderr, "make_test_installer: %s\n", why);
  std::fputs("usage: make_test_installer --stub STUB -o OUT --script-damage NAME\n"
             "       make_test_installer --script-only -o OUT --script-damage NAME\n"
             "       make_test_installer --list\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const std::map<std::string, Damage> damages = Damages();
  std::string stub_path, out_path, damage_name;
  bool script_only = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--list") {
      for (const auto& [name, damage] : damages) std::printf("%-22s %s\n", name.c_str(), damage.what);
      return 0;
    }
    if (a == "--script-only") {
      script_only = true;
      continue;
    }
    if (i + 1 >= args.size()) return Usage(("missing value after " + a).c_str());
    if (a == "--stub") stub_path = args[++i];
    else if (a == "-o") out_path = args[++i];
    else if (a == "--script-damage") damage_name = args[++i];
    else return Usage(("unknown option " + a).c_str());
  }
  if ((stub_path.empty() && !script_only) || out_path.empty() || damage_name.empty())
    return Usage("--stub (or --script-only), -o and --script-damage are needed");
  auto damage = damages.find(damage_name);
  if (damage == damages.end()) return Usage(("unknown damage " + damage_name + " (see --list)").c_str());

  std::string error;
  pack::InstallationData data;
  if (!damage->second.make(data.script)) {
    std::fprintf(stderr, "make_test_installer: cannot make the damage %s\n", damage_name.c_str());
    return 1;
  }
  if (script_only) {
    if (pack::WriteFileAtomically(out_path, data.script, error)) return 0;
    std::fprintf(stderr, "make_test_installer: %s\n", error.c_str());
    return 1;
  }
  Bytes stub;
  if (!pack::ReadWholeFile(stub_path, stub, error)) {
    std::fprintf(stderr, "make_test_installer: stub: %s\n", error.c_str());
    return 1;
  }
  pack::Archive archive;  // no files: the run fails at the script or installs nothing
  if (!pack::BuildArchive({}, pack::ArchiveOptions{}, archive, error)) {
    std::fprintf(stderr, "make_test_installer: %s\n", error.c_str());
    return 1;
  }
  data.file_sizes = archive.file_sizes;
  data.archive = std::move(archive.bytes);
  Bytes installer;
  if (!pack::BuildInstaller(stub, data, installer, error) || !pack::WriteFileAtomically(out_path, installer, error)) {
    std::fprintf(stderr, "make_test_installer: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
