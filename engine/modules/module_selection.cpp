#include "engine/modules/module_selection.h"

#include "engine/frame/verb.h"
#include "engine/staging/mod_setup_options.h"
#include "platform/path_map.h"

namespace halcyon::modules {

using platform::EqualsNoCase;

namespace {

bool TemporaryMatches(const std::string &value, const std::string &filter)
{
    size_t bar = filter.find('|');
    if (bar == std::string::npos)
        return EqualsNoCase(value, filter);
    return EqualsNoCase(value, std::string_view(filter).substr(0, bar)) ||
           EqualsNoCase(value, std::string_view(filter).substr(bar + 1));
}

} // namespace

bool PassesFilters(const ModuleRecord &m, const ModuleFilters &f)
{
    if (HasOption(f.options, OPTION_FILTER_TEMPORARY) && !TemporaryMatches(m.Temporary, f.temporary))
        return false;
    if (HasOption(f.options, OPTION_FILTER_RECOVERABLE) && !EqualsNoCase(m.Recoverable, f.recoverable))
        return false;
    if (HasOption(f.options, OPTION_FILTER_PART_TYPE) && !EqualsNoCase(m.PartType, f.partType))
        return false;
    if (HasOption(f.options, OPTION_FILTER_INSTALLER_TYPE) && !EqualsNoCase(m.InstallerType, f.installerType))
        return false;
    if (HasOption(f.options, OPTION_FILTER_BASE_PLUS) && !EqualsNoCase(m.BasePlus, "True"))
        return false;
    return true;
}

bool IsDataModule(const ModuleRecord &m) { return EqualsNoCase(m.InstallerType, "Data"); }

bool IsInBoxModule(const ModuleRecord &m)
{
    return EqualsNoCase(m.InstallAfterOOBE, "Yes") && EqualsNoCase(m.Temporary, "True");
}

ModuleFilters TakeFilters(uint64_t options, const char *installerType, const char *partType, const char *recoverable,
                          const char *temporary)
{
    ModuleFilters filters;
    filters.options = options;
    filters.installerType = frame::Arg(installerType);
    filters.partType = frame::Arg(partType);
    filters.recoverable = frame::Arg(recoverable);
    filters.temporary = frame::Arg(temporary);
    return filters;
}

int32_t RunSelectedStagingWalk(StagingWalk &walk, const ModuleFilters &filters,
                               const std::function<int32_t(const ModuleRecord &)> &stage)
{
    return RunStagingWalk(walk,
                          [&](const ModuleRecord &m) -> int32_t { return PassesFilters(m, filters) ? stage(m) : 0; });
}

} // namespace halcyon::modules
