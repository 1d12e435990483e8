#include "AMailbox.h"
#include "ASingleton.h"
#include "AStatus.h"
#include "AppDir.h"
#include "CloudJobRun.h"
#include "FakeHttpServer.h"
#include "JobJournal.h"
#include "JobRun.h"
#include "JobStatusTexts.h"
#include "JobStatusWidget.h"
#include "JobSweep.h"
#include "LoginWidget.h"
#include "MainCloudWidget.h"
#include "MainShareWidget.h"
#include "MainWidget.h"
#include "TestSupport.h"
#include "UiResources.h"

#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

// The user's step of the pipeline, in the enterprise open mode (no login) with the flow pages stubbed
// by what the test makes them report. The chosen device's box refuses to open its port, so a job
// handed to the device's sender ends "发送失败" and is swept.
class TestJobRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void jobEndsAfterTheMainWindow_data();
    void jobEndsAfterTheMainWindow();
    void rejectedFilesAreReported_data();
    void rejectedFilesAreReported();
    void failuresOfARunAreToldOnce_data();
    void failuresOfARunAreToldOnce();
    void keptJobIsOfferedAfterARestartAndSentAgain();
    void manyKeptJobsOfferTheNewestOnly();
    void paidJobLeftByACrashIsOfferedNotPaidAgain_data();
    void paidJobLeftByACrashIsOfferedNotPaidAgain();
    void cloudModeLogsInAgainAfterALogout();
    void cloudModeShowsDocumentsHandedAsItsWindowClosed();

private:
    // An empty stream: no file.
    SJob spooledJob(int id, const QByteArray& stream)
    {
        const QString name = QStringLiteral("PavkoPort.%1").arg(id);
        if (!stream.isEmpty())
            m_dir.writeFile(name, stream);
        SJob job;
        job.jobId = id;
        job.filePath = m_dir.file(name);
        return job;
    }
    void run(const SJob& job)
    {
        m_runner->push(job);
        m_runner->onTimeout();
    }

    TestAppDir m_dir;
    FakeHttpServer m_box;
    JobStatusWidget* m_status = nullptr;
    JobSweep* m_sweep = nullptr;
    JobRun* m_runner = nullptr;
    int m_lastJobId = 20; // every run has a file of its own
};

void TestJobRun::initTestCase()
{
    initUiResources();
    setAppDir(m_dir.path());
    QVERIFY(m_box.start());
    m_box.setDefault("GET", "/cgi-bin/win/isCanPrint", FakeResponse::json(R"({"result-code":0})"));
    m_box.setDefault("GET", "/cgi-bin/win/portControl", FakeResponse::json(R"({"result-code":1})"));
    // The box also plays the service's QR login, which a logout in cloud mode needs.
    m_dir.writeConfig(QByteArray(R"({"https_server":")") + m_box.baseUrl().toUtf8() +
                      R"(","device_control_port":)" + QByteArray::number(m_box.serverPort()) + '}');
    m_box.setDefault("GET", "/w1/Login/scanLogin",
                     FakeResponse::json(R"({"code":0,"data":{"login_url":"https://example.invalid/l"}})"));
    m_box.setDefault(
        "GET", "/w1/Login/seeLogin",
        FakeResponse::json(R"({"code":0,"data":{"token":"ij-kl","user_id":6,"username":"李雷"}})"));
    ASingleton<AStatus>::instance()->setInt(QStringLiteral("run_mode"), 2);
    m_status = new JobStatusWidget;
    m_sweep = new JobSweep;
    m_runner = new JobRun(m_sweep, m_status);
}

void TestJobRun::jobEndsAfterTheMainWindow_data()
{
    QTest::addColumn<int>("state"); // as the pages leave it
    QTest::addColumn<bool>("success");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("announcedPages");
    // Two sessions of two pages each: two copies of a two-page document.
    const QByteArray twoCopies =
        QByteArray(") HP-PCL XL;2;0\r\n") + "\x41\x43\x44\x43\x44\x42\x41\x43\x44\x43\x44\x42";
    QTest::newRow("sent to the device") << int(SJob::SendToDevice) << true << twoCopies << 4;
    QTest::newRow("closed") << int(SJob::SendToDevice) << false << twoCopies << 0;
    QTest::newRow("continued online") << int(SJob::ContinuedOnline) << true << twoCopies << 0;
    QTest::newRow("print later") << int(SJob::PrintLater) << true << twoCopies << 0;
    QTest::newRow("ordered for delivery") << int(SJob::OrderedForDelivery) << true << twoCopies << 0;
    // Two pages, the first printed 4294967295 times (PageCopies as a uint32).
    QTest::newRow("more pages than an int counts")
        << int(SJob::SendToDevice) << true
        << QByteArray(") HP-PCL XL;2;0\r\n") + "\x41\x43\xc2\xff\xff\xff\xff\xf8\x31\x44\x43\x44\x42"
        << INT_MAX;
}

void TestJobRun::jobEndsAfterTheMainWindow()
{
    QFETCH(int, state);
    QFETCH(bool, success);
    QFETCH(QByteArray, stream);
    QFETCH(int, announcedPages);
    SJob job = spooledJob(++m_lastJobId, stream);
    job.state = state;
    job.device.deviceCode = QStringLiteral("P100");
    job.device.deviceNickname = QStringLiteral("前台");
    job.device.deviceStatus = DeviceEntry::Busy;
    job.device.deviceIp = QStringLiteral("127.0.0.1");
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
        } else if (success) {
            emit window->findChild<MainShareWidget*>()->success();
        } else {
            window->close();
        }
    };
    onNextModal<MainWidget>(answer);
    run(job);

    QCOMPARE(windows, 2);
    QTRY_VERIFY(!QFile::exists(job.filePath)); // every job ends with the sweep
    const bool forTheDevice = success && state == SJob::SendToDevice;
    const bool statusShown = m_status->isVisible();
    m_status->hide();
    QCOMPARE(statusShown, forTheDevice); // the device is busy: the user sees the job wait
    if (!forTheDevice) {
        QCOMPARE(announced.size(), 0);
        return;
    }
    // The device's sender took the job over and reported to the window.
    QTRY_COMPARE(announced.size(), 3);
    QStringList statuses;
    for (const QVariantList& message : announced)
        statuses << message.at(4).toString();
    QCOMPARE(statuses,
             (QStringList{JobStatusTexts::waiting(), JobStatusTexts::sending(), JobStatusTexts::failed()}));
    // pages count every copy
    QCOMPARE(announced.first(), (QVariantList{job.jobId, QStringLiteral("P100"), QStringLiteral("前台"),
                                              QString(), JobStatusTexts::waiting(), announcedPages}));
}

