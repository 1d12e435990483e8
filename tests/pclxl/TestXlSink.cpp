#include "XlSink.h"

#include <QtTest>

namespace {

struct Collector
{
    QList<QByteArray> flushes;
    int failAt = -1; // index of the flush that reports failure
};

bool collect(XlSink*, void* user, const uint8_t* buffer, uint32_t used)
{
    auto* c = static_cast<Collector*>(user);
    c->flushes.append(QByteArray(reinterpret_cast<const char*>(buffer), int(used)));
    return c->flushes.size() - 1 != c->failAt;
}

} // namespace

class TestXlSink : public QObject
{
    Q_OBJECT

private slots:
    void appendFlushesFullBuffers_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("pieces");
        QTest::newRow("exact multiple") << 4 << QList<int>{8};
        QTest::newRow("one byte buffer") << 1 << QList<int>{3, 2};
        QTest::newRow("pieces across the edge") << 5 << QList<int>{3, 3, 3, 3};
    }
    void appendFlushesFullBuffers()
    {
        QFETCH(int, size);
        QFETCH(QList<int>, pieces);
        Collector c;
        XlSink* sink = create_sink(uint32_t(size), collect, &c);
        QByteArray all;
        for (int n : pieces) {
            const QByteArray piece = QByteArray("0123456789abcdefghijklmnopqrstuvwxyz").mid(all.size(), n);
            append_sink(sink, piece.constData(), size_t(piece.size()));
            all += piece;
        }
        // Only full buffers go out during appends; the rest waits for flush_sink.
        for (const QByteArray& f : c.flushes)
            QCOMPARE(f.size(), size);
        QCOMPARE(sink->total, uint64_t(all.size()));
        flush_sink(sink);
        QCOMPARE(c.flushes.join(), all);
        QCOMPARE(sink->used, 0u);
        destroy_sink(sink);
    }

    // Unusable arguments give no sink; a failed flush stops every later append; the error count saturates
    // instead of wrapping to 0.
    void errors()
    {
        Collector c;
        QVERIFY(!create_sink(0, collect, &c));
        QVERIFY(!create_sink(16, nullptr, &c));
        c.failAt = 0;
        XlSink* sink = create_sink(4, collect, &c);
        append_sink(sink, "abcdefghij", 10);
        append_sink(sink, "klmnop", 6);
        QCOMPARE(c.flushes.size(), 1);
        QCOMPARE(sink->errorCode, int16_t(XL_ERR_FLUSH_FAILED));
        QCOMPARE(sink->errorCount, uint16_t(1));
        for (int i = 0; i < 70000; ++i)
            xl_record_error(sink, XL_ERR_OVERFLOW);
        QCOMPARE(sink->errorCount, uint16_t(65535));
        destroy_sink(sink);
    }
};

QTEST_GUILESS_MAIN(TestXlSink)
#include "TestXlSink.moc"
