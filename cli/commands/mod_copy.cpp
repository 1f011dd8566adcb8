// halcyon mod-copy and mod-extract: stage a plan's modules without
// installing them (ModCopyX copies the module folders; ModExtractX turns each
// module into a plain folder).
#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/owner_lock.h"
#include "cli/failure_reason.h"
#include "halcyon/HalcyonDLL.h"

namespace halcyon::cli {

namespace {

// The arguments both commands share.
struct StagingArgs {
    std::string plan, source, dest, installerType, partType, recoverable, temporary, moduleType, log;
    uint64_t options = 0;
    uint64_t copyArg = 0;
};

// 0 when the arguments were read; else the usage error's exit status.
int ReadStagingArgs(const Command &cmd, const Args &args, StagingArgs &a)
{
    Options o(args);
    if (!o.Positional().empty())
        return UsageError(cmd, "unexpected argument " + o.Positional().front());
    auto plan = o.Get("plan");
    auto source = o.Get("source");
    auto dest = o.Get("dest");
    if (!plan || !source || !dest)
        return UsageError(cmd, "--plan, --source and --dest are required");
    bool ok = true;
    a.options = o.GetNumber("options", 0, &ok);
    if (!ok)
        return UsageError(cmd, "--options takes a number");
    a.copyArg = o.GetNumber("copy-arg", 0, &ok);
    if (!ok)
        return UsageError(cmd, "--copy-arg takes a number");
    a.plan = *plan;
    a.source = *source;
    a.dest = *dest;
    a.installerType = o.GetOr("installer-type", "");
    a.partType = o.GetOr("part-type", "");
    a.recoverable = o.GetOr("recoverable", "");
    a.temporary = o.GetOr("temporary", "");
    a.moduleType = o.GetOr("module-type", "");
    a.log = o.GetOr("log", "");
    return 0;
}

int Report(const char *verb, int32_t rc)
{
    if (rc == 0) {
        std::printf("%s: done\n", verb);
        return 0;
    }
    std::fprintf(stderr, "%s returned %s\n", verb, CodeText(rc).c_str());
    return 1;
}

int RunModCopy(const Args &args)
{
    StagingArgs a;
    if (int rc = ReadStagingArgs(*FindCommand("mod-copy"), args, a))
        return rc;
    CommandLocks locks;
    if (!LockForVerb(locks, "mod-copy"))
        return 1;
    return Report("ModCopyX", ModCopyX(a.plan.c_str(), a.source.c_str(), a.dest.c_str(), a.installerType.c_str(),
                                       a.partType.c_str(), a.recoverable.c_str(), a.temporary.c_str(), a.log.c_str(),
                                       a.options, a.copyArg));
}

int RunModExtract(const Args &args)
{
    StagingArgs a;
    if (int rc = ReadStagingArgs(*FindCommand("mod-extract"), args, a))
        return rc;
    CommandLocks locks;
    if (!LockForVerb(locks, "mod-extract"))
        return 1;
    return Report("ModExtractX",
                  ModExtractX(a.plan.c_str(), a.source.c_str(), a.dest.c_str(), a.installerType.c_str(),
                              a.partType.c_str(), a.moduleType.c_str(), a.recoverable.c_str(), a.temporary.c_str(),
                              a.log.c_str(), 0, a.options, a.copyArg));
}

const char *const kFilters =
    "  Filters apply with their option bits: 0x100 --installer-type, 0x80 --part-type, 0x400 --recoverable,\n"
    "  0x200 --temporary (\"A|B\" allows either), 0x100000 BasePlus \"True\"; 0x40 walks the \"PE\" sections.\n"
    "  --options and --copy-arg are decimal or 0x-hex. Exit status: 0 done, 1 failure (the verb's code is shown).";

const CommandRegistration modCopy(
    "mod-copy", "copy the plan's module folders to a destination tree (ModCopyX)",
    std::string("halcyon mod-copy --plan PLAN --source DIR --dest DIR [--installer-type T] [--part-type T]\n"
                "       [--recoverable R] [--temporary T] [--log LOG] [--options N] [--copy-arg N]\n"
                "  Copies SOURCE\\PathToRelease to DEST\\PathToRelease for every selected module (not \"Data\").\n") +
        kFilters,
    RunModCopy);

const CommandRegistration modExtract(
    "mod-extract", "extract the plan's modules into plain folders (ModExtractX)",
    std::string("halcyon mod-extract --plan PLAN --source DIR --dest DIR [--installer-type T] [--part-type T]\n"
                "       [--module-type T] [--recoverable R] [--temporary T] [--log LOG] [--options N] [--copy-arg N]\n"
                "  Applies each selected module's \".mod\" (else \".wim\") into DEST\\ReleaseID, or copies the module\n"
                "  folder there when it holds neither. 0x10000000 names the folder after CustomerLabel (else PartId);\n"
                "  0x20000000 keeps only modules whose ModuleType is --module-type.\n") +
        kFilters,
    RunModExtract);

} // namespace

} // namespace halcyon::cli
