#include "engine/image/media_description.h"

#include "engine/frame/plan_records.h"
#include "platform/path_map.h"

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

} // namespace halcyon::image
