// The setup verbs' registry access: the arguments record they publish while
// they run, and the three string helpers every registry write and read of
// the module installation goes through (HKEY_LOCAL_MACHINE, REG_SZ).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/modules/installed_software_keys.h"

namespace halcyon::modules {

// Results of the helpers.
inline constexpr int32_t kRegKeyNotCreated = 59;   // key could not be created or opened for a write
inline constexpr int32_t kRegValueNotSet = 60;     // value could not be set
inline constexpr int32_t kRegKeyNotClosed = 61;    // key could not be closed
inline constexpr int32_t kRegKeyNotOpened = 109;   // key could not be opened for a read
inline constexpr int32_t kRegValueNotRead = 110;   // value absent, not text, or longer than 260 characters
inline constexpr int32_t kRegValueEmpty = 111;     // value is the empty string
inline constexpr int32_t kRegKeyNotDeleted = 118;  // key could not be deleted (absent, has subkeys, store error)

// Longest text ReadRegString gives back, in characters.
inline constexpr size_t kRegStringMaxChars = 260;

// Creates the key when missing and sets `valueName` to `text` as REG_SZ of
// exactly the text's bytes (no terminator stored). 0, 59, 60 or 61.
int32_t WriteRegString(std::string keyPath, std::string valueName, std::string text);
// Reads a string value into `out` (a stored terminator ends the text).
// 0, 109, 110, 111 or 61; `out` is unchanged on failure.
int32_t ReadRegString(std::string keyPath, std::string valueName, std::string &out);
// Deletes a key without subkeys. 0, or 118 (callers ignore it; a key that is
// already gone gives 118 and changes nothing).
int32_t DeleteRegKey(std::string keyPath);

// The arguments a setup verb was called with. All texts start empty, the
// numbers 0.
struct InstallerArguments {
    std::string CurApp;           // application being installed (empty for the module verb)
    std::string IniFile;          // plan or module INI path
    std::string PermSourceDir;
    std::string TempSourceDir;
    std::string TrueFulSourceDir;
    std::string DestDir;
    std::string MountDir;
    std::string InstallerType;
    std::string PartType;
    std::string Recoverable;
    std::string Temporary;
    std::string LogFile;
    int32_t Start = 0;
    uint64_t Options = 0;

    // (value name, text) of the fourteen values in their published order;
    // Start as "%d", Options as "%u" of its low 32 bits.
    std::vector<std::pair<std::string, std::string>> Entries() const;
};

// Publishes a record under its key for as long as the publisher lives: the
// owning verb creates it on entry, and the key is deleted when the verb
// returns by any path. The record must outlive the publisher.
class InstallerArgumentsPublisher {
public:
    InstallerArgumentsPublisher(std::string keyPath, const InstallerArguments &record);
    explicit InstallerArgumentsPublisher(const InstallerArguments &record)
        : InstallerArgumentsPublisher(kInstallerArgumentsKey, record)
    {
    }
    ~InstallerArgumentsPublisher();
    InstallerArgumentsPublisher(const InstallerArgumentsPublisher &) = delete;
    InstallerArgumentsPublisher &operator=(const InstallerArgumentsPublisher &) = delete;

    // Writes the values in order; the first failing write's code, else 0.
    int32_t Publish();

private:
    std::string keyPath_;
    const InstallerArguments &record_;
};

} // namespace halcyon::modules
