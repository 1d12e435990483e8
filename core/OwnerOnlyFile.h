#pragma once

#include <QByteArray>
#include <QString>

// Writes content to path as a whole (aside, then renamed over the old file) so that only the owner may
// read it: for every file that holds a token or another secret. A file that is already narrower keeps
// its permissions. False when nothing was written.
bool saveOwnerOnly(const QString& path, const QByteArray& content);
