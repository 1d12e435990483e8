#include "AClock.h"
#include "ASingleton.h"
#include "AStatus.h"
#include "AppDir.h"
#include "FakeHttpServer.h"
#include "LoginWidget.h"
#include "TestSupport.h"
#include "UiResources.h"

#include <QCheckBox>
#include <QLabel>
#include <QtTest>

namespace {
const QByteArray kScan = "/w1/Login/scanLogin";
const QByteArray kSee = "/w1/Login/seeLogin";
constexpr qint64 kNow = 4102444800; // 2100: stored times need more than 32 bits
} // namespace

class TestLoginWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void storedLoginOrTheWindow_data();
    void storedLoginOrTheWindow();
    void scanLogsIn_data();
    void scanLogsIn();

private:
    // The first poll's answer, a success, arrives only after the user has closed the window.
    void closeWhileTheFirstPollWaits()
    {
        FakeResponse lateSuccess =
            FakeResponse::json(R"({"code":0,"data":{"token":"ef-gh","user_id":1,"username":"迟到"}})");
        lateSuccess.delayMs = 300;
        m_service.enqueue("GET", kSee, lateSuccess);
        onNextModal<LoginWidget>([this](LoginWidget* modal) {
            // A timer, so that it also fires inside the poll's own wait.
            auto* watch = new QTimer(modal);
            connect(watch, &QTimer::timeout, modal, [this, modal, watch] {
                if (m_service.requestsTo(kSee).isEmpty())
                    return;
                watch->stop();
                modal->close();
            });
            watch->start(5);
        });
    }
    static AStatus* status() { return ASingleton<AStatus>::instance(); }
    static QLabel* label(LoginWidget* login, const char* name)
    {
        return login->findChild<QLabel*>(QLatin1String(name));
    }
    static void storeLogin(const QString& token, qint64 time)
    {
        status()->setString(QStringLiteral("login_token"), token);
        status()->setString(QStringLiteral("login_user_name"),
                            token.isEmpty() ? QString() : QStringLiteral("韩梅梅"));
        status()->setInt(QStringLiteral("login_time"), time);
    }

    TestAppDir m_dir;
    FakeHttpServer m_service;
};

void TestLoginWidget::initTestCase()
{
    initUiResources();
    QVERIFY(m_service.start());
    setAppDir(m_dir.path());
    m_dir.writeConfig(QStringLiteral(R"({"https_server":"%1"})").arg(m_service.baseUrl()).toUtf8());
    AClock::setSource([] { return kNow; });
}

