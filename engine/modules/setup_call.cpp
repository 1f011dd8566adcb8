#include "engine/modules/setup_call.h"

#include "engine/frame/verb.h"
#include "platform/registry.h"

namespace halcyon::modules {

void SetupCallArguments::Take(const char *installer_type, const char *part_type, const char *recoverable_,
                              const char *temporary_, const char *log, uint64_t options_)
{
    installerType = frame::Arg(installer_type);
    partType = frame::Arg(part_type);
    recoverable = frame::Arg(recoverable_);
    temporary = frame::Arg(temporary_);
    logFile = frame::Arg(log);
    options = options_;
}

ModuleFilters SetupCallArguments::Filters(uint64_t filterBits) const
{
    ModuleFilters filters;
    filters.options = options & filterBits;
    filters.installerType = installerType;
    filters.partType = partType;
    filters.recoverable = recoverable;
    filters.temporary = temporary;
    return filters;
}

void SetupCallArguments::Fill(InstallerArguments &record) const
{
    record.InstallerType = installerType;
    record.PartType = partType;
    record.Recoverable = recoverable;
    record.Temporary = temporary;
    record.LogFile = logFile;
    record.Options = options;
}

void PublishInOneBatch(InstallerArgumentsPublisher &publisher)
{
    platform::reg::RegBatch batch;
    publisher.Publish();
    if (batch.status() == platform::reg::ERROR_SUCCESS)
        batch.Commit();
}

int32_t LoadSetupIni(support::CMemoryIniIO &ini, const std::string &path, std::string_view failedLine,
                     std::string_view pathLabel, std::string_view log)
{
    if (ini.LoadFile(path))
        return 0;
    LogLine(failedLine, log, true);
    LogLine(std::string(pathLabel) + path, log);
    return RETURN_UNABLE_OPEN_INI;
}

} // namespace halcyon::modules
