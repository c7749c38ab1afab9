// Corrupt-installer codes: each failed check of the installation data ends the run with exit 2
// and one of these numbers in the message, so a support person can tell which check failed.
#pragma once

namespace halberd::format::corrupt {

constexpr int kNone = 0;
// Locating the setup section in the program file.
constexpr int kNoRawData = 9;
constexpr int kSeekFailed = 10;
constexpr int kPeOffset = 43;
constexpr int kSectionCount = 44;
// Header of the installation data.
constexpr int kMagic = 20;
constexpr int kScriptSize = 22;
constexpr int kScriptCrc = 25;
constexpr int kFileCount = 27;
constexpr int kFileSize = 28;
constexpr int kArchiveSize = 29;
constexpr int kTotalSize = 45;
constexpr int kArchiveAvailable = 46;
constexpr int kScriptUnpack = 47;
constexpr int kArchiveCrc = 55;
// Archive chunks.
constexpr int kChunkUnpack = 60;
constexpr int kChunkLength = 61;
constexpr int kChunkCrc = 62;
constexpr int kChunkOverrun = 63;
// Integrity of the program file.
constexpr int kImageRead = 35;
constexpr int kImageCrc = 40;
constexpr int kUninstallerImage = 42;
constexpr int kSignatureBase = 1000;  // 1000 + class of the signature check
// File entries of the extraction stream.
constexpr int kEntrySizeTable = 70;
constexpr int kEntryNegativeSize = 71;
constexpr int kEntryTooLarge = 72;
constexpr int kEntrySizeMismatch = 73;
constexpr int kEntryMagic = 101;
constexpr int kEntryKind = 110;

}  // namespace halberd::format::corrupt
