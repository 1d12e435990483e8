#include "OwnerOnlyFile.h"

#include "APlatform.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// QSaveFile writes into a fresh file and renames it over its target. Unbuffered, so that a short write
// shows in write()'s result: a failed flush at commit() goes unnoticed and would replace the old file by
// a truncated one.
bool writeWhole(const QString& path, const QByteArray& content, QFileDevice::Permissions permissions)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        qWarning() << "save :" << path << "not written:" << file.errorString();
        return false;
    }
    // Narrowed before the first byte is written: the new file is never readable by others.
    if (!file.setPermissions(permissions)) {
        qWarning() << "save :" << path << "not written: cannot set its permissions";
        return false; // the unfinished file goes with the QSaveFile
    }
    if (file.write(content) != content.size()) {
        qWarning() << "save :" << path << "not written, the old file stays:" << file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        qWarning() << "save :" << path << "not written, the old file stays:" << file.errorString();
        return false;
    }
    return true;
}

} // namespace

bool saveOwnerOnly(const QString& path, const QByteArray& content)
{
    constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const QFileInfo existing(path);
    if (!existing.isSymLink()) {
        QFileDevice::Permissions permissions = kOwnerOnly;
        if (existing.exists())
            permissions &= existing.permissions();
        return writeWhole(path, content, permissions);
    }
    // QSaveFile would replace the link's target: the new file is written beside it and takes the
    // link's place instead.
    qWarning() << "save :" << path << "is a link; it is replaced, its target left alone";
    const QString beside = path + QStringLiteral(".new");
    QFile::remove(beside);
    if (!writeWhole(beside, content, kOwnerOnly))
        return false;
    if (!renameOver(beside, path)) {
        qWarning() << "save :" << path << "not written: the link cannot be replaced";
        QFile::remove(beside);
        return false;
    }
    return true;
}
