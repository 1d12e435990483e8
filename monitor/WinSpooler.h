#pragma once

#include "Spooler.h"

// The Windows print spooler through the ANSI winspool calls.
class WinSpooler : public Spooler
{
public:
    WinSpooler() = default;
    WinSpooler(const WinSpooler&) = delete;
    WinSpooler& operator=(const WinSpooler&) = delete;

    ~WinSpooler() override { close(); }

    bool open(const std::u16string& printerName, Access access) override;
    void close() override;
    SpoolerWait waitForChange(unsigned timeoutMs, std::uint32_t* changes) override;
    std::vector<SpoolerJob> jobs() override;
    void pauseJob(std::uint32_t id) override;
    void setStatusText(std::uint32_t id, const std::u16string& text) override;
    void resumeJob(std::uint32_t id) override;
    void deleteJob(std::uint32_t id) override;

private:
    // Held until closed or the process ends.
    void* m_printer = nullptr;
    void* m_change = nullptr;
};
