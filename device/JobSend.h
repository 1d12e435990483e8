#pragma once

#include "AThreadQueue.h"
#include "DeviceApi.h"
#include "SJob.h"

#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <atomic>

class AConfig;
class JobJournal;
class QFile;
class QTcpSocket;

// How long a sender waits between its questions to the device and for its raw connection.
struct SendTiming
{
    int busyPollMs = 15000;     // a device that cannot print yet is asked again after this
    int progressPollMs = 10000; // the printer's task progress is polled this often
    int keepaliveMs = 20000;    // the box's session is kept alive this often while a job is sent
    int socketWaitMs = 30000;   // for the raw connection to be made, and for written bytes to leave
};

struct JobSendSettings
{
    DevicePorts ports;
    SendTiming timing;
    int waitSeconds = 0; // extra wait after a device reported its task busy (status 2)

    static JobSendSettings fromConfig(const AConfig& config);
};

// Delivers confirmed jobs to one shared print device, one after the other on its own thread: waits
// until the device can print, rewrites the stream for its brand, opens the port through the control
// box, writes the stream over raw TCP, follows the printer's progress, closes the port and hands the
// job to the sweep. Windowless: the status it reports goes out through its signals.
class JobSend : public AThreadQueue<SJob>
{
    Q_OBJECT

public:
    // How a job left the sender; every job ends on the sweep queue whatever the outcome.
    enum Outcome
    {
        Sent,
        Failed,
        Cancelled,
        AlreadySent,
        FileMissing
    };
    Q_ENUM(Outcome)

    // journal: where confirmed (charged) jobs whose send failed are kept instead of swept; without one
    // they are swept too.
    JobSend(const QString& deviceCode, AThreadQueue<SJob>* sweep, const JobSendSettings& settings,
            JobJournal* journal = nullptr, QObject* parent = nullptr);
    // Ends a job that is still waiting for the device; one that is being written stops too.
    ~JobSend() override;

    const QString& deviceCode() const { return m_deviceCode; }

public slots:
    // Thread-safe; meant to be connected directly. A job waiting for its device leaves at once; one
    // being sent stops sending and ends "发送失败".
    void cancel(int job_id);

signals:
    void job_msg(int job_id, const QString& device_code, const QString& device_name, const QString& doc_name,
                 const QString& job_status, int job_pages);
    void information_rb(const QString& msg, int auto_close_time);
    // After the job was handed to the sweep, or kept in the journal.
    void job_ended(int job_id, JobSend::Outcome outcome);
    // A charged job failed and waits to be sent again: kept in the journal (its filePath in the journal's
    // folder), or, when the journal could not keep it, left where it is for this run.
    void job_kept(const SJob& job);

protected:
    bool handleJob(SJob& job) override;

private:
    // 0 when the device can print, 1 when the job was cancelled meanwhile.
    int wait_printer_idle(SJob& job, const QString& token);
    bool send_pcl(SJob& job, const QString& token);
    void wait_task_finish(SJob& job, const QString& token);
    // Writes the file copies times over the connection, a chunk at a time; false when not every byte
    // was handed to the network (or the job was cancelled meanwhile).
    bool writeStream(QFile& file, QTcpSocket& socket, int jobId, int copies);
    // Waits until no more than limit bytes wait in the socket; false when the job is cancelled, the
    // connection breaks, or nothing leaves for the socket wait time.
    bool drain(QTcpSocket& socket, qint64 limit, int jobId);

    bool isCancelled(int jobId) const;
    // Waits while processing events; false when the job was cancelled meanwhile.
    bool waitUnlessCancelled(int ms, int jobId) const;
    void finish(const SJob& job, Outcome outcome);

    const QString m_deviceCode;
    AThreadQueue<SJob>* const m_sweep;
    JobJournal* const m_journal;
    const JobSendSettings m_settings;
    const DeviceApi m_api;
    mutable QMutex m_cancelMutex;
    QSet<int> m_cancelled;
    std::atomic<bool> m_quitting{false};
};
