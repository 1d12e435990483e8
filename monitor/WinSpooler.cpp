#include "WinSpooler.h"

// clang-format off
#include <windows.h>
#include <winspool.h>
// clang-format on

namespace {
constexpr DWORD kMaxJobs = 100;

// Job notices with their status field; with refresh set, asks the spooler to start sending again.
PRINTER_NOTIFY_OPTIONS notifyOptions(DWORD flags)
{
    static WORD fields[] = {JOB_NOTIFY_FIELD_STATUS};
    static PRINTER_NOTIFY_OPTIONS_TYPE type = {JOB_NOTIFY_TYPE, 0, 0, 0, 1, fields};
    PRINTER_NOTIFY_OPTIONS options = {};
    options.Version = 2;
    options.Flags = flags;
    options.Count = 1;
    options.pTypes = &type;
    return options;
}
} // namespace

bool WinSpooler::open(const std::u16string& printerName, Access access)
{
    close();
    const auto* wide = reinterpret_cast<const wchar_t*>(printerName.c_str());
    const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return false;
    std::string name(size_t(size), '\0');
    WideCharToMultiByte(CP_THREAD_ACP, 0, wide, -1, &name[0], size, nullptr, nullptr);

    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_PAPERSIZE;
    mode.dmPaperSize = DMPAPER_A4;
    PRINTER_DEFAULTSA defaults = {};
    defaults.pDevMode = &mode;
    // Using the printer is all that listing it and controlling one's own jobs need; ordinary users are
    // refused administer access.
    defaults.DesiredAccess = access == Access::Administer ? PRINTER_ACCESS_ADMINISTER : PRINTER_ACCESS_USE;
    HANDLE printer = nullptr;
    if (!OpenPrinterA(&name[0], &printer, &defaults))
        return false;
    m_printer = printer;

    PRINTER_NOTIFY_OPTIONS options = notifyOptions(0);
    HANDLE change = FindFirstPrinterChangeNotification(
        printer, PRINTER_CHANGE_ADD_JOB | PRINTER_CHANGE_SET_JOB, 0, &options);
    if (change == INVALID_HANDLE_VALUE) {
        close();
        return false;
    }
    m_change = change;
    return true;
}

void WinSpooler::close()
{
    if (m_change)
        FindClosePrinterChangeNotification(m_change);
    m_change = nullptr;
    if (m_printer)
        ClosePrinter(m_printer);
    m_printer = nullptr;
}

SpoolerWait WinSpooler::waitForChange(unsigned timeoutMs, std::uint32_t* changes)
{
    if (!m_change) {
        // Without a printer nothing ever arrives; only the caller's own time-outs go on.
        Sleep(timeoutMs);
        return SpoolerWait::TimedOut;
    }
    const DWORD result = WaitForSingleObject(m_change, timeoutMs);
    if (result == WAIT_TIMEOUT)
        return SpoolerWait::TimedOut;
    if (result != WAIT_OBJECT_0)
        return SpoolerWait::Failed;
    DWORD fired = 0;
    PPRINTER_NOTIFY_INFO info = nullptr;
    // Fails once the spooler that made the notification is gone.
    if (!FindNextPrinterChangeNotification(m_change, &fired, nullptr, reinterpret_cast<void**>(&info)))
        return SpoolerWait::Failed;
    if (info) {
        // Notices piled up while a job was handled: until refreshed, the spooler sends none at all.
        const bool discarded = info->Flags & PRINTER_NOTIFY_INFO_DISCARDED;
        FreePrinterNotifyInfo(info);
        if (discarded) {
            PRINTER_NOTIFY_OPTIONS refresh = notifyOptions(PRINTER_NOTIFY_OPTIONS_REFRESH);
            info = nullptr;
            DWORD ignored = 0;
            FindNextPrinterChangeNotification(m_change, &ignored, &refresh, reinterpret_cast<void**>(&info));
            if (info)
                FreePrinterNotifyInfo(info);
        }
    }
    *changes = fired;
    return SpoolerWait::Changed;
}

std::vector<SpoolerJob> WinSpooler::jobs()
{
    std::vector<SpoolerJob> listed;
    if (!m_printer)
        return listed;
    // A job added between the size query and the listing makes the buffer too small; ask again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD needed = 0;
        DWORD returned = 0;
        EnumJobsA(m_printer, 0, kMaxJobs, 2, nullptr, 0, &needed, &returned);
        if (needed == 0)
            return listed;
        std::vector<BYTE> buffer(needed, 0);
        if (!EnumJobsA(m_printer, 0, kMaxJobs, 2, buffer.data(), needed, &needed, &returned)) {
            if (GetLastError() == ERROR_INSUFFICIENT_BUFFER)
                continue;
            return listed;
        }
        const auto* records = reinterpret_cast<const JOB_INFO_2A*>(buffer.data());
        for (DWORD i = 0; i < returned; ++i)
            listed.push_back({records[i].JobId, records[i].Status});
        return listed;
    }
    return listed;
}

void WinSpooler::pauseJob(std::uint32_t id)
{
    if (m_printer)
        SetJobA(m_printer, id, 0, nullptr, JOB_CONTROL_PAUSE);
}

void WinSpooler::setStatusText(std::uint32_t id, const std::u16string& text)
{
    if (!m_printer)
        return;
    DWORD needed = 0;
    GetJobW(m_printer, id, 1, nullptr, 0, &needed);
    if (needed == 0)
        return;
    std::vector<BYTE> buffer(needed, 0);
    if (!GetJobW(m_printer, id, 1, buffer.data(), needed, &needed))
        return;
    auto* info = reinterpret_cast<JOB_INFO_1W*>(buffer.data());
    std::u16string status = text;
    info->pStatus = text.empty() ? nullptr : reinterpret_cast<LPWSTR>(&status[0]);
    info->Position = JOB_POSITION_UNSPECIFIED; // the job keeps its place in the queue
    SetJobW(m_printer, id, 1, buffer.data(), 0);
}

void WinSpooler::resumeJob(std::uint32_t id)
{
    if (m_printer)
        SetJobA(m_printer, id, 0, nullptr, JOB_CONTROL_RESUME);
}

void WinSpooler::deleteJob(std::uint32_t id)
{
    if (m_printer)
        SetJobA(m_printer, id, 0, nullptr, JOB_CONTROL_DELETE);
}
