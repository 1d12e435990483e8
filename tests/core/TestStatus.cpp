#include "AStatus.h"
#include "TestSupport.h"

#include <QProcess>
#include <QtTest>

namespace {
constexpr QFileDevice::Permission kBits[9] = {
    QFileDevice::ReadOwner, QFileDevice::WriteOwner, QFileDevice::ExeOwner,
    QFileDevice::ReadGroup, QFileDevice::WriteGroup, QFileDevice::ExeGroup,
    QFileDevice::ReadOther, QFileDevice::WriteOther, QFileDevice::ExeOther};
QFileDevice::Permissions modeToPermissions(int mode)
{
    QFileDevice::Permissions permissions;
    for (int i = 0; i < 9; ++i)
        if (mode & (0400 >> i))
            permissions |= kBits[i];
    return permissions;
}
int permissionsToMode(QFileDevice::Permissions permissions)
{
    int mode = 0;
    for (int i = 0; i < 9; ++i)
        if (permissions & kBits[i])
            mode |= 0400 >> i;
    return mode;
}
// Sets path's modification time ageSecs into the past.
bool age(const QString& path, int ageSecs)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-ageSecs),
                            QFileDevice::FileModificationTime);
}
} // namespace

class TestStatus : public QObject
{
    Q_OBJECT

private slots:
    void savesBase64OfCompactJson()
    {
        TestAppDir dir;
        {
            AStatus status(dir.path());
            QCOMPARE(status.runMode(), 1); // absent
            QCOMPARE(status.getInt(QStringLiteral("run_mode")), -1);
            QCOMPARE(status.getString(QStringLiteral("login_token")), QString());
            status.setString(QStringLiteral("login_user_name"), QStringLiteral("张三"));
            status.setInt(QStringLiteral("run_mode"), 2);
            status.setInt(QStringLiteral("login_time"), Q_INT64_C(4102444800)); // 2100: past 32 bits
            QCOMPARE(status.runMode(), 2);
            status.save();
            status.setInt(QStringLiteral("default_device_id"), 7); // only save() writes the store
        }
        QCOMPARE(dir.readFile(QStringLiteral("status.db")),
                 QByteArray(R"({"login_time":4102444800,"login_user_name":"张三","run_mode":2})").toBase64());

        const AStatus restarted(dir.path());
        QCOMPARE(restarted.getInt(QStringLiteral("run_mode")), 2);
        QCOMPARE(restarted.getInt(QStringLiteral("login_time")), Q_INT64_C(4102444800));
        QCOMPARE(restarted.getInt(QStringLiteral("login_user_name")), 0); // other types read as 0 and ""
        QCOMPARE(restarted.getString(QStringLiteral("run_mode")), QString());
    }

