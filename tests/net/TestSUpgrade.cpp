#include "AStatus.h"
#include "FakeHttpServer.h"
#include "SUpgrade.h"
#include "TestSupport.h"

#include <QtTest>

namespace {
const QByteArray kVersionPath = "/w1/upgrade/getLastVersionInfo";
// A stand-in installer: writes its arguments, one a line, into its working folder.
const QByteArray kInstaller = "#!/bin/sh\nprintf '%s\\n' \"$@\" > args.part && mv args.part args.txt\n";
} // namespace

// Checks, downloads and installer starts against a scripted service on 127.0.82.1.
class TestSUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_service.start(QHostAddress(QStringLiteral("127.0.82.1")))); }
    void versionOrder_data();
    void versionOrder();
    void localFileNames_data();
    void localFileNames();
    void upgradeNow_data();
    void upgradeNow();
    void cutDownloadIsNeverRun();
    void backgroundCheck_data();
    void backgroundCheck();

private:
    // The service publishes version with both files served as the stand-in installer.
    void publish(const QString& version, int type, const QString& patchMin)
    {
        m_service.setDefault(
            "GET", kVersionPath,
            FakeResponse::envelope(
                0, QJsonObject{{QStringLiteral("package_version"), version},
                               {QStringLiteral("package_type"), type},
                               {QStringLiteral("package_url"),
                                QString(m_service.baseUrl() + QStringLiteral("/pkg/full.sh"))},
                               {QStringLiteral("patch_url"),
                                QString(m_service.baseUrl() + QStringLiteral("/pkg/patch.sh"))},
                               {QStringLiteral("patch_min_supported_ver"), patchMin}}));
        m_service.setDefault("GET", "/pkg/full.sh", FakeResponse::text(kInstaller));
        m_service.setDefault("GET", "/pkg/patch.sh", FakeResponse::text(kInstaller));
    }
    SUpgrade::Setup setup(const TestAppDir& dir, AStatus& status, const QString& clientVersion)
    {
        return {m_service.baseUrl(), clientVersion, dir.path(), QStringLiteral("Q1TEST"), &status};
    }
    // The arguments the stand-in installer was started with; fails the test when it never ran.
    static QStringList installerArguments(const TestAppDir& dir)
    {
        const QString file = dir.file(QStringLiteral("pkg/args.txt"));
        if (!QTest::qWaitFor([&] { return QFile::exists(file); }, 10000))
            return {QStringLiteral("<not started>")};
        return QString::fromUtf8(dir.readFile(QStringLiteral("pkg/args.txt")))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    FakeHttpServer m_service;
};

void TestSUpgrade::versionOrder_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("order");
    QTest::addColumn<bool>("readable");
    QTest::newRow("equal") << "1.0.3.2"
                           << "1.0.3.2" << 0 << true;
    QTest::newRow("last part") << "1.0.3.2"
                               << "1.0.4.0" << -1 << true;
    QTest::newRow("two digits are more than one, not a longer number") << "1.0.10.0"
                                                                       << "1.1.0.0" << -1 << true;
    QTest::newRow("missing parts are 0") << "1.0"
                                         << "1.0.0.0" << 0 << true;
    QTest::newRow("shorter but higher") << "2"
                                        << "1.9.9.9" << 1 << true;
    QTest::newRow("letters") << "1.0.a"
                             << "1.0.0" << 0 << false;
    QTest::newRow("empty part") << "1..0"
                                << "1.0.0" << 0 << false;
}

void TestSUpgrade::versionOrder()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, order);
    QFETCH(bool, readable);
    bool ok = !readable;
    QCOMPARE(SUpgrade::compareVersions(a, b, &ok), order);
    QCOMPARE(ok, readable);
    if (readable)
        QCOMPARE(SUpgrade::compareVersions(b, a), -order);
}

