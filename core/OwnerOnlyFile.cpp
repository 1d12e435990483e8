#include "OwnerOnlyFile.h"

#include <QFile>
#include <QSaveFile>

bool saveOwnerOnly(const QString& path, const QByteArray& content)
{
    constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QFileDevice::Permissions permissions = kOwnerOnly;
    if (QFile::exists(path))
        permissions &= QFile::permissions(path);
    // A crash or a full disk never leaves the file half written.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Narrowed before the first byte is written: the new file is never readable by others.
    if (!file.setPermissions(permissions)) {
        file.cancelWriting();
        return false;
    }
    file.write(content);
    return file.commit();
}
