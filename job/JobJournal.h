#pragma once

#include "SJob.h"

#include <QList>
#include <QMutex>
#include <QString>

// Jobs the user was charged for whose send failed. Each is kept until it is sent again or for
// kKeepDays: its spool file moves into the journal's folder (out of reach of the spooler, which may
// reuse the job's file name, and of the start-up cleaning), and a record of the job, with its device
// but without the device's credentials, stays in "journal.json" there, so that the job survives a
// restart. Thread-safe: the senders keep jobs while the GUI thread lists and resends them.
class JobJournal
{
public:
    static constexpr int kKeepDays = 7;

    // folder: where kept spool files and the record live; made on first use.
    explicit JobJournal(QString folder);

    // Moves the job's spool file into the journal and records the job (its filePath then names the
    // kept file). False, with the job left as it was, when the file cannot be kept: the caller treats
    // the job as lost as before.
    bool keep(SJob& job);
    // Forgets the job of this order after it was sent again; its file is the sweep's to delete.
    void forget(const QString& orderId);
    // The kept jobs, oldest first.
    QList<SJob> jobs() const;
    // Deletes the jobs kept for longer than kKeepDays (by AClock), file and record; returns how many.
    int expire();

    const QString& folder() const { return m_folder; }

private:
    struct Entry
    {
        SJob job;
        qint64 keptAt = 0; // UTC seconds
    };

    QList<Entry> load() const;
    bool save(const QList<Entry>& entries) const;
    QString recordPath() const;

    const QString m_folder;
    mutable QMutex m_mutex;
};
