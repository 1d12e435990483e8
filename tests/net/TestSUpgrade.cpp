#include "AStatus.h"
#include "FakeHttpServer.h"
#include "SUpgrade.h"
#include "TestSupport.h"

#include <QtTest>

namespace {
const QByteArray kVersionPath = "/w1/upgrade/getLastVersionInfo";
// A stand-in installer: writes its arguments, one a line, into its working folder.
const QByteArray kInstaller = "#!/bin/sh\nprintf '%s\\n' \"$@\" > args.part && mv args.part args.txt\n";
// The stand-in installer grown by a comment line to 8 KiB, sent 16 bytes at a time.
FakeResponse trickled(int stallAfterChunks, int chunkIntervalMs)
{
    FakeResponse response = FakeResponse::text(kInstaller + '#' + QByteArray(8 * 1024, 'x') + '\n');
    response.chunkSize = 16;
    response.chunkIntervalMs = chunkIntervalMs;
    response.stallAfterChunks = stallAfterChunks;
    return response;
}
} // namespace

// Checks, downloads and installer starts against a scripted service on 127.0.82.1.
class TestSUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_service.listen(QHostAddress(QStringLiteral("127.0.82.1")))); }
    void localFileNames();
    void upgrades_data();
    void upgrades();
    void cutDownloadIsNeverRun();
    void backgroundTransferHoldsNoWindow_data();
    void backgroundTransferHoldsNoWindow();
    void backgroundDownloadTimeLimit();
    void firstCheckAfterTwoIntervals();
    void packageOnlyOverHttp();
    void packagedInstallationLeftToItsPackageManager_data();
    void packagedInstallationLeftToItsPackageManager();

private:
    // Publishes version (empty: the service fails) with both files served as the stand-in installer;
    // type is package_type's JSON text.
    void publish(const QString& version, const QString& type, const QString& patchMin)
    {
        const QString data =
            QStringLiteral(R"({"package_version":"%1","package_type":%2,"package_url":"%3/pkg/full.sh",)"
                           R"("patch_url":"%3/pkg/patch.sh","patch_min_supported_ver":"%4"})");
        m_service.setDefault(
            "GET", kVersionPath,
            version.isEmpty()
                ? FakeResponse::closeWithoutAnswer()
                : FakeResponse::json(QStringLiteral(R"({"code":0,"data":%1})")
                                         .arg(data.arg(version).arg(type).arg(m_service.baseUrl(), patchMin))
                                         .toUtf8()));
        m_service.setDefault("GET", "/pkg/full.sh", FakeResponse::text(kInstaller));
        m_service.setDefault("GET", "/pkg/patch.sh", FakeResponse::text(kInstaller));
    }
    SUpgrade::Setup setup(AStatus& status, const QString& client)
    {
        return {m_service.baseUrl(), client, m_dir->path(), QStringLiteral("Q1TEST"), &status};
    }
    // What the package folder holds.
    QStringList packageFiles() const
    {
        return QDir(m_dir->file(QStringLiteral("pkg"))).entryList(QDir::Files);
    }
    // The arguments the stand-in installer got, joined by ",", "@" for the application folder.
    QString installerArguments() const
    {
        const QString file = m_dir->file(QStringLiteral("pkg/args.txt"));
        if (!QTest::qWaitFor([&] { return QFile::exists(file); }, kStateWaitMs))
            return QStringLiteral("<not started>");
        return QString::fromUtf8(m_dir->readFile(QStringLiteral("pkg/args.txt")).trimmed())
            .replace(QLatin1Char('\n'), QLatin1Char(','))
            .replace(m_dir->path(), QStringLiteral("@"));
    }
    FakeHttpServer m_service;
    std::unique_ptr<TestAppDir> m_dir;
};

