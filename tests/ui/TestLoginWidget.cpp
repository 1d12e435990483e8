#include "AClock.h"
#include "ASingleton.h"
#include "AStatus.h"
#include "AUtil.h"
#include "FakeHttpServer.h"
#include "LoginWidget.h"
#include "TestSupport.h"
#include "UiResources.h"

#include <QCheckBox>
#include <QJsonObject>
#include <QLabel>
#include <QtTest>

namespace {
const QByteArray kScan = "/w1/Login/scanLogin";
const QByteArray kSee = "/w1/Login/seeLogin";
constexpr qint64 kNow = 1800000000;

FakeResponse loginUrl()
{
    return FakeResponse::envelope(
        0, QJsonObject{{QStringLiteral("login_url"), QStringLiteral("https://example.invalid/l")}});
}
FakeResponse scanned()
{
    return FakeResponse::envelope(0, QJsonObject{{QStringLiteral("token"), QStringLiteral("ab-cd-ef")},
                                                 {QStringLiteral("user_id"), 123},
                                                 {QStringLiteral("username"), QStringLiteral("李雷")}});
}
} // namespace

class TestLoginWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void enterpriseOpenModeNeedsNoLogin();
    void storedLoginLastsSevenDays_data();
    void storedLoginLastsSevenDays();
    void scanLogsInAndRemembersTheUser();
    void autoLoginOffRemembersNothing();
    void scanLoginIsTriedTwice();
    void refreshIconAsksAgain();
    void closingWhilePollingKeepsTheStoredLogin();

private:
    static AStatus* status() { return ASingleton<AStatus>::instance(); }
    static void storeLogin(const QString& token, qint64 time);
    // Closes the login window once it shows, after running check on it.
    static void closeLoginWhenShown(std::function<void(LoginWidget*)> check = {});

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
    m_service.setDefault("GET", kScan, loginUrl());
    m_service.setDefault("GET", kSee, FakeResponse::envelope(1));
    status()->setInt(QStringLiteral("run_mode"), 1);
    storeLogin(QString(), 0);
}

void TestLoginWidget::storeLogin(const QString& token, qint64 time)
{
    status()->setString(QStringLiteral("login_token"), token);
    status()->setString(QStringLiteral("login_user_id"), token.isEmpty() ? QString() : QStringLiteral("77"));
    status()->setString(QStringLiteral("login_user_name"),
                        token.isEmpty() ? QString() : QStringLiteral("韩梅梅"));
    status()->setInt(QStringLiteral("login_time"), int(time));
}

void TestLoginWidget::closeLoginWhenShown(std::function<void(LoginWidget*)> check)
{
    onNextModal<LoginWidget>([check](LoginWidget* login) {
        if (check)
            check(login);
        login->close();
    });
}

void TestLoginWidget::enterpriseOpenModeNeedsNoLogin()
{
    status()->setInt(QStringLiteral("run_mode"), 2);
    LoginWidget login;
    QCOMPARE(login.start(), 1);
    QCOMPARE(login.user().token, QString());
    QCOMPARE(login.user().userId, QString());
    QVERIFY(m_service.requests().isEmpty());
}

void TestLoginWidget::storedLoginLastsSevenDays_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<qint64>("age");
    QTest::addColumn<bool>("used");
    QTest::newRow("a second short of seven days") << "ab-cd" << qint64(604799) << true;
    QTest::newRow("exactly seven days") << "ab-cd" << qint64(604800) << false;
    QTest::newRow("fresh token without a dash") << "abcd" << qint64(10) << false;
}

void TestLoginWidget::storedLoginLastsSevenDays()
{
    QFETCH(QString, token);
    QFETCH(qint64, age);
    QFETCH(bool, used);
    storeLogin(token, kNow - age);
    LoginWidget login;
    if (!used)
        closeLoginWhenShown();
    QCOMPARE(login.start(), used ? 1 : 0);
    QCOMPARE(m_service.requestsTo(kScan).isEmpty(), used);
    if (used) {
        QCOMPARE(login.user().userName, QStringLiteral("韩梅梅"));
        QCOMPARE(AStatus(m_dir.path()).getInt(QStringLiteral("login_time")), int(kNow)); // extended and saved
    }
}

