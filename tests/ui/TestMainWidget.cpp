#include "ASingleton.h"
#include "AStatus.h"
#include "AUtil.h"
#include "MainCloudWidget.h"
#include "MainOnlineWidget.h"
#include "MainShareWidget.h"
#include "MainWidget.h"
#include "TestSupport.h"
#include "UiResources.h"

#include <QLabel>
#include <QToolButton>
#include <QtTest>

class TestMainWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void opensOnTheSharePageWithGreeting();
    void cloudModeOpensOnPrintAndDeliver();
    void enterpriseModeHidesCloudAndLogout();
    void onlinePrintingReplacesTheSharePage();
    void resultCodes_data();
    void resultCodes();

private:
    static QToolButton* button(MainWidget& window, const char* name)
    {
        return window.findChild<QToolButton*>(QLatin1String(name));
    }
    static AStatus* status() { return ASingleton<AStatus>::instance(); }

    TestAppDir m_dir;
    SUser m_user{QStringLiteral("ab-cd"), QStringLiteral("9"), QStringLiteral("李雷")};
    SJob m_job;
};

void TestMainWidget::initTestCase()
{
    initUiResources();
    setAppDir(m_dir.path());
    // Never contacted: the pages here make no requests.
    m_dir.writeConfig(R"({"https_server":"http://apidev.invalid","version":"3.1.0"})");
}

void TestMainWidget::init()
{
    status()->setInt(QStringLiteral("software_mode"), 0);
    status()->setInt(QStringLiteral("run_mode"), 1);
}

void TestMainWidget::opensOnTheSharePageWithGreeting()
{
    MainWidget window(m_user, &m_job);
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("Pavko智能云打印机 3.1.0 - dev"));
    QCOMPARE(window.size(), QSize(1015, 550));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("label_uname"))->text(),
             QStringLiteral("您好，李雷，欢迎使用Pavko智能云打印系统"));
    auto* share = window.findChild<MainShareWidget*>();
    QVERIFY(share && share->isVisible());
    QCOMPARE(share->pos(), QPoint(1, 25));
    QVERIFY(button(window, "btn_share")->styleSheet().contains(QLatin1String("rgb(6,130,204)")));

    QTest::mouseClick(button(window, "btn_cloud"), Qt::LeftButton);
    auto* cloud = window.findChild<MainCloudWidget*>();
    QVERIFY(cloud && cloud->isVisible());
    QVERIFY(!share->isVisible());
    QVERIFY(button(window, "btn_cloud")->styleSheet().contains(QLatin1String("rgb(6,130,204)")));
    QVERIFY(button(window, "btn_share")->styleSheet().contains(QLatin1String("black")));

    QTest::mouseClick(button(window, "btn_setting"), Qt::LeftButton);
    QVERIFY(!cloud->isVisible());
    QVERIFY(button(window, "btn_cloud")->styleSheet().contains(QLatin1String("black")));
    QTest::mouseClick(button(window, "btn_share"), Qt::LeftButton);
    QVERIFY(share->isVisible());
    QCOMPARE(window.findChildren<MainShareWidget*>().size(), 1); // pages are made once
}

void TestMainWidget::cloudModeOpensOnPrintAndDeliver()
{
    status()->setInt(QStringLiteral("software_mode"), 1);
    MainWidget window(m_user, nullptr);
    window.show();
    QVERIFY(!button(window, "btn_share")->isEnabled());
    QVERIFY(window.findChild<MainCloudWidget*>()->isVisible());
    QVERIFY(!window.findChild<MainShareWidget*>());
}

void TestMainWidget::enterpriseModeHidesCloudAndLogout()
{
    status()->setInt(QStringLiteral("run_mode"), 2);
    MainWidget window(m_user, &m_job);
    window.show();
    QVERIFY(!button(window, "btn_cloud")->isVisible());
    QVERIFY(!button(window, "btn_logout")->isVisible());
    QVERIFY(button(window, "btn_setting")->isVisible());
}

void TestMainWidget::onlinePrintingReplacesTheSharePage()
{
    MainWidget window(m_user, &m_job);
    window.show();
    auto* share = window.findChild<MainShareWidget*>();
    emit share->goto_online();
    auto* online = window.findChild<MainOnlineWidget*>();
    QVERIFY(online && online->isVisible());
    QVERIFY(!share->isVisible());
    QCOMPARE(button(window, "btn_share")->text(), QStringLiteral("线\n上\n打\n印"));

    QTest::mouseClick(button(window, "btn_cloud"), Qt::LeftButton);
    QVERIFY(!online->isVisible());
    QTest::mouseClick(button(window, "btn_share"), Qt::LeftButton);
    QVERIFY(online->isVisible());
    QVERIFY(!share->isVisible());
}

void TestMainWidget::resultCodes_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("result");
    QTest::newRow("closed") << "close" << int(MainWidget::Closed);
    QTest::newRow("share success") << "share success" << int(MainWidget::Succeeded);
    QTest::newRow("online success") << "online success" << int(MainWidget::Succeeded);
    QTest::newRow("cloud success") << "cloud success" << int(MainWidget::Succeeded);
    QTest::newRow("logout button") << "logout" << int(MainWidget::LoggedOut);
    QTest::newRow("share page logout") << "share logout" << int(MainWidget::LoggedOut);
}

void TestMainWidget::resultCodes()
{
    QFETCH(QString, action);
    status()->setString(QStringLiteral("login_token"), QStringLiteral("ab-cd"));
    status()->save();
    MainWidget window(m_user, &m_job);
    onNextModal<MainWidget>([&window, action](MainWidget*) {
        auto* share = window.findChild<MainShareWidget*>();
        if (action == QLatin1String("close")) {
            window.close();
        } else if (action == QLatin1String("share success")) {
            emit share->success();
        } else if (action == QLatin1String("online success")) {
            emit share->goto_online();
            emit window.findChild<MainOnlineWidget*>()->success();
        } else if (action == QLatin1String("cloud success")) {
            QTest::mouseClick(button(window, "btn_cloud"), Qt::LeftButton);
            emit window.findChild<MainCloudWidget*>()->success();
        } else if (action == QLatin1String("logout")) {
            QTest::mouseClick(button(window, "btn_logout"), Qt::LeftButton);
        } else {
            emit share->logout();
        }
    });
    window.exec();
    QTEST(window.resultCode(), "result");
    const bool loggedOut = window.resultCode() == MainWidget::LoggedOut;
    QCOMPARE(AStatus(m_dir.path()).getString(QStringLiteral("login_token")).isEmpty(), loggedOut);
}

QTEST_MAIN(TestMainWidget)
#include "TestMainWidget.moc"
