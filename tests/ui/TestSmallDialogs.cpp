#include "BadNetWidget.h"
#include "UIInfomation.h"
#include "UIWait.h"
#include "UiResources.h"

#include <QLabel>
#include <QMovie>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QtTest>

class TestSmallDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initUiResources(); }
    void waitRunsTheTaskOnAWorkerWhileShown();
    void badNetReportsTheChoice_data();
    void badNetReportsTheChoice();
    void noticeClosesItselfWithTheRightTimer_data();
    void noticeClosesItselfWithTheRightTimer();
    // Quits the application's loops for good: keep it last.
    void waitOutlastsTheApplicationQuitting();
};

void TestSmallDialogs::waitRunsTheTaskOnAWorkerWhileShown()
{
    UIWait wait;
    QVERIFY(wait.findChild<QLabel*>(QStringLiteral("label"))->movie()->isValid());
    QThread* taskThread = nullptr;
    bool shownDuringTask = false;
    int ticksDuringTask = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&ticksDuringTask] { ++ticksDuringTask; });
    ticker.start(5);
    wait.setTask([&] {
        taskThread = QThread::currentThread();
        shownDuringTask = wait.isVisible();
        QThread::msleep(100);
    });
    wait.runTask();
    QVERIFY(taskThread && taskThread != QThread::currentThread());
    QVERIFY(shownDuringTask);
    QVERIFY2(ticksDuringTask > 0, "the GUI thread must keep handling events while the task runs");

    // A task that ends at once must not leave runTask() waiting; the window takes a new task.
    int runs = 0;
    wait.setTask([&runs] { ++runs; });
    wait.runTask();
    QCOMPARE(runs, 1);
}

void TestSmallDialogs::badNetReportsTheChoice_data()
{
    QTest::addColumn<QString>("button"); // empty: the window is closed
    QTest::addColumn<int>("result");
    QTest::newRow("retry") << "btn_retry" << int(BadNetWidget::Retry);
    QTest::newRow("online") << "btn_online" << int(BadNetWidget::GoOnline);
    QTest::newRow("closed") << "" << int(BadNetWidget::Closed);
}

void TestSmallDialogs::badNetReportsTheChoice()
{
    QFETCH(QString, button);
    BadNetWidget dialog(QStringLiteral("设备连接失败"));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("label_txt"))->text(), QStringLiteral("设备连接失败"));
    QTimer::singleShot(0, &dialog, [&dialog, button] {
        if (button.isEmpty())
            dialog.close();
        else
            QTest::mouseClick(dialog.findChild<QPushButton*>(button), Qt::LeftButton);
    });
    dialog.exec();
    QTEST(dialog.result(), "result");
}

void TestSmallDialogs::noticeClosesItselfWithTheRightTimer_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("timerType");
    QTest::newRow("1 s is precise") << 1 << int(Qt::PreciseTimer);
    QTest::newRow("5 s is coarse") << 5 << int(Qt::CoarseTimer);
}

void TestSmallDialogs::noticeClosesItselfWithTheRightTimer()
{
    QFETCH(int, seconds);
    UIInfomation notice;
    notice.setText(QStringLiteral("Pavko智能打印驱动更新完成，已升级至V2.0.0"));
    notice.setDisplayTime(seconds);
    notice.start();
    QVERIFY(notice.isVisible());
    auto* closer = notice.findChild<QTimer*>();
    QVERIFY(closer && closer->isActive() && closer->isSingleShot());
    QCOMPARE(closer->interval(), seconds * 1000);
    QTEST(int(closer->timerType()), "timerType"); // TestJobStatusWidget sees a notice close itself
}

void TestSmallDialogs::waitOutlastsTheApplicationQuitting()
{
    UIWait wait;
    QAtomicInt done = 0;
    wait.setTask([&done] {
        QThread::msleep(300);
        done = 1;
    });
    QTimer::singleShot(50, qApp, [] { QCoreApplication::exit(); });
    wait.runTask();
    QCOMPARE(int(done), 1);
}

QTEST_MAIN(TestSmallDialogs)
#include "TestSmallDialogs.moc"
