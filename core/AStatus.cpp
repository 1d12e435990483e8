#include "AStatus.h"

#include "AClock.h"
#include "AJson.h"
#include "AppDir.h"
#include "OwnerOnlyFile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <cmath>

namespace {
// A save lasts milliseconds; a temporary this old belongs to no save that is still going.
constexpr qint64 kStaleAfterSecs = 60;
} // namespace

AStatus::AStatus() : AStatus(stateDir()) {}

AStatus::AStatus(const QString& dir) : m_path(dir + QStringLiteral("status.db"))
{
    load();
}

void AStatus::setString(const QString& key, const QString& text)
{
    m_values.insert(key, text);
}

QString AStatus::getString(const QString& key) const
{
    return m_values.value(key).toString();
}

void AStatus::setInt(const QString& key, qint64 value)
{
    m_values.insert(key, value);
}

qint64 AStatus::getInt(const QString& key) const
{
    const auto found = m_values.constFind(key);
    if (found == m_values.constEnd())
        return -1;
    // JSON numbers are doubles: whole ones are exact up to 2^53.
    const double value = found->toDouble(0);
    return value == std::trunc(value) && std::abs(value) <= 9007199254740992.0 ? qint64(value) : 0;
}

int AStatus::runMode() const
{
    const qint64 mode = getInt(QStringLiteral("run_mode"));
    return mode == -1 ? Basic : int(mode);
}

void AStatus::save()
{
    // It holds the login token.
    saveOwnerOnly(m_path, QJsonDocument(m_values).toJson(QJsonDocument::Compact).toBase64());
}

int AStatus::removeStaleTemporaries(const QString& dir)
{
    // The save's own names: QSaveFile's "status.db.XXXXXX", and "status.db.new" (with its own
    // temporaries) where a link stood in the store's place.
    static const QRegularExpression kTemporary(
        QStringLiteral("^status\\.db(\\.[A-Za-z0-9]{6}|\\.new|\\.new\\.[A-Za-z0-9]{6})$"));
    const qint64 now = AClock::nowSecs();
    int removed = 0;
    // Links are neither listed nor followed: only files of the folder itself go.
    const QFileInfoList entries = QDir(dir).entryInfoList({QStringLiteral("status.db.*")},
                                                          QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        if (!kTemporary.match(entry.fileName()).hasMatch() || entry.isSymLink())
            continue;
        if (now - entry.lastModified().toSecsSinceEpoch() < kStaleAfterSecs)
            continue;
        if (QFile::remove(entry.filePath())) {
            qInfo() << "status : removed" << entry.fileName() << "left by a save that did not finish";
            ++removed;
        }
    }
    return removed;
}

bool AStatus::load()
{
    QFile file(m_path);
    if (file.open(QIODevice::ReadOnly))
        m_values = parseObject(QByteArray::fromBase64(file.readAll()));
    return !m_values.isEmpty();
}
