#include "JobListen.h"

#include <QRegularExpression>
#include <QTcpSocket>

JobListen::JobListen(ATimerQueue<SJob>* jobs, QObject* parent, quint16 port)
    : QTcpServer(parent), m_jobs(jobs)
{
    listen(QHostAddress::LocalHost, port);
    qInfo() << "listener" << port << "start running.";
    connect(this, &QTcpServer::newConnection, this, &JobListen::acceptConnections);
}

JobListen::~JobListen()
{
    close();
}

void JobListen::acceptConnections()
{
    while (hasPendingConnections()) {
        QTcpSocket* socket = nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readJob(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void JobListen::readJob(QTcpSocket* socket)
{
    if (socket->bytesAvailable() <= 0)
        return;
    SJob job;
    const QByteArray payload = socket->readAll();
    if (!jobFromPayload(payload, &job)) {
        // Only the monitor's spool files may enter the pipeline: the sweep deletes whatever file a job names.
        qWarning() << "listener : refused job file" << job.filePath;
        return;
    }
    m_jobs->push(job);
}

bool JobListen::jobFromPayload(const QByteArray& payload, SJob* job)
{
    const int end = payload.indexOf('\0');
    job->filePath = QString::fromLocal8Bit(end < 0 ? payload : payload.left(end));
    job->filePath.replace(QLatin1Char('\\'), QLatin1Char('/'));
    job->convertedPath = job->filePath + QStringLiteral(".pdf");
    job->jobId = job->filePath.mid(job->filePath.lastIndexOf(QLatin1Char('.')) + 1).toInt();
    static const QRegularExpression spoolFile(QStringLiteral("^PavkoPort\\.[0-9]+$"));
    return spoolFile.match(job->filePath.mid(job->filePath.lastIndexOf(QLatin1Char('/')) + 1)).hasMatch();
}
