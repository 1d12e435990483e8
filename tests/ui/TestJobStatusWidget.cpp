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
    void newJobGetsARowAndTheTray();
    void laterMessagesOnlyUpdateTheStatus_data();
    void laterMessagesOnlyUpdateTheStatus();
    void submitTimeStays();
    void rowsMoveUpWhenOneGoes();
    void cancellingTheLastJobHidesOnlyTheTray();
    void deletingTheLastJobHidesWindowAndTray();
    void messagesFromWorkerThreadsAreQueued();
    void popupClosesAndIsDeleted();

private:
    static QTableWidget* table(JobStatusWidget& widget)
    {
        return widget.findChild<QTableWidget*>(QStringLiteral("tableWidget"));
    }
    static QStringList column(JobStatusWidget& widget, int column)
    {
        QStringList texts;
        for (int row = 0; row < table(widget)->rowCount(); ++row)
            texts.append(table(widget)->item(row, column)->text());
        return texts;
    }
    static void addJob(JobStatusWidget& widget, int id)
    {
        emit widget.job_msg(id, QStringLiteral("D%1").arg(id), QStringLiteral("前台"),
                            QStringLiteral("a.doc"), JobStatusTexts::waiting(), id * 2);
    }
};

void TestJobStatusWidget::newJobGetsARowAndTheTray()
{
    JobStatusWidget widget;
    QCOMPARE(widget.objectName(), QStringLiteral("JobStatusWidget"));
    QCOMPARE(widget.size(), QSize(432, 120));
    QVERIFY(widget.windowTitle().startsWith(QStringLiteral("Pavko智能云打印机 ")));
    QVERIFY(!widget.isVisible());
    QVERIFY(!widget.isTrayIconVisible());

    emit widget.job_msg(7, QStringLiteral("P001"), QStringLiteral("前台"), QStringLiteral("报告.doc"),
                        JobStatusTexts::waiting(), 6);
    QCOMPARE(table(widget)->rowCount(), 1);
    QCOMPARE(table(widget)->item(0, 0)->text(), QStringLiteral("前台 P001"));
    QCOMPARE(table(widget)->item(0, 1)->text(), QStringLiteral("报告.doc"));
    QCOMPARE(table(widget)->item(0, 2)->text(), JobStatusTexts::waiting());
    QCOMPARE(table(widget)->item(0, 3)->text(), QStringLiteral("6"));
    QVERIFY(QTime::fromString(table(widget)->item(0, 4)->text(), QStringLiteral("hh:mm:ss")).isValid());
    auto* cancel = qobject_cast<QToolButton*>(table(widget)->cellWidget(0, 5));
    QVERIFY(cancel);
    QCOMPARE(cancel->text(), QStringLiteral("取消"));
    QVERIFY(widget.isTrayIconVisible());

    QSignalSpy cancelled(&widget, &JobStatusWidget::job_cancel);
    QTest::mouseClick(cancel, Qt::LeftButton);
    QCOMPARE(cancelled.value(0).value(0).toInt(), 7);
    QCOMPARE(table(widget)->rowCount(), 0);
}

void TestJobStatusWidget::laterMessagesOnlyUpdateTheStatus_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("cancellable");
    QTest::newRow("still waiting") << JobStatusTexts::waiting() << true;
    QTest::newRow("sending") << JobStatusTexts::sending() << false;
    QTest::newRow("sent") << JobStatusTexts::sent() << false;
    QTest::newRow("failed") << JobStatusTexts::failed() << false;
}

void TestJobStatusWidget::laterMessagesOnlyUpdateTheStatus()
{
    QFETCH(QString, status);
    JobStatusWidget widget;
    addJob(widget, 3);
    emit widget.job_msg(3, QStringLiteral("OTHER"), QStringLiteral("别处"), QStringLiteral("b.doc"), status,
                        99);
    QCOMPARE(table(widget)->rowCount(), 1);
    QCOMPARE(column(widget, 2), QStringList{status});
    QCOMPARE(column(widget, 0), QStringList{QStringLiteral("前台 D3")});
    QCOMPARE(column(widget, 3), QStringList{QStringLiteral("6")});
    QTEST(table(widget)->cellWidget(0, 5) != nullptr, "cancellable");
}

void TestJobStatusWidget::submitTimeStays()
{
    JobStatusWidget widget;
    addJob(widget, 3);
    const QString submitted = table(widget)->item(0, 4)->text();
    QTest::qWait(1100);
    emit widget.job_msg(3, QString(), QString(), QString(), JobStatusTexts::sending(), 0);
    QCOMPARE(column(widget, 4), QStringList{submitted});
}

void TestJobStatusWidget::rowsMoveUpWhenOneGoes()
{
    JobStatusWidget widget;
    for (int id : {1, 2, 3})
        addJob(widget, id);
    emit widget.job_cancel(1);
    QCOMPARE(column(widget, 0), (QStringList{QStringLiteral("前台 D2"), QStringLiteral("前台 D3")}));

    // Job 2 now lives in row 0: updates and removal must find it there.
    emit widget.job_msg(2, QString(), QString(), QString(), JobStatusTexts::sending(), 0);
    QCOMPARE(column(widget, 2), (QStringList{JobStatusTexts::sending(), JobStatusTexts::waiting()}));
    emit widget.job_del(2);
    QCOMPARE(column(widget, 0), QStringList{QStringLiteral("前台 D3")});
    emit widget.job_del(42); // unknown ids change nothing
    QCOMPARE(table(widget)->rowCount(), 1);
    QVERIFY(widget.isTrayIconVisible());
}

void TestJobStatusWidget::cancellingTheLastJobHidesOnlyTheTray()
{
    JobStatusWidget widget;
    addJob(widget, 5);
    widget.show();
    emit widget.job_cancel(5);
    QVERIFY(!widget.isTrayIconVisible());
    QVERIFY(widget.isVisible());
}

void TestJobStatusWidget::deletingTheLastJobHidesWindowAndTray()
{
    JobStatusWidget widget;
    addJob(widget, 5);
    addJob(widget, 6);
    widget.show();
    emit widget.job_del(5);
    QVERIFY(widget.isVisible());
    emit widget.job_del(6);
    QVERIFY(!widget.isTrayIconVisible());
    QVERIFY(!widget.isVisible());
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
    QTRY_COMPARE(column(widget, 2).value(3), JobStatusTexts::sent());
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
    QTRY_VERIFY_WITH_TIMEOUT(!popup->isVisible(), 3000);
    QVERIFY(popup);
    QTRY_VERIFY_WITH_TIMEOUT(popup.isNull(), 4000);
}

QTEST_MAIN(TestJobStatusWidget)
#include "TestJobStatusWidget.moc"
