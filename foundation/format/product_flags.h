// The two product flag words, named once for the installer and the pack tool.
//
// ProductFlags is 64 bits, read from the setup script; ProductFlags2 is 32 bits, read from the
// installation data header. Bit numbers count from 0. The pack tool sets them from the project
// file's yes/no options, the installer tests them; both use these names, so a bit cannot mean one
// thing to the writer and another to the reader. Silent mode rewrites some bits of the first word
// right after it is read (SilentModeFlags in setup_script.h).
#pragma once
#include <cstdint>

namespace halberd::format {

constexpr uint64_t FlagBit(int n) { return uint64_t(1) << n; }
constexpr uint32_t Flag2Bit(int n) { return uint32_t(1) << n; }

// ---- ProductFlags ---------------------------------------------------------------------------
// An earlier installation below the upgrade minimum (any, without a minimum) is uninstalled first.
inline constexpr uint64_t kFlagUninstallFirst = FlagBit(0);
inline constexpr uint64_t kFlagUninstallShortcutInStartMenu = FlagBit(1);
// The product gets an uninstaller, its registration and "Uninstall.dat"; an earlier installation
// is looked for under the uninstall key; item 68 (the uninstaller's icon) is present.
inline constexpr uint64_t kFlagUninstaller = FlagBit(2);
inline constexpr uint64_t kFlagGreetingWhenAutomatic = FlagBit(3);
inline constexpr uint64_t kFlagDialogColours = FlagBit(4);  // item 48 is present
inline constexpr uint64_t kFlagXzChunks = FlagBit(5);       // archive chunks are xz streams
inline constexpr uint64_t kFlagAlwaysWriteLog = FlagBit(6);
inline constexpr uint64_t kFlagAskFolder = FlagBit(7);
inline constexpr uint64_t kFlagSingleInstaller = FlagBit(8);  // the "Halberd HVS" mutex
inline constexpr uint64_t kFlagUninstallAutomatic = FlagBit(9);
inline constexpr uint64_t kFlagUninstallDeletesInstallFolder = FlagBit(10);
inline constexpr uint64_t kFlagReplaceLockedFiles = FlagBit(11);
inline constexpr uint64_t kFlagAddToPath = FlagBit(12);
inline constexpr uint64_t kFlagRestartRequired = FlagBit(14);  // set at run time
inline constexpr uint64_t kFlagBackgroundImage = FlagBit(15);
inline constexpr uint64_t kFlagMasterProduct = FlagBit(16);  // item 52 is present
inline constexpr uint64_t kFlagClearAttributesOnRetry = FlagBit(19);
inline constexpr uint64_t kFlagDetailedLog = FlagBit(20);  // written files, readme and EULA copies
inline constexpr uint64_t kFlagNoCompletionMessage = FlagBit(22);
inline constexpr uint64_t kFlagHidePreInstallBatch = FlagBit(23);
inline constexpr uint64_t kFlagHidePostInstallBatch = FlagBit(24);
inline constexpr uint64_t kFlagHideInstallExitBatch = FlagBit(25);
inline constexpr uint64_t kFlagHideUninstallBatch1 = FlagBit(26);
inline constexpr uint64_t kFlagHideUninstallBatch2 = FlagBit(27);
inline constexpr uint64_t kFlagNoInstallTypeConfirmation = FlagBit(28);
inline constexpr uint64_t kFlagNoBackgroundWindow = FlagBit(29);  // also: no title settings saved
inline constexpr uint64_t kFlagConfirmFolder = FlagBit(31);
inline constexpr uint64_t kFlagRegistry64 = FlagBit(32);  // product key and registry section in the 64-bit view
inline constexpr uint64_t kFlagUninstallShortcutOnDesktop = FlagBit(33);
inline constexpr uint64_t kFlagAskStartMenu = FlagBit(34);
inline constexpr uint64_t kFlagErrorsWhenAutomatic = FlagBit(35);
inline constexpr uint64_t kFlagCompareVersions = FlagBit(36);
inline constexpr uint64_t kFlagRefuseNetworkFolder = FlagBit(37);
inline constexpr uint64_t kFlagUninstallShortcutInUninstallFolder = FlagBit(38);
inline constexpr uint64_t kFlagFullScreenBackground = FlagBit(40);
inline constexpr uint64_t kFlagRestartQuestionWhenAutomatic = FlagBit(41);
inline constexpr uint64_t kFlagNoGreeting = FlagBit(43);
inline constexpr uint64_t kFlagAskOverInstall = FlagBit(44);
inline constexpr uint64_t kFlagUninstallRestarts = FlagBit(45);
inline constexpr uint64_t kFlagSaveReadme = FlagBit(46);
inline constexpr uint64_t kFlagSaveEula = FlagBit(47);
inline constexpr uint64_t kFlagHideFileNames = FlagBit(49);
inline constexpr uint64_t kFlagLoosenInstallFolder = FlagBit(50);
inline constexpr uint64_t kFlagUninstallClosesProgressFirst = FlagBit(51);
inline constexpr uint64_t kFlagRestartMarker = FlagBit(53);  // "reboot.dat"
inline constexpr uint64_t kFlagUninstallKeepsLog = FlagBit(54);
inline constexpr uint64_t kFlagRefuseRemovableDrive = FlagBit(55);
inline constexpr uint64_t kFlagPortableWithoutUninstaller = FlagBit(56);
inline constexpr uint64_t kFlagOfferLog = FlagBit(57);  // the summary page offers the log
inline constexpr uint64_t kFlagDesktopFolderDefault = FlagBit(58);
inline constexpr uint64_t kFlagLogShortcutInStartMenu = FlagBit(59);
inline constexpr uint64_t kFlagHideUpgradeBatch = FlagBit(60);
inline constexpr uint64_t kFlagHideReinstallBatch = FlagBit(61);
inline constexpr uint64_t kFlagLoosenSharedFolder = FlagBit(62);

// ---- ProductFlags2 --------------------------------------------------------------------------
inline constexpr uint32_t kFlags2ReinstallSameVersionOnly = Flag2Bit(0);
inline constexpr uint32_t kFlags2RestorePoint = Flag2Bit(1);  // cleared at run time when it fails
inline constexpr uint32_t kFlags2StripUninstaller = Flag2Bit(5);  // the uninstaller image has no section
inline constexpr uint32_t kFlags2LogPreInstallBatch = Flag2Bit(6);
inline constexpr uint32_t kFlags2LogPostInstallBatch = Flag2Bit(7);
inline constexpr uint32_t kFlags2LogUpgradeBatch = Flag2Bit(8);
inline constexpr uint32_t kFlags2LogReinstallBatch = Flag2Bit(9);
inline constexpr uint32_t kFlags2DialogStyle = Flag2Bit(10);
inline constexpr uint32_t kFlags2NoStartMenuPageOnRemovable = Flag2Bit(11);  // also: only portable shortcuts
inline constexpr uint32_t kFlags2Enciphered = Flag2Bit(12);
inline constexpr uint32_t kFlags2RecordEarlierLocation = Flag2Bit(13);
inline constexpr uint32_t kFlags2PortableNoRegistry = Flag2Bit(15);
inline constexpr uint32_t kFlags2AsciiFolderOnly = Flag2Bit(16);
inline constexpr uint32_t kFlags2PortableNoAssociations = Flag2Bit(17);
inline constexpr uint32_t kFlags2UninstallCompletionMessage = Flag2Bit(18);
inline constexpr uint32_t kFlags2PortableNoFirewall = Flag2Bit(19);
inline constexpr uint32_t kFlags2LaunchDirectly = Flag2Bit(20);
inline constexpr uint32_t kFlags2UninstallShortcutInInstallFolder = Flag2Bit(21);
inline constexpr uint32_t kFlags2SecondColours = Flag2Bit(24);  // item 50 is present
inline constexpr uint32_t kFlags2ButtonColours = Flag2Bit(25);  // item 49 is present
inline constexpr uint32_t kFlags2ThirdColours = Flag2Bit(26);   // item 51 is present

// What silent mode does to ProductFlags: no folder question or confirmation, no Start-menu
// question, no error boxes, no version comparison or over-install question, no restart question;
// no completion message, no install-type confirmation, no background window, no greeting.
inline constexpr uint64_t kSilentModeClears = FlagBit(7) | FlagBit(31) | FlagBit(34) | FlagBit(35) | FlagBit(36) |
                                              FlagBit(41) | FlagBit(44) | FlagBit(51);
inline constexpr uint64_t kSilentModeSets = FlagBit(21) | FlagBit(22) | FlagBit(28) | FlagBit(29) | FlagBit(43);

}  // namespace halberd::format
