#include "Monitor.h"

#include "HandOver.h"

#include <algorithm>

namespace {
const char kInstanceName[] = "pavkomonitor";
const char16_t kPrinterName[] = u"Pavko\u667a\u80fd\u4e91\u6253\u5370\u673a";
constexpr unsigned kStatusPollMs = 200;
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

    while (waitAndHandle()) {
    }
    return kExitSpoolerClosed;
}

std::string Monitor::workFolder()
{
    // The client takes job files only from these folders, and only when they are trusted: a file put
    // anywhere else would never be printed.
    for (const std::string& folder : HandOver::workFolderCandidates(
             m_platform.tempFolder(), m_platform.installFolder(), kPathSeparator)) {
        if (!m_platform.isFolder(folder))
            m_platform.makeFolder(folder);
        if (HandOver::isTrustedWorkFolder(folder))
            return folder;
    }
    return std::string();
}

void Monitor::emptyWorkFolder()
{
    const std::string folder = workFolder();
    if (folder.empty())
        return;
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
    if (!m_open)
        return reopen();
    const unsigned timeout = m_pending.empty() && !m_stalled ? Spooler::kInfinite : kRetryMs;
    std::uint32_t changes = 0;
    const SpoolerWait result = m_spooler.waitForChange(timeout, &changes);
    if (result == SpoolerWait::Closed)
        return false;
    if (result == SpoolerWait::Failed) {
        m_platform.print("Printer notification failed, opening the printer again.\n");
        m_spooler.close();
        m_open = false;
        return true;
    }
    if (result == SpoolerWait::Changed)
        handleChange(changes);
    if (retryDue()) {
        handOverPending();
        if (m_stalled)
            handleChange(0);
    }
    return true;
}

bool Monitor::retryDue()
{
    return (m_stalled || !m_pending.empty()) && m_platform.nowMs() - m_lastAttemptMs >= kRetryMs;
}

bool Monitor::reopen()
{
    if (m_spooler.open(kPrinterName, Spooler::Access::OwnJobs)) {
        m_open = true;
        m_reopenMs = kReopenFirstMs;
        if (m_everOpened) {
            // A restarted spooler may count job ids from the start again, and jobs may have been
            // spooled while it was away: take everything it lists now, as if just added.
            m_lastSeen = 0;
            handleChange(Spooler::kChangeAddJob);
        }
        m_everOpened = true;
        return true;
    }
    if (m_reopenMs == kReopenFirstMs)
        m_platform.print("Open printer failed; trying again.\n");
    std::uint32_t changes = 0;
    if (m_spooler.waitForChange(m_reopenMs, &changes) == SpoolerWait::Closed)
        return false;
    m_reopenMs = m_reopenMs * 2 > kReopenLongestMs ? kReopenLongestMs : m_reopenMs * 2;
    // Files the client has not taken yet wait for the spooler: their jobs are deleted once taken.
    return true;
}

void Monitor::handleChange(std::uint32_t changes)
{
    const std::vector<SpoolerJob> jobs = m_spooler.jobs();
    noteArrivals(jobs, changes);
    while (!m_waiting.empty()) {
        const std::uint32_t id = m_waiting.front();
        const std::vector<SpoolerJob> now = m_spooler.jobs();
        const bool listed =
            std::any_of(now.begin(), now.end(), [id](const SpoolerJob& job) { return job.id == id; });
        if (m_held.erase(id) > 0) {
            if (!listed) {
                // Deleted by its user while it waited for its turn.
                m_waiting.pop_front();
                continue;
            }
            m_spooler.resumeJob(id);
        }
        holdOthers(now, id);
        m_stalled = !handleJob(id);
        if (m_stalled)
            return;
        m_waiting.pop_front();
    }
}

void Monitor::noteArrivals(const std::vector<SpoolerJob>& jobs, std::uint32_t changes)
{
    for (const SpoolerJob& job : jobs) {
        if (job.id <= m_lastSeen ||
            std::find(m_waiting.begin(), m_waiting.end(), job.id) != m_waiting.end() ||
            std::any_of(m_pending.begin(), m_pending.end(),
                        [&job](const Pending& pending) { return pending.id == job.id; }))
            continue;
        const bool added = changes & Spooler::kChangeAddJob;
        const bool printing = (changes & Spooler::kChangeSetJob) && (job.status & Spooler::kStatusPrinting);
        // A job paused here is taken in its turn whatever the notification said.
        if (added || printing || m_held.count(job.id) > 0) {
            m_waiting.push_back(job.id);
            m_lastSeen = job.id;
        }
    }
}

