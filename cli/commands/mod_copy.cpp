// halcyon mod-copy and mod-extract: stage a plan's modules without
// installing them (ModCopyX copies the module folders; ModExtractX turns each
// module into a plain folder).
#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/owner_lock.h"
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
    if (int rc = RefusePositional(cmd, o))
        return rc;
    auto plan = o.Get("plan");
    auto source = o.Get("source");
    auto dest = o.Get("dest");
    if (!plan || !source || !dest)
        return UsageError(cmd, "--plan, --source and --dest are required");
    a = StagingArgs{*plan, *source, *dest, o.GetOr("installer-type", ""), o.GetOr("part-type", ""),
                    o.GetOr("recoverable", ""), o.GetOr("temporary", ""), o.GetOr("module-type", ""),
                    o.GetOr("log", "")};
    return ReadNumbers(cmd, o, {{"options", &a.options}, {"copy-arg", &a.copyArg}});
}

// Reads the arguments of `command`, holds the machine and calls `verb` with
// them.
int RunStaging(const char *command, const Args &args, const char *verb, int32_t (*call)(const StagingArgs &))
{
    StagingArgs a;
    if (int rc = ReadStagingArgs(*FindCommand(command), args, a))
        return rc;
    CommandLocks locks;
    if (!LockForVerb(locks, command))
        return 1;
    return VerbResult(verb, call(a), (std::string(verb) + ": done").c_str());
}

int RunModCopy(const Args &args)
{
    return RunStaging("mod-copy", args, "ModCopyX", [](const StagingArgs &a) {
        return ModCopyX(a.plan.c_str(), a.source.c_str(), a.dest.c_str(), a.installerType.c_str(), a.partType.c_str(),
                        a.recoverable.c_str(), a.temporary.c_str(), a.log.c_str(), a.options, a.copyArg);
    });
}

int RunModExtract(const Args &args)
{
    return RunStaging("mod-extract", args, "ModExtractX", [](const StagingArgs &a) {
        return ModExtractX(a.plan.c_str(), a.source.c_str(), a.dest.c_str(), a.installerType.c_str(),
                           a.partType.c_str(), a.moduleType.c_str(), a.recoverable.c_str(), a.temporary.c_str(),
                           a.log.c_str(), 0, a.options, a.copyArg);
    });
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
