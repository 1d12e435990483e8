#pragma once

#include "AThreadQueue.h"
#include "SJob.h"

// The end of every job: deletes its spool file, and its converted document when one was written.
class JobSweep : public AThreadQueue<SJob>
{
public:
    explicit JobSweep(QObject* parent = nullptr);
    ~JobSweep() override;

    // Deletes the documents the print backend keeps beside spoolFile for printing later, when spoolFile
    // lies in this user's spool folder: they go with their job, however it ends.
    static void removeDocuments(const QString& spoolFile);

protected:
    bool handleJob(SJob& job) override;
};
