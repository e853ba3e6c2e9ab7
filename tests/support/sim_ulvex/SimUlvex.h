#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TestEnvironment.h"

namespace vxtest
{
// The test-only variant of the Ulvex library (SimUlvexControl.h) for the life of the object:
// loaded, named by VORMATIK_ULVEX_LIBRARY (so a UlvexDevice built without a path loads it),
// emptied of monitors, and with its MTP monitors behind the program's own MTP discovery as well,
// so the program's transfers and the library's commands reach the same monitor.
class SimUlvexLibrary
{
  public:
    SimUlvexLibrary();
    ~SimUlvexLibrary();
    SimUlvexLibrary(const SimUlvexLibrary &) = delete;
    SimUlvexLibrary &operator=(const SimUlvexLibrary &) = delete;

    bool Loaded() const;
    static std::string Path();

    // An MTP monitor at bus 1, `port`, with its "workout/FR.DAT"; its index.
    int AddMtpMonitor(std::uint16_t vendorId, std::uint16_t productId, const std::string &serial,
                      const std::string &firmwareVersion, std::uint8_t port,
                      const std::vector<std::uint8_t> &workout);
    // The monitor's "FR.DAT" now; empty without it.
    std::vector<std::uint8_t> MtpWorkoutFile(int monitor) const;

    struct VendorCall
    {
        std::uint16_t operation = 0;
        std::vector<std::uint8_t> data;
    };
    std::vector<VendorCall> MtpVendorCalls(int monitor) const;

    struct ScsiCommand
    {
        std::vector<std::uint8_t> cdb;
        std::vector<std::uint8_t> data; // sent to the device
        unsigned int length = 0;        // of the data phase
        bool toDevice = false;
    };
    std::vector<ScsiCommand> ScsiCommands() const;

    struct Entries;

  private:
    void *m_module = nullptr;
    std::unique_ptr<Entries> m_entries;
    ScopedEnv m_path;
    struct Listed
    {
        int index;
        std::uint16_t vendorId;
        std::uint16_t productId;
        std::uint8_t port;
    };
    // The monitors as the program's own MTP discovery lists them.
    std::shared_ptr<std::vector<Listed>> m_listed;
};
} // namespace vxtest
