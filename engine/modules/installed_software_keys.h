// Registry keys and value names of the module installation (all under
// HKEY_LOCAL_MACHINE, all values REG_SZ).
#pragma once

namespace halcyon::modules {

// The resume marks of the module setup verb.
inline constexpr const char *kInstallerStatusKey = "SOFTWARE\\Norv Corporation\\Installed Software\\InstallerStatus\\";
inline constexpr const char *kCurrentItemRebootBeforeArg = "CurrentItemRebootBeforeArg";
inline constexpr const char *kPreviousItemName = "PreviousItemName";
inline constexpr const char *kPreviousItemResult = "PreviousItemResult";
inline constexpr const char *kPreviousItemRebootAfterArg = "PreviousItemRebootAfterArg";
inline constexpr const char *kCurrentItemName = "CurrentItemName";

// One registration key per installed module: this + CustomerLabel + " " + PartId.
inline constexpr const char *kModulesKey = "SOFTWARE\\Norv Corporation\\Installed Software\\Modules\\";

// The arguments of the running setup verb.
inline constexpr const char *kInstallerArgumentsKey =
    "SOFTWARE\\Norv Corporation\\Installed Software\\InstallerArguments\\";

// In-box modules met before Windows finished its out-of-box setup.
inline constexpr const char *kHddRecoveryKey = "SOFTWARE\\Norv Corporation\\HDDRecovery";
inline constexpr const char *kInBoxValueFormat = "InBoxCD%d";

// The Windows setup state.
inline constexpr const char *kSetupStateKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Setup\\State";
inline constexpr const char *kImageStateValue = "ImageState";
inline constexpr const char *kImageStateComplete = "IMAGE_STATE_COMPLETE";

} // namespace halcyon::modules
