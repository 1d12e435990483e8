#pragma once

#include "Spooler.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

// A spooler that plays a script on its own clock, for running the monitor without Windows. Time moves
// only when the monitor sleeps or waits, so a script of minutes runs in an instant and always the same
// way. The script ends, and the notification reports Closed, when nothing is left to happen.
class SpoolerDouble : public Spooler
{
public:
    // What the monitor asked of a job, and when.
    struct Control
    {
        enum Kind
        {
            Pause,
            Resume,
            Delete
        } kind;
        std::uint32_t id;
        std::int64_t atMs;
    };

    std::int64_t nowMs() const { return m_nowMs; }
    // Lets time pass, playing every step of the script that falls due.
    void sleepMs(unsigned ms);
    // Schedules a step of the script; steps at the same time run in the order they were added.
    void at(std::int64_t ms, std::function<void()> step);

    // The spooler's side, for use before the run and from steps.
    // Each signals its change unless told not to.
    void addJob(std::uint32_t id, std::uint32_t status, bool notify = true);
    void setStatus(std::uint32_t id, std::uint32_t status, bool notify = true);
    void removeJob(std::uint32_t id); // silently, as the monitor does not watch removals
    void signal(std::uint32_t changes);
    // The job leaves the queue once it has been listed that many more times.
    void vanishAfterListings(std::uint32_t id, int listings);

    // A job printed at startMs: listed while spooling, its output appended to portFile in pieces
    // every pieceGapMs, and the spooling bit cleared statusClearMs after the start.
    void printJob(std::int64_t startMs, std::uint32_t id, const std::string& portFile,
                  const std::vector<std::string>& pieces, std::int64_t pieceGapMs,
                  std::int64_t statusClearMs);
    static void appendToFile(const std::string& path, const std::string& bytes);

    // A job that the spooler writes to the port itself, as a file port does: added at startMs and
    // spooling for spoolMs; then, once no other job prints and unless it is paused, printing: the port
    // file is created anew with the bytes, and printMs later the job leaves the queue.
    void spoolToPort(std::int64_t startMs, std::uint32_t id, const std::string& portFile,
                     const std::string& bytes, std::int64_t spoolMs, std::int64_t printMs);

    // The spooler restarts at atMs and is back downMs later: open notifications fail, the queue cannot
    // be read and the printer cannot be opened in between. Jobs stay queued.
    void restart(std::int64_t atMs, std::int64_t downMs);
    // As for a user without administer rights on the printer.
    void refuseAdministerAccess() { m_refuseAdminister = true; }

    bool opened() const { return m_opened; }
    const std::u16string& printerName() const { return m_printerName; }
    const std::vector<Control>& controls() const { return m_controls; }
    std::vector<std::uint32_t> queuedIds() const;
    // The status text the queue shows for a job; empty when none was set.
    std::u16string statusText(std::uint32_t id) const;

    bool open(const std::u16string& printerName, Access access) override;
    void close() override { m_opened = false; }
    SpoolerWait waitForChange(unsigned timeoutMs, std::uint32_t* changes) override;
    std::vector<SpoolerJob> jobs() override;
    void pauseJob(std::uint32_t id) override;
    void setStatusText(std::uint32_t id, const std::u16string& text) override;
    void resumeJob(std::uint32_t id) override;
    void deleteJob(std::uint32_t id) override;

private:
    struct QueuedJob
    {
        SpoolerJob job;
        int listingsLeft = -1; // -1: stays until removed
    };

    struct PortJob
    {
        std::string portFile;
        std::string bytes;
        std::int64_t printMs = 0;
    };

    bool runNextStep(std::int64_t untilMs);
    void despool();
    QueuedJob* find(std::uint32_t id);

    std::int64_t m_nowMs = 0;
    std::multimap<std::int64_t, std::function<void()>> m_script;
    std::vector<QueuedJob> m_queue;
    std::uint32_t m_changes = 0;
    bool m_opened = false;
    bool m_refuseAdminister = false;
    bool m_down = false;
    int m_generation = 0; // of the spooler process; a restart makes the open printer stale
    int m_openGeneration = -1;
    std::map<std::uint32_t, PortJob> m_portJobs;
    bool m_portBusy = false;
    std::u16string m_printerName;
    std::vector<Control> m_controls;
    std::map<std::uint32_t, std::u16string> m_statusTexts;
};
