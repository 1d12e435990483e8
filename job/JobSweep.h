#pragma once

#include "AThreadQueue.h"
#include "SJob.h"

// The end of every job: deletes its spool file, and its converted document when one was written.
class JobSweep : public AThreadQueue<SJob>
{
public:
    explicit JobSweep(QObject* parent = nullptr);
    ~JobSweep() override;

protected:
    bool handleJob(SJob& job) override;
};
