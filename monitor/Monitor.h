#pragma once

#include "MonitorPlatform.h"
#include "Spooler.h"

#include <cstdint>
#include <deque>
#include <string>

// Takes each finished job of the virtual printer out of the spooler and hands its spool file to the
// client: the job is paused, its port file moved to the work folder as "PavkoPort." + job id, the
// file's path sent to the client's job port, and the job deleted from the queue.
class Monitor
{
public:
    static constexpr int kExitOtherInstance = 0;
    static constexpr int kExitNoSockets = 1;
    static constexpr int kExitSpoolerClosed = 2;

    // Seconds after which the waits for the port file give up and the job is taken as it is.
    static constexpr std::int64_t kPortFileLimitSeconds = 300;
    // Between two attempts to hand over files the client has not taken yet.
    static constexpr unsigned kRetryMs = 3000;

    Monitor(MonitorPlatform& platform, Spooler& spooler);

    // Start-up and main loop; returns the exit code. The loop ends only when the spooler closes.
    int run();

    // The first usable of: the temporary folder's "pavkodriver", the install folder, "./temp".
    std::string workFolder();

private:
    void emptyWorkFolder();
    void removeTree(const std::string& folder);
    void removeJobFiles(const std::string& folder);
    bool waitAndHandle();
    void handleChange(std::uint32_t changes);
    void handleJob(std::uint32_t id);
    std::uint32_t jobStatus(std::uint32_t id);
    void waitForPortFile();
    void handOverPending();

    MonitorPlatform& m_platform;
    Spooler& m_spooler;
    std::string m_portFile;
    std::uint32_t m_lastHandled = 0;
    // Paths the client has not taken yet, oldest job first.
    std::deque<std::string> m_pending;
    std::int64_t m_lastHandOverMs = 0;
};