void TestSUpgrade::localFileNames()
{
    const QString pkg = QStringLiteral("/app/pkg/");
    QCOMPARE(SUpgrade::localFile(pkg, QStringLiteral("https://cdn.example/p.exe?sign=a/b")),
             pkg + QStringLiteral("p.exe"));
    for (const char* refused :
         {"https://cdn.example/pkg/", "https://cdn.example/pkg/%2E%2E",
          "https://cdn.example/a%5C..%5C..%5Cevil.exe", "https://cdn.example/C:evil.exe"})
        QVERIFY2(SUpgrade::localFile(pkg, QString::fromLatin1(refused)).isEmpty(), refused);
}

void TestSUpgrade::upgrades_data()
{
    QTest::addColumn<bool>("now"); // the settings page's upgrade, else the background check
    QTest::addColumn<QString>("client");
    QTest::addColumn<QString>("published"); // empty: the service fails
    QTest::addColumn<QString>("type");      // as JSON
    QTest::addColumn<QString>("patchMin");
    QTest::addColumn<QString>("skipped");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("outcome"); // asked?, message or download, installer arguments, checking on…
    const auto row = [](const char* name, bool now, const char* client, const char* published,
                        const QString& type, const char* min, const char* skipped, bool yes,
                        const char* outcome) {
        QTest::newRow(name) << now << QString::fromUtf8(client) << QString::fromUtf8(published) << type
                            << QString::fromUtf8(min) << QString::fromUtf8(skipped) << yes
                            << QString::fromUtf8(outcome);
    };
    row("same version", true, "1.0.3.2", "1.0.3.2", QStringLiteral("1"), "1.0.3.0", "", true,
        "当前版本已是最新版本.");
    row("service down", true, "1.0.3.2", "", QStringLiteral("1"), "", "", true,
        "获取最新版本失败，请稍后重试.");
    row("patch from its minimum", true, "1.0.3.2", "1.0.4.0", QStringLiteral("2"), "1.0.3.0", "", true,
        "/pkg/patch.sh");
    row("full below the patch minimum", true, "1.0.3.2", "1.0.4.0", QStringLiteral("2"), "1.0.3.5", "", true,
        "/pkg/full.sh");
    row("silent", true, "1.0.3.2", "1.0.4.0", QStringLiteral("0"), "1.0.3.5", "", true,
        "/pkg/full.sh /S,/D,@");
    row("1.0.10.0 upgrades to 1.1.0.0", true, "1.0.10.0", "1.1.0.0", QStringLiteral("1"), "1.1.0.0", "", true,
        "/pkg/full.sh");
    row("no answer: checks on", false, "1.0.3.2", "", QStringLiteral("1"), "", "", true, " …");
    row("nothing new: stops", false, "1.0.3.2", "1.0.3.2", QStringLiteral("1"), "", "", true, "");
    row("optional declined", false, "1.0.3.2", "1.0.4.0", QStringLiteral("1"), "1.0.3.0", ";1.0.3.9", false,
        "? skip=;1.0.3.9;1.0.4.0");
    row("optional skipped before", false, "1.0.3.2", "1.0.4.0", QStringLiteral("1"), "1.0.3.0", ";1.0.4.0",
        true, "");
    row("skip entries are whole", false, "1.0.3.2", "1.0.4", QStringLiteral("1"), "1.0.3.0", ";1.0.4.0", true,
        "?/pkg/patch.sh");
    row("forced: no question", false, "1.0.3.2", "1.0.4.0", QStringLiteral("2"), "1.0.3.0", ";1.0.4.0", false,
        "/pkg/patch.sh");
    // Only 0 and 1 are read as such; whatever else comes is a forced version with its installer's questions.
    row("type \"0\" silent", false, "1.0.3.2", "1.0.4.0", QStringLiteral("\"0\""), "1.0.3.0", "", false,
        "/pkg/patch.sh /S,/D,@");
    row("type \"1\" asked", false, "1.0.3.2", "1.0.4.0", QStringLiteral("\"1\""), "1.0.3.0", "", true,
        "?/pkg/patch.sh");
    row("type \"abc\" forced", false, "1.0.3.2", "1.0.4.0", QStringLiteral("\"abc\""), "1.0.3.0", "", false,
        "/pkg/patch.sh");
    row("type null forced", false, "1.0.3.2", "1.0.4.0", QStringLiteral("null"), "1.0.3.0", "", false,
        "/pkg/patch.sh");
    row("type 0.5 forced", false, "1.0.3.2", "1.0.4.0", QStringLiteral("0.5"), "1.0.3.0", "", false,
        "/pkg/patch.sh");
    row("type \"\" forced", false, "1.0.3.2", "1.0.4.0", QStringLiteral("\"\""), "1.0.3.0", "", false,
        "/pkg/patch.sh");
}

