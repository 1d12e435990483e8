#include "Monitor.h"

#include "HandOver.h"

namespace {
const char kInstanceName[] = "pavkomonitor";
const char16_t kPrinterName[] = u"Pavko\u667a\u80fd\u4e91\u6253\u5370\u673a";
constexpr unsigned kStatusPollMs = 200;
constexpr unsigned kExistencePollMs = 50;
constexpr unsigned kSizePollMs = 500;
} // namespace

Monitor::Monitor(MonitorPlatform& platform, Spooler& spooler) : m_platform(platform), m_spooler(spooler) {}

int Monitor::run()
{
    if (!m_platform.claimInstance(kInstanceName))
        return kExitOtherInstance;
    if (!m_platform.startSockets())
        return kExitNoSockets;

    std::string documents;
    if (m_platform.documentsFolder(&documents)) {
        m_portFile = documents + kPathSeparator + HandOver::kPortFileName;
        emptyWorkFolder();
    } else {
        m_platform.print("Get PavkoPort file path failed.\n");
    }

    m_spooler.open(kPrinterName);
    while (waitAndHandle()) {
    }
    return kExitSpoolerClosed;
}

std::string Monitor::workFolder()
{
    for (const std::string& folder : HandOver::workFolderCandidates(
             m_platform.tempFolder(), m_platform.installFolder(), kPathSeparator)) {
        if (!m_platform.isFolder(folder))
            m_platform.makeFolder(folder);
        if (m_platform.isFolder(folder))
            return folder;
    }
    // The last resort; the client refuses job files there, as it cannot know this program's current folder.
    return std::string(".") + kPathSeparator + "temp";
}

void Monitor::emptyWorkFolder()
{
    const std::string folder = workFolder();
    if (folder == m_platform.installFolder()) {
        // The client is installed there: only this program's own leftovers go.
        removeJobFiles(folder);
        return;
    }
    removeTree(folder);
    m_platform.makeFolder(folder);
}

void Monitor::removeJobFiles(const std::string& folder)
{
    std::vector<FolderEntry> entries;
    m_platform.listFolder(folder, &entries);
    for (const FolderEntry& entry : entries) {
        if (entry.name.compare(0, sizeof HandOver::kSpoolFilePrefix - 1, HandOver::kSpoolFilePrefix) == 0 &&
            entry.attributes != kAttributeDirectory)
            m_platform.removeFile(folder + kPathSeparator + entry.name);
    }
}

void Monitor::removeTree(const std::string& folder)
{
    std::vector<FolderEntry> entries;
    const bool complete = m_platform.listFolder(folder, &entries);
    for (const FolderEntry& entry : entries) {
        if (entry.name.empty() || entry.name[0] == '.')
            continue;
        const std::string path = folder + kPathSeparator + entry.name;
        // Only plain folders are descended into; links and folders with other attributes are
        // removed as files, which never reaches outside the work folder.
        if (entry.attributes == kAttributeDirectory)
            removeTree(path);
        else
            m_platform.removeFile(path);
    }
    if (complete)
        m_platform.removeFolder(folder);
}

bool Monitor::waitAndHandle()
{
    const unsigned timeout = m_pending.empty() ? Spooler::kInfinite : kRetryMs;
    std::uint32_t changes = 0;
    const SpoolerWait result = m_spooler.waitForChange(timeout, &changes);
    if (result == SpoolerWait::Closed)
        return false;
    if (result == SpoolerWait::Changed)
        handleChange(changes);
    if (!m_pending.empty() && m_platform.nowMs() - m_lastHandOverMs >= kRetryMs)
        handOverPending();
    return true;
}

void Monitor::handleChange(std::uint32_t changes)
{
    const std::vector<SpoolerJob> jobs = m_spooler.jobs();
    if (jobs.empty())
        return;
    // The spooler lists jobs in arrival order, so the last one is the newest.
    const SpoolerJob& job = jobs.back();
    if (job.id <= m_lastHandled)
        return;
    const bool added = changes & Spooler::kChangeAddJob;
    const bool printing = (changes & Spooler::kChangeSetJob) && (job.status & Spooler::kStatusPrinting);
    if (added || printing)
        handleJob(job.id);
}

void Monitor::handleJob(std::uint32_t id)
{
    while (jobStatus(id) & (Spooler::kStatusSpooling | Spooler::kStatusPrinting))
        m_platform.sleepMs(kStatusPollMs);
    waitForPortFile();

    m_spooler.pauseJob(id);

    const std::string jobFile =
        workFolder() + kPathSeparator + HandOver::kSpoolFilePrefix + std::to_string(id);
    m_platform.removeFile(jobFile);
    m_platform.moveFile(m_portFile, jobFile);
    // The next job must not find this one's output.
    m_platform.removeFile(m_portFile);

    m_platform.print("job id(" + std::to_string(static_cast<int>(id)) + ") : " + jobFile + "\n");

    // The client runs in another folder, so a relative work folder must not reach it as such.
    m_pending.push_back(m_platform.absolutePath(jobFile));
    handOverPending();

    m_lastHandled = id;
    m_spooler.deleteJob(id);
}

std::uint32_t Monitor::jobStatus(std::uint32_t id)
{
    for (const SpoolerJob& job : m_spooler.jobs()) {
        if (job.id == id)
            return job.status;
    }
    return 0; // gone from the queue: the spooler is done with it
}

void Monitor::waitForPortFile()
{
    const std::int64_t start = m_platform.nowMs();
    const auto expired = [&] { return (m_platform.nowMs() - start) / 1000 > kPortFileLimitSeconds; };
    while (!m_platform.fileExists(m_portFile) && !expired())
        m_platform.sleepMs(kExistencePollMs);
    std::int64_t size = m_platform.fileSize(m_portFile);
    while (!expired()) {
        m_platform.sleepMs(kSizePollMs);
        const std::int64_t next = m_platform.fileSize(m_portFile);
        if (next == size)
            break;
        size = next;
    }
}

void Monitor::handOverPending()
{
    m_lastHandOverMs = m_platform.nowMs();
    // In job order: a later file never overtakes one the client has not taken yet.
    while (!m_pending.empty() && m_platform.handOver(m_pending.front()))
        m_pending.pop_front();
}
