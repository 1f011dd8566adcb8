// GetMiniCDriveSize: the smallest system (C:) partition for the plan, with
// and without a recovery partition on the disk, from the plan's partition
// sizes, the machine's memory and the front end's C-drive settings file.
// All sizes are megabytes. Nothing is logged.

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"
#include "platform/host_file.h"
#include "platform/path_map.h"
#include "platform/profile.h"
#include "support/general/general.h"

using namespace halcyon;

namespace {

// This verb's own result codes (alike in form to other verbs' lists, not in meaning).
constexpr int32_t kEmptyPath = 12;
constexpr int32_t kFileMissing = 26;
constexpr int32_t kNoFixedSize = 120;
constexpr int32_t kNoMemorySize = 121;
constexpr int32_t kBadSettings = 122;

constexpr size_t kValueChars = 260; // the reader's 261-character buffer
constexpr int64_t kMemoryCap32Bit = 4096;

struct Sizing {
    uint8_t warning = 0;
    int32_t permanentModuleSize = 0;
    int32_t temporaryModuleSize = 0;
    int32_t imageSize = 0;
    int32_t used = 0;
    int32_t buffer = 0;
    int32_t bufferNoRecovery = 0;
    double multiplierP1 = 0;
    double multiplierMemory = 0;
    double multiplierP1NoRecovery = 0;
    double multiplierMemoryNoRecovery = 0;
    std::string mode;
    std::string os;
};

// 0 when the settings or plan file is there to be read, else 12 or 26. The
// file is looked for where the profile reader reads it.
int32_t CheckFile(const std::string &path)
{
    if (path.empty())
        return kEmptyPath;
    const auto status = platform::StatHostPath(platform::ProfileHostPath(path));
    if (!status || status->directory)
        return kFileMissing;
    return 0;
}

std::string ReadText(const char *section, const char *key, const std::string &file)
{
    std::string v = platform::GetPrivateProfileString(section, key, "", file);
    if (v.size() > kValueChars)
        v.resize(kValueChars);
    return v;
}

// The decimal prefix of the value ("1234MB" gives 1234); 0 when there is
// none. Values beyond 32 bits are held at the nearest end.
int32_t ReadInt(const char *section, const char *key, const std::string &file)
{
    const std::string v = ReadText(section, key, file);
    errno = 0;
    long long n = std::strtoll(v.c_str(), nullptr, 10);
    if (n > INT32_MAX)
        return INT32_MAX;
    if (n < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(n);
}

// Decimal floating-point text; 0 when there is none. Values that are not
// finite numbers count as 0 (not usable).
double ReadDouble(const char *section, const char *key, const std::string &file)
{
    const std::string v = ReadText(section, key, file);
    double d = std::strtod(v.c_str(), nullptr);
    return std::isfinite(d) ? d : 0.0;
}

int32_t ReadSettings(const std::string &file, Sizing &s)
{
    if (int32_t rc = CheckFile(file))
        return rc;
    s.used = ReadInt("CDrive", "Used", file);
    s.mode = ReadText("CDrive", "Default", file);
    if (!platform::EqualsNoCase(s.mode, "AutoCalculation"))
        return 0;
    s.multiplierP1 = ReadDouble("CDrive", "MultiplierP1", file);
    s.multiplierMemory = ReadDouble("CDrive", "MultiplierMemory", file);
    s.buffer = ReadInt("CDrive", "Buffer", file);
    s.multiplierP1NoRecovery = ReadDouble("CDrive", "MultiplierP1ForNoRecvPrt", file);
    s.multiplierMemoryNoRecovery = ReadDouble("CDrive", "MultiplierMemoryForNoRecvPrt", file);
    s.bufferNoRecovery = ReadInt("CDrive", "BufferForNoRecvPrt", file);
    const std::string warning = ReadText("CDrive", "Warning", file);
    s.warning = platform::EqualsNoCase(warning, "Yes") ? 1 : 0;
    return 0;
}

int32_t ReadPlan(const std::string &file, Sizing &s)
{
    if (int32_t rc = CheckFile(file))
        return rc;
    s.permanentModuleSize = ReadInt("PartitionInformation", "PermanentModuleSize", file);
    s.temporaryModuleSize = ReadInt("PartitionInformation", "TemporaryModuleSize", file);
    s.imageSize = ReadInt("PartitionInformation", "ImageSize", file);
    s.os = ReadText("Image", "OS", file);
    return 0;
}

// trunc(value × multiplier) as a 32-bit integer; false when it does not
// fit.
bool Product(int64_t value, double multiplier, int64_t &out)
{
    const double p = std::trunc(static_cast<double>(value) * multiplier);
    if (!(p >= INT32_MIN && p <= INT32_MAX))
        return false;
    out = static_cast<int64_t>(p);
    return true;
}

bool Fits32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

int32_t Calculate(const std::string &planPath, const std::string &settingsPath, uint8_t *warning, int32_t *size,
                  int32_t *sizeNoRecovery)
{
    Sizing s;
    if (int32_t rc = ReadSettings(settingsPath, s))
        return rc;

    int32_t result = 0, resultNoRecovery = 0;
    if (!platform::EqualsNoCase(s.mode, "AutoCalculation")) {
        if (s.used <= 0)
            return kNoFixedSize;
        result = resultNoRecovery = s.used;
        s.warning = 0;
    } else {
        if (int32_t rc = ReadPlan(planPath, s))
            return rc;
        int64_t bytes = 0;
        if (!support::GetPhysicalMemorySize(bytes))
            return kNoMemorySize;
        if (s.os.empty())
            return kBadSettings;
        int64_t memoryMB = (bytes / 1024) / 1024;
        if (s.os.find("64") == std::string::npos && memoryMB > kMemoryCap32Bit)
            memoryMB = kMemoryCap32Bit;
        if (!(s.multiplierP1 > 0.0) || !(s.multiplierMemory > 0.0) || s.buffer <= 0)
            return kBadSettings;

        // Sums are taken wide; a size that a 32-bit result cannot hold is
        // refused like an unusable setting.
        const int64_t modules = int64_t{s.permanentModuleSize} + s.temporaryModuleSize;
        const int64_t total = int64_t{s.imageSize} + modules;
        int64_t imagePart = 0, memoryPart = 0;
        if (!Fits32(total) || !Product(total, s.multiplierP1, imagePart) ||
            !Product(memoryMB, s.multiplierMemory, memoryPart))
            return kBadSettings;
        const int64_t sized = imagePart + memoryPart + s.buffer;
        if (!Fits32(sized))
            return kBadSettings;
        int64_t sizedNoRecovery = sized;
        if (s.multiplierP1NoRecovery > 0.0 && s.multiplierMemoryNoRecovery > 0.0 && s.bufferNoRecovery > 0) {
            if (!Product(total, s.multiplierP1NoRecovery, imagePart) ||
                !Product(memoryMB, s.multiplierMemoryNoRecovery, memoryPart))
                return kBadSettings;
            sizedNoRecovery = imagePart + memoryPart + s.bufferNoRecovery + std::max(modules, memoryMB);
            if (!Fits32(sizedNoRecovery))
                return kBadSettings;
        }
        result = static_cast<int32_t>(sized);
        resultNoRecovery = static_cast<int32_t>(sizedNoRecovery);
    }

    if (size)
        *size = result;
    if (sizeNoRecovery)
        *sizeNoRecovery = resultNoRecovery;
    if (warning)
        *warning = s.warning;
    return 0;
}

} // namespace

extern "C" HALCYON_API int32_t GetMiniCDriveSize(const char *plan, const char *settings, const char *unused,
                                                 uint8_t *warning, int32_t *size, int32_t *size_no_recovery)
{
    (void)unused;
    return frame::RunVerbKeepingState<int32_t>("GetMiniCDriveSize", static_cast<int32_t>(RETURN_INTERNAL_ERROR),
                                               [&]() -> int32_t {
        return Calculate(frame::Arg(plan), frame::Arg(settings), warning, size, size_no_recovery);
    });
}
