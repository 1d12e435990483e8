#include "AClock.h"
#include "JobStatusTexts.h"
#include "JobStatusWidget.h"
#include "UIInfomation.h"
#include "UiResources.h"

#include <QApplication>
#include <QTableWidget>
#include <QThread>
#include <QToolButton>
#include <QtTest>

class TestJobStatusWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initUiResources(); }
    void jobRow_data();
    void jobRow();
    void finishedRowsGoLater_data();
    void finishedRowsGoLater();
    void rowsMoveUpAndTheLastDeletionHidesAll();
    void messagesFromWorkerThreadsAreQueued();
    void popupClosesAndIsDeleted();

private:
    static QTableWidget* table(JobStatusWidget& widget) { return widget.findChild<QTableWidget*>(); }
    // Destination, document, status, pages and submit time.
    static QStringList row(JobStatusWidget& widget, int row)
    {
        QStringList texts;
        for (int column = 0; column < 5; ++column)
            texts.append(table(widget)->item(row, column)->text());
        return texts;
    }
    static void addJob(JobStatusWidget& widget, int id)
    {
        emit widget.job_msg(id, QStringLiteral("D%1").arg(id), QStringLiteral("前台"),
                            QStringLiteral("a.doc"), JobStatusTexts::waiting(), id * 2);
    }
};

void TestJobStatusWidget::jobRow_data()
{
    QTest::addColumn<QString>("status"); // of the second message
    QTest::addColumn<bool>("cancellable");
    QTest::newRow("still waiting") << JobStatusTexts::waiting() << true;
    QTest::newRow("sending") << JobStatusTexts::sending() << false;
    QTest::newRow("sent") << JobStatusTexts::sent() << false;
    QTest::newRow("failed") << JobStatusTexts::failed() << false;
}

void TestJobStatusWidget::jobRow()
{
    QFETCH(QString, status);
    JobStatusWidget widget;
    QVERIFY(!widget.isVisible() && !widget.isTrayIconVisible());
    addJob(widget, 3);
    QVERIFY(widget.isTrayIconVisible());
    QVERIFY(QTime::fromString(row(widget, 0).value(4), QStringLiteral("hh:mm:ss")).isValid());
    table(widget)->item(0, 4)->setText(QStringLiteral("--")); // stands for the submit time, which must stay

    // Later messages for the job only update its status.
    emit widget.job_msg(3, QStringLiteral("OTHER"), QStringLiteral("别处"), QStringLiteral("b.doc"), status,
                        99);
    QCOMPARE(table(widget)->rowCount(), 1);
    QCOMPARE(row(widget, 0), (QStringList{QStringLiteral("前台 D3"), QStringLiteral("a.doc"), status,
                                          QStringLiteral("6"), QStringLiteral("--")}));
    auto* cancel = qobject_cast<QToolButton*>(table(widget)->cellWidget(0, 5));
    QTEST(cancel != nullptr, "cancellable");
    if (!cancel)
        return;
    QCOMPARE(cancel->text(), QStringLiteral("取消"));
    widget.show();
    QSignalSpy cancelled(&widget, &JobStatusWidget::job_cancel);
    QTest::mouseClick(cancel, Qt::LeftButton);
    QCOMPARE(cancelled.value(0).value(0).toInt(), 3);
    QCOMPARE(table(widget)->rowCount(), 0);
    // Cancelling the last job takes the tray icon away but leaves the window to the user.
    QVERIFY(!widget.isTrayIconVisible() && widget.isVisible());
}

void TestJobStatusWidget::finishedRowsGoLater_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("resendable"); // a paid job kept for sending again
    QTest::addColumn<int>("delayMs");     // 0: nothing is scheduled
    QTest::addColumn<bool>("removed");    // once the delay has passed
    QTest::newRow("sent: a minute") << JobStatusTexts::sent() << false << 60000 << true;
    QTest::newRow("failed: five minutes") << JobStatusTexts::failed() << false << 300000 << true;
    QTest::newRow("failed and kept: stays") << JobStatusTexts::failed() << true << 300000 << false;
    QTest::newRow("sending: stays") << JobStatusTexts::sending() << false << 0 << false;
}