void Monitor::holdOthers(const std::vector<SpoolerJob>& jobs, std::uint32_t current)
{
    for (const SpoolerJob& job : jobs) {
        if (job.id == current || m_held.count(job.id) > 0)
            continue;
        const bool known = std::find(m_waiting.begin(), m_waiting.end(), job.id) != m_waiting.end();
        if (!known && job.id <= m_lastSeen)
            continue;
        m_spooler.pauseJob(job.id);
        m_held.insert(job.id);
    }
}

bool Monitor::handleJob(std::uint32_t id)
{
    while (jobStatus(id) & (Spooler::kStatusSpooling | Spooler::kStatusPrinting))
        pauseFor(kStatusPollMs, id);
    waitForPortFile(id);

    m_spooler.pauseJob(id);

    const std::string folder = workFolder();
    if (folder.empty()) {
        m_lastAttemptMs = m_platform.nowMs();
        if (!m_noFolderSaid)
            m_platform.print("No work folder for job files; the job waits in the spooler.\n");
        m_noFolderSaid = true;
        return false;
    }
    m_noFolderSaid = false;
    const std::string jobFile = folder + kPathSeparator + HandOver::kSpoolFilePrefix + std::to_string(id);
    m_platform.removeFile(jobFile);
    m_platform.moveFile(m_portFile, jobFile);
    // The next job must not find this one's output.
    m_platform.removeFile(m_portFile);

    m_platform.print("job id(" + std::to_string(static_cast<int>(id)) + ") : " + jobFile + "\n");

    // The client runs in another folder, so a relative work folder must not reach it as such.
    m_pending.push_back({m_platform.absolutePath(jobFile), id});
    handOverPending();
    return true;
}

std::uint32_t Monitor::jobStatus(std::uint32_t id)
{
    const std::vector<SpoolerJob> jobs = m_spooler.jobs();
    holdOthers(jobs, id);
    for (const SpoolerJob& job : jobs) {
        if (job.id == id)
            return job.status;
    }
    return 0; // gone from the queue: the spooler is done with it
}

void Monitor::pauseFor(unsigned ms, std::uint32_t current)
{
    // In short steps, each pausing what arrived: the port is free once the current job has printed.
    for (unsigned slept = 0; slept < ms; slept += kQueuePollMs) {
        m_platform.sleepMs(ms - slept < kQueuePollMs ? ms - slept : kQueuePollMs);
        holdOthers(m_spooler.jobs(), current);
    }
}

void Monitor::waitForPortFile(std::uint32_t current)
{
    const std::int64_t start = m_platform.nowMs();
    const auto expired = [&] { return (m_platform.nowMs() - start) / 1000 > kPortFileLimitSeconds; };
    while (!m_platform.fileExists(m_portFile) && !expired())
        pauseFor(kQueuePollMs, current);
    std::int64_t size = m_platform.fileSize(m_portFile);
    while (!expired()) {
        pauseFor(kSizePollMs, current);
        const std::int64_t next = m_platform.fileSize(m_portFile);
        if (next == size)
            break;
        size = next;
    }
}

void Monitor::handOverPending()
{
    using HandOver::SendResult;
    const std::int64_t now = m_platform.nowMs();
    m_lastAttemptMs = now;
    // In job order. With no client of this user listening, every later file would fail alike, so none
    // overtakes another; a job the client itself turned down is set aside and the next one goes on.
    for (auto pending = m_pending.begin(); pending != m_pending.end();) {
        if (pending->setAside && now < pending->nextTryMs) {
            ++pending;
            continue;
        }
        const SendResult result = m_platform.handOver(pending->path);
        if (result == SendResult::Taken) {
            m_spooler.deleteJob(pending->id);
            pending = m_pending.erase(pending);
            continue;
        }
        if (result == SendResult::NoClient || result == SendResult::NotOwner)
            return;
        if (!pending->setAside) {
            m_platform.print("job id(" + std::to_string(static_cast<int>(pending->id)) +
                             ") : " + (result == SendResult::Refused ? "refused" : "not answered") +
                             " by the client; it stays paused, later jobs go on.\n");
            m_spooler.setStatusText(pending->id, kSetAsideStatus);
        }
        pending->setAside = true;
        pending->nextTryMs = now + kSetAsideRetryMs;
        ++pending;
    }
}
