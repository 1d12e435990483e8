#pragma once

#include "SJob.h"

#include <QByteArray>
#include <QString>

// Bytes read at a time by replace_file_content; memory stays near this whatever the file's size.
constexpr int kReplaceReadSize = 256 * 1024;

// Replaces every occurrence of from in the file by to, left to right, as one pass over the original
// would. The new content is written beside the file and renamed over it, so the file keeps either its
// old or its new content even when the process dies half way; on any failure it is left as it was.
// A file without an occurrence is not rewritten. False when path or from is empty or the file cannot
// be read, written or replaced. readSize is for tests.
bool replace_file_content(const QString& path, const QByteArray& from, const QByteArray& to,
                          int readSize = kReplaceReadSize);

// The account header some Konica Minolta and Sharp models need. Always true: a failed rewrite is only
// logged and the job is sent as it is.
bool add_user_password(const SJob& job);

// The stream rule of the job's printer brand and model (duplex binding, named A3, copy commands);
// the first rule that applies is the only one. Failures are logged and leave the job as it is.
void rewrite_for_device(const SJob& job);