void TestSUpgrade::upgrades()
{
    QFETCH(bool, now);
    QFETCH(QString, client);
    QFETCH(QString, published);
    QFETCH(QString, type);
    QFETCH(QString, patchMin);
    QFETCH(QString, skipped);
    QFETCH(bool, yes);
    QFETCH(QString, outcome);
    publish(published, type, patchMin);
    m_service.clearRequests();
    m_dir = std::make_unique<TestAppDir>();
    AStatus status(m_dir->path());
    status.setString(QStringLiteral("upgrade_skip"), skipped);
    status.save();
    SUpgrade upgrade(setup(status, client));
    QString got;
    upgrade.setAsk([&](const QString& question) {
        got += question == SUpgrade::optionalQuestion(published) ? QStringLiteral("?") : question;
        return yes;
    });

    QString message;
    if (now) {
        upgrade.upgradeNow(message);
    } else {
        upgrade.check();
        QTRY_VERIFY(!upgrade.isBusy());
    }
    got += message;
    QCOMPARE(m_service.requestsTo(kVersionPath).value(0).queryValue("client_version"), client.toUtf8());
    const QList<FakeRequest> downloads =
        m_service.requestsTo("/pkg/full.sh") + m_service.requestsTo("/pkg/patch.sh");
    if (!downloads.isEmpty()) {
        got += QString::fromLatin1(downloads.last().path);
        const QString arguments = installerArguments();
        if (!arguments.isEmpty())
            got += QLatin1Char(' ') + arguments;
    }
    if (!now && upgrade.isChecking())
        got += QStringLiteral(" …");
    const QString skippedAfter = AStatus(m_dir->path()).getString(QStringLiteral("upgrade_skip"));
    if (skippedAfter != skipped)
        got += QStringLiteral(" skip=") + skippedAfter;
    QCOMPARE(got, outcome);
}

void TestSUpgrade::cutDownloadIsNeverRun()
{
    publish(QStringLiteral("1.0.4.0"), QStringLiteral("0"), QStringLiteral("9.9"));
    // 20 of its bytes, then the connection closes
    m_service.enqueue("GET", "/pkg/full.sh",
                      {FakeResponse::Kind::Answer, 200, {}, kInstaller, 0, 10, 0, 2, true});
    FakeResponse unframed = FakeResponse::text(kInstaller);
    unframed.announceLength = false; // its end cannot be told from a cut
    m_service.enqueue("GET", "/pkg/full.sh", unframed);
    m_dir = std::make_unique<TestAppDir>();
    AStatus status(m_dir->path());
    SUpgrade upgrade(setup(status, QStringLiteral("1.0.3.2")));

    QString message;
    for (int attempt = 0; attempt < 2; ++attempt) {
        QVERIFY(!upgrade.upgradeNow(message));
        QCOMPARE(message, QStringLiteral("文件下载失败."));
        QCOMPARE(QDir(m_dir->file(QStringLiteral("pkg"))).entryList(QDir::Files), QStringList());
    }
    QVERIFY(upgrade.upgradeNow(message));
    QCOMPARE(installerArguments(), QStringLiteral("/S,/D,@"));
}

