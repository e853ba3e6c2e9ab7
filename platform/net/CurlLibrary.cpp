#include "platform/net/CurlLibrary.h"

#include <dlfcn.h>

#include <mutex>

namespace
{
template <class F> bool Find(void *handle, const char *name, F *function)
{
    *function = reinterpret_cast<F>(dlsym(handle, name));
    return *function != nullptr;
}
} // namespace

bool LoadCurlLibrary(const std::string &fileName, CurlLibrary *library)
{
    void *handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return false;
    CurlLibrary found;
    const bool complete = Find(handle, "curl_global_init", &found.globalInit) &&
                          Find(handle, "curl_easy_init", &found.easyInit) &&
                          Find(handle, "curl_easy_setopt", &found.easySetopt) &&
                          Find(handle, "curl_easy_perform", &found.easyPerform) &&
                          Find(handle, "curl_easy_getinfo", &found.easyGetinfo) &&
                          Find(handle, "curl_easy_cleanup", &found.easyCleanup) &&
                          Find(handle, "curl_slist_append", &found.slistAppend) &&
                          Find(handle, "curl_slist_free_all", &found.slistFreeAll);
    if (!complete)
    {
        dlclose(handle);
        return false;
    }
    // The handle stays open for the life of the process: the calls are used from any thread.
    *library = found;
    return true;
}

const CurlLibrary *Curl()
{
    static CurlLibrary library;
    static bool loaded = false;
    static std::once_flag once;
    std::call_once(once, [] {
        loaded = LoadCurlLibrary(VX_CURL_SONAME, &library) && library.globalInit(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    });
    return loaded ? &library : nullptr;
}
