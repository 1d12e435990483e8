#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One job of the printer's queue as the monitor sees it.
struct SpoolerJob
{
    std::uint32_t id = 0;
    std::uint32_t status = 0;
};

enum class SpoolerWait
{
    Changed,
    TimedOut,
    Failed, // the notification broke, for example because the spooler restarted: open again
    Closed
};

// The print spooler's side of the monitor: one printer, its change notification and its job queue.
class Spooler
{
public:
    // Job status bits.
    static constexpr std::uint32_t kStatusPaused = 0x01;
    static constexpr std::uint32_t kStatusSpooling = 0x08;
    static constexpr std::uint32_t kStatusPrinting = 0x10;
    // Printer change bits.
    static constexpr std::uint32_t kChangeAddJob = 0x100;
    static constexpr std::uint32_t kChangeSetJob = 0x200;
    static constexpr unsigned kInfinite = 0xFFFFFFFF;

    virtual ~Spooler() = default;

    enum class Access
    {
        OwnJobs,   // list the printer's jobs and pause, resume and delete one's own: every user may
        Administer // the printer itself: only administrators may
    };

    // Opens the printer and its change notification for added and changed jobs; false when either
    // fails (then nothing is held and no notification arrives until the next successful open).
    virtual bool open(const std::u16string& printerName, Access access) = 0;
    // Releases the printer and its notification; a no-op when they are not open.
    virtual void close() = 0;
    // Waits up to timeoutMs (kInfinite: no limit) for the notification; on Changed, *changes holds the
    // change bits that fired since the last wait. Closed means no notification can ever arrive again.
    // Without an open printer it only lets the time pass.
    virtual SpoolerWait waitForChange(unsigned timeoutMs, std::uint32_t* changes) = 0;
    // The printer's jobs in the spooler's order; empty when they cannot be read.
    virtual std::vector<SpoolerJob> jobs() = 0;
    virtual void pauseJob(std::uint32_t id) = 0;
    // The text the queue shows in the job's status column; empty clears it.
    virtual void setStatusText(std::uint32_t id, const std::u16string& text) = 0;
    virtual void resumeJob(std::uint32_t id) = 0;
    virtual void deleteJob(std::uint32_t id) = 0;
};
