#include "JobRun.h"

#include "AConfig.h"
#include "AMessageBox.h"
#include "ASingleton.h"
#include "AppDir.h"
#include "EventWait.h"
#include "JobAnalysis.h"
#include "JobSend.h"
#include "JobStatusTexts.h"
#include "JobStatusWidget.h"
#include "JobSweep.h"
#include "LogText.h"
#include "LoginLoop.h"
#include "UIWait.h"

#include <QDebug>
#include <QFile>
#include <algorithm>

JobRun::JobRun(JobSweep* sweep, JobStatusWidget* status, QObject* parent)
    : ATimerQueue<SJob>(parent), m_sweep(sweep), m_status(status),
      m_journal(stateDir() + QStringLiteral("kept_jobs"))
{
    connect(m_status, &JobStatusWidget::job_resend, this, [this](int jobId) { resend(jobId); });
    m_journal.expire();
    // Spooler job ids start again after a restart; kept jobs take ids below zero, which it never uses.
    // The window offers the newest few; the others stay kept until they expire.
    const QList<SJob> kept = m_journal.jobs();
    const int offered = std::min<int>(kept.size(), kOfferedAtMost);
    if (kept.size() > offered)
        qWarning() << "job run :" << kept.size() << "kept jobs, the newest" << offered << "offered";
    int keptId = 0;
    for (auto job = kept.end() - offered; job != kept.end(); ++job)
        offer(*job, --keptId);
    if (offered == 1)
        tellKept(kept.last());
    else if (offered > 1)
        emit m_status->information_rb(
            QStringLiteral("%1个已付款的打印任务未能发送。文件已保留%2天，可在打印任务列表中点击“重新发送”。")
                .arg(kept.size())
                .arg(JobJournal::kKeepDays),
            10);
    start(idleInterval);
}

JobRun::~JobRun() = default;

bool JobRun::handleJob(SJob& job)
{
    qInfo() << "job run (" << job.jobId << ") : start , " << logExcerpt(job.filePath);
    // The file of an order paid in an earlier run, handed over again: it is offered for sending again,
    // never priced and paid a second time.
    if (m_journal.holds(job.filePath)) {
        qWarning() << "job run (" << job.jobId << ") : the file of a paid order, not taken again";
        return false;
    }
    // The listener took the file when it was there: gone now, it is not coming back, and a queue of such
    // jobs must not cost the user's next job a pause each.
    if (!QFile::exists(job.filePath)) {
        qWarning() << "job (" << job.jobId << ") : its file is gone.";
        tellFailure(QStringLiteral("打印文件生成失败，请重新下发打印任务."));
        return false;
    }
    sleepEventsMs(300);
    if (!analyse(job)) {
        qWarning() << "job (" << job.jobId << ") : get page failed.";
        tellFailure(QStringLiteral("解析文件失败，请重新下发打印任务."));
        m_sweep->push(job);
        return false;
    }
    m_failuresTold.clear();
    qInfo() << "job (" << job.jobId << ") : page(" << job.pages << "), color(" << job.color << "), size("
            << job.size << "), duplex(" << job.duplex << "), copies(" << job.copies << ")";

    if (!runLoginAndMainWindow(&job) || job.state == SJob::ContinuedOnline || job.state == SJob::PrintLater ||
        job.state == SJob::OrderedForDelivery) {
        m_sweep->push(job);
        return true;
    }
    queueForDevice(job);
    qInfo() << "job run (" << job.jobId << ") : end";
    return true;
}

void JobRun::tellFailure(const QString& text)
{
    if (m_failuresTold.contains(text))
        return;
    m_failuresTold.insert(text);
    infoBox(text);
}

// Measures the stream on the wait window's worker thread; true when a usable page count was found.
bool JobRun::analyse(SJob& job)
{
    UIWait wait;
    wait.setTask([&job] {
        sleepEventsMs(300);
        analyseJob(job);
    });
    wait.runTask();
    return job.pages >= 1;
}

void JobRun::queueForDevice(const SJob& job)
{
    // Paid: recorded before it waits for the device, so that a run that ends before it was sent leaves
    // it to be offered again rather than taken for a new job.
    if (!job.orderId.isEmpty() && !m_journal.record(job))
        qWarning() << "job run (" << job.jobId << ") : order" << job.orderId << "not recorded before sending";
    emit m_status->job_msg(job.jobId, job.device.deviceCode, job.device.deviceNickname, job.documentName,
                           JobStatusTexts::waiting(), job.totalPages());
    if (job.device.deviceStatus == DeviceEntry::Busy)
        m_status->show();
    senderFor(job.device.deviceCode)->push(job);
}

void JobRun::offer(SJob job, int jobId)
{
    job.jobId = jobId;
    qInfo() << "job run (" << jobId << ") : order" << job.orderId << "offered for sending again";
    emit m_status->job_msg(job.jobId, job.device.deviceCode, job.device.deviceNickname, job.documentName,
                           JobStatusTexts::failed(), job.totalPages());
    m_kept[job.jobId] = job;
    m_status->offerResend(job.jobId);
    m_status->show();
}

void JobRun::tellKept(const SJob& job)
{
    QString text;
    if (m_journal.holds(job.filePath))
        text = QStringLiteral(
                   "订单%1已付款，但打印任务未能发送。文件已保留%2天，可在打印任务列表中点击“重新发送”。")
                   .arg(job.orderId)
                   .arg(JobJournal::kKeepDays);
    else // the journal could not record it: it is on offer until the client ends
        text =
            QStringLiteral("订单%1已付款，但打印任务未能发送，文件未能保留：请在退出程序前点击“重新发送”。")
                .arg(job.orderId);
    emit m_status->information_rb(text, 10);
}

void JobRun::onJobKept(const SJob& job)
{
    m_kept[job.jobId] = job;
    m_status->offerResend(job.jobId);
    m_status->show();
    tellKept(job);
}

void JobRun::resend(int jobId)
{
    const auto kept = m_kept.find(jobId);
    if (kept == m_kept.end())
        return;
    SJob job = kept->second;
    m_kept.erase(kept);
    job.resend = true;
    qInfo() << "job run (" << jobId << ") : send order" << job.orderId << "again";
    emit m_status->job_msg(job.jobId, job.device.deviceCode, job.device.deviceNickname, job.documentName,
                           JobStatusTexts::waiting(), job.totalPages());
    senderFor(job.device.deviceCode)->push(job);
}

JobSend* JobRun::senderFor(const QString& deviceCode)
{
    std::unique_ptr<JobSend>& sender = m_senders[deviceCode];
    if (sender)
        return sender.get();
    sender = std::make_unique<JobSend>(
        deviceCode, m_sweep, JobSendSettings::fromConfig(*ASingleton<AConfig>::instance()), &m_journal);
    connect(sender.get(), &JobSend::job_kept, this, [this](const SJob& job) { onJobKept(job); });
    // The sender runs on its own thread: its reports are queued to the window, while a cancel reaches
    // it at once (it is waiting for the device, not for events).
    connect(sender.get(), &JobSend::job_msg, m_status, &JobStatusWidget::job_msg, Qt::QueuedConnection);
    connect(sender.get(), &JobSend::information_rb, m_status, &JobStatusWidget::information_rb,
            Qt::QueuedConnection);
    connect(m_status, &JobStatusWidget::job_cancel, sender.get(), &JobSend::cancel, Qt::DirectConnection);
    return sender.get();
}
