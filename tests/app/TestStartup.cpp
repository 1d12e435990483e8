#include "AMailbox.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSharedMemory>
#include <QTcpSocket>
#include <QtTest>

// Runs the real program from a test application directory, as the user's installation would.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void driverTakesOnlySpoolFiles();
    void secondDriverLeavesAndAKilledOneFreesTheGuard();
    void settingsRunBesideTheDriver();
    void laterCloudStartsHandTheirFilesOver();
    void upgradeNoticeClosesItself();

private:
    QProcess* start(const QStringList& arguments);
    QString log() const { return QString::fromLocal8Bit(m_dir->readFile(QStringLiteral("log.log"))); }
    static void send(const QByteArray& payload);

    std::unique_ptr<TestAppDir> m_dir;
    QString m_program;
    QList<QProcess*> m_processes;
};

void TestStartup::init()
{
    m_dir = std::make_unique<TestAppDir>();
    m_dir->writeConfig(
        R"({"https_server":"http://127.0.0.1:9","log_server":"http://127.0.0.1:9","version":"2.3.4"})");
    m_program = m_dir->installDriver();
    QVERIFY(!m_program.isEmpty());
}

void TestStartup::cleanup()
{
    for (QProcess* process : qAsConst(m_processes)) {
        process->kill();
        process->waitForFinished();
        delete process;
    }
    m_processes.clear();
}

QProcess* TestStartup::start(const QStringList& arguments)
{
    auto* process = new QProcess;
    m_processes.append(process);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(m_program, arguments);
    process->waitForStarted();
    return process;
}

void TestStartup::send(const QByteArray& payload)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, 9110);
    QVERIFY(socket.waitForConnected(5000));
    socket.write(payload);
    QVERIFY(socket.waitForBytesWritten(5000));
    socket.disconnectFromHost();
}

void TestStartup::driverTakesOnlySpoolFiles()
{
    start({QStringLiteral("unknown-word")});
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QLatin1String(" [Info] listener 9110 start running.\n")), 10000);
    QVERIFY(log().contains(QLatin1String(" [Info] \"pavkodriver start running. 2.3.4\"\n")));

    const QString spool = m_dir->file(QStringLiteral("PavkoPort.57"));
    const QString other = m_dir->file(QStringLiteral("report.docx"));
    m_dir->writeFile(QStringLiteral("PavkoPort.57"), "stream");
    m_dir->writeFile(QStringLiteral("report.docx"), "keep me");
    send(other.toLocal8Bit());
    send(QString(spool).replace(QLatin1Char('/'), QLatin1Char('\\')).toLocal8Bit());

    QTRY_VERIFY_WITH_TIMEOUT(
        log().contains(QStringLiteral(" [Info] job run ( 57 ) : start , \"%1\"\n").arg(spool)), 10000);
    QVERIFY(log().contains(QStringLiteral(" [Warning] listener : refused job file \"%1\"\n").arg(other)));
    QVERIFY(!log().contains(QLatin1String("job run ( 0 )")));
    QCOMPARE(m_dir->readFile(QStringLiteral("report.docx")), QByteArray("keep me"));
}

void TestStartup::secondDriverLeavesAndAKilledOneFreesTheGuard()
{
    QProcess* first = start({});
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QLatin1String("listener 9110 start running.")), 10000);

    QProcess* second = start({});
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(qint8(second->exitCode()), qint8(-1));
    QVERIFY(log().contains(QLatin1String(" [Debug] process is running( 1 ).\n")));

    first->kill(); // SIGKILL: nothing is cleaned up by the process itself
    first->waitForFinished();
    QProcess* third = start({});
    QTRY_COMPARE_WITH_TIMEOUT(log().count(QLatin1String("listener 9110 start running.")), 2, 10000);
    QCOMPARE(third->state(), QProcess::Running);
    QCOMPARE(log().count(QLatin1String("process is running(")), 1);
}

void TestStartup::settingsRunBesideTheDriver()
{
    start({});
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QLatin1String("listener 9110 start running.")), 10000);
    QProcess* settings = start({QStringLiteral("setting")});
    QVERIFY(!settings->waitForFinished(1500));
    QVERIFY(!log().contains(QLatin1String("process is running(")));
}

void TestStartup::laterCloudStartsHandTheirFilesOver()
{
    start({QStringLiteral("cloud")});
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QLatin1String("\"pavkocloud start running. 2.3.4\"")), 10000);

    const QString first(600, QLatin1Char('a'));
    const QString second(600, QLatin1Char('b'));
    for (const QString& path : {first, second}) {
        QProcess* later = start({QStringLiteral("cloud"), path});
        QVERIFY(later->waitForFinished(10000));
        QCOMPARE(qint8(later->exitCode()), qint8(-1));
    }
    QCOMPARE(log().count(QLatin1String(" [Debug] process is running( 1 ).\n")), 2);

    QSharedMemory mailbox(QStringLiteral("pavko_share_memory"));
    QVERIFY(mailbox.attach(QSharedMemory::ReadOnly));
    mailbox.lock();
    const QByteArray content(static_cast<const char*>(mailbox.constData()));
    mailbox.unlock();
    QCOMPARE(content, first.toLatin1() + ',');
}

void TestStartup::upgradeNoticeClosesItself()
{
    QElapsedTimer clock;
    clock.start();
    QProcess* notice = start({QStringLiteral("upgrade")});
    QVERIFY(notice->waitForFinished(20000));
    QVERIFY(clock.elapsed() >= 4750); // a coarse timer may fire up to 5 % early
    QCOMPARE(notice->exitStatus(), QProcess::NormalExit);
    QCOMPARE(notice->exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "TestStartup.moc"
