#pragma once

#include "SJob.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

// Jobs the user was charged for whose send failed. Each is kept until it is sent again or for
// kKeepDays: its spool file moves into the journal's folder (out of reach of the spooler, which may
// reuse the job's file name, and of the start-up cleaning), and a record of the job, with its device
// but without the device's credentials, stays in "journal.json" there, so that the job survives a
// restart. Thread-safe: the senders keep jobs while the GUI thread lists and resends them.
//
// The journal trusts no file name it reads back: a record's file must be a plain file directly in its
// folder, under a name the journal gives, and no other record's. A record naming anything else is
// dropped with a log line; its file is never sent or deleted. Each kept file belongs to one record,
// which alone deletes it. The records are read once, on first use, and held in memory.
class JobJournal
{
public:
    static constexpr int kKeepDays = 7;

    // folder: where kept spool files and the record live; made on first use.
    explicit JobJournal(QString folder);

    // Moves the job's spool file into the journal and records the job (its filePath then names the
    // kept file). False, with the job and its file left as they were, when the file cannot be kept
    // (it cannot be moved, or the record cannot be written).
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
        SJob job;          // filePath: the kept file's name alone
        qint64 keptAt = 0; // UTC seconds
        QByteArray json;   // the entry as the record holds it, once written
    };

    // Reads the record on first use, dropping the entries whose file is not the journal's.
    void loadOnce() const;
    QList<Entry> read() const;
    // Writes the record whole; each entry's text is made once and reused by later saves.
    bool save(QList<Entry>& entries) const;
    QString recordPath() const;
    QString pathOf(const Entry& entry) const;
    // A name for the job's file that neither a record nor a file in the folder has.
    QString freeName(const SJob& job) const;

    const QString m_folder;
    mutable QMutex m_mutex;
    mutable bool m_loaded = false;
    mutable QList<Entry> m_entries;
};