// On a scheduler of the test's own: the delays are read, then their time is made to pass.
void TestJobStatusWidget::finishedRowsGoLater()
{
    QFETCH(QString, status);
    QFETCH(bool, resendable);
    QFETCH(int, delayMs);
    QList<QPair<int, AClock::Task>> scheduled;
    AClock::setScheduler([&scheduled](QObject* context, int ms, AClock::Task task) {
        scheduled.append({ms, [context = QPointer<QObject>(context), task] {
                              if (context)
                                  task();
                          }});
    });
    const auto restore = qScopeGuard([] { AClock::setScheduler({}); });
    JobStatusWidget widget;
    addJob(widget, 1);
    addJob(widget, 2);
    if (resendable)
        widget.offerResend(2);
    emit widget.job_msg(2, QString(), QString(), QString(), status, 0);
    QCOMPARE(scheduled.size(), delayMs ? 1 : 0);
    if (scheduled.isEmpty())
        return;
    QCOMPARE(scheduled.first().first, delayMs);
    QCOMPARE(table(widget)->rowCount(), 2); // not at once
    scheduled.first().second();
    QFETCH(bool, removed);
    QCOMPARE(table(widget)->rowCount(), removed ? 1 : 2);
    QCOMPARE(row(widget, 0).value(0), QStringLiteral("前台 D1"));
}

void TestJobStatusWidget::rowsMoveUpAndTheLastDeletionHidesAll()
{
    JobStatusWidget widget;
    for (int id : {1, 2, 3})
        addJob(widget, id);
    widget.show();
    emit widget.job_cancel(1);
    QCOMPARE(row(widget, 0).value(0), QStringLiteral("前台 D2"));
    // Job 2 now lives in row 0: updates and removal must find it there.
    emit widget.job_msg(2, QString(), QString(), QString(), JobStatusTexts::sending(), 0);
    QCOMPARE(row(widget, 0).value(2), JobStatusTexts::sending());
    emit widget.job_del(2);
    emit widget.job_del(42); // unknown ids change nothing
    QCOMPARE(table(widget)->rowCount(), 1);
    QCOMPARE(row(widget, 0).value(0), QStringLiteral("前台 D3"));
    QVERIFY(widget.isVisible() && widget.isTrayIconVisible());
    emit widget.job_del(3);
    QVERIFY(!widget.isTrayIconVisible() && !widget.isVisible());
}

void TestJobStatusWidget::messagesFromWorkerThreadsAreQueued()
{
    JobStatusWidget widget;
    std::unique_ptr<QThread> worker(QThread::create([&widget] {
        for (int id = 1; id <= 20; ++id)
            addJob(widget, id);
        emit widget.job_msg(4, QString(), QString(), QString(), JobStatusTexts::sent(), 0);
    }));
    worker->start();
    worker->wait();
    QCOMPARE(table(widget)->rowCount(), 0); // nothing touched the table from the worker
    QTRY_COMPARE(table(widget)->rowCount(), 20);
    QTRY_COMPARE(row(widget, 3).value(2), JobStatusTexts::sent());
}

void TestJobStatusWidget::popupClosesAndIsDeleted()
{
    JobStatusWidget widget;
    emit widget.information_rb(QStringLiteral("打印完成"), 1);
    QPointer<UIInfomation> popup;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* notice = qobject_cast<UIInfomation*>(top))
            popup = notice;
    }
    QVERIFY(popup && popup->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!popup || !popup->isVisible(), 3000);
    QVERIFY(popup); // closed first, deleted later
    QTRY_VERIFY_WITH_TIMEOUT(popup.isNull(), 4000);
}

QTEST_MAIN(TestJobStatusWidget)
#include "TestJobStatusWidget.moc"
