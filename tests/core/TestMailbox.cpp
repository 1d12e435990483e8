#include "AMailbox.h"

#include <QSystemSemaphore>
#include <QUuid>
#include <QtTest>
#include <cstring>
#include <pwd.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
using Paths = QList<QByteArray>;

// The area as another process reads it: the text up to the first zero; the last byte must be zero.
QByteArray content(const QString& key)
{
    QSharedMemory reader;
    reader.setNativeKey(AMailbox(key).keyFile());
    if (!reader.attach(QSharedMemory::ReadOnly))
        return "<not attached>";
    const QByteArray area(static_cast<const char*>(reader.constData()), AMailbox::kSize);
    return area.endsWith('\0') ? QByteArray(area.constData()) : "<unterminated>";
}
// Makes the area of that key as another program would, before any instance of ours: with that mode,
// by the user of that id (-1: this process's), holding text. Returns the segment's id, -1 on failure.
int makeArea(const QString& key, int mode, int uid, const char* text)
{
    const QString keyFile = AMailbox(key).keyFile();
    QFile(keyFile).open(QIODevice::WriteOnly); // the file Qt derives the segment's key from
    // Found here: the other user cannot look into this user's folder, but may come upon the same number.
    const key_t ipcKey = ::ftok(QFile::encodeName(keyFile).constData(), 'Q');
    const pid_t child = ::fork();
    if (child == 0) {
        if (uid >= 0 && ::setuid(uid_t(uid)) != 0)
            ::_exit(1);
        const int id = ::shmget(ipcKey, AMailbox::kSize, IPC_CREAT | IPC_EXCL | mode);
        void* area = id < 0 ? reinterpret_cast<void*>(-1) : ::shmat(id, nullptr, 0);
        if (area == reinterpret_cast<void*>(-1))
            ::_exit(1);
        std::strcpy(static_cast<char*>(area), text);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return ::shmget(ipcKey, 0, 0);
}
} // namespace

class TestMailbox : public QObject
{
    Q_OBJECT

    // The temporary folder, shared by every user as /tmp is.
    QTemporaryDir m_shared;
    QTemporaryDir m_home; // outside it

private slots:
    void initTestCase()
    {
        QCOMPARE(::chmod(QFile::encodeName(m_shared.path()).constData(), 01777), 0);
        qputenv("TMPDIR", QFile::encodeName(m_shared.path()));
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qunsetenv("XDG_RUNTIME_DIR");
    }

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

