#pragma once

#include "MonitorPlatform.h"
#include "Spooler.h"

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

// Takes each finished job of the virtual printer out of the spooler and hands its spool file to the
// client: the job is paused, its port file moved to the work folder as "PavkoPort." + job id, the
// file's path sent to the client's job port, and the job deleted from the queue once the client has
// answered that it took it. Until then the job stays paused and its file stays where it is, and the
// hand-over is tried again: no client, a refusal or no answer never lose a job. A job the client
// refused or left unanswered is set aside, with a word in the queue's status column, so that the jobs
// after it still reach the client.
// The port writes every job to the one port file, so jobs go through one at a time: every job that
// arrives while another is taken is paused, and resumed only once the port file before it has been
// moved.
class Monitor
{
public:
    static constexpr int kExitOtherInstance = 0;
    static constexpr int kExitNoSockets = 1;
    static constexpr int kExitSpoolerClosed = 2;

    // Seconds after which the waits for the port file give up and the job is taken as it is.
    static constexpr std::int64_t kPortFileLimitSeconds = 300;
    // Between two attempts to hand over files the client has not taken yet, or to find a work folder.
    static constexpr unsigned kRetryMs = 3000;
    // Between two attempts for a job set aside: what the client refused once it mostly refuses again,
    // and each attempt costs a line in its log.
    static constexpr std::int64_t kSetAsideRetryMs = 60000;
    // The queue's status column for a job set aside, and the monitor's word on it.
    static constexpr char16_t kSetAsideStatus[] =
        u"\u672a\u88abPavko\u5ba2\u6237\u7aef\u63a5\u6536\uff0c\u5df2\u6682\u505c";
    // Between attempts to open the printer again after it failed, doubling up to the longest.
    static constexpr unsigned kReopenFirstMs = 500;
    static constexpr unsigned kReopenLongestMs = 5000;
    // How often the queue is looked at while a job is taken, so that arrivals are paused before the
    // spooler finishes spooling them.
    static constexpr unsigned kQueuePollMs = 50;

    Monitor(MonitorPlatform& platform, Spooler& spooler);

    // Start-up and main loop; returns the exit code. The loop ends only when the spooler closes.
    int run();

    // The first of the temporary folder's "pavkodriver" and the install folder that exists (or can be
    // made) and that the client trusts (HandOver::isTrustedWorkFolder); empty when neither.
    std::string workFolder();

private:
    void emptyWorkFolder();
    void removeTree(const std::string& folder);
    void removeJobFiles(const std::string& folder);
    bool waitAndHandle();
    bool reopen();
    void handleChange(std::uint32_t changes);
    void noteArrivals(const std::vector<SpoolerJob>& jobs, std::uint32_t changes);
    void holdOthers(const std::vector<SpoolerJob>& jobs, std::uint32_t current);
    // False when the job's file had nowhere to go: the job stays paused, its output in the port file.
    bool handleJob(std::uint32_t id);
    bool retryDue();
    std::uint32_t jobStatus(std::uint32_t id);
    void pauseFor(unsigned ms, std::uint32_t current);
    void waitForPortFile(std::uint32_t current);
    void handOverPending();

    MonitorPlatform& m_platform;
    Spooler& m_spooler;
    std::string m_portFile;
    bool m_open = false;
    bool m_everOpened = false;
    unsigned m_reopenMs = kReopenFirstMs;
    // The highest id taken into m_waiting; jobs at or below it are not new.
    std::uint32_t m_lastSeen = 0;
    // Jobs to take, in the spooler's order; the first one is being taken.
    std::deque<std::uint32_t> m_waiting;
    // Jobs this program paused, to be resumed in their turn.
    std::set<std::uint32_t> m_held;
    // Jobs whose files the client has not taken yet, oldest first; each stays paused in the spooler.
    struct Pending
    {
        std::string path;
        std::uint32_t id;
        bool setAside = false;
        std::int64_t nextTryMs = 0;
    };
    std::deque<Pending> m_pending;
    // The first waiting job found no work folder; tried again with the hand-overs.
    bool m_stalled = false;
    bool m_noFolderSaid = false;
    std::int64_t m_lastAttemptMs = 0;
};
