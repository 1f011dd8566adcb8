// Folder CRC manifests. A module folder carries a manifest subfolder
// "_FS_SWRINFO" with "crc.info" and "files.info". The check lists every file
// and every empty subfolder below the folder (the manifest excluded), lays
// the listing out as a binary file table, and computes one CRC-32 over the
// table followed by the contents of every listed file, in listing order;
// the result must equal the CRC stored in "crc.info" (bytes 4 to 7, most
// significant byte first).
//
// Folder paths are Windows path text or host paths. They must be full
// paths: a folder given in a form that the listing does not reproduce
// (relative, ".", "..", doubled separators) fails with 4 before any table
// is built.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/frame/crc_file_tree.h"

namespace halcyon::frame {

// Name of the manifest subfolder and its files.
inline constexpr const char *kCrcManifestFolder = "_FS_SWRINFO";
inline constexpr const char *kCrcInfoFile = "crc.info";
inline constexpr const char *kFilesInfoFile = "files.info";

// One listed entry: a file, or an empty folder.
struct _stFileInfo {
    uint16_t recordLength = 0; // set when the table is built
    int32_t nameStart = -1;    // index of the relative name in fullPath; set when the table is built
    uint64_t firstValue = 0;   // always 0 for the entries listed here
    uint64_t secondValue = 0;  // 0 for a file, all ones for an empty folder
    std::u16string fullPath;   // absolute, "/" separators, no trailing "/"
    std::string hostPath;      // the same path as the file system takes it

    bool IsFile() const { return secondValue != ~uint64_t{0} || firstValue != 0; }
};

class CFolderCrc {
public:
    // Checks folders of `tree` (the host's file system when null; a given
    // tree must outlive the object).
    explicit CFolderCrc(CrcFileTree *tree = nullptr);
    ~CFolderCrc();
    CFolderCrc(const CFolderCrc &) = delete;
    CFolderCrc &operator=(const CFolderCrc &) = delete;

    // Checks `folderPath` against its manifest. Results (message set on
    // failure, "%s" being the folder path as given):
    //   0 the CRCs agree
    //   1 "CRC Value is not same."
    //   2 "The path %s exist error! Don't find '_FS_SWRINFO', 'crc.info' or 'files.info'."
    //   2 "Can not open file."  ("crc.info" unreadable or shorter than 8 bytes)
    //   3 "The path %s exist error! Don't find other file, except that it is _FS_SWRINFO."
    //   3 "Can not open file."  (a listed file cannot be read)
    //   4 "The path %s exist error! It is empty path"
    //   4 "The path %s exist error! It is not a full path" (see above)
    // Prints "Calculated CRC: %ul\n" and "Original CRC: %ul\n" to standard
    // output before comparing.
    int32_t CheckFolder(const std::string &folderPath, std::string &message);

    // Lists the folder and computes the CRC of its checked stream without
    // reading a manifest (0, 3 or 4 with the messages above). Used by the
    // manifest writer and the check.
    int32_t ComputeFolderCrc(const std::string &folderPath, uint32_t &crc, std::string &message);

    // The listing of the last run, in table order.
    const std::vector<_stFileInfo> &Entries() const { return entries_; }
    // The file table of the last run (length, then one record per entry).
    const std::vector<uint8_t> &Table() const { return table_; }
    // Sizes of the listed entries (0 for empty folders), in table order.
    const std::vector<uint64_t> &Sizes() const { return sizes_; }
    // The relative name of entry `i` as UTF-8 ("/sub/file.txt").
    std::string RelativeName(size_t i) const;
    // Host path of the file or folder behind the last "Can not open file."
    // (empty when the last run had no such failure).
    const std::string &UnreadableFile() const { return unreadable_; }

private:
    int32_t List(const std::string &folderPath, std::string &message);
    void ListFolder(const std::string &hostFolder, const std::u16string &folder16, bool isRoot);
    void AddEntry(const std::string &hostPath, const std::u16string &fullPath, bool emptyFolder);
    bool CheckNames(std::string &message);
    bool ReadContents(std::string &message, uint32_t *crc, uint64_t *length);
    void BuildTable();

    std::unique_ptr<HostCrcFileTree> host_; // when no tree was given
    CrcFileTree &tree_;
    std::u16string folder_; // normalised folder path
    std::vector<_stFileInfo> entries_;
    std::vector<uint8_t> table_;
    std::vector<uint64_t> sizes_;  // per entry, from the open that read it
    bool listFailed_ = false;      // a folder could not be read
    std::string unreadable_;       // see UnreadableFile()
    std::vector<uint8_t> block_;   // read buffer, up to 256 KiB, reused
};

// Checks a folder with a fresh CFolderCrc (results as above). `unreadable`
// (when given) receives the path behind a "Can not open file.".
int32_t CheckFolder(const std::string &folderPath, std::string &message, std::string *unreadable = nullptr);

// The manifest files for the last run of `crc` that computed `value`.
struct FolderManifest {
    std::string crcInfo;   // "crc.info"
    std::string filesInfo; // "files.info"
};
FolderManifest ComposeFolderManifest(const CFolderCrc &crc, uint32_t value);

// Writes the manifest of `folderPath` so that the check of the folder as it
// now is returns 0: "_FS_SWRINFO\crc.info" (10 bytes: 00 00 00 00, the CRC
// most significant byte first, 00 00) and "_FS_SWRINFO\files.info" (UTF-8
// text, one line per listed entry in table order: the relative name, a tab,
// the size in bytes or "<DIR>" for an empty folder, CR LF). Replaces an
// existing manifest. 0 on success; 3 or 4 as the check would give them (no
// manifest is written then); 2 "Can not open file." when a manifest file
// cannot be written; 2 with "<path> is a symbolic link; no manifest is
// written." when the manifest folder or one of its files is a link (its
// target is left alone). `unreadable` (when given) receives the path that
// failed.
int32_t WriteFolderManifest(const std::string &folderPath, std::string &message, std::string *unreadable = nullptr);

} // namespace halcyon::frame
