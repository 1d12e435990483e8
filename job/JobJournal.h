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
// A paid job is recorded before its send starts, with its spool file and the name it will be kept
// under, and forgotten once it left the sender. So a process that dies while sending, or cannot move the
// file, or dies between the move and the record's next write, leaves a record from which the next run
// finds the file (in the folder, else where it was spooled) and offers it again: it is never taken for
// a new job and paid again.
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

    // Records the paid job and where its file lies now, before it is sent (again after a change such
    // as the device's rewrite); the file stays where it is. False when the record cannot be written.
    bool record(const SJob& job);
    // Moves the job's spool file into the journal and records the job (its filePath then names the
    // kept file). False when the file cannot be kept: with the job and its file left as they were, and
    // recorded only when the job was recorded before.
    bool keep(SJob& job);
    // Forgets the job of this order once it left the sender; its file is the sweep's to delete.
    void forget(const QString& orderId);
    // The kept jobs, oldest first; filePath is where the file lies, in the folder or where it was spooled.
    QList<SJob> jobs() const;
    // Whether the file is a recorded paid job's, to be sent again only through the journal.
    bool holds(const QString& filePath) const;
    // Deletes the jobs kept for longer than kKeepDays (by AClock), file and record; returns how many.
    int expire();

    const QString& folder() const { return m_folder; }

private:
    struct Entry
    {
        SJob job;          // filePath: the kept file's name alone
        qint64 keptAt = 0; // UTC seconds
        QByteArray json;   // the entry as the record holds it, once written
        QString from;      // where the file lies until it is moved in; empty once it is in the folder
    };

    // Reads the record on first use, dropping the entries whose file is not the journal's.
    void loadOnce() const;
    QList<Entry> read() const;
    // Writes the record whole; each entry's text is made once and reused by later saves.
    bool save(QList<Entry>& entries) const;
    QString recordPath() const;
    // Where the entry's file lies: in the folder, or where it was spooled while not moved in.
    QString pathOf(const Entry& entry) const;
    // Takes a file that a record written before a send names in place of a kept one: the one moved in
    // already, else the spooled one, which is moved in when it can be. False when neither is there.
    bool adopt(Entry& entry) const;
    // Writes entries with the job's entry (from: where its file lies) in place of its order's earlier one.
    bool recordLocked(const SJob& job, const QString& from);
    // A name for the job's file that neither a record nor a file in the folder has.
    QString freeName(const SJob& job) const;

    const QString m_folder;
    mutable QMutex m_mutex;
    mutable bool m_loaded = false;
    mutable QList<Entry> m_entries;
};
