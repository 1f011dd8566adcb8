// libVerGauge.so exports exactly its six functions: the defined symbols of
// its dynamic symbol table are read from the ELF file, and each name is
// looked up through the dynamic loader.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "tests/common/test_env.h"

namespace {

std::string LibraryPath()
{
    std::string bin = HALCYON_TEST_BIN_DIR;
    return bin.substr(0, bin.rfind('/')) + "/verprobe/libVerGauge.so";
}

template <typename T>
bool At(const std::string &file, uint64_t offset, T *out)
{
    if (offset > file.size() || sizeof(T) > file.size() - offset)
        return false;
    std::memcpy(out, file.data() + offset, sizeof(T));
    return true;
}

// Defined global and weak symbols of .dynsym.
std::set<std::string> DefinedDynamicSymbols(const std::string &file)
{
    std::set<std::string> names;
    Elf64_Ehdr eh{};
    if (!At(file, 0, &eh) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64)
        return names;
    for (uint16_t i = 0; i < eh.e_shnum; ++i) {
        Elf64_Shdr sh{};
        if (!At(file, eh.e_shoff + uint64_t{i} * eh.e_shentsize, &sh) || sh.sh_type != SHT_DYNSYM)
            continue;
        Elf64_Shdr strtab{};
        if (!At(file, eh.e_shoff + uint64_t{sh.sh_link} * eh.e_shentsize, &strtab))
            return names;
        for (uint64_t k = 0; k < sh.sh_size / sizeof(Elf64_Sym); ++k) {
            Elf64_Sym sym{};
            if (!At(file, sh.sh_offset + k * sizeof(Elf64_Sym), &sym))
                break;
            int bind = ELF64_ST_BIND(sym.st_info);
            // Version node names are absolute symbols, not exports.
            if (sym.st_shndx == SHN_UNDEF || sym.st_shndx == SHN_ABS || (bind != STB_GLOBAL && bind != STB_WEAK) || sym.st_name >= strtab.sh_size)
                continue;
            names.insert(std::string(file.c_str() + strtab.sh_offset + sym.st_name));
        }
    }
    return names;
}

const std::set<std::string> kExports = {"GetExeVersion_s",       "GetRegVersion_s", "GetTextVersion_s",
                                        "GetCopyright_s",        "GetLastModifiedDate_s", "VerifyVersion_s"};

} // namespace

TEST(ExportSurface, ExactlyTheSixFunctions)
{
    std::string file = halcyon::test::ReadFile(LibraryPath());
    ASSERT_FALSE(file.empty()) << LibraryPath();
    EXPECT_EQ(DefinedDynamicSymbols(file), kExports);

    void *lib = ::dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << ::dlerror();
    for (const auto &name : kExports)
        EXPECT_NE(::dlsym(lib, name.c_str()), nullptr) << name;
    // Internal names stay inside.
    EXPECT_EQ(::dlsym(lib, "_ZN7halcyon8verprobe18FindVersionResourceERKNS0_10ByteSourceE"), nullptr);

    // The library answers through its own copy of the code.
    using Fn = uint32_t (*)(const char *, char *, uint32_t);
    auto fn = reinterpret_cast<Fn>(::dlsym(lib, "GetExeVersion_s"));
    ASSERT_NE(fn, nullptr);
    char buf[8] = "xxxxxxx";
    EXPECT_EQ(fn("C:\\x.exe", buf, 0), 14u);
    EXPECT_EQ(fn("", buf, sizeof buf), 5u);
    EXPECT_STREQ(buf, "");
    ::dlclose(lib);
}
