#include "verprobe/file_version.h"

#include <cstdio>

#include "platform/host_file.h"
#include "platform/path_map.h"
#include "verprobe/pe_reader.h"
#include "verprobe/result_codes.h"

namespace halcyon::verprobe {

std::optional<std::string> RegularFile(std::string_view target)
{
    if (target.empty())
        return std::nullopt;
    std::string host = platform::HostPath(target);
    auto status = platform::StatHostPath(host);
    if (!status || !status->regular)
        return std::nullopt;
    return host;
}

std::optional<VersionInfo> LoadVersionInfo(const std::string &hostPath)
{
    FileSource file(hostPath);
    if (!file.ok())
        return std::nullopt;
    auto data = FindVersionResource(file);
    if (!data)
        return std::nullopt;
    VersionInfo info(std::move(*data));
    if (!info.valid())
        return std::nullopt;
    return info;
}

std::string FormatFileVersion(const FileVersion &v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", v.major, v.minor, v.build, v.revision);
    return text;
}

uint32_t ReadFileVersion(std::string_view target, std::string *text)
{
    auto host = RegularFile(target);
    if (!host)
        return kFileNotFound;
    auto info = LoadVersionInfo(*host);
    if (!info)
        return kNoVersionOrMismatch;
    auto version = info->FixedFileVersion();
    if (!version)
        return kNoVersionOrMismatch;
    *text = FormatFileVersion(*version);
    return kOk;
}

uint32_t ReadCopyright(std::string_view target, std::string *text)
{
    auto host = RegularFile(target);
    if (!host)
        return kFileNotFound;
    auto info = LoadVersionInfo(*host);
    if (!info)
        return kTextNotFound;
    auto translation = info->QueryBytes("\\VarFileInfo\\Translation");
    if (!translation || translation->size() < 4)
        return kFileNotFound;
    const auto &t = *translation;
    unsigned language = t[0] | (t[1] << 8);
    unsigned codePage = t[2] | (t[3] << 8);
    char path[64];
    int n = std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\LegalCopyright", language, codePage);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof path)
        return kNoVersionOrMismatch;
    auto copyright = info->QueryText(path);
    if (!copyright)
        return kRegistryMismatch;
    *text = *copyright;
    return kOk;
}

} // namespace halcyon::verprobe
