// Scratch machine of the registry fuzz targets: a folder on /dev/shm (memory),
// commits not synced, removed when the target exits. Folders left by targets
// that were killed are removed at the next start.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "registry_store.h"

namespace halcyon::fuzz {

inline const std::string &ScratchMachine(const char *name)
{
    // Never destroyed: the exit handler below still needs it.
    static const std::string *root = [name] {
        namespace fs = std::filesystem;
        fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string prefix = std::string("halcyon-") + name + "-";
        std::error_code ec;
        for (const auto &entry : fs::directory_iterator(base, ec)) {
            std::string file = entry.path().filename().string();
            if (file.rfind(prefix, 0) != 0)
                continue;
            pid_t pid = static_cast<pid_t>(std::atoi(file.c_str() + prefix.size()));
            if (pid > 0 && ::kill(pid, 0) != 0)
                fs::remove_all(entry.path(), ec);
        }
        auto *r = new std::string((base / (prefix + std::to_string(::getpid()))).string());
        fs::create_directories(*r, ec);
        setenv("HALCYON_MACHINE", r->c_str(), 1);
        platform::reg::store::SetSynchronousFull(false);
        std::atexit([] {
            std::error_code e;
            std::filesystem::remove_all(*root, e);
        });
        return r;
    }();
    return *root;
}

} // namespace halcyon::fuzz
