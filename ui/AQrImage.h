#pragma once

#include <QString>

// Writes text as a 400 × 400 QR code image to path (format from the suffix). False when the text
// cannot be encoded or the image cannot be written.
bool makeQrImage(const QString& text, const QString& path);
