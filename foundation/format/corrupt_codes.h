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
// Setup script (setup_script.h).
constexpr int kScriptDwellTime = 19;          // status-line dwell time above 9999 ms
constexpr int kScriptLicenseCount = 24;       // more than 20 licence texts
constexpr int kScriptReadmeCount = 26;        // more than 20 readme texts
constexpr int kScriptLanguageCount = 30;      // languages not 1-200
constexpr int kScriptTextCount = 31;          // texts not 1-10000
constexpr int kScriptEnd = 32;                // end marker wrong, or the script ends early
constexpr int kScriptAssociationCount = 36;   // more than 1000 file associations
constexpr int kScriptUninstallValueCount = 37;  // more than 1000 extra uninstall values
constexpr int kScriptDeletionCount = 38;      // a conditional deletion beyond the 1001st
constexpr int kScriptBitmapSize = 39;         // picture size above 100 percent
constexpr int kScriptAutoCloseCount = 41;     // a program to close beyond the 1000th
constexpr int kScriptRegistrationCount = 48;  // more than 1000 registration entries
constexpr int kUninstallValueType = 200;      // extra uninstall value of an unknown type, when saved
// File entries of the extraction stream.
constexpr int kEntrySizeTable = 70;
constexpr int kEntryNegativeSize = 71;
constexpr int kEntryTooLarge = 72;
constexpr int kEntrySizeMismatch = 73;
constexpr int kEntryMagic = 101;
// Control-panel applet entries.
constexpr int kAppletName = 78;     // no applet name, not even in the file's version information
constexpr int kAppletClassId = 79;  // no class identifier, or one that names another key
constexpr int kEntryKind = 110;

}  // namespace halberd::format::corrupt
