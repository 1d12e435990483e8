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

private:
    QString m_path;
    QJsonObject m_values;
};