void TestJobRun::rejectedFilesAreReported_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("message");
    QTest::newRow("unreadable stream")
        << QByteArray(") HP-PCL XL;2;0\r\n\x41\x42") << QStringLiteral("解析文件失败，请重新下发打印任务.");
    QTest::newRow("missing file") << QByteArray() << QStringLiteral("打印文件生成失败，请重新下发打印任务.");
}

void TestJobRun::rejectedFilesAreReported()
{
    QFETCH(QByteArray, stream);
    const SJob job = spooledJob(++m_lastJobId, stream);
    answerNextMessageBox(QMessageBox::Ok);
    run(job);
    QTEST(lastMessageBox().text, "message");
    QTRY_VERIFY(!QFile::exists(job.filePath));
}

namespace {
// Answers every message box that opens while it lives, keeping the texts.
class MessageBoxes : public QObject
{
public:
    QStringList texts;
    MessageBoxes() { qApp->installEventFilter(this); }
    ~MessageBoxes() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box && event->type() == QEvent::Show) {
            texts << box->text();
            QMetaObject::invokeMethod(box, &QMessageBox::accept, Qt::QueuedConnection);
        }
        return false;
    }
};
} // namespace

void TestJobRun::failuresOfARunAreToldOnce_data()
{
    rejectedFilesAreReported_data();
}

// A run of jobs that fail alike raises one box, not one each that the user must close before the real
// job behind them starts; a job that gets through lets the next failure be told again.
void TestJobRun::failuresOfARunAreToldOnce()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, message);
    JobStatusWidget status;
    JobRun runner(m_sweep, &status);
    MessageBoxes boxes;
    constexpr int kFailing = 4;
    for (int i = 0; i < kFailing; ++i)
        runner.push(spooledJob(++m_lastJobId, stream));
    for (int i = 0; i < kFailing; ++i)
        runner.onTimeout();
    QCOMPARE(boxes.texts, QStringList{message});

    runner.push(spooledJob(++m_lastJobId, QByteArray(") HP-PCL XL;2;0\r\n") + "\x41\x43\x44\x42"));
    int windows = 0;
    onNextModal<MainWidget>([&windows](MainWidget* window) {
        ++windows;
        window->close();
    });
    runner.onTimeout();
    QCOMPARE(windows, 1);

    runner.push(spooledJob(++m_lastJobId, stream));
    runner.onTimeout();
    QCOMPARE(boxes.texts, (QStringList{message, message}));
}

