#include "engine/image/media_description.h"

#include "engine/frame/log.h"
#include "engine/frame/plan_records.h"
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "support/files/file_ops.h"

namespace halcyon::image {

std::string MediaSection(std::string_view mediaType) { return "MEDIA:" + std::string(mediaType); }

std::string MediaKey(std::string_view mediaType, int number)
{
    return std::string(mediaType) + std::to_string(number);
}

std::string MediaMarkerPath(std::string_view mediumRoot, std::string_view mediaType, int number)
{
    return std::string(mediumRoot) + "sources\\" + MediaKey(mediaType, number);
}

bool ReadMediaValue(const support::CMemoryIniIO &store, std::string_view mediaType, int number, std::string &value)
{
    value = store.GetString(MediaSection(mediaType), MediaKey(mediaType, number), kIniReadError,
                            kMediaValueChars + 1);
    if (platform::EqualsNoCase(value, kIniReadError)) {
        value.clear();
        return false;
    }
    return true;
}

std::vector<std::string> ReadMediaValues(const support::CMemoryIniIO &store, std::string_view mediaType)
{
    std::vector<std::string> values;
    std::string value;
    for (int n = 1; ReadMediaValue(store, mediaType, n, value); ++n)
        values.push_back(value);
    return values;
}

std::vector<std::string> SplitMediaEntries(std::string_view value)
{
    std::vector<std::string> entries;
    size_t start = 0;
    while (start <= value.size()) {
        size_t comma = value.find(',', start);
        if (comma == std::string_view::npos)
            comma = value.size();
        std::string_view entry = value.substr(start, comma - start);
        while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t'))
            entry.remove_prefix(1);
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t'))
            entry.remove_suffix(1);
        if (!entry.empty())
            entries.emplace_back(entry);
        start = comma + 1;
    }
    return entries;
}

bool MediaDescription::Save(std::string_view path) const
{
    support::CMemoryIniIO store;
    auto join = [](const std::vector<std::string> &entries) {
        std::string text;
        for (const auto &e : entries)
            text += (text.empty() ? "" : ",") + e;
        return text;
    };
    if (!store.WriteString(kMediaSourceSection, kWinrePartKey, winrePart) ||
        !store.WriteString(kMediaSourceSection, kFiPartKey, fiPart))
        return false;
    const std::string section = MediaSection(mediaType);
    for (size_t i = 0; i < media.size(); ++i)
        if (!store.WriteString(section, MediaKey(mediaType, static_cast<int>(i + 1)), join(media[i])))
            return false;
    return store.SaveToFile(path);
}

int32_t LoadPlanAndMediaIni(const std::string &planPath, const std::string &mediaIniPath, support::CMemoryIniIO &plan,
                            support::CMemoryIniIO &media, std::string_view log)
{
    struct IniFile {
        const char *label;
        const std::string &path;
        support::CMemoryIniIO &store;
        const char *missing;
        int32_t missingCode;
        const char *unreadable;
    };
    const IniFile files[] = {
        {"sHalcyonIni: ", planPath, plan, "Error: Can not find the halcyon.ini file. (RETURN_HALINI_NOEXIST)",
         RETURN_HALINI_NOEXIST, "Error: Load the halcyon.ini file error. (RETURN_UNABLE_OPEN_INI)"},
        {"sNrvhdrcvIni: ", mediaIniPath, media, "Error: Can not find the nrvhdrcv.ini file. (RETURN_RCVINI_NOEXIST)",
         RETURN_RCVINI_NOEXIST, "Error: Load the nrvhdrcv.ini file error. (RETURN_UNABLE_OPEN_INI)"},
    };
    for (const IniFile &f : files) {
        WriteLog(f.label + f.path, log, 0);
        const bool found = support::FileExist(f.path);
        if (!found || !f.store.LoadFile(f.path)) {
            WriteLog(found ? f.unreadable : f.missing, log, 0);
            WriteLog(f.label + f.path, log, 0);
            return found ? RETURN_UNABLE_OPEN_INI : f.missingCode;
        }
    }
    return 0;
}

} // namespace halcyon::image
