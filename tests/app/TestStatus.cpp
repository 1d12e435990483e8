#include "AStatus.h"
#include "TestSupport.h"

#include <QJsonDocument>
#include <QProcess>
#include <QtTest>

class TestStatus : public QObject
{
    Q_OBJECT

private slots:
    void readsMissingKeysAndTypes();
    void storesBase64OfCompactJson();
    void valuesSurviveOnlyWhenSaved();
    void unreadableStoreLoadsEmpty_data();
    void unreadableStoreLoadsEmpty();
    void killedDuringSaveKeepsAWholeStore();
};

void TestStatus::readsMissingKeysAndTypes()
{
    TestAppDir dir;
    AStatus status(dir.path());
    QCOMPARE(status.runMode(), 1);
    QCOMPARE(status.getInt(QStringLiteral("run_mode")), -1);
    QCOMPARE(status.getString(QStringLiteral("login_token")), QString());

    status.setInt(QStringLiteral("run_mode"), 3);
    QCOMPARE(status.runMode(), 3);
    status.setString(QStringLiteral("login_user_id"), QStringLiteral("abc"));
    QCOMPARE(status.getInt(QStringLiteral("login_user_id")), 0);
    status.setInt(QStringLiteral("login_time"), 42);
    QCOMPARE(status.getString(QStringLiteral("login_time")), QString());
}

void TestStatus::storesBase64OfCompactJson()
{
    TestAppDir dir;
    AStatus status(dir.path());
    status.setString(QStringLiteral("login_user_name"), QStringLiteral("张三"));
    status.setInt(QStringLiteral("run_mode"), 2);
    status.save();

    const QByteArray stored = dir.readFile(QStringLiteral("status.db"));
    QVERIFY(!stored.contains('\n'));
    QCOMPARE(QByteArray::fromBase64(stored), QByteArray(R"({"login_user_name":"张三","run_mode":2})"));
}

void TestStatus::valuesSurviveOnlyWhenSaved()
{
    TestAppDir dir;
    {
        AStatus status(dir.path());
        status.setInt(QStringLiteral("run_mode"), 2);
        status.save();
        status.setInt(QStringLiteral("default_device_id"), 7);
    }
    AStatus restarted(dir.path());
    QCOMPARE(restarted.getInt(QStringLiteral("run_mode")), 2);
    QCOMPARE(restarted.getInt(QStringLiteral("default_device_id")), -1);
}

void TestStatus::unreadableStoreLoadsEmpty_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not base64") << QByteArray("%%%% not a store %%%%");
    QTest::newRow("base64 of an array") << QByteArray("[1,2]").toBase64();
    QTest::newRow("base64 of broken json") << QByteArray("{\"run_mode\":").toBase64();
    QTest::newRow("empty") << QByteArray("");
}

void TestStatus::unreadableStoreLoadsEmpty()
{
    QFETCH(QByteArray, content);
    TestAppDir dir;
    dir.writeFile(QStringLiteral("status.db"), content);
    AStatus status(dir.path());
    QVERIFY(!status.load());
    QCOMPARE(status.runMode(), 1);
    QCOMPARE(status.getInt(QStringLiteral("company_id")), -1);
}

// A child process saves a large store in a loop; killing it at any moment must leave a whole store.
void TestStatus::killedDuringSaveKeepsAWholeStore()
{
    TestAppDir dir;
    for (int round = 0; round < 8; ++round) {
        QProcess saver;
        saver.start(QStringLiteral(STATUS_SAVER_PATH), {dir.path(), QString::number(round)});
        QVERIFY(saver.waitForReadyRead(10000)); // the first save is done
        QTest::qWait(5 + round * 7);
        saver.kill();
        saver.waitForFinished();

        AStatus status(dir.path());
        QVERIFY2(status.load(), "status.db is empty or broken after a kill");
        QVERIFY(status.getInt(QStringLiteral("round")) >= 0);
        QCOMPARE(status.getString(QStringLiteral("filler")).size(), 200000);
    }
}

QTEST_GUILESS_MAIN(TestStatus)
#include "TestStatus.moc"
