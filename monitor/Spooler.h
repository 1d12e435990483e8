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
    Closed
};

// The print spooler's side of the monitor: one printer, its change notification and its job queue.
class Spooler
{
public:
    // Job status bits.
    static constexpr std::uint32_t kStatusSpooling = 0x08;
    static constexpr std::uint32_t kStatusPrinting = 0x10;
    // Printer change bits.
    static constexpr std::uint32_t kChangeAddJob = 0x100;
    static constexpr std::uint32_t kChangeSetJob = 0x200;
    static constexpr unsigned kInfinite = 0xFFFFFFFF;

    virtual ~Spooler() = default;

    // Opens the printer and its change notification for added and changed jobs. When this fails no
    // notification ever arrives.
    virtual bool open(const std::u16string& printerName) = 0;
    // Waits up to timeoutMs (kInfinite: no limit) for the notification; on Changed, *changes holds the
    // change bits that fired since the last wait. Closed means no notification can ever arrive again.
    virtual SpoolerWait waitForChange(unsigned timeoutMs, std::uint32_t* changes) = 0;
    // The printer's jobs in the spooler's order; empty when they cannot be read.
    virtual std::vector<SpoolerJob> jobs() = 0;
    virtual void pauseJob(std::uint32_t id) = 0;
    virtual void deleteJob(std::uint32_t id) = 0;
};