void TestSUpgrade::localFileNames_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("file");
    QTest::newRow("plain") << "https://cdn.example/pkg/pavko-1.2.exe"
                           << "/app/pkg/pavko-1.2.exe";
    QTest::newRow("query left out") << "https://cdn.example/p.exe?sign=abc/def"
                                    << "/app/pkg/p.exe";
    QTest::newRow("folder") << "https://cdn.example/pkg/"
                            << "";
    QTest::newRow("parent") << "https://cdn.example/pkg/%2E%2E"
                            << "";
    QTest::newRow("backslash") << "https://cdn.example/a%5C..%5C..%5Cevil.exe"
                               << "";
    QTest::newRow("drive") << "https://cdn.example/C:evil.exe"
                           << "";
}

void TestSUpgrade::localFileNames()
{
    QFETCH(QString, url);
    QFETCH(QString, file);
    QCOMPARE(SUpgrade::localFile(QStringLiteral("/app/pkg/"), url), file);
}

void TestSUpgrade::upgradeNow_data()
{
    QTest::addColumn<QString>("client");
    QTest::addColumn<QString>("published"); // empty: the service fails
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("patchMin");
    QTest::addColumn<QByteArray>("downloaded"); // empty: nothing
    QTest::addColumn<QString>("message");       // empty: the installer started
    QTest::addColumn<QStringList>("arguments");
    const QStringList none;
    QTest::newRow("same version") << "1.0.3.2"
                                  << "1.0.3.2" << 1 << "1.0.3.0" << QByteArray() << "当前版本已是最新版本."
                                  << none;
    QTest::newRow("service down") << "1.0.3.2"
                                  << "" << 1 << "" << QByteArray() << "获取最新版本失败，请稍后重试." << none;
    QTest::newRow("patch from its minimum")
        << "1.0.3.2"
        << "1.0.4.0" << 2 << "1.0.3.0" << QByteArray("/pkg/patch.sh") << "" << none;
    QTest::newRow("full below the patch minimum")
        << "1.0.3.2"
        << "1.0.4.0" << 2 << "1.0.3.5" << QByteArray("/pkg/full.sh") << "" << none;
    QTest::newRow("silent gets /S /D and the folder")
        << "1.0.3.2"
        << "1.0.4.0" << 0 << "1.0.3.5" << QByteArray("/pkg/full.sh") << ""
        << QStringList{QStringLiteral("/S"), QStringLiteral("/D"), QStringLiteral("@")};
    QTest::newRow("1.0.10.0 upgrades to 1.1.0.0")
        << "1.0.10.0"
        << "1.1.0.0" << 1 << "1.1.0.0" << QByteArray("/pkg/full.sh") << "" << none;
}

void TestSUpgrade::upgradeNow()
{
    QFETCH(QString, client);
    QFETCH(QString, published);
    QFETCH(int, type);
    QFETCH(QString, patchMin);
    QFETCH(QByteArray, downloaded);
    QFETCH(QString, message);
    QFETCH(QStringList, arguments);
    m_service.clearRequests();
    if (published.isEmpty())
        m_service.setDefault("GET", kVersionPath,
                             FakeResponse::envelope(1, QJsonValue::Undefined, QStringLiteral("busy")));
    else
        publish(published, type, patchMin);
    TestAppDir dir;
    AStatus status(dir.path());
    SUpgrade upgrade(setup(dir, status, client));

    QString said;
    QCOMPARE(upgrade.upgradeNow(said), message.isEmpty());
    QCOMPARE(said, message);
    const QList<FakeRequest> asked = m_service.requestsTo(kVersionPath);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].queryValue("client_version"), client.toUtf8());
    QCOMPARE(asked[0].queryValue("os_type"), QByteArray("windows"));
    QCOMPARE(m_service.requests().size(), downloaded.isEmpty() ? 1 : 2);
    if (downloaded.isEmpty())
        return;
    QCOMPARE(m_service.requests().last().path, downloaded);
    arguments.replaceInStrings(QStringLiteral("@"), dir.path());
    QCOMPARE(installerArguments(dir), arguments);
}