// A print's dialog is open when the background check comes and its package download trickles or
// stalls: the dialog still returns as soon as the user closes it, while the package is held, and a
// second check meanwhile starts nothing. Quitting then gives the transfer up: nothing of it stays or runs.
void TestSUpgrade::backgroundTransferHoldsNoWindow_data()
{
    QTest::addColumn<FakeResponse>("package");
    QTest::newRow("trickling") << trickled(-1, 20);
    QTest::newRow("stalled") << trickled(1, 0);
}

void TestSUpgrade::backgroundTransferHoldsNoWindow()
{
    QFETCH(FakeResponse, package);
    publish(QStringLiteral("1.0.4.0"), QStringLiteral("0"), QStringLiteral("9.9"));
    m_service.enqueue("GET", "/pkg/full.sh", package);
    m_service.clearRequests();
    m_dir = std::make_unique<TestAppDir>();
    AStatus status(m_dir->path());
    auto upgrade = std::make_unique<SUpgrade>(setup(status, QStringLiteral("1.0.3.2")));

    QEventLoop dialog;
    QTimer::singleShot(0, upgrade.get(), &SUpgrade::check);
    // The user closes the dialog once the package is on its way.
    QTimer user;
    connect(&user, &QTimer::timeout, &dialog, [&] {
        if (!m_service.requestsTo("/pkg/full.sh").isEmpty() &&
            QFile::exists(m_dir->file(QStringLiteral("pkg/full.sh.download"))))
            dialog.quit();
    });
    user.start(1);
    dialog.exec();
    user.stop();
    QVERIFY2(upgrade->isBusy(), "the dialog returned only once the download had ended");
    upgrade->check();
    QCOMPARE(m_service.requestsTo(kVersionPath).size(), 1);

    upgrade.reset();
    QCOMPARE(packageFiles(), QStringList());
}

// A package that keeps trickling in is given up at the whole download's time limit, however steadily
// it comes; its partly written file is removed and nothing is run.
void TestSUpgrade::backgroundDownloadTimeLimit()
{
    publish(QStringLiteral("1.0.4.0"), QStringLiteral("0"), QStringLiteral("9.9"));
    m_service.enqueue("GET", "/pkg/full.sh", trickled(-1, 20)); // whole after some 10 s
    m_service.clearRequests();
    m_dir = std::make_unique<TestAppDir>();
    AStatus status(m_dir->path());
    SUpgrade::Setup limited = setup(status, QStringLiteral("1.0.3.2"));
    limited.downloadLimitMs = 300;
    SUpgrade upgrade(limited);

    upgrade.check();
    QTRY_VERIFY(!upgrade.isBusy());
    QCOMPARE(m_service.requestsTo("/pkg/full.sh").size(), 1);
    QCOMPARE(packageFiles(), QStringList());
    QVERIFY(!QFile::exists(m_dir->file(QStringLiteral("pkg/args.txt"))));
    // The next check fetches the package afresh and installs it once it has all come.
    m_service.setDefault("GET", "/pkg/full.sh", FakeResponse::text(kInstaller));
    upgrade.check();
    QCOMPARE(installerArguments(), QStringLiteral("/S,/D,@"));
}

// The client settles first: the first background check comes an hour after start-up, then every half hour.
void TestSUpgrade::firstCheckAfterTwoIntervals()
{
    m_dir = std::make_unique<TestAppDir>();
    AStatus status(m_dir->path());
    SUpgrade upgrade(setup(status, QStringLiteral("1.0.0")));
    QVERIFY(upgrade.isChecking());
    const int first = upgrade.msUntilNextCheck();
    // A coarse timer may be set up to 5 % of its interval later than asked.
    QVERIFY2(first > 2 * SUpgrade::kCheckIntervalMs - 60000 &&
                 first <= 2 * SUpgrade::kCheckIntervalMs + SUpgrade::kCheckIntervalMs / 20,
             qPrintable(QString::number(first)));
    publish(QString(), QStringLiteral("0"), QString()); // a failed check leaves the schedule as it was
    upgrade.check();
    QTRY_VERIFY(!upgrade.isBusy());
    QVERIFY(upgrade.isChecking());
    publish(QStringLiteral("1.0.0"), QStringLiteral("0"), QString()); // a proper answer ends the checking
    upgrade.check();
    QTRY_VERIFY(!upgrade.isBusy());
    QVERIFY(!upgrade.isChecking());
    QCOMPARE(upgrade.msUntilNextCheck(), -1);
}

