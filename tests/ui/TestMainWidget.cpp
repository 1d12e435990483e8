#include "ASingleton.h"
#include "AStatus.h"
#include "AppDir.h"
#include "MainCloudWidget.h"
#include "MainOnlineWidget.h"
#include "MainShareWidget.h"
#include "MainWidget.h"
#include "TestSupport.h"
#include "UiResources.h"

#include <QLabel>
#include <QToolButton>
#include <QtTest>

using Action = std::function<void(MainWidget*)>;
Q_DECLARE_METATYPE(Action)

class TestMainWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void navigation();
    void modesShapeTheWindow();
    void resultCodes_data();
    void resultCodes();

private:
    static AStatus* status() { return ASingleton<AStatus>::instance(); }
    static QToolButton* button(MainWidget& window, const char* name)
    {
        return window.findChild<QToolButton*>(QLatin1String(name));
    }
    static void click(MainWidget& window, const char* name)
    {
        QTest::mouseClick(button(window, name), Qt::LeftButton);
    }
    // The tall button that leads to the page on show is drawn blue.
    static bool marked(MainWidget& window, const char* name)
    {
        return button(window, name)->styleSheet().contains(QLatin1String("rgb(6,130,204)"));
    }

    TestAppDir m_dir;
    SUser m_user{QStringLiteral("ab-cd"), QStringLiteral("9"), QStringLiteral("李雷")};
    SJob m_job;
};

void TestMainWidget::initTestCase()
{
    initUiResources();
    setAppDir(m_dir.path());
    // Nothing listens there: the online page's requests and its push channel are refused at once.
    m_dir.writeConfig(R"({"https_server":"http://127.0.81.1:9/dev","version":"3.1.0"})");
}

void TestMainWidget::init()
{
    status()->setInt(QStringLiteral("software_mode"), 0);
    status()->setInt(QStringLiteral("run_mode"), 1);
}

void TestMainWidget::navigation()
{
    MainWidget window(m_user, &m_job);
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("Pavko智能云打印机 3.1.0 - dev"));
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("label_uname"))->text(),
             QStringLiteral("您好，李雷，欢迎使用Pavko智能云打印系统"));
    auto* share = window.findChild<MainShareWidget*>();
    QVERIFY(share && share->isVisible());
    QCOMPARE(share->pos(), QPoint(1, 25));
    QVERIFY(marked(window, "btn_share"));

    click(window, "btn_cloud");
    auto* cloud = window.findChild<MainCloudWidget*>();
    QVERIFY(cloud && cloud->isVisible() && !share->isVisible());
    QVERIFY(marked(window, "btn_cloud") && !marked(window, "btn_share"));
    click(window, "btn_setting");
    QVERIFY(!cloud->isVisible() && !marked(window, "btn_cloud"));
    click(window, "btn_share");
    QVERIFY(share->isVisible());
    QCOMPARE(window.findChildren<MainShareWidget*>().size(), 1); // pages are made once

    // Once the job goes on as online printing, the share button leads there.
    emit share->goto_online();
    auto* online = window.findChild<MainOnlineWidget*>();
    QVERIFY(online && online->isVisible() && !share->isVisible());
    QCOMPARE(button(window, "btn_share")->text(), QStringLiteral("线\n上\n打\n印"));
    click(window, "btn_cloud");
    QVERIFY(!online->isVisible());
    click(window, "btn_share");
    QVERIFY(online->isVisible() && !share->isVisible());
}

void TestMainWidget::modesShapeTheWindow()
{
    status()->setInt(QStringLiteral("software_mode"), 1); // cloud mode: the documents handed over
    MainWidget cloud(m_user, nullptr);
    cloud.show();
    QVERIFY(cloud.findChild<MainCloudWidget*>()->isVisible());
    QVERIFY(marked(cloud, "btn_cloud"));
    QVERIFY(!button(cloud, "btn_share")->isEnabled());
    QVERIFY(!cloud.findChild<MainShareWidget*>() && !cloud.findChild<MainOnlineWidget*>());

    status()->setInt(QStringLiteral("software_mode"), 0);
    status()->setInt(QStringLiteral("run_mode"), 2); // enterprise open mode: no account
    MainWidget open(m_user, &m_job);
    open.show();
    QVERIFY(!button(open, "btn_cloud")->isVisible() && !button(open, "btn_logout")->isVisible());
    QVERIFY(button(open, "btn_setting")->isVisible());
}

void TestMainWidget::resultCodes_data()
{
    const auto share = [](MainWidget* window) { return window->findChild<MainShareWidget*>(); };
    QTest::addColumn<Action>("action");
    QTest::addColumn<int>("result"); // 0 success, 1 closed, 2 logged out
    QTest::newRow("closed") << Action([](MainWidget* window) { window->close(); }) << 1;
    QTest::newRow("share success") << Action([=](MainWidget* window) { emit share(window)->success(); }) << 0;
    QTest::newRow("online success") << Action([=](MainWidget* window) {
        emit share(window)->goto_online();
        emit window->findChild<MainOnlineWidget*>()->success();
    }) << 0;
    QTest::newRow("cloud success") << Action([](MainWidget* window) {
        click(*window, "btn_cloud");
        emit window->findChild<MainCloudWidget*>()->success();
    }) << 0;
    QTest::newRow("logout button") << Action([](MainWidget* window) { click(*window, "btn_logout"); }) << 2;
    QTest::newRow("share page logout")
        << Action([=](MainWidget* window) { emit share(window)->logout(); }) << 2;
}

void TestMainWidget::resultCodes()
{
    status()->setString(QStringLiteral("login_token"), QStringLiteral("ab-cd"));
    status()->save();
    QFETCH(Action, action);
    MainWidget window(m_user, &m_job);
    onNextModal<MainWidget>(action);
    window.exec();
    QTEST(window.resultCode(), "result");
    // Logging out also forgets the stored login.
    QCOMPARE(AStatus(m_dir.path()).getString(QStringLiteral("login_token")).isEmpty(),
             window.resultCode() == 2);
}

QTEST_MAIN(TestMainWidget)
#include "TestMainWidget.moc"
