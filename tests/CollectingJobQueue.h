#pragma once

#include "ATimerQueue.h"
#include "SJob.h"

#include <QList>

// Stands in for the client's job runner: keeps, in order, every job handed to it on a tick.
class CollectingJobQueue : public ATimerQueue<SJob>
{
public:
    QList<SJob> jobs;

protected:
    bool handleJob(SJob& job) override
    {
        jobs.append(job);
        return true;
    }
};