// A package the service names by a file:, ftp: or other URL is never fetched, let alone run.
void TestSUpgrade::packageOnlyOverHttp()
{
    m_dir = std::make_unique<TestAppDir>();
    m_dir->writeFile(QStringLiteral("setup.sh"), kInstaller);
    const QString local = QStringLiteral("file://") + m_dir->file(QStringLiteral("setup.sh"));
    m_service.setDefault(
        "GET", kVersionPath,
        FakeResponse::json(QStringLiteral(R"({"code":0,"data":{"package_version":"1.0.4.0",)"
                                          R"("package_type":0,"package_url":"%1","patch_url":"%1",)"
                                          R"("patch_min_supported_ver":"1.0.3.0"}})")
                               .arg(local)
                               .toUtf8()));
    AStatus status(m_dir->path());
    SUpgrade upgrade(setup(status, QStringLiteral("1.0.3.2")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^url refused, not http")));
    QString message;
    QVERIFY(!upgrade.upgradeNow(message));
    QCOMPARE(message, QStringLiteral("文件下载失败."));
    QVERIFY(!QFile::exists(m_dir->file(QStringLiteral("pkg/setup.sh"))));
    QVERIFY(!QFile::exists(m_dir->file(QStringLiteral("args.txt"))));
}

// The package manager owns a packaged client's files: a newer version is neither fetched nor run, nor
// is the user asked about it; the settings page's upgrade says where it comes from instead.
void TestSUpgrade::packagedInstallationLeftToItsPackageManager_data()
{
    QTest::addColumn<bool>("now");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("message");
    const QString leftToIt = QStringLiteral("检查到新版本:1.0.4.0\n请通过系统的软件包管理器升级.");
    QTest::newRow("settings page") << true << "0" << leftToIt;
    QTest::newRow("background, silent") << false << "0"
                                        << "";
    QTest::newRow("background, optional") << false << "1"
                                          << "";
    QTest::newRow("background, forced") << false << "2"
                                        << "";
}

void TestSUpgrade::packagedInstallationLeftToItsPackageManager()
{
    QFETCH(bool, now);
    QFETCH(QString, type);
    publish(QStringLiteral("1.0.4.0"), type, QStringLiteral("1.0.3.0"));
    m_service.clearRequests();
    m_dir = std::make_unique<TestAppDir>();
    AStatus status(m_dir->path());
    SUpgrade::Setup packaged = setup(status, QStringLiteral("1.0.3.2"));
    packaged.packaged = true;
    SUpgrade upgrade(packaged);
    bool asked = false;
    upgrade.setAsk([&](const QString&) { return asked = true; });
    QString message;
    if (now) {
        QVERIFY(!upgrade.upgradeNow(message));
    } else {
        upgrade.check();
        QTRY_VERIFY(!upgrade.isBusy());
    }
    QTEST(message, "message");
    QVERIFY(!asked);
    QCOMPARE(m_service.requestsTo(kVersionPath).size(), 1);
    QCOMPARE(m_service.requestsTo("/pkg/full.sh").size() + m_service.requestsTo("/pkg/patch.sh").size(), 0);
    QVERIFY(!QFileInfo::exists(m_dir->file(QStringLiteral("pkg"))));
}

QTEST_GUILESS_MAIN(TestSUpgrade)
#include "TestSUpgrade.moc"