void TestLoginWidget::scanLogsInAndRemembersTheUser()
{
    m_service.enqueue("GET", kSee,
                      FakeResponse::envelope(1, QJsonValue::Undefined, QStringLiteral("未扫码")));
    m_service.setDefault("GET", kSee, scanned());
    LoginWidget login;
    QCOMPARE(login.start(), 1);

    QCOMPARE(login.user().token, QStringLiteral("ab-cd-ef"));
    QCOMPARE(login.user().userId, QStringLiteral("123"));
    QCOMPARE(login.user().userName, QStringLiteral("李雷"));
    const AStatus saved(m_dir.path());
    QCOMPARE(saved.getString(QStringLiteral("login_token")), QStringLiteral("ab-cd-ef"));
    QCOMPARE(saved.getString(QStringLiteral("login_user_id")), QStringLiteral("123"));
    QCOMPARE(saved.getInt(QStringLiteral("login_time")), int(kNow));

    // One code per login window: the QR request and every poll carry it.
    const QByteArray code = m_service.requestsTo(kScan).value(0).queryValue("code");
    QCOMPARE(code.size(), 16);
    QCOMPARE(m_service.requestsTo(kScan).value(0).query, "code=" + code + "&&");
    QCOMPARE(m_service.requestsTo(kSee).size(), 2);
    for (const FakeRequest& poll : m_service.requestsTo(kSee))
        QCOMPARE(poll.queryValue("code"), code);
}

void TestLoginWidget::autoLoginOffRemembersNothing()
{
    storeLogin(QStringLiteral("old-token"), kNow - 604800);
    m_service.setDefault("GET", kSee, scanned());
    onNextModal<LoginWidget>([](LoginWidget* login) {
        login->findChild<QCheckBox*>(QStringLiteral("cbxAutoLogin"))->setChecked(false);
    });
    LoginWidget login;
    QCOMPARE(login.start(), 1);
    QCOMPARE(login.user().token, QStringLiteral("ab-cd-ef"));
    const AStatus saved(m_dir.path());
    QCOMPARE(saved.getString(QStringLiteral("login_token")), QString());
    QCOMPARE(saved.getInt(QStringLiteral("login_time")), 0);
}

void TestLoginWidget::scanLoginIsTriedTwice()
{
    m_service.enqueue("GET", kScan, FakeResponse::text("busy", 503));
    QString text;
    bool flushShown = true;
    bool qrShown = false;
    closeLoginWhenShown([&](LoginWidget* login) {
        text = login->findChild<QLabel*>(QStringLiteral("lbText"))->text();
        flushShown = login->findChild<QLabel*>(QStringLiteral("lbFlush"))->isVisible();
        qrShown = !login->findChild<QLabel*>(QStringLiteral("lbQr"))->pixmap(Qt::ReturnByValue).isNull();
    });
    LoginWidget login;
    QCOMPARE(login.start(), 0);
    QCOMPARE(m_service.requestsTo(kScan).size(), 2);
    QCOMPARE(text, QStringLiteral("请使用微信、PavkoAPP扫一扫登录"));
    QVERIFY(!flushShown);
    QVERIFY(qrShown);
}

void TestLoginWidget::refreshIconAsksAgain()
{
    m_service.enqueue("GET", kScan, FakeResponse::text("down", 500));
    m_service.enqueue("GET", kScan, FakeResponse::json("[]"));
    m_service.setDefault("GET", kSee, scanned());
    onNextModal<LoginWidget>([](LoginWidget* modal) {
        auto* flush = modal->findChild<QLabel*>(QStringLiteral("lbFlush"));
        QVERIFY(flush->isVisible());
        QCOMPARE(modal->findChild<QLabel*>(QStringLiteral("lbText"))->text(),
                 QStringLiteral("网络异常，二维码无法展示，请刷新重试"));
        QTest::mouseClick(flush, Qt::LeftButton);
    });
    LoginWidget login;
    QCOMPARE(login.start(), 1);
    QCOMPARE(m_service.requestsTo(kScan).size(), 3);
}

void TestLoginWidget::closingWhilePollingKeepsTheStoredLogin()
{
    storeLogin(QStringLiteral("stored-token"), kNow - 700000);
    onNextModal<LoginWidget>([this](LoginWidget* modal) {
        m_service.waitForRequests(2); // the QR request and a first poll
        modal->close();
    });
    LoginWidget login;
    QCOMPARE(login.start(), 0);
    const int polls = m_service.requestsTo(kSee).size();
    QTest::qWait(1500);
    QCOMPARE(m_service.requestsTo(kSee).size(), polls); // a closed window stops asking
    QCOMPARE(status()->getString(QStringLiteral("login_token")), QStringLiteral("stored-token"));
}

QTEST_MAIN(TestLoginWidget)
#include "TestLoginWidget.moc"
