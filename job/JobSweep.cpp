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
    removeDocuments(job.filePath);
    return true;
}

void JobSweep::removeDocuments(const QString& spoolFile)
{
    const QString spool = QFileInfo(JobListen::userSpoolFolder()).canonicalFilePath();
    if (spool.isEmpty() || !spoolFile.startsWith(spool + QLatin1Char('/')))
        return;
    QFile::remove(spoolFile + QStringLiteral(".document.pdf"));
    QFile::remove(spoolFile + QStringLiteral(".document.ps"));
}
