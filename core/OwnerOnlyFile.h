#pragma once

#include <QByteArray>
#include <QString>

// Writes content to path as a whole so that only the owner may read it: for every file that holds a
// token or another secret, and every state file. The content goes to a new file in the same folder,
// which replaces the old one only once every byte was written and flushed; otherwise (a full disk) the
// old file stays as it was. A symbolic link at path is replaced, never written through. A file that is
// already narrower keeps its permissions. False, logged, when nothing was written.
bool saveOwnerOnly(const QString& path, const QByteArray& content);
