#include "JobSend.h"

#include "AConfig.h"
#include "EventWait.h"
#include "JobJournal.h"
#include "JobStatusTexts.h"
#include "JobSweep.h"
#include "PjlRewrite.h"
#include "Secrets.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDebug>
#include <QFile>
#include <QTcpSocket>
#include <QTimer>
#include <set>

namespace {

// Job ids already taken by a sender of this process; a job handed over twice is printed once.
QMutex g_sentMutex;
std::set<int> g_sent;

bool markSent(int jobId)
{
    QMutexLocker lock(&g_sentMutex);
    return g_sent.insert(jobId).second;
}

qint64 nowSec()
{
    return QDateTime::currentSecsSinceEpoch();
}

// Read from disk and handed to the socket at a time; the socket holds at most kMaxBuffered of them.
constexpr qint64 kChunkSize = 256 * 1024;
constexpr qint64 kMaxBuffered = 1024 * 1024;

const auto kUnusedPrinterAddress = QStringLiteral("12.34.56.78");

int taskPagesOf(const SJob& job)
{
    const qint64 pages = job.totalPages();
    const bool countsA3Twice =
        job.size == 2 && job.device.brand != QLatin1String("HANSA CANO") &&
        !(job.device.brand == QLatin1String("Ricoh") && job.device.model == QLatin1String("Ricoh C4504"));
    return int(qMin<qint64>(countsA3Twice ? pages * 2 : pages, INT_MAX));
}

// Brother MFC-8530DN/8540DN print one copy per stream (their copy command was set to 1), so the
// stream goes out once per copy.
int streamCopies(const SJob& job)
{
    const bool perCopy = job.analysed && job.copies >= 2 && job.device.brand == QLatin1String("Brother") &&
                         (job.device.model == QLatin1String("MFC-8530DN") ||
                          job.device.model == QLatin1String("MFC-8540DN")) &&
                         !job.documentName.contains(QStringLiteral("- 记事本"));
    return perCopy ? job.copies : 1;
}

} // namespace

JobSendSettings JobSendSettings::fromConfig(const AConfig& config)
{
    JobSendSettings settings;
    settings.ports = DevicePorts::fromConfig(config);
    settings.waitSeconds = config.wait_s();
    return settings;
}

JobSend::JobSend(const QString& deviceCode, AThreadQueue<SJob>* sweep, const JobSendSettings& settings,
                 JobJournal* journal, QObject* parent)
    : AThreadQueue<SJob>(parent), m_deviceCode(deviceCode), m_sweep(sweep), m_journal(journal),
      m_settings(settings), m_api(settings.ports)
{
    qRegisterMetaType<JobSend::Outcome>();
    qRegisterMetaType<SJob>();
    start(QThread::InheritPriority);
}

JobSend::~JobSend()
{
    m_quitting = true;
    stop();
}

void JobSend::cancel(int job_id)
{
    QMutexLocker lock(&m_cancelMutex);
    m_cancelled.insert(job_id);
}

bool JobSend::isCancelled(int jobId) const
{
    if (m_quitting)
        return true;
    QMutexLocker lock(&m_cancelMutex);
    return m_cancelled.contains(jobId);
}

bool JobSend::waitUnlessCancelled(int ms, int jobId) const
{
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (isCancelled(jobId))
            return false;
        sleepEventsMs(int(qMin<qint64>(100, qMax<qint64>(1, deadline.remainingTime()))));
    }
    return !isCancelled(jobId);
}

void JobSend::finish(const SJob& job, Outcome outcome)
{
    // Sent, cancelled or without its file: no job to offer again.
    if (m_journal && !job.orderId.isEmpty())
        m_journal->forget(job.orderId);
    m_sweep->push(job);
    emit job_ended(job.jobId, outcome);
}

bool JobSend::handleJob(SJob& job)
{
    qInfo() << m_deviceCode << " : job send (" << job.jobId << ") : start " << nowSec() << " , "
            << job.filePath;
    if (!job.resend && !markSent(job.jobId)) {
        qWarning() << "have been print. jobid = " << job.jobId;
        finish(job, AlreadySent);
        return false;
    }
    if (!QFile::exists(job.filePath)) {
        qWarning() << "file no exist (" << job.filePath << ").";
        finish(job, FileMissing);
        return false;
    }
    const QString token = randomString(16);
    if (wait_printer_idle(job, token) == 1) {
        finish(job, Cancelled);
        return false;
    }
    emit job_msg(job.jobId, m_deviceCode, job.device.deviceNickname, job.documentName,
                 JobStatusTexts::sending(), job.totalPages());
    const bool sent = send_pcl(job, token);
    emit job_msg(job.jobId, m_deviceCode, job.device.deviceNickname, job.documentName,
                 sent ? JobStatusTexts::sent() : JobStatusTexts::failed(), job.totalPages());
    qInfo() << m_deviceCode << " : job send (" << job.jobId << ") : end " << nowSec();
    // The user has paid for a confirmed job: when it could not be sent it is kept to be sent again. Its
    // file is never swept before it was sent: when the journal cannot take it (a full disk), it stays
    // where it is and the job stays on offer for this run.
    if (!sent && !job.orderId.isEmpty() && m_journal) {
        const QString spoolFile = job.filePath;
        if (m_journal->keep(job))
            JobSweep::removeDocuments(spoolFile); // the kept stream is what is sent again
        else
            qWarning() << m_deviceCode << " : job send (" << job.jobId << ") : order" << job.orderId
                       << "not kept, its file stays at" << job.filePath;
        emit job_kept(job);
        emit job_ended(job.jobId, Failed);
        return false;
    }
    finish(job, sent ? Sent : Failed);
    return sent;
}

