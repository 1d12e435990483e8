#include "ASingleton.h"
#include "AStatus.h"
#include "AppDir.h"
#include "DeviceBox.h"
#include "FakeHttpServer.h"
#include "JobRun.h"
#include "JobStatusTexts.h"
#include "JobStatusWidget.h"
#include "JobSweep.h"
#include "MainShareWidget.h"
#include "MainWidget.h"
#include "TestSupport.h"
#include "UiResources.h"

#include <QAbstractButton>
#include <QJsonArray>
#include <QtTest>

namespace {
// This suite's box lives on 127.0.52.x, so other suites may use the same ports at the same time.
const QString kBoxAddress = QStringLiteral("127.0.52.2");
constexpr quint16 kControlPort = 18652;
constexpr quint16 kRawPort = 18653;
} // namespace

// A spooled job's whole way in one process: analysis, the main window's share page (account, device,
// price, print now with the device check and the confirmation), the device's sender, a simulated box.
class TestShareJourney : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initUiResources();
        QVERIFY(m_service.start());
    }

    void printNowReachesTheDevice()
    {
        TestAppDir app;
        app.writeConfig(QStringLiteral("{\"https_server\":\"%1\",\"device_control_port\":%2,"
                                       "\"device_raw_port\":%3}")
                            .arg(m_service.baseUrl())
                            .arg(kControlPort)
                            .arg(kRawPort)
                            .toUtf8());
        setAppDir(app.path());
        AStatus* status = ASingleton<AStatus>::instance();
        status->setInt(QStringLiteral("run_mode"), AStatus::EnterpriseOpen); // nobody needs to log in
        status->setInt(QStringLiteral("company_id"), 5);

        SimBoxScript script;
        script.code = QStringLiteral("J1");
        SimPorts ports;
        ports.control = kControlPort;
        ports.raw = {kRawPort};
        ports.greeting = 18654;
        DeviceBox box(QHostAddress(kBoxAddress), script, ports);
        QVERIFY(box.start());

        const QJsonObject device{{QStringLiteral("device_id"), 1},
                                 {QStringLiteral("device_code"), QStringLiteral("J1")},
                                 {QStringLiteral("device_status"), 1},
                                 {QStringLiteral("device_ip"), kBoxAddress},
                                 {QStringLiteral("device_nickname"), QStringLiteral("前台")}};
        m_service.setDefault(
            "GET", "/w1/Device/deviceList",
            FakeResponse::envelope(
                0, QJsonArray{QJsonObject{{QStringLiteral("id"), 5},
                                          {QStringLiteral("name"), QStringLiteral("企业")},
                                          {QStringLiteral("device_list"), QJsonArray{device}}}}));
        m_service.setDefault("GET", "/w1/Printing/budget",
                             FakeResponse::envelope(0, QJsonObject{{QStringLiteral("user_amount"), 10000},
                                                                   {QStringLiteral("print_amount"), 300},
                                                                   {QStringLiteral("order_id"), 9001}}));
        m_service.setDefault("GET", "/w1/Printing/confirmPrint",
                             FakeResponse::envelope(0, QJsonObject{{QStringLiteral("pay_type"), 1}}));

        // Two copies of a two-page document.
        const QByteArray stream = ") HP-PCL XL;2;0\r\n\x41\x43\x44\x43\x44\x42\x41\x43\x44\x43\x44\x42";
        app.writeFile(QStringLiteral("PavkoPort.71"), stream);
        SJob job;
        job.jobId = 71;
        job.filePath = app.file(QStringLiteral("PavkoPort.71"));

        JobStatusWidget window;
        JobSweep sweep;
        JobRun runner(&sweep, &window);
        QSignalSpy announced(&window, &JobStatusWidget::job_msg);
        onNextModal<MainWidget>([](MainWidget* main) {
            main->findChild<MainShareWidget*>()
                ->findChild<QAbstractButton*>(QStringLiteral("btn_print"))
                ->click();
        });
        runner.push(job);
        runner.onTimeout();

        const QList<FakeRequest> confirms = m_service.requestsTo("/w1/Printing/confirmPrint");
        QCOMPARE(confirms.size(), 1);
        QCOMPARE(confirms.first().queryValue("order_id"), QByteArray("9001"));
        QTRY_COMPARE_WITH_TIMEOUT(announced.size(), 3, 30000);
        QStringList statuses;
        for (const QVariantList& message : announced)
            statuses << message.at(4).toString();
        QCOMPARE(statuses,
                 (QStringList{JobStatusTexts::waiting(), JobStatusTexts::sending(), JobStatusTexts::sent()}));
        QCOMPARE(announced.first().at(1).toString(), QStringLiteral("J1"));
        QCOMPARE(announced.first().at(5).toInt(), 4); // pages of both copies
        QCOMPARE(box.rawJobs().size(), 1);
        QCOMPARE(box.rawData(0), stream);
        QCOMPARE(box.rawJobs().first().toObject().value(QStringLiteral("order")).toString(),
                 QStringLiteral("9001"));
        QTRY_VERIFY(!QFile::exists(job.filePath));
    }

private:
    FakeHttpServer m_service;
};

QTEST_MAIN(TestShareJourney)
#include "TestShareJourney.moc"