void TestSUpgrade::cutDownloadIsNeverRun()
{
    publish(QStringLiteral("1.0.4.0"), 0, QStringLiteral("9.9"));
    FakeResponse cut = FakeResponse::text(kInstaller);
    cut.chunkSize = 10;
    cut.stallAfterChunks = 2;
    cut.closeWhenStalled = true;
    m_service.enqueue("GET", "/pkg/full.sh", cut);
    FakeResponse unframed = FakeResponse::text(kInstaller);
    unframed.announceLength = false; // its end cannot be told from a cut
    m_service.enqueue("GET", "/pkg/full.sh", unframed);
    TestAppDir dir;
    AStatus status(dir.path());
    SUpgrade upgrade(setup(dir, status, QStringLiteral("1.0.3.2")));

    for (int attempt = 0; attempt < 2; ++attempt) {
        QString said;
        QVERIFY(!upgrade.upgradeNow(said));
        QCOMPARE(said, QStringLiteral("文件下载失败."));
        QCOMPARE(QDir(dir.file(QStringLiteral("pkg"))).entryList(QDir::Files), QStringList());
    }
    m_service.clearRequests();
    QString said;
    QVERIFY(upgrade.upgradeNow(said));
    QCOMPARE(m_service.requestsTo("/pkg/full.sh").size(), 1);
    QCOMPARE(installerArguments(dir), (QStringList{QStringLiteral("/S"), QStringLiteral("/D"), dir.path()}));
}

void TestSUpgrade::backgroundCheck_data()
{
    QTest::addColumn<QString>("published"); // empty: the service fails
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("skipped");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("installs");
    QTest::addColumn<QString>("skippedAfter");
    QTest::addColumn<bool>("checking");
    QTest::newRow("no answer: checks again") << "" << 1 << "" << true << 0 << false << "" << true;
    QTest::newRow("nothing new: stops") << "1.0.3.2" << 1 << "" << true << 0 << false << "" << false;
    QTest::newRow("optional declined")
        << "1.0.4.0" << 1 << ";1.0.3.9" << false << 1 << false << ";1.0.3.9;1.0.4.0" << false;
    QTest::newRow("optional skipped before")
        << "1.0.4.0" << 1 << ";1.0.4.0" << true << 0 << false << ";1.0.4.0" << false;
    QTest::newRow("skip entries are whole")
        << "1.0.4" << 1 << ";1.0.4.0" << true << 1 << true << ";1.0.4.0" << false;
    QTest::newRow("forced: no question")
        << "1.0.4.0" << 2 << ";1.0.4.0" << false << 0 << true << ";1.0.4.0" << false;
}

void TestSUpgrade::backgroundCheck()
{
    QFETCH(QString, published);
    QFETCH(int, type);
    QFETCH(QString, skipped);
    QFETCH(bool, answer);
    QFETCH(int, questions);
    QFETCH(bool, installs);
    QFETCH(QString, skippedAfter);
    QFETCH(bool, checking);
    if (published.isEmpty())
        m_service.setDefault("GET", kVersionPath, FakeResponse::closeWithoutAnswer());
    else
        publish(published, type, QStringLiteral("1.0.3.0"));
    TestAppDir dir;
    AStatus status(dir.path());
    status.setString(QStringLiteral("upgrade_skip"), skipped);
    status.save();
    SUpgrade upgrade(setup(dir, status, QStringLiteral("1.0.3.2")));
    int asked = 0;
    upgrade.setAsk([&](const QString& question) {
        ++asked;
        return question.startsWith(QStringLiteral("检查到新版本:") + published) && answer;
    });
    QVERIFY(upgrade.isChecking());

    upgrade.check();
    QCOMPARE(asked, questions);
    QCOMPARE(upgrade.isChecking(), checking);
    QCOMPARE(AStatus(dir.path()).getString(QStringLiteral("upgrade_skip")), skippedAfter);
    if (installs)
        QCOMPARE(installerArguments(dir), QStringList());
    else
        QVERIFY(!QFileInfo::exists(dir.file(QStringLiteral("pkg"))));
}

QTEST_GUILESS_MAIN(TestSUpgrade)
#include "TestSUpgrade.moc"
