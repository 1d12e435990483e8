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
