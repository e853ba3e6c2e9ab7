#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace vxtest
{
std::string FakeUlvexPath()
{
    return VX_FAKE_ULVEX_PATH;
}

std::string PartialFakeUlvexPath()
{
    return VX_FAKE_ULVEX_PARTIAL_PATH;
}

FakeUlvexLibrary::FakeUlvexLibrary(const std::string &path) : m_path(path)
{
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle)
    {
        std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), dlerror());
        std::abort();
    }
    const auto getState =
        reinterpret_cast<vxfake::FakeUlvexState *(*)()>(dlsym(m_handle, "FakeUlvexGetState"));
    const auto reset = reinterpret_cast<void (*)()>(dlsym(m_handle, "FakeUlvexReset"));
    m_openHandles = reinterpret_cast<int (*)()>(dlsym(m_handle, "FakeUlvexOpenHandles"));
    if (!getState || !reset || !m_openHandles)
        std::abort();
    reset();
    m_state = getState();
}

FakeUlvexLibrary::~FakeUlvexLibrary()
{
    if (const auto reset = reinterpret_cast<void (*)()>(dlsym(m_handle, "FakeUlvexReset")))
        reset();
    dlclose(m_handle);
}

int FakeUlvexLibrary::OpenHandles() const
{
    return m_openHandles();
}

int FakeUlvexLibrary::TotalCalls() const
{
    int total = 0;
    for (int count : m_state->calls)
        total += count;
    return total;
}
} // namespace vxtest
