#include "JobRun.h"

#include "AMessageBox.h"
#include "AUtil.h"
#include "JobSweep.h"

#include <QDebug>
#include <QFile>

JobRun::JobRun(JobSweep* sweep, JobStatusWidget* status, QObject* parent)
    : ATimerQueue<SJob>(parent), m_sweep(sweep), m_status(status)
{
    start(idleInterval);
}

bool JobRun::handleJob(SJob& job)
{
    qInfo() << "job run (" << job.jobId << ") : start ," << job.filePath;
    sleepEventsMs(300);
    if (!QFile::exists(job.filePath)) {
        infoBox(QStringLiteral("打印文件生成失败，请重新下发打印任务."));
        return false;
    }
    m_sweep->push(job);
    return true;
}
