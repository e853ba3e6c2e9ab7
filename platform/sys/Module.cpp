#include "platform/sys/Module.h"

#include "platform/sys/TextConvert.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <link.h>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <unistd.h>

namespace
{
struct ModuleInfo
{
    std::uintptr_t base = 0;
    std::uintptr_t bias = 0; // what the loader added to the image's own addresses
    std::string path;        // as the loader knows it; the program's is resolved from /proc
    bool isProgram = false;
};

std::string ProgramPath()
{
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf)
        return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string Resolved(const std::string &path)
{
    char *real = realpath(path.c_str(), nullptr);
    if (!real)
        return path;
    std::string out(real);
    std::free(real);
    return out;
}

std::string_view BaseName(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Calls visit(module) for each loaded module, the program first, until it returns true.
template <typename Visit> bool ForEachModule(Visit visit)
{
    struct Context
    {
        Visit *visit;
        bool stopped = false;
        bool first = true;
    } context{&visit};
    dl_iterate_phdr(
        [](dl_phdr_info *info, std::size_t, void *data) -> int {
            auto *ctx = static_cast<Context *>(data);
            ModuleInfo module;
            module.isProgram = ctx->first;
            module.bias = info->dlpi_addr;
            ctx->first = false;
            bool hasLoad = false;
            for (int i = 0; i < info->dlpi_phnum; ++i)
            {
                if (info->dlpi_phdr[i].p_type == PT_LOAD)
                {
                    module.base = info->dlpi_addr + info->dlpi_phdr[i].p_vaddr;
                    hasLoad = true;
                    break;
                }
            }
            if (!hasLoad)
                return 0;
            module.path =
                module.isProgram ? ProgramPath() : std::string(info->dlpi_name ? info->dlpi_name : "");
            if (module.path.empty())
                return 0;
            if ((*ctx->visit)(module))
            {
                ctx->stopped = true;
                return 1;
            }
            return 0;
        },
        &context);
    return context.stopped;
}
// The loads LoadLibraryW made, by module: the loader's handle and how many are still held.
struct LoadedLibrary
{
    void *handle = nullptr;
    unsigned count = 0;
};

std::mutex g_loadedMutex;
std::map<std::uintptr_t, LoadedLibrary> g_loaded;

// The module whose image the loader placed with this bias (never the program).
std::uintptr_t BaseOfBias(std::uintptr_t bias)
{
    std::uintptr_t found = 0;
    ForEachModule([&](const ModuleInfo &m) {
        if (m.isProgram || m.bias != bias)
            return false;
        found = m.base;
        return true;
    });
    return found;
}

std::string PathOfBase(std::uintptr_t base, bool &isProgram)
{
    std::string path;
    isProgram = false;
    ForEachModule([&](const ModuleInfo &m) {
        if (m.base != base)
            return false;
        path = m.path;
        isProgram = m.isProgram;
        return true;
    });
    return path;
}
} // namespace

HMODULE GetModuleHandleW(const char16_t *moduleName)
{
    std::uintptr_t found = 0;
    if (!moduleName)
    {
        ForEachModule([&](const ModuleInfo &m) {
            found = m.base;
            return true;
        });
        return reinterpret_cast<HMODULE>(found);
    }
    const std::string name = vxsys::Utf16ToUtf8(moduleName);
    if (name.empty())
        return nullptr;
    const bool byPath = name.find('/') != std::string::npos;
    const std::string wanted = byPath ? Resolved(name) : name;
    ForEachModule([&](const ModuleInfo &m) {
        const bool match = byPath ? Resolved(m.path) == wanted : BaseName(m.path) == wanted;
        if (match)
            found = m.base;
        return match;
    });
    return reinterpret_cast<HMODULE>(found);
}

std::uint32_t GetModuleFileNameW(HMODULE module, char16_t *fileName, std::uint32_t size)
{
    if (!fileName || size == 0)
        return 0;
    fileName[0] = 0;
    const auto base = reinterpret_cast<std::uintptr_t>(module);
    std::string path;
    ForEachModule([&](const ModuleInfo &m) {
        if (module && m.base != base)
            return false;
        path = m.isProgram ? m.path : Resolved(m.path);
        return true;
    });
    const std::u16string wide = vxsys::Utf8ToUtf16(path);
    if (wide.empty() || wide.size() >= size)
        return 0;
    vxsys::U16CopyBounded(fileName, size, wide);
    return static_cast<std::uint32_t>(wide.size());
}

HMODULE LoadLibraryW(const char16_t *fileName)
{
    if (!fileName)
        return nullptr;
    const std::string name = vxsys::Utf16ToUtf8(fileName);
    if (name.empty())
        return nullptr;
    void *handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return nullptr;
    link_map *map = nullptr;
    const std::uintptr_t base =
        dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map ? BaseOfBias(map->l_addr) : 0;
    if (base == 0)
    {
        dlclose(handle);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_loadedMutex);
    LoadedLibrary &loaded = g_loaded[base];
    loaded.handle = handle;
    ++loaded.count;
    return reinterpret_cast<HMODULE>(base);
}

void *GetProcAddress(HMODULE module, const char *procName)
{
    if (!procName)
        return nullptr;
    const auto base = reinterpret_cast<std::uintptr_t>(module);
    {
        std::lock_guard<std::mutex> lock(g_loadedMutex);
        if (const auto it = g_loaded.find(base); it != g_loaded.end())
            return dlsym(it->second.handle, procName);
    }
    // A module this process loaded some other way: borrow the loader's handle without loading anything.
    bool isProgram = false;
    const std::string path = module ? PathOfBase(base, isProgram) : std::string();
    if (module && path.empty())
        return nullptr;
    void *handle =
        (!module || isProgram) ? dlopen(nullptr, RTLD_LAZY) : dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!handle)
        return nullptr;
    void *address = dlsym(handle, procName);
    dlclose(handle);
    return address;
}

bool FreeLibrary(HMODULE module)
{
    void *handle = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_loadedMutex);
        const auto it = g_loaded.find(reinterpret_cast<std::uintptr_t>(module));
        if (it == g_loaded.end())
            return false;
        handle = it->second.handle;
        if (--it->second.count == 0)
            g_loaded.erase(it);
    }
    return dlclose(handle) == 0;
}
