// The files the server writes on the recovery environment's drive X: (its
// log, the language choice). The environment is an applied image: whatever
// it carries, a write stays below the drive and never goes through a
// symbolic link. Every folder on the way and the file itself are examined,
// and the file is opened without following a link.
#pragma once

#include <string>

#include "platform/host_file_rw.h"

namespace halcyon::langsel {

// True when no symbolic link (nor a file where a folder belongs) lies below
// the drive on the way to `windowsPath` ("X:\\..."), the file itself
// included; missing components are fine. The reason goes to `why`.
bool DriveFileWritable(const std::string &windowsPath, std::string *why = nullptr);

// DriveFileWritable, then the file opened without following a link. 0 or
// an errno value (ELOOP for a link).
int OpenDriveFile(const std::string &windowsPath, platform::FileAccess access, platform::FileCreation creation,
                  platform::HostFile &file);

} // namespace halcyon::langsel
