#include "engine/installation_data.h"

#include <windows.h>
#include <wintrust.h>
#include <softpub.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "engine/corrupt_installer.h"
#include "engine/disk_space.h"
#include "engine/exit_routine.h"
#include "engine/progress.h"
#include "engine/run_state.h"
#include "engine/trust_call.h"
#include "engine/trust_classes.h"
#include "foundation/fatal_error.h"
#include "foundation/format/corrupt_codes.h"
#include "foundation/format/crc32.h"
#include "foundation/format/product_flags.h"
#include "foundation/fs_redirection.h"
#include "foundation/system_error_text.h"
#include "foundation/system_library.h"
#include "foundation/tl_file.h"

namespace halberd::engine {

namespace corrupt = format::corrupt;
using format::Bytes;

namespace {

constexpr char kNoInstallationData[] =
    "This program performs installations and uninstallations.\r\nThere is no installation data present.\r\n"
    "No uninstallation parameters were specified.\r\n\r\nYou should not delete this program or execute it directly.";

std::wstring ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// The program file, opened read-only and shared, read at positions without moving its pointer.
bool OpenProgramFile(FileW& file, const std::wstring& path) {
  return file.Open(path, kOpenExisting | kNoWriteAccess | kShareRead | kShareWrite | kWidePath, 0) == 0;
}

bool ReadAt(FileW& file, uint64_t position, uint8_t* buffer, size_t n) {
  return file.Seek(int64_t(position)) && file.ReadExact(buffer, int64_t(n));
}

// The archive in the program file from `start` on. A failed read is reported by the unpacker's
// result, so that the run ends after the unpacker has stopped its workers.
class FileArchiveSource : public format::ArchiveSource {
 public:
  FileArchiveSource(FileW& file, uint64_t start, uint64_t size) : file_(file), start_(start), size_(size) {}
  uint64_t size() const override { return size_; }
  bool Read(uint64_t offset, uint8_t* buffer, size_t n) override { return ReadAt(file_, start_ + offset, buffer, n); }