void TestJobRun::keptJobIsOfferedAfterARestartAndSentAgain()
{
    SJob job = spooledJob(++m_lastJobId, "rewritten stream");
    job.orderId = QStringLiteral("T-1");
    job.rewritten = true;
    job.pages = 1;
    job.copies = 1;
    job.device.deviceCode = QStringLiteral("P200");
    job.device.deviceIp = QStringLiteral("127.0.0.1");
    QVERIFY(JobJournal(stateDir() + QStringLiteral("kept_jobs")).keep(job));

    JobStatusWidget status;
    JobRun restarted(m_sweep, &status);
    QVERIFY(status.isVisible());
    auto* resend = status.findChild<QToolButton*>(QStringLiteral("resend_-1"));
    QVERIFY(resend);
    QSignalSpy announced(&status, &JobStatusWidget::job_msg);
    m_box.clearRequests();
    resend->click();
    resend->click(); // a second click before the row changed sends nothing more

    // The box still refuses its port: the order reached it once and is kept and offered again.
    QTRY_COMPARE(announced.size(), 3);
    QCOMPARE(announced.last().at(4).toString(), JobStatusTexts::failed());
    QTRY_VERIFY(status.findChild<QToolButton*>(QStringLiteral("resend_-1")));
    const auto opens = m_box.requestsTo("/cgi-bin/win/portControl");
    QVERIFY(opens.first().query.contains("orderid=T-1&"));
    const QList<SJob> kept = JobJournal(stateDir() + QStringLiteral("kept_jobs")).jobs();
    QCOMPARE(kept.size(), 1);
    QVERIFY(QFile::exists(kept.first().filePath));
    QCOMPARE(m_box.requestsTo("/cgi-bin/win/isCanPrint").size(), 1);
}

// However many jobs are kept, the window at start-up lists a bounded number of them: the newest.
void TestJobRun::manyKeptJobsOfferTheNewestOnly()
{
    JobJournal journal(stateDir() + QStringLiteral("kept_jobs"));
    const int count = JobRun::kOfferedAtMost + 10;
    for (int i = 1; i <= count; ++i) {
        SJob job = spooledJob(++m_lastJobId, "kept stream");
        job.orderId = QStringLiteral("M-%1").arg(i);
        job.documentName = job.orderId;
        QVERIFY(journal.keep(job));
    }

    JobStatusWidget status;
    JobRun restarted(m_sweep, &status);
    auto* table = status.findChild<QTableWidget*>();
    QVERIFY(table);
    QCOMPARE(table->rowCount(), JobRun::kOfferedAtMost);
    QCOMPARE(status.findChildren<QToolButton*>(QRegularExpression(QStringLiteral("^resend_"))).size(),
             JobRun::kOfferedAtMost);
    QStringList listed;
    for (int row = 0; row < table->rowCount(); ++row)
        for (int column = 0; column < table->columnCount(); ++column)
            if (table->item(row, column))
                listed << table->item(row, column)->text();
    QVERIFY(listed.contains(QStringLiteral("M-%1").arg(count)));
    QVERIFY(!listed.contains(QStringLiteral("M-1")));
}

// A run that ended while a paid job waited or was sent left it recorded: the next run offers it, and
// when its file could not be moved in, takes it for no new job when it is handed over again. Only the
// user's resend brings it to the device.
void TestJobRun::paidJobLeftByACrashIsOfferedNotPaidAgain_data()
{
    QTest::addColumn<bool>("folderBlocked"); // the file cannot be moved into the journal's folder
    QTest::newRow("moved in at the start") << false;
    QTest::newRow("left where it was spooled") << true;
}

void TestJobRun::paidJobLeftByACrashIsOfferedNotPaidAgain()
{
    QFETCH(bool, folderBlocked);
    const QString folder = stateDir() + QStringLiteral("kept_jobs");
    for (const SJob& earlier : JobJournal(folder).jobs())
        JobJournal(folder).forget(earlier.orderId);
    SJob job = spooledJob(++m_lastJobId, QByteArray(") HP-PCL XL;2;0\r\n") + "\x41\x43\x44\x42");
    job.orderId = QStringLiteral("P-%1").arg(job.jobId);
    job.pages = 1;
    job.copies = 1;
    job.device.deviceCode = QStringLiteral("P300");
    job.device.deviceIp = QStringLiteral("127.0.0.1");
    QVERIFY(JobJournal(folder).record(job));
    if (folderBlocked)
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/order-%1-%2.prn").arg(job.orderId).arg(job.jobId)));

    JobStatusWidget status;
    JobRun restarted(m_sweep, &status);
    auto* resend = status.findChild<QToolButton*>(QStringLiteral("resend_-1"));
    QVERIFY(resend);
    QCOMPARE(QFile::exists(job.filePath), folderBlocked);
    if (folderBlocked) {
        // Handed over again, it would reach the pages to be priced and paid once more.
        auto paged = std::make_shared<bool>(false);
        auto watching = std::make_shared<bool>(true);
        onNextModalMatching(
            [watching](QWidget* modal) { return *watching && qobject_cast<MainWidget*>(modal); },
            [paged](QWidget* window) {
                *paged = true;
                window->close();
            });
        restarted.push(job);
        restarted.onTimeout();
        *watching = false;
        QVERIFY(!*paged);
        QVERIFY(QFile::exists(job.filePath)); // not swept either
    }
    QSignalSpy announced(&status, &JobStatusWidget::job_msg);
    m_box.clearRequests();
    resend->click();
    // The box still refuses its port: the order reached it once and is offered again.
    QTRY_COMPARE(announced.size(), 3);
    QCOMPARE(announced.last().at(4).toString(), JobStatusTexts::failed());
    const auto opens = m_box.requestsTo("/cgi-bin/win/portControl");
    QVERIFY(!opens.isEmpty());
    QVERIFY(opens.first().query.contains(QByteArray("orderid=") + job.orderId.toUtf8() + '&'));
    QTRY_VERIFY(status.findChild<QToolButton*>(QStringLiteral("resend_-1")));
    if (folderBlocked)
        QDir(folder + QStringLiteral("/order-%1-%2.prn").arg(job.orderId).arg(job.jobId)).removeRecursively();
}

