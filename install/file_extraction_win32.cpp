// The file loop: every entry of the extraction stream, in archive order, from its head to its
// place on disk. The extraction file is read at positions in bounded pieces (an entry's texts
// within kHeadLimit, its contents in copy blocks), so no file is held whole whatever its size.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "engine/corrupt_installer.h"
#include "foundation/format/text_numbers.h"
#include "foundation/format/product_flags.h"
#include "engine/language_texts.h"
#include "engine/progress.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "engine/setup_script_state.h"
#include "foundation/fatal_error.h"
#include "foundation/format/corrupt_codes.h"
#include "foundation/format/file_entry.h"
#include "foundation/path_rules.h"
#include "foundation/special_folders.h"
#include "foundation/system_error_text.h"
#include "foundation/tl_file.h"
#include "install/component_registration.h"
#include "install/component_steps.h"
#include "install/extraction_folders.h"
#include "install/file_extraction.h"
#include "install/file_version.h"
#include "install/file_write.h"
#include "install/installed_files.h"
#include "install/overwrite_rules.h"
#include "install/restart_operations.h"
#include "install/target_path.h"
#include "uninstall/run_uninstall_data.h"
#include "variables/batch_runner.h"
#include "variables/path_variables.h"

namespace halberd::install {

namespace corrupt = format::corrupt;

namespace {

// An entry whose name is this shows the neutral status text instead of its path.
constexpr char16_t kHiddenName[] = u"b/0@+";
// An entry's fixed part and texts must fit in this much; longer texts are not a file entry.
constexpr size_t kHeadLimit = size_t(1) << 20;
constexpr size_t kFirstHeadRead = 64 * 1024;

std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }
std::wstring W(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

// Reads the head of the entry at `position`; returns 0 or a corrupt code and the position of the
// contents.
int ReadEntryHead(FileW& file, int64_t position, int64_t file_size, format::FileEntry& entry, int64_t& contents) {
  const int64_t left = file_size - position;
  if (left <= 0) return corrupt::kEntryMagic;
  size_t window = size_t(std::min<int64_t>(left, int64_t(kFirstHeadRead)));
  std::vector<uint8_t> buffer;
  for (;;) {
    buffer.resize(window);
    if (!file.Seek(position) || !file.ReadExact(buffer.data(), int64_t(window)))
      FatalError("Failed to read the extraction file.\r\n\r\n" + WideToAnsi(SystemErrorText(GetLastError())));
    format::ByteReader reader(buffer.data(), buffer.size());
    int code = format::ReadFileEntryHead(reader, entry);
    const size_t bigger = std::min<size_t>({window * 4, kHeadLimit, size_t(left)});
    if (code == corrupt::kEntrySizeTable && bigger > window) {
      window = bigger;
      continue;
    }
    if (code) return code;
    contents = position + int64_t(reader.position());
    return corrupt::kNone;
  }
}

ExistingTarget LookAtTarget(const std::wstring& path, int kind) {
  ExistingTarget t;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return t;
  t.exists = true;
  SYSTEMTIME st;
  if (FileTimeToSystemTime(&data.ftLastWriteTime, &st))
    t.time = DateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
  if (kind >= 6 && kind <= 9) t.version = FileVersionOf(path);
  return t;
}

// Step 4: the lists filled before any overwrite decision.
void ListByKind(const format::FileEntry& e, const std::wstring& path, const std::u16string& name, bool portable) {
  InstalledFiles& lists = RunFiles();
  const std::u16string p = U16(path);
  const char mark = SharedFileMark(e.kind, (e.flags & kFlagPermanent) != 0);
  switch (e.kind) {
    case 1: if (!portable) lists.shared_files.push_back({p, mark}); break;
    case 6: lists.shared_files.push_back({p, mark}); break;
    case 7:
      lists.com_files.push_back(p);
      if (!portable) lists.shared_files.push_back({p, mark});
      break;
    case 8:
      lists.type_libraries.push_back(p);
      lists.shared_files.push_back({p, mark});
      break;
    case 4:
      if (!(e.flags & kFlagPermanent))
        lists.fonts.push_back({U16(Utf8ToWide(e.second_text)), std::u16string(FileNamePart(name))});
      break;
    default: break;
  }
}

// Step 7: the shortcuts of kinds 0 and 5.
void ListShortcut(const format::FileEntry& e, const std::wstring& path) {
  const bool wanted = (e.kind == 0 && (e.flags & (kFlagDesktopShortcut | kFlagStartMenuShortcut))) || e.kind == 5;
  if (!wanted) return;
  ShortcutRequest s;
  s.target = U16(path);
  s.name = U16(Utf8ToWide(e.second_text));
  s.icon_path = e.icon_path;
  s.arguments = e.arguments;
  s.start_in = e.start_in;
  s.desktop = e.flags & kFlagDesktopShortcut;
  s.start_menu = e.flags & kFlagStartMenuShortcut;
  s.startup = e.kind == 5;
  s.keep_at_uninstall = e.flags & kFlagPermanent;
  RunFiles().shortcuts.push_back(std::move(s));
}

// Step 8: the file's folder. Returns false when the entry ends here.
bool PrepareFolder(const std::wstring& path, const std::wstring& install_folder, bool record) {
  const std::u16string folder16 = ParentFolder(U16(path));
  if (folder16.empty() || SameFolder(folder16, U16(install_folder))) return true;
  const std::wstring folder = W(folder16);
  const bool existed = FolderExists(folder);
  if (!CreateFolderRecorded(folder, record)) {
    const DWORD error = GetLastError();
    const std::wstring reason = FileTakesFolderName(folder)
                                    ? std::wstring(L"Cannot create folder because there is a file with the same name.")
                                    : SystemErrorText(error);
    engine::AppendFailureText(engine::LanguageText(text::kFolderNotCreated) + L" " + folder + L"\r\n" + reason + L"\r\n\r\nNot installed: " +
                              path + L"\r\n\r\n");
    return false;
  }
  // A folder that was there before is the product's own only inside the installation folder
  // (an earlier installation made it); elsewhere it may belong to anyone and is left alone.
  const std::u16string inside = WithoutTrailingBackslash(U16(install_folder)) + u"\\";
  if (record && existed && uninstall::UpperCaseForCompare(folder16).starts_with(uninstall::UpperCaseForCompare(inside)))
    uninstall::RecordRemoval(folder, uninstall::RemovalKind::kFolder);
  return true;
}

// Step 11: the second steps right after the write (fonts, installer packages, control-panel
// applets); driver information files are installed after the loop.
void RunSecondStep(const format::FileEntry& e, const std::wstring& path) {
  InstalledFiles& lists = RunFiles();
  const std::u16string p = U16(path);
  switch (e.kind) {
    case 4: InstallFont(path, U16(Utf8ToWide(e.second_text))); break;
    case 10: lists.driver_files.push_back(p); break;
    case 11:
      lists.packages.push_back({p, e.msi_ui_level, (e.flags & kFlagRecordPackage) != 0});
      InstallPackage(lists.packages.back());
      break;
    case 12:
      lists.applets.push_back({p, U16(Utf8ToWide(e.second_text)), e.arguments, e.start_in});
      RegisterApplet(lists.applets.back());
      break;
    default: break;
  }
}

// The first folder below the installation folder, on the way to `path`, that is a link (a
// junction or symbolic link, which someone may have planted to carry the write elsewhere); empty
// when there is none.
std::wstring LinkOnTheWay(const std::wstring& path, const std::wstring& install_folder) {
  for (const std::u16string& level : FoldersBelowInstallFolder(U16(path), U16(install_folder))) {
    const DWORD attributes = GetFileAttributesW(W(level).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {};  // missing from here on: made below
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return W(level);
  }
  return {};
}

TargetFolders RunTargetFolders() {
  TargetFolders f;
  f.install = U16(engine::Run().install_folder);
  f.uninstall = U16(uninstall::UninstallFolder());
  f.shared = U16(RunSharedFolder());
  f.fonts = U16(FontsFolder());
  f.system = U16(SystemFolder());
  f.portable_shared_subfolder = PortableInstallation() && !engine::Script().portable_shared_subfolder.empty();
  return f;
}

}  // namespace

void PrepareFileExtraction() {
  engine::SetStatusText(engine::LanguageText(text::kStatusPreparing));
  engine::SetProgress(1);
  PrepareExtractionFolders();
  variables::RunBatchesBeforeInstallation();
  engine::SetStatusText(engine::LanguageText(text::kStatusUnpacking));
}

void ExtractFiles(const engine::InstallationData& data, const std::wstring& extraction_path) {
  engine::RunState& run = engine::Run();
  const uninstall::CodePage code_page = uninstall::SystemCodePage();
  const TargetFolders folders = RunTargetFolders();
  const bool portable = PortableInstallation();
  const Expander expand = [](std::u16string& text) {
    std::wstring wide = W(text);
    variables::ExpandPathVariables(wide);
    text = U16(wide);
  };

  FileW extraction;
  if (extraction.Open(extraction_path, kOpenExisting | kNoWriteAccess | kShareRead | kShareWrite | kWidePath))
    FatalError("Failed to open the extraction file.\r\n\r\n" + extraction.LastErrorText());
  const int64_t stream_size = extraction.Size();
  const std::vector<int32_t>& sizes = data.header.file_sizes;
  int64_t position = 0;

  // The run ends on a corrupt entry; the extraction file is closed first so that the exit routine
  // can delete it.
  auto corrupt_entry = [&extraction](int code) {
    extraction.Close();
    engine::CorruptInstaller(code);
  };

  for (size_t index = 0; index < sizes.size(); ++index) {
    engine::SetProgress(59 + int(31 * index / sizes.size()));
    // 1. The entry and its checks against the file-size table.
    format::FileEntry e;
    int64_t contents = 0;
    int code = ReadEntryHead(extraction, position, stream_size, e, contents);
    if (code) corrupt_entry(code);
    if (e.name.empty()) corrupt_entry(corrupt::kEntrySizeTable);
    if (e.size != sizes[index]) corrupt_entry(corrupt::kEntrySizeMismatch);
    if (contents + e.size > stream_size) corrupt_entry(corrupt::kEntrySizeTable);
    position = contents + e.size;

    // 2. Target path.
    const std::u16string name = uninstall::DecodeUninstallText(e.name, code_page);
    const TargetPath target = ResolveTargetPath(name, e.target_folder, e.kind, e.flags, folders, expand);
    if (target.corrupt) corrupt_entry(target.corrupt);
    const std::wstring path = W(target.path);
    const bool permanent = e.flags & kFlagPermanent;

    // 3. Status text.
    const bool hide = (run.ProductFlags & format::kFlagHideFileNames) || target.name == kHiddenName;
    engine::SetStatusText(hide ? engine::LanguageText(text::kProgressTitle) : path);

    // 4. Lists by kind.
    ListByKind(e, path, target.name, portable);

    // 5-6. Overwrite mode and the kind's comparison.
    const ExistingTarget existing = LookAtTarget(path, e.kind);
    const DateTime entry_time{e.time[0], e.time[1], e.time[2], e.time[3], e.time[4], e.time[5]};
    const OverwriteDecision decision =
        DecideOverwrite(e.overwrite_mode(), e.kind, permanent, portable, entry_time, e.second_text, existing);
    if (!decision.log_line.empty()) {
      engine::LogWide(path);
      engine::LogUtf8(decision.log_line);
    }
    if (!decision.write) {
      if (decision.record) uninstall::RecordRemoval(path, uninstall::RemovalKind::kFile);
      continue;
    }

    // A file is never written through a link found below the installation folder: the
    // entry fails with the reason, and the run goes on with the next.
    if (const std::wstring link = LinkOnTheWay(path, run.install_folder); !link.empty()) {
      const std::wstring reason = L"The folder " + link + L" is a link to another place; nothing is written through it.";
      engine::LogWide(path + L"\r\n" + reason + L"\r\n");
      engine::AppendFailureText(L"\r\n" + engine::LanguageText(text::kNotInstalled) + L" " + path + L"\r\n" + reason + L"\r\n");
      continue;
    }

    // 7. Shortcut list.
    ListShortcut(e, path);

    // 8. Folder.
    const bool record_folder = !permanent && (IsRecordedKind(e.kind, portable) || e.kind == 1);
    if (target.explicit_folder && !PrepareFolder(path, run.install_folder, record_folder)) continue;

    // 9-10. Write, and record the file once it is there (written, pending a restart, or an
    // existing file of the product left as it was): a target the write never made is not the
    // run's to remove.
    FileWrite w;
    w.target = path;
    w.source = &extraction;
    w.offset = contents;
    w.size = e.size;
    w.time = entry_time;
    w.attributes = e.attributes;
    w.compared = decision.compared;
    w.record_folders = record_folder;
    const WriteOutcome outcome = WriteEntryFile(w);
    if (decision.record && (outcome != WriteOutcome::kFailed || existing.exists))
      uninstall::RecordRemoval(path, uninstall::RemovalKind::kFile);
    if (outcome == WriteOutcome::kFailed) continue;
    if (outcome == WriteOutcome::kPending && e.kind != 12) continue;
    if (outcome == WriteOutcome::kWritten && (run.ProductFlags & format::kFlagDetailedLog))
      engine::LogWide(W(target.name) + L" >>> " + path + L"\r\n");

    // 11. Second steps.
    RunSecondStep(e, path);

    // 12. Files written directly.
    if (outcome == WriteOutcome::kWritten) RunFiles().written.push_back(U16(path));
  }
  engine::SetProgress(90);

  extraction.Close();
  RemoveFile(extraction_path, kDeleteMissingIsSuccess);
  engine::SetProgress(91);
  engine::SetStatusText(engine::LanguageText(text::kProgressTitle));
  std::vector<std::wstring> written;
  for (const std::u16string& p : RunFiles().written) written.push_back(W(p));
  CleanPendingOperations(written, true);
}

}  // namespace halberd::install
