#include "AMailbox.h"

#include <QUuid>
#include <QtTest>
#include <cstring>
#include <pwd.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

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
// Makes the area of that key as another program would, before any instance of ours: with that mode,
// by the user of that id (-1: this process's), holding text. Returns the segment's id, -1 on failure.
int makeArea(const QString& key, int mode, int uid, const char* text)
{
    QSharedMemory probe(key);
    const QByteArray keyFile = QFile::encodeName(probe.nativeKey());
    QFile(probe.nativeKey()).open(QIODevice::WriteOnly); // the file Qt derives the segment's key from
    const pid_t child = ::fork();
    if (child == 0) {
        if (uid >= 0 && ::setuid(uid_t(uid)) != 0)
            ::_exit(1);
        const int id =
            ::shmget(::ftok(keyFile.constData(), 'Q'), AMailbox::kSize, IPC_CREAT | IPC_EXCL | mode);
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
    return ::shmget(::ftok(keyFile.constData(), 'Q'), 0, 0);
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
        QFile::remove(QSharedMemory(key).nativeKey());
    }

    void defaultNameIsTheUsers()
    {
        QCOMPARE(AMailbox::defaultKey(), QStringLiteral("pavko_share_memory_") + QString::number(::getuid()));
    }
};

QTEST_GUILESS_MAIN(TestMailbox)
#include "TestMailbox.moc"
