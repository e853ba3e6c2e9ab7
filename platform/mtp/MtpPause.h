#pragma once

#include <functional>

namespace vxmtp
{
// Waits between two tries of a device that is not ready yet (a status poll, a busy interface).
// Every such wait of the MTP code goes through here, so that tests can replace it and nothing in
// them sleeps.
void PauseFor(unsigned milliseconds);

using PauseFunction = std::function<void(unsigned milliseconds)>;
// Replaces the wait for the whole process; an empty function restores sleeping.
void SetPauseFunction(PauseFunction pause);

class ScopedPauseFunction
{
  public:
    explicit ScopedPauseFunction(PauseFunction pause) { SetPauseFunction(std::move(pause)); }
    ~ScopedPauseFunction() { SetPauseFunction({}); }
    ScopedPauseFunction(const ScopedPauseFunction &) = delete;
    ScopedPauseFunction &operator=(const ScopedPauseFunction &) = delete;
};
} // namespace vxmtp
