#include "JobSweep.h"

#include "JobListen.h"

#include <QFile>
#include <QFileInfo>

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
    // The print backend keeps the printed document beside its job files, for printing later.
    const QString spool = QFileInfo(JobListen::userSpoolFolder()).canonicalFilePath();
    if (!spool.isEmpty() && job.filePath.startsWith(spool + QLatin1Char('/'))) {
        QFile::remove(job.filePath + QStringLiteral(".document.pdf"));
        QFile::remove(job.filePath + QStringLiteral(".document.ps"));
    }
    return true;
}