int JobSend::wait_printer_idle(SJob& job, const QString& token)
{
    for (;;) {
        if (isCancelled(job.jobId)) {
            qDebug() << "wait_printer_idle : job cancel. id = " << job.jobId;
            return 1;
        }
        QString message;
        const int result = m_api.is_can_print(token, job.device, message);
        qDebug() << "wait_printer_idle : " << result << ", " << message;
        if (result == 0)
            return 0;
        if (result == 2201 || result == 2208)
            emit information_rb(message, 5);
        waitUnlessCancelled(m_settings.timing.busyPollMs, job.jobId);
    }
}

bool JobSend::send_pcl(SJob& job, const QString& token)
{
    job.taskPages = taskPagesOf(job);
    m_api.printer_info(job, token);

    if (!job.rewritten) {
        add_user_password(job);
        rewrite_for_device(job);
        job.rewritten = true;
        // Sent again after a crash, the file must not be rewritten twice.
        if (m_journal && !job.orderId.isEmpty())
            m_journal->record(job);
    }
    if (!m_api.port_control(job, token, true)) {
        qWarning() << "Open port error, ip = " << job.device.deviceIp;
        m_api.close_port(job, token);
        qWarning() << "job id(" << job.jobId << ") : pre process failed.";
        return false;
    }

    QTimer keepalive;
    keepalive.setInterval(m_settings.timing.keepaliveMs);
    QObject::connect(&keepalive, &QTimer::timeout, [this, &job, &token] { m_api.keepalive(job, token); });
    keepalive.start();

    QString host = job.device.deviceIp;
    int port = m_settings.ports.raw;
    if (job.device.brand == QLatin1String("Brother") && job.device.model == QLatin1String("HL-5585D")) {
        port = m_settings.ports.brotherRaw;
    } else if (!job.device.printerAddress.isEmpty() && job.device.printerAddress != kUnusedPrinterAddress) {
        host = job.device.printerAddress;
    }
    bool written = false;
    QFile file(job.filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "file open fail";
    } else {
        QTcpSocket socket;
        socket.connectToHost(host, quint16(port));
        if (!socket.waitForConnected(m_settings.timing.socketWaitMs)) {
            qWarning() << "send_pcl : connect printer failed " << host << " : " << port;
        } else if (!writeStream(file, socket, job.jobId, streamCopies(job))) {
            qWarning() << "send_pcl : send to printer failed " << host << " : " << port << " , "
                       << socket.errorString();
            socket.abort();
        } else {
            written = true;
            wait_task_finish(job, token);
            socket.disconnectFromHost();
            sleepEventsMs(100);
        }
    }
    keepalive.stop();
    m_api.close_port(job, token);
    return written;
}

bool JobSend::writeStream(QFile& file, QTcpSocket& socket, int jobId, int copies)
{
    const qint64 size = file.size();
    QByteArray chunk(int(kChunkSize), Qt::Uninitialized);
    for (int copy = 0; copy < copies; ++copy) {
        if (!file.seek(0))
            return false;
        qint64 written = 0;
        for (;;) {
            if (isCancelled(jobId))
                return false;
            const qint64 got = file.read(chunk.data(), kChunkSize);
            if (got < 0)
                return false;
            if (got == 0)
                break;
            if (socket.write(chunk.constData(), got) != got)
                return false;
            written += got;
            if (!drain(socket, kMaxBuffered, jobId))
                return false;
        }
        qInfo() << "send_pcl : send to printer " << written << " / " << size << " , " << nowSec();
    }
    return drain(socket, 0, jobId) && socket.state() == QAbstractSocket::ConnectedState;
}

bool JobSend::drain(QTcpSocket& socket, qint64 limit, int jobId)
{
    const int waitMs = m_settings.timing.socketWaitMs;
    QDeadlineTimer stalled(waitMs);
    qint64 left = socket.bytesToWrite();
    while (left > limit) {
        // In short steps, so that a cancel is seen while a slow printer holds the stream back.
        socket.waitForBytesWritten(100);
        if (isCancelled(jobId) || socket.state() != QAbstractSocket::ConnectedState)
            return false;
        const qint64 now = socket.bytesToWrite();
        if (now < left)
            stalled.setRemainingTime(waitMs);
        else if (stalled.hasExpired())
            return false;
        left = now;
    }
    return true;
}

void JobSend::wait_task_finish(SJob& job, const QString& token)
{
    qInfo() << "wait_task_finish : start " << nowSec();
    int unchanged = 0;
    int lastPercent = 0;
    int lastStatus = 0;
    for (;;) {
        if (!waitUnlessCancelled(m_settings.timing.progressPollMs, job.jobId))
            break;
        QString orderId;
        int status = 0;
        int percent = 0;
        m_api.task_process(token, job.device, orderId, status, percent);
        qInfo() << "wait_task_finish : " << orderId << ", " << status << ", " << percent << "%";
        lastStatus = status;
        if (status == 3 || status == 4 || status == 5 || percent >= 90) {
            qInfo() << "task finish.";
            break;
        }
        if (percent == lastPercent) {
            if (++unchanged > 2) {
                qInfo() << "task process no change over 3 times.";
                if (lastStatus == 2 && m_settings.waitSeconds >= 0) {
                    qInfo() << "task wait : " << m_settings.waitSeconds << " s";
                    waitUnlessCancelled(m_settings.waitSeconds * 1000, job.jobId);
                }
                break;
            }
        } else {
            unchanged = 0;
        }
        lastPercent = percent;
    }
    qInfo() << "wait_task_finish : end " << nowSec();
}
