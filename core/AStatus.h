#pragma once

#include <QJsonObject>
#include <QString>

// The client's small mutable state (login, run mode, last choices), kept in status.db between runs.
// Setters change memory only; callers save when the values should survive.
class AStatus
{
public:
    // The stored values of "run_mode".
    enum RunMode
    {
        Basic = 1,          // every user logs in by QR code
        EnterpriseOpen = 2, // an enterprise id is stored, nobody logs in
        Merchant = 3        // a store merchant's id is stored
    };

    // Loads dir + "status.db"; dir ends with "/".
    explicit AStatus(const QString& dir);
    // The running client's state folder.
    AStatus();

    void setString(const QString& key, const QString& text);
    QString getString(const QString& key) const;
    // 64 bits wide, so that times in seconds go past 2038.
    void setInt(const QString& key, qint64 value);
    // -1 when the key is absent, 0 when it holds no whole number.
    qint64 getInt(const QString& key) const;
    // The run mode chosen in the settings; Basic when none was chosen.
    int runMode() const;

    void save();
    bool load();

    // Removes the files that saves cut short by a crash left beside dir's store: each holds a copy of
    // the login token. Only regular files named as a save names its temporaries, and only once they
    // are a minute old, since another mode of the client may be saving right now. Returns how many.
    static int removeStaleTemporaries(const QString& dir);

private:
    QString m_path;
    QJsonObject m_values;
};
