#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vxtest
{
// A HID monitor for tests. While an instance lives, the report layer's hooks
// (device/HidReport.h) enumerate it, open it, read its report descriptor and pause
// without sleeping; every open hands the layer one end of a fresh SOCK_SEQPACKET
// socketpair (one message = one report), and a responder thread plays the monitor on
// the other end:
//
//   mode frame {AB 00 01 00 01} -> mode byte -> status query {AB 01 01 00 01} -> mode status
//   -> command frame {AB dir len command} -> data phase (host sends or reads)
//   -> optional status query -> final status
//
// A status query right after a mode byte is answered with the mode status, any other
// with the final status. Everything is recorded. Statuses are scriptable, kSilent
// leaves a query unanswered, SetSilent(true) makes the whole monitor mute.
//
// The monitor keeps its workout image: what it sends for the record read (0x6E). A record
// block the host sends (0x1C) replaces the image's header (bytes 1 on; the records behind it
// stay as bytes) as soon as the monitor has taken all of its data phase, whatever final
// status it then reports, as a real monitor may have written a block it goes on to refuse.
// The monitor then sets byte 0 so that the whole image sums to zero, as it must whenever it
// adds a record. So tests see what the monitor holds, not only what was sent to it.
// Only one instance may live at a time.
class SimHidMonitor
{
  public:
    static constexpr int kSilent = -1;

    struct Options
    {
        std::string vendorId = "3a7e"; // as it appears in the interface path
        std::string productId = "0001";
        std::uint32_t inputReportLength = 65; // report ID byte included
        std::uint32_t outputReportLength = 65;
        // Numbered reports (Report ID 1 in the descriptor): input reports then carry the
        // ID byte, as hidraw delivers them.
        bool numberedReports = false;
        // How long the layer waits for one report. Generous, so a loaded machine does not
        // fail a test; tests that expect silence shorten it.
        int reportTimeoutMs = 3000;
        // The interface path; empty gives \\?\hid#vid_<vid>&pid_<pid>#7&1a2b3c4d&0&0000#{hid class}.
        std::u16string interfacePath;
    };

    // One command the monitor received after a mode step.
    struct Command
    {
        std::uint8_t mode = 0;               // the mode byte set before it (0xFF: none)
        std::array<std::uint8_t, 8> frame{}; // the frame as received
        std::uint8_t direction = 0;          // 0 the host sends, 1 the host reads
        std::uint16_t length = 0;            // data phase length from the frame
        std::uint8_t command = 0;
        std::vector<std::uint8_t> received; // host sends: payload of every data report, padding included
        std::size_t sent = 0;               // host reads: payload bytes the monitor sent
    };

    SimHidMonitor();
    explicit SimHidMonitor(Options options);
    ~SimHidMonitor();
    SimHidMonitor(const SimHidMonitor &) = delete;
    SimHidMonitor &operator=(const SimHidMonitor &) = delete;

    // --- script ---
    // The answer to every mode status query (default 0) or final status query (default 0);
    // kSilent answers nothing. Queued answers are used first, one per query, in order.
    void SetModeStatus(int status);
    void QueueModeStatus(int status);
    void SetFinalStatus(int status);
    void QueueFinalStatus(int status);
    // The data the monitor sends for a host-reads command (cut to the frame's length;
    // shorter data is sent as fewer reports). Defaults: 0x6E 880 zero bytes, 0x05
    // DeviceInfoBlock(0, ...zeros), 0x0F LanguageBlock(0, {0, 1}).
    void SetReadData(std::uint8_t command, std::vector<std::uint8_t> data);
    // A mute monitor records what it receives and answers nothing.
    void SetSilent(bool silent);
    // An absent monitor is not enumerated.
    void SetPresent(bool present);
    // Pulls the monitor out: it is no longer enumerated and every open connection is
    // hung up from the monitor's side (the layer's reads and writes then fail).
    void Unplug();
    // Once the final status of the next command with this code has been answered, the
    // monitor is pulled out: later opens find nothing. The exchange itself completes.
    void PullOutAfter(std::uint8_t command);
    // Opening the monitor fails.
    void SetOpenFails(bool fails);
    void SetReportTimeoutMs(int milliseconds);
    // Another HID interface, enumerated before the monitor, that opens but never answers.
    void AddForeignInterface(std::u16string interfacePath);
    // Called on the responder thread with every output report, before it is acted on.
    void SetObserver(std::function<void(const std::vector<std::uint8_t> &report)> observer);
    // Sends one raw input report (payload without the ID byte, zero-padded to the report)
    // on the newest open connection. An empty payload on an unnumbered monitor sends an
    // empty report. False when nothing is open.
    bool SendInputReport(const std::vector<std::uint8_t> &payload);

    // --- records ---
    // The workout image the monitor holds now (the record read's data, with every record
    // block written over its start).
    std::vector<std::uint8_t> RecordImage() const;
    const std::u16string &InterfacePath() const { return m_path; }
    const Options &GetOptions() const { return m_options; }
    // Protocol events in order: "mode 01", "mode-status 00", "mode-status silent",
    // "command 1c send 220", "data-in 220", "command 6e read 880", "data-out 880",
    // "final-status 00", "unexpected ab00..." (hex of a payload that fits no step).
    std::vector<std::string> Transcript() const;
    std::vector<Command> Commands() const;
    std::vector<std::uint8_t> Modes() const;
    // Every output report as written by the layer (report ID byte first).
    std::vector<std::vector<std::uint8_t>> OutputReports() const;
    // Interface paths the layer opened (monitor and foreign), in order.
    std::vector<std::u16string> OpenedPaths() const;
    int Opens() const;
    // Connections the layer still holds open.
    int OpenConnections() const;
    // Waits until the layer has closed every connection; false if it did not within the time.
    bool WaitUntilAllClosed(int timeoutMs = 5000);
    // Pauses the layer asked for (milliseconds each).
    std::vector<unsigned> Pauses() const;
    void ClearRecords();

    // --- helpers ---
    static std::vector<std::uint8_t> ReportDescriptor(std::uint32_t inputLength, std::uint32_t outputLength,
                                                      bool numbered);
    // A 38-byte device information block: status, firmware major, minor, build, a 16-bit
    // value (little-endian), 16 identity bytes (sent as bytes 6..21), 16 zero bytes.
    static std::vector<std::uint8_t> DeviceInfoBlock(std::uint8_t status, std::uint8_t major,
                                                     std::uint8_t minor, std::uint8_t build,
                                                     std::uint16_t value,
                                                     const std::array<std::uint8_t, 16> &identity);
    // A 118-byte language block: status, then flag 1 at position code + 1 for each code.
    static std::vector<std::uint8_t> LanguageBlock(std::uint8_t status,
                                                   const std::vector<std::uint8_t> &codes);

  private:
    struct Connection;

    void Install();
    void Run();
    void HandleReport(Connection &connection, const std::vector<std::uint8_t> &report);
    void SendPayload(Connection &connection, const std::uint8_t *payload, std::size_t length);
    int NextStatus(std::deque<int> &queue, int fallback);
    void TakeHeaderBlock(const Command &write);
    void Wake();

    Options m_options;
    std::u16string m_path;

    mutable std::mutex m_mutex;
    std::condition_variable m_closed;
    int m_modeStatus = 0;
    int m_finalStatus = 0;
    std::deque<int> m_modeQueue;
    std::deque<int> m_finalQueue;
    std::map<std::uint8_t, std::vector<std::uint8_t>> m_readData;
    bool m_silent = false;
    bool m_present = true;
    bool m_openFails = false;
    int m_pullOutAfter = -1; // a command code, or -1
    std::vector<std::u16string> m_foreign;
    std::function<void(const std::vector<std::uint8_t> &)> m_observer;

    std::vector<std::string> m_transcript;
    std::vector<Command> m_commands;
    std::vector<std::uint8_t> m_modes;
    std::vector<std::vector<std::uint8_t>> m_outputReports;
    std::vector<std::u16string> m_openedPaths;
    std::vector<unsigned> m_pauses;
    int m_opens = 0;
    int m_openConnections = 0;

    std::vector<std::unique_ptr<Connection>> m_pending;     // handed over by the opener
    std::vector<std::unique_ptr<Connection>> m_connections; // responder thread only
    int m_newestFd = -1;
    int m_wakeFd = -1;
    bool m_stop = false;
    bool m_unplug = false;
    std::thread m_thread;
};
} // namespace vxtest