namespace {
// Cloud mode with a login of today, until the guard goes.
auto loggedInCloudMode(AStatus* status)
{
    status->setInt(QStringLiteral("software_mode"), 1);
    status->setInt(QStringLiteral("run_mode"), 1);
    status->setString(QStringLiteral("login_token"), QStringLiteral("ab-cd"));
    status->setString(QStringLiteral("login_user_name"), QStringLiteral("韩梅梅"));
    status->setInt(QStringLiteral("login_time"), QDateTime::currentSecsSinceEpoch());
    return qScopeGuard([status] {
        status->setInt(QStringLiteral("software_mode"), 0);
        status->setInt(QStringLiteral("run_mode"), 2);
    });
}
} // namespace

// Cloud mode: the print-and-deliver page, a logout, the QR login again, a second window; closing it ends
// the run.
void TestJobRun::cloudModeLogsInAgainAfterALogout()
{
    AStatus* status = ASingleton<AStatus>::instance();
    const auto restore = loggedInCloudMode(status);
    m_box.clearRequests();
    QStringList seen;
    std::function<void(MainWidget*)> answer = [&](MainWidget* window) {
        auto* page = window->findChild<MainCloudWidget*>();
        seen << QStringLiteral("window %1")
                    .arg(page && page->isVisible() ? QStringLiteral("delivery") : QStringLiteral("other"));
        if (seen.size() > 1) {
            window->close();
            return;
        }
        const QPointer<MainWidget> first(window);
        onNextModalMatching(
            [first](QWidget* modal) { return first.isNull() && qobject_cast<LoginWidget*>(modal); },
            [&](QWidget*) {
                seen << QStringLiteral("login");
                onNextModal<MainWidget>(answer);
            });
        window->findChild<QToolButton*>(QStringLiteral("btn_logout"))->click();
    };
    onNextModal<MainWidget>(answer);
    CloudJobRun run;
    QCOMPARE(seen, (QStringList{QStringLiteral("window delivery"), QStringLiteral("login"),
                                QStringLiteral("window delivery")}));
    QVERIFY(!m_box.requestsTo("/w1/Login/seeLogin").isEmpty());
    QCOMPARE(status->getString(QStringLiteral("login_token")), QStringLiteral("ij-kl"));
}

// A document handed over while the order went through, never shown, is not dropped with the window:
// cloud mode opens one more for it.
void TestJobRun::cloudModeShowsDocumentsHandedAsItsWindowClosed()
{
    AStatus* status = ASingleton<AStatus>::instance();
    const auto restore = loggedInCloudMode(status);
    AMailbox mailbox; // as the cloud-mode start makes it
    QVERIFY(mailbox.create());
    int windows = 0;
    std::function<void(MainWidget*)> answer = [&](MainWidget* window) {
        if (++windows == 1) {
            mailbox.append("/nowhere/handed.pdf");
            const QPointer<MainWidget> first(window);
            onNextModalMatching(
                [first](QWidget* modal) { return first.isNull() && qobject_cast<MainWidget*>(modal); },
                [&answer](QWidget* modal) { answer(qobject_cast<MainWidget*>(modal)); });
            emit window->findChild<MainCloudWidget*>()->success();
            return;
        }
        QTRY_VERIFY(mailbox.isEmpty()); // the new window's list took it
        window->close();
    };
    onNextModal<MainWidget>(answer);
    CloudJobRun run;
    QCOMPARE(windows, 2);
    mailbox.detach();
}

QTEST_MAIN(TestJobRun)
#include "TestJobRun.moc"