 private:
  FileW& file_;
  uint64_t start_;
  uint64_t size_;
};

}  // namespace

InstallationData& Installation() {
  static InstallationData data;
  return data;
}

InstallationData& OpenInstallationData() {
  InstallationData& d = Installation();
  d.program_path = ProgramPath();
  FileW file;
  if (!OpenProgramFile(file, d.program_path)) CorruptInstaller(corrupt::kSeekFailed, true);
  d.program_size = uint64_t(file.Size());

  Bytes head(std::min<uint64_t>(format::kPeHeaderReadSize, d.program_size));
  if (!ReadAt(file, 0, head.data(), head.size())) CorruptInstaller(corrupt::kPeOffset, true);
  bool found = false;
  int code = format::LocateSetupSection(head.data(), head.size(), d.layout, d.section, found);
  if (code) CorruptInstaller(code);
  if (!found) FatalError(kNoInstallationData);
  d.certificates = format::FindCertificateTable(head.data(), head.size(), d.layout);
  if (d.section.raw_position == 0) CorruptInstaller(corrupt::kNoRawData);
  if (!file.Seek(int64_t(d.section.raw_position)) || d.section.raw_position > d.program_size)
    CorruptInstaller(corrupt::kSeekFailed, true);

  // The header is read where the loader mapped the section; only the mapped bytes are read.
  d.mapped = reinterpret_cast<const uint8_t*>(GetModuleHandleW(nullptr)) + d.section.virtual_address;
  d.mapped_size = std::min(d.section.virtual_size, d.section.raw_size);
  code = format::ParseSetupHeader(d.mapped, d.mapped_size, d.header);
  if (code == format::kVersionMismatch) {
    std::string name = kOwnCaptionA;
    FatalError("The installer version (" + std::string(kInstallerVersion) + ") does not match the version of " + name +
               " (" + d.header.version + ").  Close all applications and reinstall " + name + ".");
  }
  if (code) CorruptInstaller(code);
  Run().ProductFlags2 = d.header.flags2;
  return d;
}

Bytes UnpackSetupScript(const InstallationData& d) {
  Bytes script;
  int code = format::UnpackScript(d.header, d.mapped + d.header.script_offset, script);
  if (code) CorruptInstaller(code);
  return script;
}

void CheckSetupScriptCrc(const InstallationData& d, const Bytes& script) {
  if (!format::ScriptCrcMatches(d.header, script)) CorruptInstaller(corrupt::kScriptCrc);
}

namespace {

// Verifies the Authenticode signature with the system trust provider; no user interface,
// revocation checked over the whole chain.
TrustClass VerifySignature(const std::wstring& path, DWORD& last_error) {
  last_error = 0;
  {
    FileW probe;
    int open_error = probe.Open(path, kOpenExisting | kNoWriteAccess | kShareRead | kShareWrite | kWidePath, 0);
    if (open_error) return ClassifyUnopenedFile(open_error);
  }
  using WinVerifyTrustFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
  auto verify = SystemFunction<WinVerifyTrustFn>(L"wintrust.dll", "WinVerifyTrust");
  if (!verify) return kTrustProviderMissing;
  // On a thread of its own: a fault inside the provider is class 15, not the end of the process.
  TrustClass c = CallTrustProvider(
      [&]() -> LONG {
        WINTRUST_FILE_INFO file_info{};
        file_info.cbStruct = sizeof file_info;
        file_info.pcwszFilePath = path.c_str();
        WINTRUST_DATA data{};
        data.cbStruct = sizeof data;
        data.dwUIChoice = WTD_UI_NONE;
        data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
        data.dwUnionChoice = WTD_CHOICE_FILE;
        data.pFile = &file_info;
        data.dwStateAction = WTD_STATEACTION_VERIFY;
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        LONG result = verify(reinterpret_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
        const DWORD error = GetLastError();
        data.dwStateAction = WTD_STATEACTION_CLOSE;
        verify(reinterpret_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
        SetLastError(error);
        return result;
      },
      last_error);
  SetLastError(last_error);
  return c;
}

}  // namespace

void CheckProgramIntegrity(InstallationData& d, int integrity_mode) {
  FileW file;
  d.image.assign(d.section.raw_position, 0);
  if (!OpenProgramFile(file, d.program_path) || !ReadAt(file, 0, d.image.data(), d.image.size()))
    CorruptInstaller(corrupt::kImageRead, true);
  if (integrity_mode == 1) {
    // Signing rewrites the checksum and the certificate entry; the CRC leaves both out.
    uint32_t crc = 0;
    if (!format::ImageCrc(d.image.data(), d.image.size(), d.layout, crc) || crc != d.header.image_crc)
      CorruptInstaller(corrupt::kImageCrc);
  } else if (integrity_mode == 2) {
    DWORD last_error = 0;
    TrustClass c = VerifySignature(d.program_path, last_error);
    if (TrustFailureStopsRun(c, last_error)) {
      SetLastError(last_error);
      CorruptInstaller(corrupt::kSignatureBase + c, true);
    }
  }
}

void PrepareUninstallerImage(InstallationData& d) {
  if (!(d.header.flags2 & format::kFlags2StripUninstaller)) {
    d.uninstaller_image.clear();
    return;
  }
  Bytes tail;
  uint64_t end = uint64_t(d.section.raw_position) + d.section.raw_size;
  if (d.program_size > end) {
    tail.resize(size_t(d.program_size - end));
    FileW file;
    if (!OpenProgramFile(file, d.program_path) || !ReadAt(file, end, tail.data(), tail.size()))
      CorruptInstaller(corrupt::kUninstallerImage, true);
  }
  d.uninstaller_image = d.image;
  if (!format::StripSection(d.uninstaller_image, d.layout, d.section, tail))
    CorruptInstaller(corrupt::kUninstallerImage);
}

uint64_t UninstallerImageSize(const InstallationData& d) {
  return d.uninstaller_image.empty() ? d.program_size : d.uninstaller_image.size();
}

namespace {

// Workers that unpack chunks ahead of the extraction file: one per processor, at most three, so
// that the chunks in flight and the workers' decoders stay within a few tens of megabytes.
unsigned DecodeThreads() {
  unsigned n = std::thread::hardware_concurrency();
  return n < 2 ? 1 : std::min(n, 3u);
}

// Ends the run when checking or unpacking the archive failed, with the report of its kind: damage
// names its corrupt code, a failed read of the program file its size and position, a refused
// write the extraction file's error.
void EndOnArchiveFailure(const format::ArchiveResult& result, uint64_t archive_start) {
  switch (result.outcome) {
    case format::ArchiveOutcome::kOk:
      return;
    case format::ArchiveOutcome::kCorrupt:
      CorruptInstaller(result.corrupt_code);
    case format::ArchiveOutcome::kSourceReadFailed:
      FatalError(format::ArchiveReadFailureMessage(result.read_size, archive_start + result.read_offset));
    case format::ArchiveOutcome::kSinkFailed:
      FatalError("Failed to write to the extraction file.\r\n\r\n" + WideToAnsi(SystemErrorText(GetLastError())));
  }
}

}  // namespace

std::wstring UnpackArchive(const InstallationData& d, int archive_source, bool xz_chunks) {
  const format::SetupHeader& h = d.header;
  FileW program;
  if (!OpenProgramFile(program, d.program_path)) CorruptInstaller(corrupt::kArchiveAvailable, true);
  uint64_t start = uint64_t(d.section.raw_position) + h.archive_offset;
  // Up to the file's end, or to a signature's certificate table.
  uint64_t available = format::FileArchiveBytes(uint64_t(h.archive_size), d.program_size, start, d.certificates);
  // An archive in the section is read from the program file too, the bytes the loader mapped
  // there: walking the mapping would leave every page of a large archive resident, while reads
  // hold a chunk or two at a time.
  if (archive_source == 0) available = format::SectionArchiveBytes(h, d.mapped_size);
  auto source = std::make_unique<FileArchiveSource>(program, start, available);
  EndOnArchiveFailure(format::VerifyArchive(h, *source), start);

  auto extraction = std::make_shared<FileW>();
  int open_error = extraction->Open(L"", kCreateAlways | kPathNewTempFile | kWidePath, FILE_ATTRIBUTE_TEMPORARY);
  if (open_error) {
    char message[96];
    std::snprintf(message, sizeof message, "Failed to create the temporary extraction file, code %d", open_error);
    FatalError(message);
  }
  std::wstring path = extraction->Path();
  // Registered before the first byte is written, so a crashed run cannot leave it behind.
  ScheduleDeleteAtRestart(path);
  AtExitRun([extraction, path] {
    extraction->Close();
    RemoveFile(path, kDeleteMissingIsSuccess);
  });

  format::ArchiveProgress progress;
  progress.on_chunk = [](uint64_t consumed, uint64_t total) {
    SetProgress(format::ExtractionProgressPercent(consumed, total));
  };
  EndOnArchiveFailure(format::UnpackArchive(h, xz_chunks, *source, [&](const uint8_t* p, size_t n) {
    const bool written = extraction->Write(p, int64_t(n));
    ProgressPulse();
    return written;
  }, progress, DecodeThreads()), start);
  extraction->Close();
  return path;
}

uint64_t DiskSpaceNeededFor(const InstallationData& d, const std::wstring& target_folder, uint64_t extra_space) {
  uint32_t cluster = kDefaultClusterSize;
  if (target_folder.size() >= 2 && target_folder[1] == L':' && iswalpha(target_folder[0])) {
    wchar_t root[] = {target_folder[0], L':', L'\\', 0};
    DWORD sectors_per_cluster, bytes_per_sector, free_clusters, clusters;
    if (GetDiskFreeSpaceW(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters, &clusters))
      cluster = sectors_per_cluster * bytes_per_sector;
  }
  return DiskSpaceNeeded(d.header.file_sizes, cluster, UninstallerImageSize(d), extra_space);
}

}  // namespace halberd::engine
