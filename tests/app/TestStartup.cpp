#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSharedMemory>
#include <QTcpSocket>
#include <QtTest>
#include <fcntl.h>
#include <list>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Locks the file as another instance would; -1 when someone else holds it (or it cannot be opened).
int takeLock(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
} // namespace

// Runs the real program from a test application directory, as the user's installation would.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<TestAppDir>();
        m_dir->writeConfig("{\"https_server\":\"http://127.0.0.1:9\",\"log_server\":\"http://127.0.0.1:9\","
                           "\"version\":\"2.3.4\"}"); // not raw: moc would take "//" for a comment
        m_program = m_dir->installDriver();
        QVERIFY(!m_program.isEmpty());
    }
    void cleanup()
    {
        for (QProcess& process : m_processes) {
            process.kill();
            process.waitForFinished();
        }
        m_processes.clear();
    }

    void driverTakesOnlySpoolFiles()
    {
        start({QStringLiteral("unknown-word")});
        QTRY_VERIFY_WITH_TIMEOUT(log().contains(m_listening), kStateWaitMs);
        QVERIFY(log().contains(QLatin1String(" [Info] \"pavkodriver start running. 2.3.4\"\n")));

        const auto send = [](const QString& path) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, 9110);
            QVERIFY(socket.waitForConnected(5000));
            socket.write(path.toLocal8Bit());
            QVERIFY(socket.waitForBytesWritten(5000));
            socket.disconnectFromHost();
        };
        const QString spool = m_dir->file(QStringLiteral("PavkoPort.57"));
        const QString other = m_dir->file(QStringLiteral("report.docx"));
        m_dir->writeFile(QStringLiteral("PavkoPort.57"), "stream");
        m_dir->writeFile(QStringLiteral("report.docx"), "keep me");
        // A file of the user's named like a job file, outside the work folders, directly and through "..".
        QVERIFY(QDir().mkpath(m_dir->file(QStringLiteral("home"))));
        m_dir->writeFile(QStringLiteral("home/PavkoPort.1"), "keep me");
        const QString named = m_dir->file(QStringLiteral("home/PavkoPort.1"));
        const QString climbing = m_dir->file(QStringLiteral("config/../home/PavkoPort.1"));
        send(other);
        send(named);
        send(climbing);
        send(QString(spool).replace(QLatin1Char('/'), QLatin1Char('\\')));

        QTRY_VERIFY_WITH_TIMEOUT(
            log().contains(QStringLiteral(" [Info] job run ( 57 ) : start ,  \"%1\"\n").arg(spool)), 10000);
        // The first refusal is named; those right behind it are counted, not each written to the log.
        QVERIFY(log().contains(QStringLiteral(" [Warning] listener : refused job file \"%1\"\n").arg(other)));
        QVERIFY(!log().contains(QLatin1String("job run ( 0 )")));
        QVERIFY(!log().contains(QLatin1String("job run ( 1 )")));
        QCOMPARE(m_dir->readFile(QStringLiteral("home/PavkoPort.1")), QByteArray("keep me"));
        QCOMPARE(m_dir->readFile(QStringLiteral("report.docx")), QByteArray("keep me"));
    }

    // Another user may create files in the shared temporary folder, and did so at the lock's old place:
    // the client keeps its instance lock where only this user can write.
    void lockOfAnotherUserDoesNotStopTheDriver_data()
    {
        QTest::addColumn<QString>("runtime"); // XDG_RUNTIME_DIR below the test folder; empty: unset
        QTest::addColumn<int>("runtimeMode");
        QTest::addColumn<QString>("lockFolder");
        QTest::newRow("runtime folder") << "run" << 0700 << "run";
        QTest::newRow("no runtime folder") << QString() << 0 << "home/.pavko";
        QTest::newRow("runtime folder open to all") << "shared" << 0777 << "home/.pavko";
    }
    void lockOfAnotherUserDoesNotStopTheDriver()
    {
        QFETCH(QString, runtime);
        QFETCH(int, runtimeMode);
        QFETCH(QString, lockFolder);
        const QString tmp = m_dir->file(QStringLiteral("tmp"));
        QVERIFY(QDir().mkpath(tmp) && QDir().mkpath(m_dir->file(QStringLiteral("home"))));
        const int squatter = takeLock(tmp + QStringLiteral("/pavko-pavkodriver-%1.lock").arg(::getuid()));
        QVERIFY(squatter >= 0);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), tmp);
        environment.insert(QStringLiteral("HOME"), m_dir->file(QStringLiteral("home")));
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        if (!runtime.isEmpty()) {
            const QString folder = m_dir->file(runtime);
            QVERIFY(QDir().mkpath(folder));
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), mode_t(runtimeMode)), 0);
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder);
        }
        QProcess* driver = start({}, environment);

        const QString lock = m_dir->file(lockFolder) + QStringLiteral("/pavko-pavkodriver.lock");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock) && takeLock(lock) < 0, kStateWaitMs);
        QCOMPARE(driver->state(), QProcess::Running);
        QCOMPARE(QFile::permissions(m_dir->file(lockFolder)) & 0x0077, QFileDevice::Permissions()); // 0700
        ::close(squatter);
    }

    // With no folder for the lock, the client says what failed and fails: it is no second instance.
    void noLockFolderIsSaidAndFails_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("homeIsFile"); // else ~/.pavko is open to everyone
        QTest::newRow("driver, home a file") << QStringList() << true;
        QTest::newRow("driver, ~/.pavko open to all") << QStringList() << false;
        QTest::newRow("cloud, home a file") << QStringList{QStringLiteral("cloud")} << true;
    }
    void noLockFolderIsSaidAndFails()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, homeIsFile);
        const QString home = m_dir->file(QStringLiteral("home"));
        if (homeIsFile) {
            m_dir->writeFile(QStringLiteral("home"), "not a folder");
        } else {
            QVERIFY(QDir().mkpath(home + QStringLiteral("/.pavko")));
            QCOMPARE(::chmod(QFile::encodeName(home + QStringLiteral("/.pavko")).constData(), 0777), 0);
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        QProcess* client = start(arguments, environment);
        QVERIFY(client->waitForFinished(kStateWaitMs));
        QCOMPARE(client->exitCode(), 1);
        const QString lines = log();
        QVERIFY2(lines.contains(QStringLiteral(" [Critical] instance guard of")) &&
                     lines.contains(home + QStringLiteral("/.pavko")),
                 qPrintable(lines));
        QVERIFY(!lines.contains(QLatin1String("process is running(")));
    }

    void oneDriverRunsBesideSettings()
    {
        QProcess* first = start({});
        QTRY_VERIFY_WITH_TIMEOUT(log().contains(m_listening), kStateWaitMs);
        QProcess* settings = start({QStringLiteral("setting")});

        QProcess* second = start({});
        QVERIFY(second->waitForFinished(kStateWaitMs));
        QCOMPARE(qint8(second->exitCode()), qint8(-1));
        QVERIFY(log().contains(QLatin1String(" [Debug] process is running( 1 ).\n")));
        QVERIFY(!settings->waitForFinished(1500));

        first->kill(); // SIGKILL: nothing is cleaned up by the process itself
        first->waitForFinished();
        QProcess* third = start({});
        QTRY_COMPARE_WITH_TIMEOUT(log().count(m_listening), 2, kStateWaitMs);
        QCOMPARE(third->state(), QProcess::Running);
        QCOMPARE(log().count(QLatin1String("process is running(")), 1); // the second driver's alone
    }

    void laterCloudStartsHandTheirFilesOver()
    {
        const QString runtime = m_dir->file(QStringLiteral("runtime"));
        QVERIFY(QDir().mkpath(runtime));
        QCOMPARE(::chmod(QFile::encodeName(runtime).constData(), 0700), 0);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        const auto start = [this, &environment](const QStringList& arguments) {
            return this->start(arguments, environment);
        };
        start({QStringLiteral("cloud")});
        QTRY_VERIFY_WITH_TIMEOUT(log().contains(QLatin1String("\"pavkocloud start running. 2.3.4\"")),
                                 kStateWaitMs);

        const QString first(600, QLatin1Char('a'));
        const QString second(600, QLatin1Char('b'));
        for (const QString& path : {first, second}) {
            QProcess* later = start({QStringLiteral("cloud"), path});
            QVERIFY(later->waitForFinished(kStateWaitMs));
            QCOMPARE(qint8(later->exitCode()), qint8(-1));
        }
        QCOMPARE(log().count(QLatin1String(" [Debug] process is running( 1 ).\n")), 2);

        // In the runtime folder of the user, as the instance locks.
        QSharedMemory mailbox;
        mailbox.setNativeKey(runtime + QStringLiteral("/pavko_share_memory_") + QString::number(::getuid()));
        QVERIFY(mailbox.attach(QSharedMemory::ReadOnly));
        QCOMPARE(QByteArray(static_cast<const char*>(mailbox.constData())), first.toLatin1() + ',');
    }

    void upgradeNoticeClosesItself_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("text");
        QTest::newRow("configured version") << QByteArray() << "Pavko智能打印驱动更新完成，已升级至V2.3.4";
        QTest::newRow("no version configured") << QByteArray("{\"log_server\":\"http://127.0.0.1:9\"}")
                                               << "Pavko智能打印驱动更新完成，已升级至V9.9.9";
    }
    void upgradeNoticeClosesItself()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, text);
        if (!config.isNull())
            m_dir->writeConfig(config);
        QElapsedTimer clock;
        clock.start();
        QProcess* notice = start({QStringLiteral("upgrade")});
        QVERIFY(notice->waitForFinished(20000));
        QVERIFY(clock.elapsed() >= 4750); // a coarse timer may fire up to 5 % early
        QCOMPARE(notice->exitStatus(), QProcess::NormalExit);
        QCOMPARE(notice->exitCode(), 0);
        QVERIFY2(log().contains(QStringLiteral(" [Info] upgrade notice : \"%1\"\n").arg(text)),
                 qPrintable(log()));
    }

    // A packaged client: the program in P/bin, its data in P/share/pavko, the user's state in
    // $XDG_DATA_HOME/pavko for the user alone, with its temporary folder inside; nothing is written
    // beside the program or its data. A state folder that is not the user's alone stops it.
    void packagedClientKeepsStateInTheUsersFolder_data()
    {
        QTest::addColumn<QString>("stateFolder"); // what is there before the start
        QTest::addColumn<bool>("runs");
        QTest::newRow("none yet") << "none" << true;
        QTest::newRow("the user's own, open to all") << "open" << true;
        QTest::newRow("a link elsewhere") << "link" << false;
    }
    void packagedClientKeepsStateInTheUsersFolder()
    {
        QFETCH(QString, stateFolder);
        QFETCH(bool, runs);
        QVERIFY(QDir().mkpath(m_dir->file(QStringLiteral("P/bin"))) &&
                QDir().mkpath(m_dir->file(QStringLiteral("P/share/pavko/config"))) &&
                QDir().mkpath(m_dir->file(QStringLiteral("xdg"))) &&
                QDir().mkpath(m_dir->file(QStringLiteral("elsewhere"))));
        QVERIFY(QFile::rename(m_dir->file(QStringLiteral("config/config.json")),
                              m_dir->file(QStringLiteral("P/share/pavko/config/config.json"))));
        m_program = m_dir->installDriver(QStringLiteral("P/bin"));
        QVERIFY(!m_program.isEmpty());
        const QString state = m_dir->file(QStringLiteral("xdg/pavko"));
        if (stateFolder == QLatin1String("link"))
            QVERIFY(QFile::link(m_dir->file(QStringLiteral("elsewhere")), state));
        if (stateFolder == QLatin1String("open")) {
            // As an older installation left it: a copy of its settings, which names the older version.
            QVERIFY(QDir().mkpath(state + QStringLiteral("/config")));
            QCOMPARE(::chmod(QFile::encodeName(state).constData(), 0777), 0);
            m_dir->writeFile(QStringLiteral("xdg/pavko/config/config.json"),
                             "{\"https_server\":\"http://127.0.0.1:9\",\"version\":\"0.9.0\"}");
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_dir->file(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->file(QStringLiteral("xdg")));
        environment.insert(QStringLiteral("TMPDIR"), m_dir->file(QStringLiteral("elsewhere")));
        const QString runtime = m_dir->file(QStringLiteral("runtime"));
        QVERIFY(QDir().mkpath(runtime));
        QCOMPARE(::chmod(QFile::encodeName(runtime).constData(), 0700), 0);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        QProcess* driver = start({}, environment);

        const auto entries = [this](const char* folder) {
            return QDir(m_dir->file(QString::fromUtf8(folder)))
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        };
        if (!runs) {
            QVERIFY(driver->waitForFinished(kStateWaitMs));
            QCOMPARE(driver->exitCode(), 2);
            QCOMPARE(entries("elsewhere"), QStringList());
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(
                QString::fromLocal8Bit(m_dir->readFile(QStringLiteral("xdg/pavko/log.log")))
                    .contains(QLatin1String("\"pavkodriver start running. 2.3.4\"")),
                kStateWaitMs);
            // Its temporary folder is the one in the state folder: the work folder of hand-overs is made
            // there.
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(state + QStringLiteral("/tmp/pavkodriver")).isDir(),
                                     kStateWaitMs);
            for (const QString& folder : QStringList{state, state + QStringLiteral("/tmp")})
                QCOMPARE(QFile::permissions(folder) & 0x0077, QFileDevice::Permissions()); // 0700
            QCOMPARE(entries("elsewhere"), QStringList());
        }
        QCOMPARE(entries("P/bin"), QStringList{QStringLiteral("pavkodriver")});
        QCOMPARE(entries("P/share/pavko"), QStringList{QStringLiteral("config")});
        QCOMPARE(entries("P/share/pavko/config"), QStringList{QStringLiteral("config.json")});
    }

private:
    QProcess* start(const QStringList& arguments,
                    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess& process = m_processes.emplace_back();
        // Its own runtime folder, for the instance locks, unless the test chose one.
        if (!environment.contains(QStringLiteral("XDG_RUNTIME_DIR")) &&
            !environment.contains(QStringLiteral("HOME"))) {
            const QString runtime = m_dir->file(QStringLiteral("runtime"));
            QDir().mkpath(runtime);
            QFile::setPermissions(runtime,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        }
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(m_program, arguments);
        process.waitForStarted();
        return &process;
    }
    QString log() const { return QString::fromLocal8Bit(m_dir->readFile(QStringLiteral("log.log"))); }

    const QLatin1String m_listening{" [Info] listener 9110 start running.\n"};
    std::unique_ptr<TestAppDir> m_dir;
    QString m_program;
    std::list<QProcess> m_processes; // stable addresses
};

QTEST_GUILESS_MAIN(TestStartup)
#include "TestStartup.moc"
