// Shared test helpers: temporary folders and a private emulated machine.
#pragma once

#include <string>
#include <string_view>

namespace halcyon::test {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away.
class TempDir {
public:
    explicit TempDir(std::string_view tag = "halcyon");
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

// Points HALCYON_MACHINE at a fresh temporary machine for the object's
// lifetime and restores the previous value afterwards.
class MachineScope {
public:
    MachineScope();
    ~MachineScope();
    MachineScope(const MachineScope &) = delete;
    MachineScope &operator=(const MachineScope &) = delete;
    const std::string &root() const { return dir_.path(); }

private:
    TempDir dir_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// Sets an environment variable of this process, or removes it (nullptr).
void SetEnv(const std::string &name, const char *value);

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, std::string_view data);

} // namespace halcyon::test
