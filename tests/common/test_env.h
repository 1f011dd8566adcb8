// Shared test helpers: temporary folders and a private emulated machine.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "platform/non_copyable.h"

namespace halcyon::test {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away.
class TempDir : NonCopyable {
public:
    explicit TempDir(std::string_view tag = "halcyon");
    ~TempDir();
    const std::string &path() const { return path_; }
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

// Points HALCYON_MACHINE at a fresh temporary machine for the object's
// lifetime and restores the previous value afterwards.
class MachineScope : NonCopyable {
public:
    MachineScope();
    ~MachineScope();
    const std::string &root() const { return dir_.path(); }

private:
    TempDir dir_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// Sets an environment variable of this process, or removes it (nullptr).
void SetEnv(const std::string &name, const char *value);

// Sets the environment variable `name` to `value` for the object's lifetime
// and restores the previous value (or its absence) afterwards.
class EnvScope : NonCopyable {
public:
    EnvScope(std::string name, const std::string &value) : name_(std::move(name))
    {
        if (const char *p = std::getenv(name_.c_str())) {
            previous_ = p;
            hadPrevious_ = true;
        }
        SetEnv(name_, value.c_str());
    }
    ~EnvScope() { SetEnv(name_, hadPrevious_ ? previous_.c_str() : nullptr); }

private:
    std::string name_;
    std::string previous_;
    bool hadPrevious_ = false;
};

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, std::string_view data);

} // namespace halcyon::test