void TestLoginWidget::init()
{
    // Each test scripts what differs from "the QR code comes, nobody scans it".
    m_service.clearRequests();
    m_service.setDefault(
        "GET", kScan, FakeResponse::json(R"({"code":0,"data":{"login_url":"https://example.invalid/l"}})"));
    m_service.setDefault("GET", kSee, FakeResponse::json(R"({"code":1})"));
    status()->setInt(QStringLiteral("run_mode"), 1);
    storeLogin(QString(), 0);
}

void TestLoginWidget::storedLoginOrTheWindow_data()
{
    QTest::addColumn<int>("runMode");
    QTest::addColumn<QString>("token");
    QTest::addColumn<qint64>("age");
    QTest::addColumn<bool>("used"); // false: the QR window opens and is closed while it polls
    QTest::newRow("enterprise open mode") << 2 << QString() << qint64(0) << true;
    QTest::newRow("a second short of seven days") << 1 << "ab-cd" << qint64(604799) << true;
    QTest::newRow("exactly seven days") << 1 << "ab-cd" << qint64(604800) << false;
    QTest::newRow("fresh token without a dash") << 1 << "abcd" << qint64(10) << false;
}

void TestLoginWidget::storedLoginOrTheWindow()
{
    QFETCH(int, runMode);
    QFETCH(QString, token);
    QFETCH(qint64, age);
    QFETCH(bool, used);
    status()->setInt(QStringLiteral("run_mode"), runMode);
    storeLogin(token, kNow - age);
    LoginWidget login;
    if (used) // should a window open all the same, the row fails rather than hangs
        QTimer::singleShot(3000, &login, &QWidget::close);
    else
        closeWhileTheFirstPollWaits();
    QCOMPARE(login.start(), used ? 1 : 0);
    QCOMPARE(m_service.requests().isEmpty(), used);
    if (used) {
        QCOMPARE(login.user().userName, status()->getString(QStringLiteral("login_user_name")));
        if (!token.isEmpty()) // every use starts the seven days again, on disk
            QCOMPARE(AStatus(m_dir.path()).getInt(QStringLiteral("login_time")), kNow);
        return;
    }
    QVERIFY(login.user().token.isEmpty());
    const int polls = m_service.requestsTo(kSee).size();
    QTest::qWait(1500);
    QCOMPARE(m_service.requestsTo(kSee).size(), polls); // a closed window stops asking
    QCOMPARE(status()->getString(QStringLiteral("login_token")), token);
}

void TestLoginWidget::scanLogsIn_data()
{
    QTest::addColumn<bool>("autoLogin");
    // QR requests that fail first: one is tried again at once; after two the refresh icon is clicked.
    QTest::addColumn<int>("failures");
    QTest::newRow("auto-login") << true << 0;
    QTest::newRow("auto-login off") << false << 0;
    QTest::newRow("QR code on the second try") << true << 1;
    QTest::newRow("refreshed QR code") << true << 2;
}

void TestLoginWidget::scanLogsIn()
{
    QFETCH(bool, autoLogin);
    QFETCH(int, failures);
    storeLogin(QStringLiteral("old-token"), kNow - 604800);
    if (failures > 0)
        m_service.enqueue("GET", kScan, FakeResponse::text("down", 500));
    if (failures > 1)
        m_service.enqueue("GET", kScan, FakeResponse::json("[]"));
    m_service.enqueue("GET", kSee, FakeResponse::json(R"({"code":1,"msg":"未扫码"})"));
    m_service.setDefault(
        "GET", kSee,
        FakeResponse::json(R"({"code":0,"data":{"token":"ab-cd-ef","user_id":123,"username":"李雷"}})"));
    onNextModal<LoginWidget>([=](LoginWidget* login) {
        const auto closeOnFailure = qScopeGuard([login] {
            if (QTest::currentTestFailed())
                login->close();
        });
        if (!autoLogin) // it starts ticked
            login->findChild<QCheckBox*>(QStringLiteral("cbxAutoLogin"))->setChecked(false);
        if (failures < 2) {
            QCOMPARE(m_service.requestsTo(kScan).size(), failures + 1);
            QVERIFY(!label(login, "lbFlush")->isVisible());
            QCOMPARE(label(login, "lbText")->text(), QStringLiteral("请使用微信、PavkoAPP扫一扫登录"));
            QVERIFY(!label(login, "lbQr")->pixmap(Qt::ReturnByValue).isNull());
            return;
        }
        QCOMPARE(m_service.requestsTo(kScan).size(), 2); // tried twice before the error shows
        QVERIFY(label(login, "lbFlush")->isVisible());
        QCOMPARE(label(login, "lbText")->text(), QStringLiteral("网络异常，二维码无法展示，请刷新重试"));
        QTest::mouseClick(label(login, "lbFlush"), Qt::LeftButton);
        QVERIFY(!label(login, "lbFlush")->isVisible());
        QCOMPARE(label(login, "lbText")->text(), QStringLiteral("请使用微信、PavkoAPP扫一扫登录"));
        QVERIFY(!label(login, "lbQr")->pixmap(Qt::ReturnByValue).isNull());
    });
    LoginWidget login;
    QCOMPARE(login.start(), 1);
    QCOMPARE(login.user().token, QStringLiteral("ab-cd-ef"));
    QCOMPARE(login.user().userId, QStringLiteral("123"));
    QCOMPARE(login.user().userName, QStringLiteral("李雷"));
    const AStatus saved(m_dir.path());
    QCOMPARE(saved.getString(QStringLiteral("login_token")), autoLogin ? login.user().token : QString());
    QCOMPARE(saved.getString(QStringLiteral("login_user_id")), autoLogin ? login.user().userId : QString());
    QCOMPARE(saved.getInt(QStringLiteral("login_time")), autoLogin ? kNow : 0);

    // One code per login window: every QR request and every poll carry it.
    QCOMPARE(m_service.requestsTo(kScan).size(), failures + 1);
    QCOMPARE(m_service.requestsTo(kSee).size(), 2);
    const QByteArray code = m_service.requests().value(0).queryValue("code");
    QCOMPARE(code.size(), 16);
    for (const FakeRequest& request : m_service.requests())
        QCOMPARE(request.query, "code=" + code + "&&");
}

QTEST_MAIN(TestLoginWidget)
#include "TestLoginWidget.moc"
