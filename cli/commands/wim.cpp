// halcyon wim: WIM metadata, scrambling, BLID and release checks, and the
// imaging interface (image list, apply, capture) from the command line.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/exit_status.h"
#include "engine/image/split_part_check.h"
#include "engine/image/wim_scramble.h"
#include "engine/image/wim_tags.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/fs_path.h"
#include "platform/path_map.h"
#include "support/wim/wim_api.h"
#include "support/wim/wim_builder.h"

namespace halcyon::cli {

namespace {

namespace wim = support::wim;

constexpr const char *kUsage =
    "halcyon wim info WIM [--ref PART ...]        images with their descriptions\n"
    "       halcyon wim tag WIM TAG                    an element of the first image (GetWimTagValue)\n"
    "       halcyon wim blid WIM [PLAN]                CompareBlid against this machine\n"
    "       halcyon wim releaseid WIM RELEASEID        CompareReleaseid\n"
    "       halcyon wim scramble WIM [--check]         scramble/unscramble the header in place;\n"
    "                                                  --check only tells which it is\n"
    "       halcyon wim apply WIM TARGET [--index N] [--ref PART ...] [--verify]\n"
    "       halcyon wim create FOLDER WIM [--description T] [--blid L] [--releaseid R] [--name N]\n"
    "                                     [--split BYTES --first PART]\n"
    "  Exit status: 0 success, 1 failure (the routine's code is printed), 2 usage error.";

int Usage(const std::string &message)
{
    return UsageError(*FindCommand("wim"), message);
}

int ImagingError(const char *what)
{
    wim::IWimApi &api = wim::WimApi();
    std::fprintf(stderr, "ERROR: %s (GetLastError: %u) %s\n", what, api.GetLastError(), api.GetLastErrorText().c_str());
    return RETURN_WIMGAPI_ERROR;
}

// Values of a repeatable option ("--ref A --ref B").
std::vector<std::string> All(const Options &opts, const std::string &name)
{
    std::vector<std::string> out;
    for (const auto &[key, value] : opts.All())
        if (key == name)
            out.push_back(value);
    return out;
}

wim::WimHandle OpenWithParts(const std::string &path, const std::vector<std::string> &parts, uint32_t flags)
{
    wim::IWimApi &api = wim::WimApi();
    wim::WimHandle handle = api.CreateFile(path, wim::WIM_GENERIC_READ, wim::WIM_OPEN_EXISTING, flags, 0, nullptr);
    if (!handle)
        return handle;
    for (const auto &part : parts) {
        if (!api.SetReferenceFile(handle, part, wim::WIM_REFERENCE_APPEND))
            return {};
    }
    return handle;
}

std::string Element(const std::string &xml, const std::string &name)
{
    const std::string open = "<" + name + ">";
    const size_t a = xml.find(open);
    const size_t b = a == std::string::npos ? a : xml.find("</" + name + ">", a);
    return b == std::string::npos ? std::string() : xml.substr(a + open.size(), b - a - open.size());
}

int Info(const std::vector<std::string> &pos, const Options &opts)
{
    if (pos.size() != 2)
        return Usage("wim info WIM");
    wim::IWimApi &api = wim::WimApi();
    wim::WimHandle handle = OpenWithParts(pos[1], All(opts, "ref"), 0);
    if (!handle)
        return ImagingError("while trying to open WIM");
    const uint32_t count = api.GetImageCount(handle);
    std::printf("Images: %u\n", count);
    for (uint32_t i = 1; i <= count; ++i) {
        wim::WimHandle image = api.LoadImage(handle, i);
        std::string xml;
        if (!image || !api.GetImageInformation(image, xml))
            return ImagingError("while reading image information");
        std::printf("%u: NAME=%s DESCRIPTION=%s TOTALBYTES=%s BLID=%s RELEASEID=%s\n", i, Element(xml, "NAME").c_str(),
                    Element(xml, "DESCRIPTION").c_str(), Element(xml, "TOTALBYTES").c_str(),
                    Element(xml, "BLID").c_str(), Element(xml, "RELEASEID").c_str());
    }
    return 0;
}

uint32_t ShowProgress(uint32_t message, uintptr_t wparam, intptr_t lparam, void *)
{
    if (message == WIM_MSG_PROGRESS) {
        std::fprintf(stderr, "\r%3u%% (%ld s left)", static_cast<unsigned>(wparam), static_cast<long>(lparam / 1000));
        if (wparam >= 100)
            std::fprintf(stderr, "\n");
    }
    return WIM_MSG_SUCCESS;
}

int Apply(const std::vector<std::string> &pos, const Options &opts)
{
    if (pos.size() != 3)
        return Usage("wim apply WIM TARGET");
    bool ok = true;
    const auto index = static_cast<uint32_t>(opts.GetNumber("index", 1, &ok));
    if (!ok)
        return Usage("--index must be a number");
    const uint32_t flags = opts.Has("verify") ? wim::WIM_FLAG_VERIFY : 0;
    wim::IWimApi &api = wim::WimApi();
    const std::vector<std::string> refs = All(opts, "ref");
    std::vector<std::string> refHosts;
    for (const auto &ref : refs)
        refHosts.push_back(platform::HostPath(ref));
    if (const std::string missing = image::MissingSplitPart(platform::HostPath(pos[1]), refHosts); !missing.empty()) {
        std::fprintf(stderr, "ERROR: split image %s is missing: name every part with --ref\n", missing.c_str());
        return RETURN_WIMGAPI_ERROR;
    }
    wim::WimHandle handle = OpenWithParts(pos[1], refs, flags);
    if (!handle)
        return ImagingError("while trying to open WIM");
    wim::WimHandle image = api.LoadImage(handle, index);
    if (!image)
        return ImagingError("while loading image from WIM");
    if (api.RegisterMessageCallback(handle, ShowProgress, nullptr) == wim::INVALID_CALLBACK_VALUE)
        return ImagingError("while registering callback function");
    const bool applied = api.ApplyImage(image, pos[2], flags);
    // The failure's code and reason, before the next call replaces them.
    const uint32_t lastError = api.GetLastError();
    const std::string reason = api.GetLastErrorText();
    api.UnregisterMessageCallback(handle, ShowProgress);
    if (!applied) {
        std::fprintf(stderr, "ERROR: while applying image (GetLastError: %u) %s\n", lastError, reason.c_str());
        return RETURN_WIMGAPI_ERROR;
    }
    if (!image.Close())
        return ImagingError("while closing handle to WIM Image");
    if (!handle.Close())
        return ImagingError("while closing handle to WIM file");
    return 0;
}

int Create(const std::vector<std::string> &pos, const Options &opts)
{
    if (pos.size() != 3)
        return Usage("wim create FOLDER WIM");
    wim::WimImageSpec spec;
    spec.sourceFolder = pos[1];
    spec.name = opts.GetOr("name", "");
    spec.description = opts.GetOr("description", "");
    spec.blid = opts.GetOr("blid", "");
    spec.releaseId = opts.GetOr("releaseid", "");
    if (const auto first = opts.Get("first")) {
        // The parts are written from the WIM just made: a first part that is
        // that WIM would overwrite it while it is read.
        std::error_code ec;
        const auto whole = std::filesystem::weakly_canonical(platform::FsPath(platform::HostPath(pos[2])), ec);
        const auto part = std::filesystem::weakly_canonical(platform::FsPath(platform::HostPath(*first)), ec);
        if (!ec && whole == part)
            return Usage("--first must name another file than the WIM being split");
    }
    std::string error;
    int32_t r = wim::CreateWim(pos[2], spec, wim::WimCompression::Xpress, &error);
    if (r == 0 && opts.Get("split")) {
        bool ok = true;
        const unsigned long long bytes = opts.GetNumber("split", 0, &ok);
        const auto first = opts.Get("first");
        if (!ok || bytes == 0 || !first)
            return Usage("--split needs a size in bytes and --first PART");
        std::vector<std::string> parts;
        r = wim::SplitWim(pos[2], *first, bytes, &parts, &error);
        for (const auto &p : parts)
            std::printf("%s\n", p.c_str());
    }
    if (r != 0) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return RETURN_WIMGAPI_ERROR;
    }
    return 0;
}

// "VERB: CODE meaning" for a comparison's result; returns the result.
int32_t ShowComparison(const char *verb, int32_t r)
{
    const char *text = image::WimTagResultText(r);
    std::printf("%s: %d%s%s\n", verb, r, *text ? " " : "", text);
    return r;
}

int Action(const Args &args)
{
    Options opts(args, {"check", "verify"});
    const auto &pos = opts.Positional();
    if (pos.empty())
        return Usage("which action?");
    const std::string &action = pos[0];
    if (action == "info")
        return Info(pos, opts);
    if (action == "apply")
        return Apply(pos, opts);
    if (action == "create")
        return Create(pos, opts);
    if (action == "tag") {
        if (pos.size() != 3)
            return Usage("wim tag WIM TAG");
        char value[4096] = {};
        const int32_t r = GetWimTagValue(pos[1].c_str(), pos[2].c_str(), value, sizeof value);
        if (r == 0) {
            std::printf("%s\n", value);
        } else {
            const char *text = image::WimTagResultText(r);
            std::fprintf(stderr, "halcyon wim tag: %s: %s%s(code %d)\n", pos[1].c_str(), text, *text ? " " : "", r);
        }
        return r;
    }
    if (action == "blid") {
        if (pos.size() != 2 && pos.size() != 3)
            return Usage("wim blid WIM [PLAN]");
        return ShowComparison("CompareBlid", CompareBlid(pos[1].c_str(), pos.size() == 3 ? pos[2].c_str() : ""));
    }
    if (action == "releaseid") {
        if (pos.size() != 3)
            return Usage("wim releaseid WIM RELEASEID");
        return ShowComparison("CompareReleaseid", CompareReleaseid(pos[1].c_str(), pos[2].c_str()));
    }
    if (action == "scramble") {
        if (pos.size() != 2)
            return Usage("wim scramble WIM");
        // Either form of a WIM keeps its image description at the end.
        std::string name;
        if (const int32_t r = image::ReadWimTagValue(pos[1], "NAME", name);
            r == image::WIMTAG_OPEN_FAILED || r == image::WIMTAG_NO_METADATA) {
            std::fprintf(stderr, "halcyon wim scramble: %s: %s (code %d)\n", pos[1].c_str(),
                         image::WimTagResultText(r), r);
            return r;
        }
        if (!opts.Has("check") && !image::EncryptDecryptWim(pos[1])) {
            std::fprintf(stderr, "cannot open %s for reading and writing\n", pos[1].c_str());
            return 1;
        }
        std::printf("%s\n", image::IsWimScrambled(pos[1]) ? "scrambled" : "plain");
        return 0;
    }
    return Usage("unknown action '" + action + "'");
}

// Usage errors keep their status; every routine's failure is a failure.
int Run(const Args &args)
{
    const int r = Action(args);
    return r == kExitUsage ? r : VerbExit(r);
}

const CommandRegistration kRegistration("wim", "WIM metadata, scrambling, BLID and release checks, apply, capture",
                                        kUsage, Run);

} // namespace

} // namespace halcyon::cli
