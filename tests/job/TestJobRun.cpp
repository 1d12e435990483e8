#include "ASingleton.h"
#include "AStatus.h"
#include "AUtil.h"
#include "JobRun.h"
#include "JobStatusTexts.h"
#include "JobStatusWidget.h"
#include "JobSweep.h"
#include "MainShareWidget.h"
#include "MainWidget.h"
#include "TestSupport.h"
#include "UiResources.h"

#include <QSignalSpy>
#include <QtTest>

// The user's step of the pipeline, in the enterprise open mode (no login) with the flow pages stubbed
// by what the test makes them report.
class TestJobRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void confirmedJobIsAnnouncedAndQueued();
    void jobsNotForADeviceEndWithTheSweep_data();
    void jobsNotForADeviceEndWithTheSweep();
    void unreadableStreamIsReportedAndSwept();
    void missingFileIsReported();

private:
    SJob spooledJob(int id, const QByteArray& stream = QByteArray(") HP-PCL XL;2;0\r\n") +
                                                       "\x41\x43\x44\x43\x44\x42\x41\x43\x44\x43\x44\x42");
    // Runs one job through the runner, answering the main window with what the test chooses.
    void run(const SJob& job, std::function<void(MainWidget*)> answer = {});

    TestAppDir m_dir;
    JobStatusWidget* m_status = nullptr;
    JobSweep* m_sweep = nullptr;
};

void TestJobRun::initTestCase()
{
    initUiResources();
    setAppDir(m_dir.path());
    m_dir.writeConfig(R"({"https_server":"http://127.0.0.1:9"})");
    ASingleton<AStatus>::instance()->setInt(QStringLiteral("run_mode"), 2);
    m_status = new JobStatusWidget;
    m_sweep = new JobSweep;
}

SJob TestJobRun::spooledJob(int id, const QByteArray& stream)
{
    const QString name = QStringLiteral("PavkoPort.%1").arg(id);
    m_dir.writeFile(name, stream);
    SJob job;
    job.jobId = id;
    job.filePath = m_dir.file(name);
    return job;
}

void TestJobRun::run(const SJob& job, std::function<void(MainWidget*)> answer)
{
    JobRun runner(m_sweep, m_status);
    if (answer)
        onNextModal<MainWidget>(answer);
    runner.push(job);
    runner.onTimeout();
}

void TestJobRun::confirmedJobIsAnnouncedAndQueued()
{
    SJob job = spooledJob(11);
    job.device.deviceCode = QStringLiteral("P100");
    job.device.deviceNickname = QStringLiteral("前台");
    job.device.deviceStatus = DeviceEntry::Busy;
    QSignalSpy announced(m_status, &JobStatusWidget::job_msg);
    int windows = 0;
    std::function<void(MainWidget*)> answer = [&](MainWidget* window) {
        // The first window logs out; the login (not needed in this mode) brings a second one.
        if (++windows == 1) {
            // The next window may take the place (and address) of this one once it is gone.
            const QPointer<MainWidget> first(window);
            onNextModalMatching(
                [first](QWidget* modal) { return first.isNull() && qobject_cast<MainWidget*>(modal); },
                [&answer](QWidget* modal) { answer(qobject_cast<MainWidget*>(modal)); });
            emit window->findChild<MainShareWidget*>()->logout();
        } else {
            emit window->findChild<MainShareWidget*>()->success();
        }
    };
    run(job, answer);

    QCOMPARE(windows, 2);
    QCOMPARE(announced.size(), 1);
    const QList<QVariant> message = announced.first();
    QCOMPARE(message.value(0).toInt(), 11);
    QCOMPARE(message.value(1).toString(), QStringLiteral("P100"));
    QCOMPARE(message.value(2).toString(), QStringLiteral("前台"));
    QCOMPARE(message.value(4).toString(), JobStatusTexts::waiting());
    QCOMPARE(message.value(5).toInt(), 4); // two pages of each of two copies
    QVERIFY(m_status->isVisible());        // the device is busy: the user sees the job wait
    QTRY_VERIFY(!QFile::exists(job.filePath));
    m_status->hide();
}

void TestJobRun::jobsNotForADeviceEndWithTheSweep_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("success");
    QTest::newRow("closed") << int(SJob::SendToDevice) << false;
    QTest::newRow("continued online") << int(SJob::ContinuedOnline) << true;
    QTest::newRow("print later") << int(SJob::PrintLater) << true;
    QTest::newRow("ordered for delivery") << int(SJob::OrderedForDelivery) << true;
}

void TestJobRun::jobsNotForADeviceEndWithTheSweep()
{
    QFETCH(int, state);
    QFETCH(bool, success);
    SJob job = spooledJob(20 + state);
    job.state = state;
    QSignalSpy announced(m_status, &JobStatusWidget::job_msg);
    run(job, [success](MainWidget* window) {
        if (success)
            emit window->findChild<MainShareWidget*>()->success();
        else
            window->close();
    });
    QCOMPARE(announced.size(), 0);
    QTRY_VERIFY(!QFile::exists(job.filePath));
}

void TestJobRun::unreadableStreamIsReportedAndSwept()
{
    const SJob job = spooledJob(31, ") HP-PCL XL;2;0\r\n\x41\x42");
    answerNextMessageBox(QMessageBox::Ok);
    run(job);
    QCOMPARE(lastMessageBox().text, QStringLiteral("解析文件失败，请重新下发打印任务."));
    QTRY_VERIFY(!QFile::exists(job.filePath));
}

void TestJobRun::missingFileIsReported()
{
    SJob job;
    job.jobId = 41;
    job.filePath = m_dir.file(QStringLiteral("PavkoPort.41"));
    answerNextMessageBox(QMessageBox::Ok);
    run(job);
    QCOMPARE(lastMessageBox().text, QStringLiteral("打印文件生成失败，请重新下发打印任务."));
}

QTEST_MAIN(TestJobRun)
#include "TestJobRun.moc"
