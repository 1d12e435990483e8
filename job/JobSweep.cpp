#include "JobSweep.h"

#include <QFile>

JobSweep::JobSweep(QObject* parent) : AThreadQueue<SJob>(parent)
{
    start(QThread::InheritPriority);
}

JobSweep::~JobSweep()
{
    stop();
}

bool JobSweep::handleJob(SJob& job)
{
    QFile::remove(job.filePath);
    if (!job.convertedPath.isEmpty() && job.converted)
        QFile::remove(job.convertedPath);
    return true;
}
