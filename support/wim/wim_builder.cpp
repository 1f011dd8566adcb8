#include "support/wim/wim_builder.h"

#include <wimlib.h>

#include <filesystem>

#include "platform/file_attributes.h"
#include "platform/fs_path.h"
#include "platform/path_map.h"
#include "support/wim/wim_tchar.h"
#include "support/wim/wimlib_session.h"

namespace fs = std::filesystem;

namespace halcyon::support::wim {

namespace {

// Frees the wimlib state on every path.
struct WimGuard {
    WIMStruct *wim = nullptr;
    ~WimGuard()
    {
        if (wim)
            wimlib_free(wim);
    }
};

int Fail(int code, const std::string &what, std::string *error)
{
    if (error)
        *error = what + ": wimlib: " + WimlibErrorText(code);
    return code;
}

int SetProperty(WIMStruct *wim, int image, const std::string &name, const std::string &value)
{
    return wimlib_set_image_property(wim, image, ToWimText(name).c_str(), ToWimText(value).c_str());
}

struct SplitNames {
    std::vector<std::string> *parts = nullptr;
};

enum wimlib_progress_status OnSplitProgress(enum wimlib_progress_msg msg, union wimlib_progress_info *info,
                                            void *context)
{
    auto *names = static_cast<SplitNames *>(context);
    if (msg == WIMLIB_PROGRESS_MSG_SPLIT_END_PART && names->parts && info->split.part_name)
        names->parts->push_back(FromWimText(info->split.part_name));
    return WIMLIB_PROGRESS_STATUS_CONTINUE;
}

} // namespace

int32_t CreateWim(const std::string &wimPath, const std::vector<WimImageSpec> &images, WimCompression compression,
                  std::string *error)
{
    EnsureWimlibReady();
    const int type = compression == WimCompression::None     ? WIMLIB_COMPRESSION_TYPE_NONE
                     : compression == WimCompression::Xpress ? WIMLIB_COMPRESSION_TYPE_XPRESS
                                                             : WIMLIB_COMPRESSION_TYPE_LZX;
    WimGuard guard;
    int ret = wimlib_create_new_wim(static_cast<enum wimlib_compression_type>(type), &guard.wim);
    if (ret != 0)
        return Fail(ret, "cannot create a WIM", error);
    int index = 0;
    for (const WimImageSpec &spec : images) {
        ++index;
        const std::string source = platform::HostPath(spec.sourceFolder);
        const std::string name = spec.name.empty() ? "Image " + std::to_string(index) : spec.name;
        ret = wimlib_add_image(guard.wim, ToWimText(source).c_str(), ToWimText(name).c_str(), nullptr,
                               spec.unixData && platform::kHostHasPosixModes ? WIMLIB_ADD_FLAG_UNIX_DATA : 0);
        if (ret != 0)
            return Fail(ret, "cannot capture " + source, error);
        // An empty element is written as one blank: wimlib drops elements
        // whose value is empty, and readers trim the blank away.
        std::vector<std::pair<std::string, std::string>> props;
        if (!spec.description.empty())
            props.emplace_back("DESCRIPTION", spec.description);
        if (!spec.blid.empty() || spec.emptyBlid)
            props.emplace_back("BLID", spec.blid.empty() ? " " : spec.blid);
        if (!spec.releaseId.empty() || spec.emptyReleaseId)
            props.emplace_back("RELEASEID", spec.releaseId.empty() ? " " : spec.releaseId);
        props.insert(props.end(), spec.properties.begin(), spec.properties.end());
        for (const auto &[key, value] : props) {
            ret = SetProperty(guard.wim, index, key, value);
            if (ret != 0)
                return Fail(ret, "cannot set " + key, error);
        }
    }
    const std::string host = platform::HostPath(wimPath);
    std::error_code ec;
    fs::remove(platform::FsPath(host), ec);
    ret = wimlib_write(guard.wim, ToWimText(host).c_str(), WIMLIB_ALL_IMAGES, 0, 0);
    if (ret != 0)
        return Fail(ret, "cannot write " + host, error);
    return 0;
}

int32_t SplitWim(const std::string &wimPath, const std::string &firstPartPath, uint64_t partBytes,
                 std::vector<std::string> *partPaths, std::string *error)
{
    EnsureWimlibReady();
    WimGuard guard;
    const std::string host = platform::HostPath(wimPath);
    int ret = wimlib_open_wim(ToWimText(host).c_str(), 0, &guard.wim);
    if (ret != 0)
        return Fail(ret, "cannot open " + host, error);
    SplitNames names{partPaths};
    wimlib_register_progress_function(guard.wim, OnSplitProgress, &names);
    const std::string first = platform::HostPath(firstPartPath);
    ret = wimlib_split(guard.wim, ToWimText(first).c_str(), partBytes, 0);
    if (ret != 0)
        return Fail(ret, "cannot split " + host, error);
    return 0;
}

} // namespace halcyon::support::wim
