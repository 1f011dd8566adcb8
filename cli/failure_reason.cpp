#include "cli/failure_reason.h"

#include <algorithm>
#include <cctype>

#include "cli/run_frame.h"
#include "engine/image/wim_tags.h"

namespace halcyon::cli {

namespace {

struct Known {
    int64_t code;
    const char *name; // "" when the code has no name of its own
    const char *meaning;
};

// The codes a run's stages return (docs/return-codes.md).
constexpr Known kKnown[] = {
    {2, "RETURN_UNABLE_OPEN_INI", "the plan, a module INI or the media description could not be loaded or saved"},
    {4, "", "no IDF was found for the BOM"},
    {9, "RETURN_IMAGE_NOTEXIST", "the WIM image file does not exist"},
    {11, "RETURN_MODULE_EXE", "an installer could not be run"},
    {27, "RETURN_LOG_OPEN_FAILED", "the log file could not be opened for appending"},
    {29, "RETURN_MODULE_NONZERO_RETURN", "an installer ended with a non-zero exit code"},
    {33, "RETURN_IMAGE_DIR_NOT_EXIST", "the image source folder is missing, or the image is an unjoined part"},
    {34, "RETURN_SOURCE_DIR_NOT_EXIST", "the source folder does not exist"},
    {35, "RETURN_DEST_DIR_NOT_EXIST", "the destination folder does not exist or cannot be created"},
    {36, "RETURN_PERM_DIR_NOT_EXIST", "the permanent modules folder does not exist"},
    {37, "RETURN_TEMP_DIR_NOT_EXIST", "a temporary folder does not exist"},
    {41, "RETURN_WIMGAPI_ERROR", "an imaging call failed"},
    {42, "RETURN_ERROR_LOAD_GENERIC_IMAGE", "the image record could not be read from the plan"},
    {43, "RETURN_COPY_TEMP_WIM", "copying a WIM to its working place failed"},
    {50, "RETURN_GET_FREE_DISK_SPACE", "the free space of the destination could not be read"},
    {53, "RETURN_DECRYPT_WIM", "unscrambling a WIM failed"},
    {54, "RETURN_CHANGE_WIM_ATTR", "changing a WIM's attributes failed"},
    {55, "RETURN_FIND_WIM_MODULE", "a module's WIM container was not found"},
    {59, "RETURN_REGISTRY_WRITE", "a registry mark could not be written"},
    {63, "RETURN_UNKNOWN_INSTALLER_TYPE", "unknown installer type"},
    {64, "RETURN_COPY_FOLDER", "copying a module's folder failed"},
    {66, "RETURN_INSERT_DISC", "a medium is missing"},
    {69, "RETURN_COPY_FILE", "copying a file failed"},
    {70, "RETURN_HALINI_NOEXIST", "the plan halcyon.ini does not exist"},
    {71, "RETURN_RCVINI_NOEXIST", "the media description nrvhdrcv.ini does not exist"},
    {72, "RETURN_CREATE_FOLDER", "a folder could not be created"},
    {73, "RETURN_MOUNT_DIR_NOT_EXIST", "the mount folder does not exist"},
    {92, "", "a folder the plan needs is on no recovery medium"},
    {96, "RETURN_UNKNOWN_TEMPORARY_VALUE", "unknown Temporary value"},
    {98, "RETURN_RECORD_INCOMPLETE", "a numbered plan section lacks a required key"},
    {100, "RETURN_FAILED_MATCH", "an installed module lacks its registry key"},
    {101, "RETURN_GET_TEMP_PATH", "no temporary folder for imaging"},
    {104, "RETURN_TOO_MANY_RELEASES", "more releases matched than a plan can hold"},
    {112, "", "a module folder failed its CRC check"},
    {116, "RETURN_MISSING_NRVHDRCVINI", "the media description could not be loaded"},
    {123, "RETURN_INI_BLANK_PARTID", "a plan section has a blank PartId"},
    {125, "", "the foundation image parts do not join"},
    {9001, "RETURN_UNSAFE_PATH", "a plan or media value would lead outside the folders given"},
    {9002, "RETURN_INTERNAL_ERROR", "an unexpected internal failure"},
    {9010, "RETURN_UNKNOWN_VERIFICATION_TYPE", "a module's VerificationType cannot be judged"},
    {9011, "RETURN_BUFFER_TOO_SMALL", "an answer does not fit its buffer"},
};

// Codes after which the same run fails the same way.
constexpr int64_t kLasting[] = {2,  4,  9,  33, 34, 36, 44, 46, 47,  48,  51,  52,  55,  56,  57,   63,   66,  70,
                                71, 75, 92, 96, 98, 100, 104, 112, 116, 119, 123, 125, 9001, 9010};

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

} // namespace

std::string CodeMeaning(int64_t code)
{
    for (const Known &k : kKnown)
        if (k.code == code)
            return *k.name ? std::string(k.name) + ": " + k.meaning : std::string(k.meaning);
    if (code >= INT32_MIN && code <= INT32_MAX)
        if (const char *text = image::WimTagResultText(static_cast<int32_t>(code)); *text)
            return text;
    return {};
}

std::string CodeText(int64_t code)
{
    const std::string meaning = CodeMeaning(code);
    return std::to_string(code) + (meaning.empty() ? "" : " (" + meaning + ")");
}

std::string LastErrorLine(const std::string &log)
{
    const std::string all = ReadWholeFile(log);
    size_t end = all.size();
    for (int seen = 0; end > 0 && seen < 60; ++seen) {
        size_t start = all.rfind('\n', end - 1);
        start = start == std::string::npos ? 0 : start + 1;
        std::string line = all.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        const std::string lower = Lower(line);
        if (lower.find("error") != std::string::npos || lower.find("fail") != std::string::npos ||
            lower.find(" not ") != std::string::npos || lower.find("cannot") != std::string::npos) {
            // Log lines start with their date and time ("2026.01.31 12:00:00 ").
            if (line.size() > 20 && line[4] == '.' && line[7] == '.' && line[10] == ' ' && line[13] == ':' &&
                line[19] == ' ')
                line.erase(0, 20);
            return line;
        }
        if (start == 0)
            break;
        end = start - 1;
    }
    return {};
}

bool RerunCanSucceed(const std::string &stage, int64_t code)
{
    if (stage == "language")
        return false;
    return std::find(std::begin(kLasting), std::end(kLasting), code) == std::end(kLasting);
}

} // namespace halcyon::cli
