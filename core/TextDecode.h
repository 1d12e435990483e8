#pragma once

#include <QByteArray>
#include <QString>

// Bytes up to the first zero as UTF-8, or as GBK when they are not valid UTF-8.
QString decodeText(const QByteArray& bytes);
