// The numbers of the language texts that the installer and the uninstaller show, named once for
// the engine and the pack tool. The table lists every number with the printf conversions the
// caller fills in, so the pack tool can check each language file against what the engine formats.
// Numbers 29, 32, 36, 62 and 97 are not used.
#pragma once
#include <span>
#include <string_view>

namespace halberd::text {

inline constexpr int kWindowTitle = 0;  // window title, product title on the background
inline constexpr int kGreeting = 1;  // greeting
inline constexpr int kEarlierInstallationCaption = 2;  // caption: an earlier installation was found
inline constexpr int kTypeReinstall = 3;  // install type: reinstall, versions not compared
inline constexpr int kTypeSameVersion = 4;  // install type: same version
inline constexpr int kTypeUpgrade = 5;  // install type: upgrade
inline constexpr int kTypeDowngrade = 6;  // install type: downgrade
inline constexpr int kContinueQuestion = 7;  // question after the install type
inline constexpr int kStatusUnpacking = 8;  // status: unpacking files
inline constexpr int kUninstallFirst = 9;  // earlier version must be uninstalled first
inline constexpr int kUninstallFailures = 10;  // uninstaller: failures (the list)
inline constexpr int kFolderPrompt = 11;  // folder page prompt, folder browser title
inline constexpr int kMasterMissing = 12;  // master product missing (its name)
inline constexpr int kCorruptInstaller = 13;  // corrupt installer (the code)
inline constexpr int kFolderInvalid = 14;  // folder not valid
inline constexpr int kUninstallCompleteCaption = 15;  // uninstaller: completion caption
inline constexpr int kDriveMissing = 16;  // drive not available (the drive)
inline constexpr int kDriveRootRefused = 17;  // drive root refused
inline constexpr int kProgramFilesRefused = 18;  // Program Files itself refused (the folder)
inline constexpr int kDiskSpaceQuestion = 19;  // disk space question (needed, available)
inline constexpr int kQuestionCaption = 20;  // caption of questions
inline constexpr int kErrorCaption = 21;  // caption of errors
inline constexpr int kConfirmExistingFolder = 22;  // confirm existing folder (the folder)
inline constexpr int kConfirmNewFolder = 23;  // confirm new folder (the folder)
inline constexpr int kFolderPageTitle = 24;  // folder page title, caption of the confirmation
inline constexpr int kFolderNotCreated = 25;  // folder could not be created
inline constexpr int kStatusCompleting = 26;  // status: completing
inline constexpr int kPasswordLabel = 27;  // password label
inline constexpr int kCancelQuestion = 28;  // cancel question
inline constexpr int kFolderNotAscii = 30;  // folder with characters outside ASCII
inline constexpr int kNotInstalled = 31;  // prefix of an item not installed
inline constexpr int kUninstallShortcutName = 33;  // uninstall shortcut name
inline constexpr int kUninstallComplete = 34;  // uninstaller: completion message
inline constexpr int kSharedFileCaption = 35;  // uninstaller: shared-file question caption
inline constexpr int kRestartQuestion = 37;  // restart question
inline constexpr int kUnnamedShortcut = 38;  // name of an unnamed shortcut (the file name)
inline constexpr int kProgressHeading = 39;  // progress heading, installing
inline constexpr int kProblemsViewLog = 40;  // problems, view the log? (the log path)
inline constexpr int kProblemsCaption = 41;  // caption of the problems question
inline constexpr int kInstallComplete = 42;  // summary message
inline constexpr int kInstallCompleteCaption = 43;  // summary title, last line of the log
inline constexpr int kLicenceTitle = 44;  // licence page title
inline constexpr int kAgree = 45;  // agree button
inline constexpr int kDisagree = 46;  // disagree button
inline constexpr int kLicencePrompt = 47;  // licence prompt
inline constexpr int kNext = 48;  // Next
inline constexpr int kCancel = 49;  // Cancel
inline constexpr int kReadmeTitle = 50;  // readme page title
inline constexpr int kReadmePrompt = 51;  // readme prompt
inline constexpr int kBrowse = 52;  // Browse
inline constexpr int kUninstallConfirm = 53;  // uninstaller: confirmation
inline constexpr int kProgressTitle = 54;  // progress title, installing; status while installing
inline constexpr int kUninstallCaption = 55;  // uninstaller: caption, progress title
inline constexpr int kRemoveFontQuestion = 56;  // uninstaller: font question (the font)
inline constexpr int kRemoveFontCaption = 57;  // uninstaller: font question caption
inline constexpr int kNotRemoved = 58;  // uninstaller: prefix of a file not removed
inline constexpr int kRemoveSharedQuestion = 59;  // uninstaller: shared-file question (the file)
inline constexpr int kWindowsTooOld = 60;  // Windows too old (the version)
inline constexpr int kWindowsExcluded = 61;  // Windows excluded (its name)
inline constexpr int kFurtherLicence = 63;  // further licence text of the language
inline constexpr int kFurtherReadme = 64;  // further readme text of the language
inline constexpr int kPageCaption = 65;  // window caption of pages and messages
inline constexpr int kNetworkFolderRefused = 66;  // network folder refused
inline constexpr int kStatusRemovingFonts = 67;  // uninstaller status: fonts
inline constexpr int kStatusRemovingFiles = 68;  // uninstaller status: files
inline constexpr int kStatusRemovingRegistry = 69;  // uninstaller status: registry
inline constexpr int kStatusRemovingAssociations = 70;  // uninstaller status: associations
inline constexpr int kUninstallProgressHeading = 71;  // progress heading, uninstalling
inline constexpr int kOverInstallQuestion = 72;  // over-installation question
inline constexpr int kFolderNotWritable = 73;  // folder not writable (the folder)
inline constexpr int kUninstallRestartQuestion = 74;  // uninstaller: restart question
inline constexpr int kPasswordTitle = 75;  // password page title
inline constexpr int kPasswordPrompt = 76;  // password prompt
inline constexpr int kStatusRegistering = 77;  // status: registering <file>
inline constexpr int kStatusRegistry = 78;  // status: registry entries
inline constexpr int kYes = 79;  // Yes
inline constexpr int kNo = 80;  // No
inline constexpr int kWrongBitness = 81;  // wrong bitness (32 or 64)
inline constexpr int kLanguagePrompt = 82;  // language page prompt
inline constexpr int kSummaryShowDocument = 83;  // summary: show document
inline constexpr int kSummaryStartProgram = 84;  // summary: start program
inline constexpr int kSummaryViewLog = 85;  // summary: view log
inline constexpr int kLogShortcutName = 86;  // log shortcut name
inline constexpr int kSummarySecondDocument = 87;  // summary: second document or web page
inline constexpr int kStartMenuPrompt = 88;  // Start menu page prompt
inline constexpr int kStartMenuTitle = 89;  // Start menu page title
inline constexpr int kInstallButton = 90;  // Install button
inline constexpr int kAlreadyRunning = 91;  // another installer running
inline constexpr int kSpaceNeeded = 92;  // space needed
inline constexpr int kSpaceAvailable = 93;  // space available
inline constexpr int kLanguageTitle = 94;  // language page title
inline constexpr int kFinish = 95;  // Finish button
inline constexpr int kDriveRefused = 96;  // drive refused (the drive)
inline constexpr int kInstallCancelled = 98;  // installation cancelled
inline constexpr int kCloseProgram = 99;  // close a program (its name)
inline constexpr int kRetry = 100;  // Retry
inline constexpr int kUninstallCancelled = 101;  // uninstallation cancelled
inline constexpr int kWrongPassword = 102;  // wrong password
inline constexpr int kGreetingTitle = 103;  // greeting title
inline constexpr int kContinue = 104;  // Continue
inline constexpr int kGreetingLink = 105;  // greeting link line with <a>
inline constexpr int kDowngradeRefused = 106;  // downgrade refused (the lowest version)
inline constexpr int kUninstallCloseProgram = 107;  // uninstaller: close a program (its name)
inline constexpr int kStatusRemovingPackages = 108;  // uninstaller status: installer packages
inline constexpr int kSupportOffer = 109;  // uninstaller: support offer
inline constexpr int kSupportButton = 110;  // support button and caption
inline constexpr int kCancelledCaption = 111;  // cancelled caption
inline constexpr int kMasterTooOld = 112;  // master product too old (version, name)
inline constexpr int kStatusPreparing = 113;  // status: preparing
inline constexpr int kDialogCaptionOverride = 114;  // page caption override
inline constexpr int kYesToAll = 115;  // Yes to all
inline constexpr int kNoToAll = 116;  // No to all
inline constexpr int kChooseAgain = 117;  // choose the folder again

// A text the installer shows. `placeholders` are the conversions it is formatted with, in order
// ("%s%s", "%d"), empty for a text shown as it is. The shipped languages leave a text with
// `empty_by_default` empty on purpose: it is the product's to fill (a further licence text).
struct EngineText {
  int number;
  std::string_view placeholders;
  bool empty_by_default;
};

// Every text number in increasing order.
inline constexpr EngineText kEngineTexts[] = {
    {kWindowTitle, "", false},
    {kGreeting, "", false},
    {kEarlierInstallationCaption, "", false},
    {kTypeReinstall, "", false},
    {kTypeSameVersion, "", false},
    {kTypeUpgrade, "", false},
    {kTypeDowngrade, "", false},
    {kContinueQuestion, "", false},
    {kStatusUnpacking, "", false},
    {kUninstallFirst, "", false},
    {kUninstallFailures, "%s", false},
    {kFolderPrompt, "", false},
    {kMasterMissing, "%s", false},
    {kCorruptInstaller, "%d", false},
    {kFolderInvalid, "", false},
    {kUninstallCompleteCaption, "", false},
    {kDriveMissing, "%s", false},
    {kDriveRootRefused, "", false},
    {kProgramFilesRefused, "%s", false},
    {kDiskSpaceQuestion, "%s%s", false},
    {kQuestionCaption, "", false},
    {kErrorCaption, "", false},
    {kConfirmExistingFolder, "%s", false},
    {kConfirmNewFolder, "%s", false},
    {kFolderPageTitle, "", false},
    {kFolderNotCreated, "", false},
    {kStatusCompleting, "", false},
    {kPasswordLabel, "", false},
    {kCancelQuestion, "", false},
    {kFolderNotAscii, "", false},
    {kNotInstalled, "", false},
    {kUninstallShortcutName, "", false},
    {kUninstallComplete, "", false},
    {kSharedFileCaption, "", false},
    {kRestartQuestion, "", false},
    {kUnnamedShortcut, "%s", false},
    {kProgressHeading, "", false},
    {kProblemsViewLog, "%s", false},
    {kProblemsCaption, "", false},
    {kInstallComplete, "", false},
    {kInstallCompleteCaption, "", false},
    {kLicenceTitle, "", false},
    {kAgree, "", false},
    {kDisagree, "", false},
    {kLicencePrompt, "", false},
    {kNext, "", false},
    {kCancel, "", false},
    {kReadmeTitle, "", false},
    {kReadmePrompt, "", false},
    {kBrowse, "", false},
    {kUninstallConfirm, "", false},
    {kProgressTitle, "", false},
    {kUninstallCaption, "", false},
    {kRemoveFontQuestion, "%s", false},
    {kRemoveFontCaption, "", false},
    {kNotRemoved, "", false},
    {kRemoveSharedQuestion, "%s", false},
    {kWindowsTooOld, "%s", false},
    {kWindowsExcluded, "%s", false},
    {kFurtherLicence, "", true},
    {kFurtherReadme, "", true},
    {kPageCaption, "", false},
    {kNetworkFolderRefused, "", false},
    {kStatusRemovingFonts, "", false},
    {kStatusRemovingFiles, "", false},
    {kStatusRemovingRegistry, "", false},
    {kStatusRemovingAssociations, "", false},
    {kUninstallProgressHeading, "", false},
    {kOverInstallQuestion, "", false},
    {kFolderNotWritable, "%s", false},
    {kUninstallRestartQuestion, "", false},
    {kPasswordTitle, "", false},
    {kPasswordPrompt, "", false},
    {kStatusRegistering, "", false},
    {kStatusRegistry, "", false},
    {kYes, "", false},
    {kNo, "", false},
    {kWrongBitness, "%d", false},
    {kLanguagePrompt, "", false},
    {kSummaryShowDocument, "", false},
    {kSummaryStartProgram, "", false},
    {kSummaryViewLog, "", false},
    {kLogShortcutName, "", false},
    {kSummarySecondDocument, "", false},
    {kStartMenuPrompt, "", false},
    {kStartMenuTitle, "", false},
    {kInstallButton, "", false},
    {kAlreadyRunning, "", false},
    {kSpaceNeeded, "", false},
    {kSpaceAvailable, "", false},
    {kLanguageTitle, "", false},
    {kFinish, "", false},
    {kDriveRefused, "%s", false},
    {kInstallCancelled, "", false},
    {kCloseProgram, "%s", false},
    {kRetry, "", false},
    {kUninstallCancelled, "", false},
    {kWrongPassword, "", false},
    {kGreetingTitle, "", false},
    {kContinue, "", false},
    {kGreetingLink, "", false},
    {kDowngradeRefused, "%s", false},
    {kUninstallCloseProgram, "%s", false},
    {kStatusRemovingPackages, "", false},
    {kSupportOffer, "", false},
    {kSupportButton, "", false},
    {kCancelledCaption, "", false},
    {kMasterTooOld, "%s%s", false},
    {kStatusPreparing, "", false},
    {kDialogCaptionOverride, "", true},
    {kYesToAll, "", false},
    {kNoToAll, "", false},
    {kChooseAgain, "", false},
};

}  // namespace halberd::text
