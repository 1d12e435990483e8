#pragma once

#include "ATimerQueue.h"
#include "JobJournal.h"
#include "SJob.h"

#include <QSet>
#include <QString>
#include <map>
#include <memory>

class JobSend;
class JobStatusWidget;
class JobSweep;

// Takes each received job on the GUI thread: checks its file, measures the stream on a worker thread,
// lets the user choose where to print, and hands the job on to a device sender or to the sweep.
class JobRun : public ATimerQueue<SJob>
{
public:
    // How many jobs kept from earlier runs the status window offers: the newest.
    static constexpr int kOfferedAtMost = 50;

    // Jobs kept from earlier runs are listed in the status window at once, ready to be sent again.
    JobRun(JobSweep* sweep, JobStatusWidget* status, QObject* parent = nullptr);
    ~JobRun() override;

protected:
    bool handleJob(SJob& job) override;

private:
    bool analyse(SJob& job);
    // Shows the failure's box unless it was shown since the last job that got through: a run of jobs
    // failing alike raises one box, not one each.
    void tellFailure(const QString& text);
    void queueForDevice(const SJob& job);
    // The device's sender, made on first use and reporting to the status window.
    JobSend* senderFor(const QString& deviceCode);
    // A kept job's row, under that id, offers to send it again.
    void offer(SJob job, int jobId);
    // Tells the user that the paid job waits to be sent again.
    void tellKept(const SJob& job);
    // A charged job could not be sent: its row offers to send it again, and the user is told.
    void onJobKept(const SJob& job);
    void resend(int jobId);

    JobSweep* m_sweep;
    JobStatusWidget* m_status;
    JobJournal m_journal;
    std::map<int, SJob> m_kept; // offered for sending again, by the id of their row; GUI thread only
    std::map<QString, std::unique_ptr<JobSend>> m_senders; // by device code; GUI thread only
    QSet<QString> m_failuresTold;                          // the failures' texts; GUI thread only
};
