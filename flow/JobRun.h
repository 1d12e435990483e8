#pragma once

#include "ATimerQueue.h"
#include "SJob.h"

class JobStatusWidget;
class JobSweep;

// Takes each received job on the GUI thread: checks its file, measures the stream on a worker thread,
// lets the user choose where to print, and hands the job on to a device sender or to the sweep.
class JobRun : public ATimerQueue<SJob>
{
public:
    JobRun(JobSweep* sweep, JobStatusWidget* status, QObject* parent = nullptr);

protected:
    bool handleJob(SJob& job) override;

private:
    bool analyse(SJob& job);
    void queueForDevice(const SJob& job);

    JobSweep* m_sweep;
    JobStatusWidget* m_status;
};
