#pragma once

#include <QImage>
#include <QString>

// The text as a 400 × 400 black-and-white QR code, made in memory (no file to write, so no folder that
// must be writable); a null image when the text cannot be encoded.
QImage makeQrImage(const QString& text);
