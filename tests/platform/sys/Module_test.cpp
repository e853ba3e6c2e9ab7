#include "platform/sys/Module.h"

#include "platform/sys/TextConvert.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <string>

using vxsys::Utf16ToUtf8;
using vxsys::Utf8ToUtf16;

namespace
{
std::u16string FileName(HMODULE module)
{
    char16_t buf[4096];
    const std::uint32_t n = GetModuleFileNameW(module, buf, 4096);
    return n ? std::u16string(buf, n) : std::u16string();
}

std::u16string BaseName(const std::u16string &path)
{
    return path.substr(path.rfind(u'/') + 1);
}
} // namespace

TEST(Module, TheProgramIsFoundByNothingByItsNameAndByItsPath)
{
    const HMODULE program = GetModuleHandleW(nullptr);
    ASSERT_NE(program, nullptr);
    const std::u16string path = Utf8ToUtf16(std::filesystem::read_symlink("/proc/self/exe").string());
    EXPECT_EQ(FileName(program), path);
    EXPECT_EQ(FileName(nullptr), path);
    EXPECT_EQ(GetModuleHandleW(BaseName(path).c_str()), program);
    EXPECT_EQ(GetModuleHandleW(path.c_str()), program);
}

TEST(Module, LoadedLibrariesAreFoundAndOthersAreNot)
{
    const HMODULE libc = GetModuleHandleW(u"libc.so.6");
    ASSERT_NE(libc, nullptr);
    EXPECT_NE(libc, GetModuleHandleW(nullptr));
    const std::u16string libcPath = FileName(libc);
    EXPECT_EQ(libcPath.front(), u'/');
    EXPECT_EQ(GetModuleHandleW(libcPath.c_str()), libc);

    EXPECT_EQ(GetModuleHandleW(u"libvx-not-loaded-anywhere.so.1"), nullptr);
    EXPECT_EQ(GetModuleHandleW(u"/bin/sh"), nullptr) << "a file that exists but is not loaded";
    EXPECT_EQ(GetModuleHandleW(u"libc.so"), nullptr) << "names are compared whole";
    EXPECT_EQ(GetModuleHandleW(u""), nullptr);
    EXPECT_EQ(FileName(reinterpret_cast<HMODULE>(0x10)), u"");
}

TEST(Module, ALibraryIsFoundOnceItIsLoaded)
{
    const char16_t *name = u"libsqlite3.so.0";
    ASSERT_EQ(GetModuleHandleW(name), nullptr);
    void *lib = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    const HMODULE module = GetModuleHandleW(name);
    EXPECT_NE(module, nullptr);
    EXPECT_EQ(BaseName(FileName(module)).rfind(u"libsqlite3.so.0", 0), 0u);
    dlclose(lib);
}

TEST(Module, APathThatDoesNotFitIsAFailure)
{
    const std::u16string path = FileName(nullptr);
    ASSERT_FALSE(path.empty());
    std::u16string buf(path.size() + 1, u'#');
    EXPECT_EQ(GetModuleFileNameW(nullptr, buf.data(), static_cast<std::uint32_t>(path.size() + 1)),
              path.size());
    EXPECT_EQ(buf.substr(0, path.size()), path);
    EXPECT_EQ(GetModuleFileNameW(nullptr, buf.data(), static_cast<std::uint32_t>(path.size())), 0u);
    EXPECT_EQ(buf[0], u'\0');
    EXPECT_EQ(GetModuleFileNameW(nullptr, nullptr, 10), 0u);
}

TEST(Module, ALoadedLibraryGivesItsFunctionsUntilItsLastLoadIsGivenBack)
{
    const char16_t *name = u"libusb-1.0.so.0";
    const HMODULE lib = LoadLibraryW(name);
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(GetModuleHandleW(name), lib) << "the same handle the lookup by name gives";
    EXPECT_EQ(BaseName(FileName(lib)).rfind(u"libusb-1.0.so", 0), 0u);
    EXPECT_NE(GetProcAddress(lib, "libusb_get_version"), nullptr);
    EXPECT_EQ(GetProcAddress(lib, "vx_no_such_function"), nullptr);
    EXPECT_EQ(GetProcAddress(lib, nullptr), nullptr);

    EXPECT_EQ(LoadLibraryW(name), lib);
    EXPECT_TRUE(FreeLibrary(lib));
    EXPECT_NE(GetProcAddress(lib, "libusb_get_version"), nullptr) << "one load is still held";
    EXPECT_TRUE(FreeLibrary(lib));
    EXPECT_FALSE(FreeLibrary(lib)) << "every load was given back";
}

TEST(Module, ModulesNotLoadedHereStillGiveTheirFunctions)
{
    const HMODULE libc = GetModuleHandleW(u"libc.so.6");
    ASSERT_NE(libc, nullptr);
    void *libcHandle = dlopen("libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
    ASSERT_NE(libcHandle, nullptr);
    EXPECT_EQ(GetProcAddress(libc, "strlen"), dlsym(libcHandle, "strlen"));
    dlclose(libcHandle);
    EXPECT_EQ(GetProcAddress(reinterpret_cast<HMODULE>(0x10), "strlen"), nullptr);
    EXPECT_FALSE(FreeLibrary(libc)) << "only a load made here is given back";
    EXPECT_FALSE(FreeLibrary(nullptr));
}

TEST(Module, WhatCannotBeLoadedGivesNoHandle)
{
    EXPECT_EQ(LoadLibraryW(u"libvx-not-there-anywhere.so.1"), nullptr);
    EXPECT_EQ(LoadLibraryW(u"/bin/sh"), nullptr) << "a file that is no library";
    EXPECT_EQ(LoadLibraryW(u""), nullptr);
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
}