    // An area of the mailbox's name that another user made, or that others may open, is never used:
    // its maker could read this user's paths or hand over files the user never chose.
    void foreignAreaIsNeverUsed_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("otherUser");
        QTest::newRow("another user's, open to all") << 0666 << true;
        QTest::newRow("another user's, owner only") << 0600 << true;
        QTest::newRow("this user's, open to all") << 0666 << false;
        QTest::newRow("this user's, group may read") << 0640 << false;
    }
    void foreignAreaIsNeverUsed()
    {
        QFETCH(int, mode);
        QFETCH(bool, otherUser);
        const passwd* nobody = ::getpwnam("nobody");
        if (otherUser && (::geteuid() != 0 || !nobody))
            QSKIP("needs root and the user nobody to make an area as another user");
        const QString key = QUuid::createUuid().toString();
        const int id = makeArea(key, mode, otherUser ? int(nobody->pw_uid) : -1, "/home/a/planted.pdf");
        QVERIFY(id >= 0);

        AMailbox later(key);
        QVERIFY(!later.attach());
        later.append("/home/b/private.pdf");
        QVERIFY(later.take().isEmpty());
        AMailbox first(key);
        QVERIFY(!first.create());
        first.append("/home/b/private.pdf");
        QVERIFY(first.take().isEmpty());
        // Neither read nor written.
        void* area = ::shmat(id, nullptr, SHM_RDONLY);
        QVERIFY(area != reinterpret_cast<void*>(-1));
        QCOMPARE(QByteArray(static_cast<const char*>(area)), QByteArray("/home/a/planted.pdf"));
        ::shmdt(area);
        ::shmctl(id, IPC_RMID, nullptr);
        QFile::remove(AMailbox(key).keyFile());
    }

    // Nothing of the mailbox lies at a name in the shared temporary folder that another user could take
    // first: here Qt's own lock of an area by that name is held (as anyone could hold it), and a later
    // start still hands its path over instead of hanging.
    void lockHeldByOthersHangsNothing()
    {
        const QString key = QUuid::createUuid().toString();
        AMailbox owner(key);
        QVERIFY(owner.create());
        QSystemSemaphore held(key, 0, QSystemSemaphore::Create);
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(20); // a hang ends the start, and the test fails
            AMailbox later(key);
            if (!later.attach())
                ::_exit(1);
            later.append("/home/b/a.pdf");
            later.detach();
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, QByteArray::number(status));
        QCOMPARE(owner.take(), QStringList{QStringLiteral("/home/b/a.pdf")});
    }

    // The mailbox's files lie in a folder of this user alone, the instance guards' one: the session's
    // runtime folder when it is the user's, else ~/.pavko; no mailbox at all when neither is.
    void folderIsTheUsersAlone_data()
    {
        QTest::addColumn<int>("runtimeMode"); // -1: no XDG_RUNTIME_DIR
        QTest::addColumn<int>("homeMode");    // of ~/.pavko made before; -1: not there
        QTest::addColumn<QString>("folder");  // "runtime", "home" or empty: no mailbox
        QTest::newRow("runtime folder") << 0700 << -1 << QStringLiteral("runtime");
        QTest::newRow("no runtime folder") << -1 << -1 << QStringLiteral("home");
        QTest::newRow("runtime folder open to all") << 0777 << -1 << QStringLiteral("home");
        QTest::newRow("~/.pavko open to all") << -1 << 0777 << QString();
    }
    void folderIsTheUsersAlone()
    {
        QFETCH(int, runtimeMode);
        QFETCH(int, homeMode);
        QFETCH(QString, folder);
        // Outside the shared folder, which is to stay empty.
        QTemporaryDir runtime(m_home.path() + QStringLiteral("/run-XXXXXX"));
        QTemporaryDir home(m_home.path() + QStringLiteral("/home-XXXXXX"));
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        const auto restore = qScopeGuard([oldHome] {
            qputenv("HOME", oldHome);
            qunsetenv("XDG_RUNTIME_DIR");
        });
        if (runtimeMode >= 0) {
            QCOMPARE(::chmod(QFile::encodeName(runtime.path()).constData(), mode_t(runtimeMode)), 0);
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        }
        const QString dotPavko = home.path() + QStringLiteral("/.pavko");
        if (homeMode >= 0) {
            QVERIFY(QDir().mkdir(dotPavko));
            QCOMPARE(::chmod(QFile::encodeName(dotPavko).constData(), mode_t(homeMode)), 0);
        }
        const QString expected = folder == QLatin1String("runtime") ? runtime.path()
                                 : folder == QLatin1String("home")  ? dotPavko
                                                                    : QString();
        QCOMPARE(AMailbox::privateFolder(), expected);

        const QString key = QUuid::createUuid().toString();
        AMailbox owner(key);
        QCOMPARE(owner.create(), !expected.isEmpty());
        AMailbox later(key);
        QCOMPARE(later.attach(), !expected.isEmpty());
        later.append("/home/b/a.pdf");
        QCOMPARE(owner.take(),
                 expected.isEmpty() ? QStringList() : QStringList{QStringLiteral("/home/b/a.pdf")});
        if (!expected.isEmpty())
            QCOMPARE(QFileInfo(owner.keyFile()).absolutePath(), expected);
        // Nothing of it in the shared temporary folder.
        QCOMPARE(QDir(m_shared.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }

    void defaultNameIsTheUsers()
    {
        QCOMPARE(AMailbox::defaultKey(), QStringLiteral("pavko_share_memory_") + QString::number(::getuid()));
    }
};

QTEST_GUILESS_MAIN(TestMailbox)
#include "TestMailbox.moc"
