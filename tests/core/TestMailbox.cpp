#include "AMailbox.h"

#include <QUuid>
#include <QtTest>

namespace {
using Paths = QList<QByteArray>;

// The area as another process reads it: the text up to the first zero; the last byte must be zero.
QByteArray content(const QString& key)
{
    QSharedMemory reader(key);
    if (!reader.attach(QSharedMemory::ReadOnly))
        return "<not attached>";
    const QByteArray area(static_cast<const char*>(reader.constData()), AMailbox::kSize);
    return area.endsWith('\0') ? QByteArray(area.constData()) : "<unterminated>";
}
} // namespace

class TestMailbox : public QObject
{
    Q_OBJECT

private slots:
    void appendsWithSeparators_data()
    {
        QTest::addColumn<Paths>("paths");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray a500(500, 'a');
        const QByteArray a600(600, 'a');
        QTest::newRow("two paths") << Paths{"C:/a.pdf", "D:/b.doc"} << QByteArray("C:/a.pdf,D:/b.doc");
        QTest::newRow("second too long keeps the comma") << Paths{a600, QByteArray(600, 'b')} << a600 + ',';
        QTest::newRow("exactly full")
            << Paths{a500, QByteArray(522, 'b')} << a500 + ',' + QByteArray(522, 'b');
        QTest::newRow("full stays full") << Paths{QByteArray(1023, 'a'), "x"} << QByteArray(1023, 'a');
        QTest::newRow("too long alone") << Paths{QByteArray(1024, 'a'), "x"} << QByteArray("x");
        QTest::newRow("raw bytes kept") << Paths{"C:/\xb1\xa8.doc"} << QByteArray("C:/\xb1\xa8.doc");
    }
    void appendsWithSeparators()
    {
        QFETCH(Paths, paths);
        const QString key = QUuid::createUuid().toString();
        AMailbox owner(key);
        QVERIFY(owner.create());
        owner.append(paths[0]);
        for (const QByteArray& path : paths.mid(1)) {
            AMailbox later(key); // as each later start does
            QVERIFY(later.attach());
            later.append(path);
        }
        QTEST(content(key), "expected");

        // An area whose owner died (it outlives its process on some systems) is adopted empty.
        AMailbox adopter(key);
        QVERIFY(adopter.create());
        QCOMPARE(content(key), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestMailbox)
#include "TestMailbox.moc"
