#include "AQrImage.h"

#include <QImage>
#include <memory>
#include <qrencode.h>

QImage makeQrImage(const QString& text)
{
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(text.toLatin1().constData(), 2, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code)
        return {};
    const int width = code->width;
    QImage image(width, width, QImage::Format_RGB888);
    for (int y = 0; y < width; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool dark = code->data[y * width + x] & 1;
            image.setPixel(x, y, dark ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    }
    return image.scaled(400, 400, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}
