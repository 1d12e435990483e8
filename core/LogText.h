#pragma once

#include <QByteArray>
#include <QString>

// Text that comes from outside (hand-over payloads, service bodies, device answers) goes into the log
// only as its beginning, so that no peer can flood the log or the memory of the process.
constexpr int kLogExcerptBytes = 300;

// At most the first kLogExcerptBytes bytes (decoded in the local 8-bit code page); when there is more,
// "…" and the full length in bytes follow.
QString logExcerpt(const QByteArray& bytes);
// The same for text: at most kLogExcerptBytes characters, then "…" and the full length in characters.
QString logExcerpt(const QString& text);
