#include "Backend.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

// The print backend's own steps; tests/cups/cups-journey runs it under a real CUPS.
class TestBackend : public QObject
{
    Q_OBJECT

private slots:
    void keepStream_data();
    void keepStream();
    void listenerUid();
};

void TestBackend::keepStream_data()
{
    QTest::addColumn<QString>("before"); // what lies at the job file's name: "", "file", "link", "part link"
    QTest::addColumn<bool>("kept");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("first try") << "" << true << QByteArray("stream");
    QTest::newRow("a retry keeps the earlier stream") << "file" << true << QByteArray("earlier");
    QTest::newRow("a link in its place") << "link" << false << QByteArray("outside");
    QTest::newRow("a link at the temporary name") << "part link" << false << QByteArray();
}

void TestBackend::keepStream()
{
    QFETCH(QString, before);
    QFETCH(bool, kept);
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString outside = dir.filePath(QStringLiteral("outside"));
    {
        QFile file(outside);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("outside");
    }
    const QString job = dir.filePath(QStringLiteral("PavkoPort.7"));
    if (before == QLatin1String("file")) {
        QFile file(job);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("earlier");
    } else if (before == QLatin1String("link")) {
        QVERIFY(QFile::link(outside, job));
    } else if (before == QLatin1String("part link")) {
        QVERIFY(QFile::link(outside, dir.filePath(QStringLiteral(".PavkoPort.7.part"))));
    }
    int pipe[2];
    QVERIFY(::pipe(pipe) == 0);
    QCOMPARE(write(pipe[1], "stream", 6), ssize_t(6));
    close(pipe[1]);

    QCOMPARE(Backend::keepStream(pipe[0], dir.path().toStdString(), "PavkoPort.7"), kept);
    char rest;
    QCOMPARE(read(pipe[0], &rest, 1), ssize_t(0)); // read to the end, so the filter before it ends well
    close(pipe[0]);
    QFile result(job);
    QCOMPARE(result.open(QIODevice::ReadOnly) ? result.readAll() : QByteArray(), content);
    QFile untouched(outside);
    QVERIFY(untouched.open(QIODevice::ReadOnly));
    QCOMPARE(untouched.readAll(), QByteArray("outside"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral(".PavkoPort.7.part"))) ||
            before == QLatin1String("part link"));
}

// Who accepted a connection, as the kernel's table of TCP sockets shows it.
void TestBackend::listenerUid()
{
    const char table[] =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
        "   0: 0100007F:2396 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 1 1\n"
        "   1: 0100007F:2396 0100007F:D431 01 00000000:00000000 00:00000000 00000000  1001        0 2 1\n"
        "   2: 0100007F:D431 0100007F:2396 01 00000000:00000000 00:00000000 00000000     0        0 3 1\n"
        "   3: 0200007F:2396 0100007F:D432 01 00000000:00000000 00:00000000 00000000  1002        0 4 1\n";
    QCOMPARE(Backend::listenerUid(table, 9110, 0xD431), 1001L);
    QCOMPARE(Backend::listenerUid(table, 9110, 0xD432), -1L); // another address
    QCOMPARE(Backend::listenerUid(table, 9111, 0xD431), -1L);
    QCOMPARE(Backend::listenerUid("", 9110, 0xD431), -1L);
}

QTEST_GUILESS_MAIN(TestBackend)
#include "TestBackend.moc"