    void unreadableStoreLoadsEmpty_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not base64") << QByteArray("%%%% not a store %%%%");
        QTest::newRow("base64 of an array") << QByteArray("[1,2]").toBase64();
        QTest::newRow("base64 of broken json") << QByteArray("{\"run_mode\":").toBase64();
        QTest::newRow("empty") << QByteArray("");
    }
    void unreadableStoreLoadsEmpty()
    {
        QFETCH(QByteArray, content);
        TestAppDir dir;
        dir.writeFile(QStringLiteral("status.db"), content);
        AStatus status(dir.path());
        QVERIFY(!status.load());
        QCOMPARE(status.runMode(), 1);
    }

    // It holds the login token: only its owner may read it, and narrower permissions stay.
    void storeIsReadableByItsOwnerOnly_data()
    {
        QTest::addColumn<int>("before"); // octal mode of an existing store; -1: none
        QTest::addColumn<int>("after");
        QTest::newRow("new store") << -1 << 0600;
        QTest::newRow("store readable by all") << 0644 << 0600;
        QTest::newRow("store writable by all") << 0666 << 0600;
        QTest::newRow("already owner-only") << 0600 << 0600;
        QTest::newRow("write-only store") << 0200 << 0200;
    }
    void storeIsReadableByItsOwnerOnly()
    {
        QFETCH(int, before);
        TestAppDir dir;
        const QString path = dir.file(QStringLiteral("status.db"));
        if (before >= 0) {
            dir.writeFile(QStringLiteral("status.db"), "e30=");
            QVERIFY(QFile::setPermissions(path, modeToPermissions(before)));
        }
        AStatus status(dir.path());
        status.setString(QStringLiteral("login_token"), QStringLiteral("secret"));
        status.save();
        QFETCH(int, after);
        QCOMPARE(permissionsToMode(QFile::permissions(path)), after);
        if (after & 0400)
            QCOMPARE(AStatus(dir.path()).getString(QStringLiteral("login_token")), QStringLiteral("secret"));
    }

    // A save that cannot be written whole leaves the stored login as it was.
    void fullDiskKeepsTheOldStore_data()
    {
        QTest::addColumn<qint64>("room"); // bytes a file may still take
        QTest::newRow("nothing fits") << qint64(0);
        QTest::newRow("part fits") << qint64(16);
    }
    void fullDiskKeepsTheOldStore()
    {
        if (!DiskFull::available())
            QSKIP("no file size limit on this platform");
        QFETCH(qint64, room);
        TestAppDir dir;
        AStatus status(dir.path());
        status.setString(QStringLiteral("login_token"), QStringLiteral("token-1"));
        status.save();
        const QByteArray before = dir.readFile(QStringLiteral("status.db"));
        status.setString(QStringLiteral("login_token"), QStringLiteral("token-2 and a longer value"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("status.db.*not written")));
        {
            DiskFull full(room);
            status.save();
        }
        QCOMPARE(dir.readFile(QStringLiteral("status.db")), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("status.db")});
        status.save(); // room again
        QCOMPARE(AStatus(dir.path()).getString(QStringLiteral("login_token")),
                 QStringLiteral("token-2 and a longer value"));
    }

    // A link in the store's place is replaced by the store; what it points at is never written.
    void linkedStoreLeavesItsTargetAlone_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("link to a file") << true;
        QTest::newRow("dangling link") << false;
    }
    void linkedStoreLeavesItsTargetAlone()
    {
        QFETCH(bool, targetExists);
        TestAppDir dir;
        const QString target = dir.file(QStringLiteral("victim.txt"));
        if (targetExists)
            dir.writeFile(QStringLiteral("victim.txt"), "the user's own text");
        QVERIFY(QFile::link(target, dir.file(QStringLiteral("status.db"))));
        AStatus status(dir.path());
        status.setString(QStringLiteral("login_token"), QStringLiteral("secret"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("status.db.*is a link")));
        status.save();
        QCOMPARE(QFile::exists(target), targetExists);
        if (targetExists)
            QCOMPARE(dir.readFile(QStringLiteral("victim.txt")), QByteArray("the user's own text"));
        const QFileInfo store(dir.file(QStringLiteral("status.db")));
        QVERIFY(!store.isSymLink());
        QCOMPARE(permissionsToMode(store.permissions()), 0600);
        QCOMPARE(AStatus(dir.path()).getString(QStringLiteral("login_token")), QStringLiteral("secret"));
    }

    // A save cut short by a crash leaves its temporary, a copy of the login token, beside the store;
    // the next start removes it, and nothing else of the folder.
    void staleTemporariesGoAtStart_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isLink");
        QTest::addColumn<int>("ageSecs");
        QTest::addColumn<bool>("removed");
        QTest::newRow("save's temporary") << QStringLiteral("status.db.aBcDeF") << false << 3600 << true;
        QTest::newRow("digits in its name") << QStringLiteral("status.db.a1B2c3") << false << 3600 << true;
        QTest::newRow("beside a replaced link") << QStringLiteral("status.db.new") << false << 3600 << true;
        QTest::newRow("its temporary") << QStringLiteral("status.db.new.QwErTy") << false << 3600 << true;
        QTest::newRow("a save going on now") << QStringLiteral("status.db.aBcDeF") << false << 0 << false;
        QTest::newRow("five letters") << QStringLiteral("status.db.aBcDe") << false << 3600 << false;
        QTest::newRow("seven letters") << QStringLiteral("status.db.aBcDeFg") << false << 3600 << false;
        QTest::newRow("another file") << QStringLiteral("status.db.bak") << false << 3600 << false;
        QTest::newRow("another store's") << QStringLiteral("receipt.json.aBcDeF") << false << 3600 << false;
#ifndef Q_OS_WIN // links there are shortcut files named ".lnk"
        QTest::newRow("a link") << QStringLiteral("status.db.aBcDeF") << true << 3600 << false;
#endif
    }
    void staleTemporariesGoAtStart()
    {
        QFETCH(QString, name);
        QFETCH(bool, isLink);
        QFETCH(int, ageSecs);
        TestAppDir dir;
        TestAppDir elsewhere;
        elsewhere.writeFile(QStringLiteral("target"), "the user's own text");
        const QString target = elsewhere.file(QStringLiteral("target"));
        dir.writeFile(QStringLiteral("status.db"), "e30=");
        const QString path = dir.file(name);
        QVERIFY(age(target, ageSecs));
        if (isLink) {
            QVERIFY(QFile::link(target, path));
        } else {
            dir.writeFile(name, "token");
            QVERIFY(age(path, ageSecs));
        }
        // The same name in a folder that is not the store's stays.
        elsewhere.writeFile(name, "token");
        QVERIFY(age(elsewhere.file(name), ageSecs));

        QFETCH(bool, removed);
        QCOMPARE(AStatus::removeStaleTemporaries(dir.path()), removed ? 1 : 0);
        QCOMPARE(QFileInfo(path).exists() || QFileInfo(path).isSymLink(), !removed);
        QVERIFY(QFile::exists(dir.file(QStringLiteral("status.db"))));
        QCOMPARE(elsewhere.readFile(QStringLiteral("target")), QByteArray("the user's own text"));
        QVERIFY(QFile::exists(elsewhere.file(name)));
    }

    // A child process saves a large store in a loop; killing it at any moment must leave a whole store.
    void killedDuringSaveKeepsAWholeStore()
    {
        TestAppDir dir;
        for (int round = 0; round < 8; ++round) {
            QProcess saver;
            saver.start(QStringLiteral(STATUS_SAVER_PATH), {dir.path()});
            QVERIFY(saver.waitForReadyRead(10000)); // the first save is done
            QTest::qWait(5 + round * 7);
            saver.kill();
            saver.waitForFinished();
            QVERIFY2(AStatus(dir.path()).getString(QStringLiteral("filler")).size() == 200000,
                     "status.db is empty or broken after a kill");
        }
    }
};

QTEST_GUILESS_MAIN(TestStatus)
#include "TestStatus.moc"
