// The six exports of VerGauge. Each call builds its own work record, runs
// one probe and returns its result code; nothing thrown inside reaches the
// caller and nothing is kept between calls. (The file-system redirection of
// 32-bit processes that the Windows build switches off around each probe
// does not exist here.)
#include "halcyon/VerGauge.h"

#include <new>

#include "verprobe/file_check.h"
#include "verprobe/file_version.h"
#include "verprobe/modified_date.h"
#include "verprobe/registry_probe.h"
#include "verprobe/result_codes.h"
#include "verprobe/text_lines.h"
#include "verprobe/utf8_entries.h"
#include "verprobe/work_record.h"

using namespace halcyon::verprobe;

namespace {

bool Empty(const char *s) { return s == nullptr || *s == '\0'; }

// The common start and the exception barrier. `needTarget` makes an empty
// target answer 5. The body gets a record whose target is prepared.
template <typename Body>
uint32_t RunProbe(const char *target, char *out, uint32_t size, bool needTarget, Body &&body) noexcept
{
    if (size == 0 || out == nullptr)
        return kZeroSize;
    out[0] = '\0';
    if (needTarget && Empty(target))
        return kEmptyTarget;
    try {
        WorkRecord rec(out, size);
        if (uint32_t prepared = PrepareTarget(target ? target : "", &rec.target))
            return prepared;
        if (needTarget && rec.target.empty())
            return kEmptyTarget;
        return body(rec);
    } catch (...) {
        // Out of memory or a failure of the emulated platform.
        out[0] = '\0';
        return kInternalError;
    }
}

// Read results: the text goes to the output; empty text is 13.
uint32_t Deliver(WorkRecord &rec, uint32_t result, const std::string &text)
{
    if (result != kOk)
        return result;
    rec.output.Set(text);
    return text.empty() ? kEmptyText : kOk;
}

// A read of the target whose text is delivered as above.
uint32_t DeliverRead(WorkRecord &rec, uint32_t (*read)(std::string_view, std::string *))
{
    std::string text;
    const uint32_t result = read(rec.target, &text);
    return Deliver(rec, result, text);
}

} // namespace

// On Windows the exports take UTF-16 (verprobe/win/exports.cpp) and run
// these UTF-8 forms.
#if defined(_WIN32)
#define VERGAUGE_ENTRY
namespace halcyon::verprobe::utf8 {
#else
#define VERGAUGE_ENTRY VERGAUGE_API
extern "C" {
#endif

VERGAUGE_ENTRY uint32_t GetExeVersion_s(const char *file, char *out, uint32_t out_size)
{
    return RunProbe(file, out, out_size, true, [](WorkRecord &rec) { return DeliverRead(rec, ReadFileVersion); });
}

VERGAUGE_ENTRY uint32_t GetRegVersion_s(const char *registry_path, char *out, uint32_t out_size)
{
    return RunProbe(registry_path, out, out_size, true, [](WorkRecord &rec) {
        rec.view = 0;
        return RegistryStep(rec, RegKind::NamedValue, RegMode::Read);
    });
}

VERGAUGE_ENTRY uint32_t GetTextVersion_s(const char *file, char *out, uint32_t out_size)
{
    return RunProbe(file, out, out_size, true, [](WorkRecord &rec) { return DeliverRead(rec, ReadFirstLine); });
}

VERGAUGE_ENTRY uint32_t GetCopyright_s(const char *file, char *out, uint32_t out_size)
{
    return RunProbe(file, out, out_size, false, [](WorkRecord &rec) {
        std::string text;
        uint32_t result = ReadCopyright(rec.target, &text);
        if (result == kOk)
            rec.output.Set(text);
        return result;
    });
}

VERGAUGE_ENTRY uint32_t GetLastModifiedDate_s(const char *file, char *out, uint32_t out_size)
{
    return RunProbe(file, out, out_size, true, [](WorkRecord &rec) { return DeliverRead(rec, ReadModifiedDate); });
}

VERGAUGE_ENTRY uint32_t VerifyVersion_s(const char *target, const char *expected, char *out, uint32_t out_size)
{
    return RunProbe(target, out, out_size, true, [expected](WorkRecord &rec) {
        if (Empty(expected))
            return static_cast<uint32_t>(kEmptyExpected);
        if (uint32_t prepared = PrepareExpected(expected, &rec.expected))
            return prepared;
        if (LooksLikeRegistryTarget(rec.target))
            return CheckRegistryTarget(rec);
        return CheckFileTarget(rec);
    });
}

} // extern "C" / utf8
