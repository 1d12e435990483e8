#include "AMailbox.h"

#include <QUuid>
#include <QtTest>

class TestMailbox : public QObject
{
    Q_OBJECT

private slots:
    void appendsWithSeparators_data();
    void appendsWithSeparators();
    void laterProcessReachesTheArea();

private:
    static QByteArray content(const QString& key);
};

QByteArray TestMailbox::content(const QString& key)
{
    QSharedMemory reader(key);
    if (!reader.attach(QSharedMemory::ReadOnly))
        return "<not attached>";
    reader.lock();
    const QByteArray area(static_cast<const char*>(reader.constData()), AMailbox::kSize);
    reader.unlock();
    if (area[AMailbox::kSize - 1] != '\0')
        return "<unterminated>";
    return QByteArray(area.constData());
}

void TestMailbox::appendsWithSeparators_data()
{
    QTest::addColumn<QList<QByteArray>>("paths");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray p600(600, 'a');
    const QByteArray q600(600, 'b');
    QTest::newRow("one path") << QList<QByteArray>{"C:/a.pdf"} << QByteArray("C:/a.pdf");
    QTest::newRow("two paths") << QList<QByteArray>{"C:/a.pdf", "D:/b.doc"}
                               << QByteArray("C:/a.pdf,D:/b.doc");
    QTest::newRow("second too long keeps the comma") << QList<QByteArray>{p600, q600} << p600 + ',';
    QTest::newRow("exactly full") << QList<QByteArray>{QByteArray(500, 'a'), QByteArray(522, 'b')}
                                  << QByteArray(500, 'a') + ',' + QByteArray(522, 'b');
    QTest::newRow("full stays full") << QList<QByteArray>{QByteArray(1023, 'a'), "x"}
                                     << QByteArray(1023, 'a');
    QTest::newRow("too long alone") << QList<QByteArray>{QByteArray(1024, 'a'), "x"} << QByteArray("x");
    QTest::newRow("raw bytes kept") << QList<QByteArray>{"C:/\xb1\xa8\xb8\xe6.doc"}
                                    << QByteArray("C:/\xb1\xa8\xb8\xe6.doc");
}

void TestMailbox::appendsWithSeparators()
{
    QFETCH(QList<QByteArray>, paths);
    const QString key = QUuid::createUuid().toString();
    AMailbox mailbox(key);
    QVERIFY(mailbox.create());
    for (const QByteArray& path : paths)
        mailbox.append(path);
    QTEST(content(key), "expected");
}

void TestMailbox::laterProcessReachesTheArea()
{
    const QString key = QUuid::createUuid().toString();
    AMailbox owner(key);
    QVERIFY(owner.create());
    owner.append("first");
    {
        AMailbox later(key);
        QVERIFY(later.attach());
        later.append("second");
        later.detach();
    }
    QCOMPARE(content(key), QByteArray("first,second"));

    // An area whose owner died (it outlives its process on some systems) is adopted empty.
    AMailbox adopter(key);
    QVERIFY(adopter.create());
    adopter.append("third");
    QCOMPARE(content(key), QByteArray("third"));
}

QTEST_GUILESS_MAIN(TestMailbox)
#include "TestMailbox.moc"
