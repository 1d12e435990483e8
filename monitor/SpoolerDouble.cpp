#include "SpoolerDouble.h"

#include <algorithm>
#include <fstream>

void SpoolerDouble::sleepMs(unsigned ms)
{
    const std::int64_t until = m_nowMs + ms;
    while (runNextStep(until)) {
    }
    m_nowMs = until;
}

void SpoolerDouble::at(std::int64_t ms, std::function<void()> step)
{
    m_script.emplace(ms, std::move(step));
}

bool SpoolerDouble::runNextStep(std::int64_t untilMs)
{
    if (m_script.empty() || m_script.begin()->first > untilMs)
        return false;
    const auto next = m_script.begin();
    m_nowMs = std::max(m_nowMs, next->first);
    const std::function<void()> step = std::move(next->second);
    m_script.erase(next);
    step();
    despool();
    return true;
}

void SpoolerDouble::addJob(std::uint32_t id, std::uint32_t status, bool notify)
{
    m_queue.push_back({{id, status}, -1});
    if (notify)
        signal(kChangeAddJob);
}

void SpoolerDouble::setStatus(std::uint32_t id, std::uint32_t status, bool notify)
{
    if (QueuedJob* queued = find(id))
        queued->job.status = status;
    if (notify)
        signal(kChangeSetJob);
}

void SpoolerDouble::removeJob(std::uint32_t id)
{
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                 [id](const QueuedJob& queued) { return queued.job.id == id; }),
                  m_queue.end());
}

void SpoolerDouble::signal(std::uint32_t changes)
{
    m_changes |= changes;
}

void SpoolerDouble::vanishAfterListings(std::uint32_t id, int listings)
{
    if (QueuedJob* queued = find(id))
        queued->listingsLeft = listings;
}

void SpoolerDouble::printJob(std::int64_t startMs, std::uint32_t id, const std::string& portFile,
                             const std::vector<std::string>& pieces, std::int64_t pieceGapMs,
                             std::int64_t statusClearMs)
{
    at(startMs, [this, id] { addJob(id, kStatusSpooling); });
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::string piece = pieces[i];
        at(startMs + std::int64_t(i) * pieceGapMs, [portFile, piece] { appendToFile(portFile, piece); });
    }
    at(startMs + statusClearMs, [this, id] { setStatus(id, 0); });
}

void SpoolerDouble::appendToFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << bytes;
}

std::vector<std::uint32_t> SpoolerDouble::queuedIds() const
{
    std::vector<std::uint32_t> ids;
    for (const QueuedJob& queued : m_queue)
        ids.push_back(queued.job.id);
    return ids;
}

void SpoolerDouble::spoolToPort(std::int64_t startMs, std::uint32_t id, const std::string& portFile,
                                const std::string& bytes, std::int64_t spoolMs, std::int64_t printMs)
{
    at(startMs, [=] {
        m_portJobs[id] = {portFile, bytes, printMs};
        addJob(id, kStatusSpooling);
    });
    at(startMs + spoolMs, [this, id] {
        if (QueuedJob* queued = find(id))
            queued->job.status &= ~kStatusSpooling;
        signal(kChangeSetJob);
    });
}

void SpoolerDouble::despool()
{
    if (m_portBusy || m_down)
        return;
    for (QueuedJob& queued : m_queue) {
        const auto port = m_portJobs.find(queued.job.id);
        if (port == m_portJobs.end() || (queued.job.status & (kStatusSpooling | kStatusPaused)))
            continue;
        queued.job.status |= kStatusPrinting;
        signal(kChangeSetJob);
        std::ofstream(port->second.portFile, std::ios::binary | std::ios::trunc) << port->second.bytes;
        m_portBusy = true;
        const std::uint32_t id = queued.job.id;
        at(m_nowMs + port->second.printMs, [this, id] {
            m_portBusy = false;
            m_portJobs.erase(id);
            removeJob(id);
            signal(kChangeSetJob);
        });
        return;
    }
}

void SpoolerDouble::restart(std::int64_t atMs, std::int64_t downMs)
{
    at(atMs, [this] {
        m_down = true;
        ++m_generation;
    });
    at(atMs + downMs, [this] { m_down = false; });
}

bool SpoolerDouble::open(const std::u16string& printerName, Access access)
{
    m_printerName = printerName;
    m_opened = !m_down && !(access == Access::Administer && m_refuseAdminister);
    m_openGeneration = m_generation;
    return m_opened;
}

SpoolerWait SpoolerDouble::waitForChange(unsigned timeoutMs, std::uint32_t* changes)
{
    const std::int64_t deadline = timeoutMs == kInfinite ? INT64_MAX : m_nowMs + timeoutMs;
    while (!m_opened || m_openGeneration != m_generation || m_changes == 0) {
        if (m_opened && m_openGeneration != m_generation)
            return SpoolerWait::Failed;
        if (m_script.empty())
            return SpoolerWait::Closed;
        if (!runNextStep(deadline)) {
            m_nowMs = deadline;
            return SpoolerWait::TimedOut;
        }
    }
    *changes = m_changes;
    m_changes = 0;
    return SpoolerWait::Changed;
}

std::vector<SpoolerJob> SpoolerDouble::jobs()
{
    std::vector<SpoolerJob> listed;
    if (!m_opened || m_openGeneration != m_generation)
        return listed;
    for (QueuedJob& queued : m_queue) {
        listed.push_back(queued.job);
        if (queued.listingsLeft > 0)
            --queued.listingsLeft;
    }
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                 [](const QueuedJob& queued) { return queued.listingsLeft == 0; }),
                  m_queue.end());
    return listed;
}

void SpoolerDouble::pauseJob(std::uint32_t id)
{
    m_controls.push_back({Control::Pause, id, m_nowMs});
    if (QueuedJob* queued = find(id))
        queued->job.status |= kStatusPaused;
}

void SpoolerDouble::setStatusText(std::uint32_t id, const std::u16string& text)
{
    if (find(id))
        m_statusTexts[id] = text;
}

std::u16string SpoolerDouble::statusText(std::uint32_t id) const
{
    const auto text = m_statusTexts.find(id);
    return text == m_statusTexts.end() ? std::u16string() : text->second;
}

void SpoolerDouble::resumeJob(std::uint32_t id)
{
    m_controls.push_back({Control::Resume, id, m_nowMs});
    if (QueuedJob* queued = find(id))
        queued->job.status &= ~kStatusPaused;
    despool();
}

void SpoolerDouble::deleteJob(std::uint32_t id)
{
    m_controls.push_back({Control::Delete, id, m_nowMs});
    removeJob(id);
    despool();
}

SpoolerDouble::QueuedJob* SpoolerDouble::find(std::uint32_t id)
{
    for (QueuedJob& queued : m_queue) {
        if (queued.job.id == id)
            return &queued;
    }
    return nullptr;
}
