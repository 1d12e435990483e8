#include "AQrImage.h"

#include <QImage>
#include <QtTest>

class TestQrImage : public QObject
{
    Q_OBJECT

private slots:
    void makesA400PixelBlackAndWhiteCode()
    {
        const QImage image = makeQrImage(QStringLiteral("https://example.invalid/w1/login?code=AbC123"));
        QCOMPARE(image.size(), QSize(400, 400));
        // Scaled without smoothing: no grey blurs the modules.
        for (int y = 0; y < image.height(); y += 7) {
            for (int x = 0; x < image.width(); x += 7)
                QVERIFY(image.pixel(x, y) == qRgb(0, 0, 0) || image.pixel(x, y) == qRgb(255, 255, 255));
        }
        // Finder patterns sit in three corners.
        QCOMPARE(image.pixel(2, 2), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(397, 2), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(2, 397), qRgb(0, 0, 0));
    }

    void textTooLongToEncode() { QVERIFY(makeQrImage(QString(8000, QLatin1Char('x'))).isNull()); }
};

QTEST_GUILESS_MAIN(TestQrImage)
#include "TestQrImage.moc"
