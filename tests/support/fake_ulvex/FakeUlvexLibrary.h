#pragma once

#include "tests/support/fake_ulvex/FakeUlvex.h"

#include <string>

namespace vxtest
{
// The module files: every function the program binds, or only some (see FakeUlvex.h).
std::string FakeUlvexPath();
std::string PartialFakeUlvexPath();

// Loads a fake module for the test's side, resets its state and gives access to it. The
// module stays loaded while the object lives; a wrapper that loads the same file shares it.
class FakeUlvexLibrary
{
  public:
    explicit FakeUlvexLibrary(const std::string &path = FakeUlvexPath());
    ~FakeUlvexLibrary();
    FakeUlvexLibrary(const FakeUlvexLibrary &) = delete;
    FakeUlvexLibrary &operator=(const FakeUlvexLibrary &) = delete;

    const std::string &Path() const { return m_path; }
    vxfake::FakeUlvexState &State() { return *m_state; }
    int OpenHandles() const;
    int Calls(vxfake::FakeUlvexFunction function) const { return m_state->calls[function]; }
    int TotalCalls() const;

  private:
    std::string m_path;
    void *m_handle = nullptr;
    vxfake::FakeUlvexState *m_state = nullptr;
    int (*m_openHandles)() = nullptr;
};
} // namespace vxtest
