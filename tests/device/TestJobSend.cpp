#include "DeviceBox.h"
#include "HandOver.h"
#include "JobJournal.h"
#include "JobListen.h"
#include "JobRow.h"
#include "JobSend.h"
#include "JobStatusTexts.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// This suite's boxes live on 127.0.41.x, so other suites may use the same ports at the same time.
const QString kBoxAddress = QStringLiteral("127.0.41.2");
const QString kPrinterAddress = QStringLiteral("127.0.41.3");
const QString kCode = QStringLiteral("SND0001");

const QByteArray kEnter("\n@PJL ENTER LANGUAGE=PCLXL\n");
// DuplexPageMode (horizontal) followed by CustomMediaSize A3 in tenths of a millimetre, as the
// Windows driver writes them.
const QByteArray kDuplexA3("\xc0\x00\xf8\x35\xd1\x9a\x0b\x68\x10\xf8\x2f\xc0\x02\xf8\x30", 15);
const QByteArray kCustomA3 = kDuplexA3.mid(4);

SimPorts boxPorts()
{
    SimPorts ports;
    ports.control = 18441;
    return ports;
}

JobSendSettings quickSettings()
{
    JobSendSettings settings;
    settings.ports.control = boxPorts().control;
    settings.timing = {20, 10, 15, 3000};
    return settings;
}

using Replacements = QList<QPair<QByteArray, QByteArray>>;
} // namespace
Q_DECLARE_METATYPE(Replacements)
Q_DECLARE_METATYPE(SimBoxScript)
Q_DECLARE_METATYPE(SimProgressStep)

// Stands in for the sweep: notes whether the spool file was still there when the job arrived.
class RecordingSweep : public AThreadQueue<SJob>
{
public:
    RecordingSweep() { start(); }
    ~RecordingSweep() override { stop(); }
    QMap<int, bool> arrivals() const
    {
        QMutexLocker lock(&m_mutex);
        return m_arrivals;
    }

protected:
    bool handleJob(SJob& job) override
    {
        QMutexLocker lock(&m_mutex);
        m_arrivals.insert(job.jobId, QFile::exists(job.filePath));
        QFile::remove(job.filePath);
        return true;
    }

private:
    mutable QMutex m_mutex;
    QMap<int, bool> m_arrivals;
};

// What one sender reported, collected on the test's thread.
struct SenderLog : QObject
{
    explicit SenderLog(JobSend* sender)
    {
        connect(sender, &JobSend::job_msg, this,
                [this](int, const QString&, const QString&, const QString&, const QString& status, int) {
                    statuses << status;
                });
        connect(sender, &JobSend::information_rb, this, [this](const QString& msg, int) { notices << msg; });
        connect(sender, &JobSend::job_ended, this,
                [this](int id, JobSend::Outcome outcome) { outcomes.insert(id, outcome); });
        connect(sender, &JobSend::job_kept, this, [this](const SJob& job) { kept << job; });
    }
    QStringList statuses, notices;
    QList<SJob> kept;
    QMap<int, JobSend::Outcome> outcomes;
};

class TestJobSend : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void brandRulesArriveExactly_data();
    void brandRulesArriveExactly();
    void deviceFaults_data();
    void deviceFaults();
    void taskPagesAndTarget_data();
    void taskPagesAndTarget();
    void progressPolls_data();
    void progressPolls();
    void sameJobIsSentOnce();
    void cancelLeavesWithinOnePoll();
    void chargedJobThatFailedIsKeptThenResentOnce();
    void chargedJobTheJournalCannotTakeStaysWhereItIs_data();
    void chargedJobTheJournalCannotTakeStaysWhereItIs();
    void keptJobTakesTheBackendsDocumentsAlong_data();
    void keptJobTakesTheBackendsDocumentsAlong();

private:
    SJob spooledJob(const QByteArray& content)
    {
        SJob job;
        job.jobId = ++m_lastJobId;
        job.filePath = m_dir.filePath(QStringLiteral("PavkoPort.%1").arg(job.jobId));
        QFile file(job.filePath);
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
        job.pages = 1;
        job.copies = 1;
        job.size = 1;
        job.orderId = QStringLiteral("order-%1").arg(job.jobId);
        job.device.deviceCode = kCode;
        job.device.deviceIp = kBoxAddress;
        return job;
    }
    // Sends the job to the box under its script and waits until the sender is done with it.
    bool send(const SJob& job, const SimBoxScript& script, JobSendSettings settings = quickSettings(),
              JobJournal* journal = nullptr)
    {
        SimBoxScript withCode = script;
        withCode.code = kCode;
        if (!m_box->setScript(withCode))
            return false;
        m_box->clearRecord();
        m_sender.reset(new JobSend(kCode, &m_sweep, settings, journal));
        m_log.reset(new SenderLog(m_sender.get()));
        m_sender->push(job);
        return QTest::qWaitFor([&] { return m_log->outcomes.contains(job.jobId); }, 20000);
    }
    QList<QJsonObject> requestsTo(const QString& path) const
    {
        QList<QJsonObject> found;
        for (const QJsonValue& request : m_box->requests())
            if (request[QStringLiteral("path")].toString() == path)
                found << request.toObject();
        return found;
    }
    // The box saw an open, a close after it, and every request signed; the port is closed again.
    void verifyPortClosedAndSwept(const SJob& job)
    {
        for (const QJsonValue& request : m_box->requests())
            QVERIFY2(request[QStringLiteral("signatureOk")].toBool(),
                     qPrintable(request[QStringLiteral("path")].toString()));
        QVERIFY(!m_box->isPortOpen());
        QTRY_VERIFY(m_sweep.arrivals().contains(job.jobId));
        QVERIFY(m_sweep.arrivals().value(job.jobId)); // the spool file was still there for the sweep
    }

    QTemporaryDir m_dir;
    QByteArray m_stream; // a Ghostscript page behind a driver-like PJL header with copy lines
    std::unique_ptr<DeviceBox> m_box;
    RecordingSweep m_sweep;
    std::unique_ptr<JobSend> m_sender;
    std::unique_ptr<SenderLog> m_log;
    int m_lastJobId = 5000;
};

void TestJobSend::initTestCase()
{
    m_box.reset(new DeviceBox(QHostAddress(kBoxAddress), SimBoxScript(), boxPorts()));
    QString error;
    QVERIFY2(m_box->start(&error), qPrintable(error));
    SimRawStorage storage;
    storage.memoryLimit = 64 * 1024 * 1024;
    m_box->setRawStorage(storage);

    const QByteArray page = ghostscriptPage();
    if (page.isEmpty())
        return;
    m_stream =
        "\x1b%-12345X@PJL JOB NAME=\"report\"\n@PJL SET QTY=3\n@PJL SET COPIES=3" + kEnter + page + kDuplexA3;
}

void TestJobSend::init()
{
    m_sender.reset();
}

void TestJobSend::brandRulesArriveExactly_data()
{
    QTest::addColumn<QString>("device"); // "brand|model|user|password"
    QTest::addColumn<QString>("job");    // "copies size duplex analysed"
    QTest::addColumn<QString>("document");
    QTest::addColumn<Replacements>("rewrite"); // applied in order to the stream
    QTest::addColumn<int>("times");            // the stream's writes over the one connection
    QTest::addColumn<int>("port");

    const QByteArray sharpEnter = "\n@PJL SET ACCOUNTNUMBER=\"48151623\"\n@PJL ENTER LANGUAGE=PCLXL \n";
    const QByteArray namedA3Text("\xc8\xc0\x02\x41\x33\xf8\x25", 7);
    const QByteArray namedA3Enum("\xc0\x05\xf8\x25", 4);
    QTest::newRow("Konica account") << "KONICA MIN|bizhub C226|王五|secret"
                                    << "1 1 0 1"
                                    << "report"
                                    << Replacements{{kEnter,
                                                     kEnter +
                                                         "@PJL SET KMCOETYPE = 2\n@PJL SET KMDRIVER=ON\n"
                                                         "@PJL SET KMUSERNAME = \"" +
                                                         QStringLiteral("王五").toUtf8() +
                                                         "\"\n@PJL SET KMUSERKEY2 = \"secret\"\n"}}
                                    << 1 << 9100;
    QTest::newRow("Konica, empty password: unchanged") << "KONICA MIN|bizhub C458|王五|"
                                                       << "1 1 0 1"
                                                       << "report" << Replacements{} << 1 << 9100;
    QTest::newRow("Sharp 4110 A3 duplex")
        << "Sharp|Sharp 4110||"
        << "1 2 1 1"
        << "report"
        << Replacements{{kEnter, sharpEnter},
                        {"\n@PJL ENTER LANGUAGE=PCLXL \n",
                         "\n@PJL SET DUPLEX=ON\n@PJL SET MEDIATYPE=DEFAULTMEDIATYPE\n@PJL ENTER "
                         "LANGUAGE=PCLXL  \n"},
                        {kCustomA3, namedA3Enum}}
        << 1 << 9100;
    QTest::newRow("Fuji Xerox duplex swap")
        << "Fuji Xerox|workcentre 7855||"
        << "1 2 1 1"
        << "report" << Replacements{{kDuplexA3.left(9), QByteArray("\xc0\x01", 2) + kDuplexA3.mid(2, 7)}} << 1
        << 9100;
    for (const char* brand : {"Ricoh", "Kyocera", "HANSA CANO"})
        QTest::addRow("%s named A3", brand)
            << QString::fromLatin1(brand) + QLatin1String("|X||") << "1 2 0 1"
            << "report" << Replacements{{kCustomA3, namedA3Text}} << 1 << 9100;
    const Replacements brotherOne{{"\n@PJL SET QTY=3", "\n@PJL SET QTY=1"},
                                  {"\n@PJL SET COPIES=3", "\n@PJL SET COPIES=1"}};
    QTest::newRow("Brother 3 copies written three times") << "Brother|MFC-8530DN||"
                                                          << "3 1 0 1"
                                                          << "report" << brotherOne << 3 << 9100;
    QTest::newRow("Brother notepad job written once") << "Brother|MFC-8540DN||"
                                                      << "3 1 0 1"
                                                      << "a.txt - 记事本" << brotherOne << 1 << 9100;
    QTest::newRow("Brother HL-5585D port") << "Brother|HL-5585D||"
                                           << "1 1 0 1"
                                           << "report" << Replacements{} << 1 << 19879;
    QTest::newRow("Toshiba copies") << "Toshiba|e-STUDIO||"
                                    << "3 1 0 1"
                                    << "report" << Replacements{{"\n@PJL SET QTY", "\n@PJL SET COPIES"}} << 1
                                    << 9100;
}

void TestJobSend::brandRulesArriveExactly()
{
    if (m_stream.isEmpty())
        QSKIP("Ghostscript (gs) is not installed; tools/install-deps installs it");
    QFETCH(QString, device);
    QFETCH(QString, job);
    QFETCH(QString, document);
    QFETCH(Replacements, rewrite);
    QFETCH(int, times);
    SJob spooled = spooledJob(m_stream);
    const SJob row = jobFromRow(device, job);
    spooled.device.brand = row.device.brand;
    spooled.device.model = row.device.model;
    spooled.device.deviceUsername = row.device.deviceUsername;
    spooled.device.devicePassword = row.device.devicePassword;
    spooled.copies = row.copies;
    spooled.size = row.size;
    spooled.duplex = row.duplex;
    spooled.analysed = row.analysed;
    spooled.documentName = document;
    QVERIFY(send(spooled, SimBoxScript()));

    QByteArray expected = m_stream;
    for (const auto& step : rewrite)
        expected.replace(step.first, step.second);
    QCOMPARE(m_log->statuses, (QStringList{JobStatusTexts::sending(), JobStatusTexts::sent()}));
    QCOMPARE(m_box->rawJobs().size(), 1);
    const QJsonObject raw = m_box->rawJobs().first().toObject();
    QVERIFY(raw[QStringLiteral("portOpen")].toBool());
    QCOMPARE(raw[QStringLiteral("order")].toString(), spooled.orderId);
    QTEST(raw[QStringLiteral("port")].toInt(), "port");
    QCOMPARE(m_box->rawData(0), expected.repeated(times));
    verifyPortClosedAndSwept(spooled);
}

void TestJobSend::deviceFaults_data()
{
    QTest::addColumn<SimBoxScript>("script");
    QTest::addColumn<int>("streamBytes");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<int>("polls");      // isCanPrint requests
    QTest::addColumn<int>("rawJobs");    // connections the box saw
    QTest::addColumn<QString>("notice"); // information popup shown while waiting
    SimBoxScript busy;
    busy.busyPolls = 2;
    QTest::newRow("busy twice, then prints once") << busy << 5000 << true << 3 << 1 << QString();
    SimBoxScript paperOut;
    paperOut.paperOutPolls = 1;
    QTest::newRow("paper out, then prints")
        << paperOut << 5000 << true << 2 << 1 << QStringLiteral("打印机纸盒中无纸，请您补充纸张后重试");
    SimBoxScript jam;
    jam.jamPolls = 1;
    QTest::newRow("paper jam, then prints")
        << jam << 5000 << true << 2 << 1 << QStringLiteral("打印机卡纸，请您根据屏幕提示取出卡纸后重试");
    SimBoxScript slow;
    slow.rawReadDelayMs = 2;
    QTest::newRow("slow printer") << slow << 40000 << true << 1 << 1 << QString();
    SimBoxScript refused;
    refused.rawRefused = true;
    QTest::newRow("raw port refused") << refused << 5000 << false << 1 << 0 << QString();
    SimBoxScript dropped;
    dropped.rawDropAfter = 1000;
    // Larger than what the loopback's socket buffers swallow, so the drop shows while writing.
    QTest::newRow("raw connection dropped") << dropped << 16 * 1024 * 1024 << false << 1 << 1 << QString();
    SimBoxScript clockOff;
    clockOff.portControlResult = -3;
    QTest::newRow("port not opened (clock error)") << clockOff << 5000 << false << 1 << 0 << QString();
}

void TestJobSend::deviceFaults()
{
    QFETCH(SimBoxScript, script);
    QFETCH(int, streamBytes);
    QFETCH(bool, sent);
    QFETCH(QString, notice);
    const SJob job = spooledJob(QByteArray(streamBytes, 'p'));
    QVERIFY(send(job, script));
    QCOMPARE(m_log->outcomes.value(job.jobId), sent ? JobSend::Sent : JobSend::Failed);
    QCOMPARE(m_log->statuses, (QStringList{JobStatusTexts::sending(),
                                           sent ? JobStatusTexts::sent() : JobStatusTexts::failed()}));
    QTEST(int(requestsTo(QStringLiteral("/cgi-bin/win/isCanPrint")).size()), "polls");
    QTEST(int(m_box->rawJobs().size()), "rawJobs");
    QCOMPARE(m_log->notices, notice.isEmpty() ? QStringList() : QStringList{notice});
    const QList<QJsonObject> portControl = requestsTo(QStringLiteral("/cgi-bin/win/portControl"));
    QVERIFY(!portControl.isEmpty());
    QCOMPARE(portControl.last()[QStringLiteral("params")][QStringLiteral("cmd")].toString(),
             QStringLiteral("close"));
    if (sent)
        QCOMPARE(m_box->rawJobs().first()[QStringLiteral("bytes")].toInt(), streamBytes);
    verifyPortClosedAndSwept(job);
}

void TestJobSend::taskPagesAndTarget_data()
{
    QTest::addColumn<QString>("device"); // "brand|model"
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("printerAddress"); // what printerinfo reports
    QTest::addColumn<int>("taskPages");          // of a 2-page, 1-copy job
    QTest::addColumn<QString>("target");         // where the raw stream went
    QTest::newRow("Ricoh C4504 A3") << "Ricoh|Ricoh C4504" << 2 << QString() << 2 << kBoxAddress;
    QTest::newRow("Ricoh other A3") << "Ricoh|Ricoh C3003" << 2 << QString() << 4 << kBoxAddress;
    QTest::newRow("HANSA CANO A3") << "HANSA CANO|X" << 2 << QString() << 2 << kBoxAddress;
    QTest::newRow("A4") << "Epson|X" << 1 << QString() << 2 << kBoxAddress;
    QTest::newRow("printer of its own") << "Epson|X" << 1 << kPrinterAddress << 2 << kPrinterAddress;
    QTest::newRow("placeholder address")
        << "Epson|X" << 1 << QStringLiteral("12.34.56.78") << 2 << kBoxAddress;
    // An address that is no literal unicast IPv4 one never receives the job: the box's own does.
    for (const char* unusable : {"0.0.0.0", "::1", "localhost", "255.255.255.255", "127.1"})
        QTest::addRow("printer address %s", unusable)
            << "Epson|X" << 1 << QString::fromLatin1(unusable) << 2 << kBoxAddress;
}

void TestJobSend::taskPagesAndTarget()
{
    QFETCH(QString, device);
    QFETCH(int, size);
    QFETCH(QString, printerAddress);
    QFETCH(QString, target);
    // The printer itself: a second box that only takes raw jobs.
    SimBoxScript printerScript;
    printerScript.code = QStringLiteral("PRN");
    DeviceBox printer(QHostAddress(kPrinterAddress), printerScript, boxPorts());
    QVERIFY(printer.start());

    SJob job = spooledJob("stream");
    job.pages = 2;
    job.size = size;
    job.device.brand = device.section(QLatin1Char('|'), 0, 0);
    job.device.model = device.section(QLatin1Char('|'), 1);
    SimBoxScript script;
    script.printerAddress = printerAddress;
    QVERIFY(send(job, script));
    QCOMPARE(m_log->outcomes.value(job.jobId), JobSend::Sent);
    const QJsonObject open = requestsTo(QStringLiteral("/cgi-bin/win/portControl")).first();
    QCOMPARE(open[QStringLiteral("params")][QStringLiteral("cmd")].toString(), QStringLiteral("open"));
    QTEST(open[QStringLiteral("params")][QStringLiteral("pages")].toString().toInt(), "taskPages");
    const DeviceBox& reached = target == kBoxAddress ? *m_box : printer;
    QCOMPARE(reached.rawJobs().size(), 1);
    QCOMPARE(m_box->rawJobs().size() + printer.rawJobs().size(), 1);
    verifyPortClosedAndSwept(job);
}

void TestJobSend::progressPolls_data()
{
    QTest::addColumn<QList<SimProgressStep>>("progress");
    QTest::addColumn<int>("polls");
    QTest::newRow("done at once") << QList<SimProgressStep>{{3, 100, {}}} << 1;
    QTest::newRow("90 percent counts as done") << QList<SimProgressStep>{{1, 50, {}}, {1, 90, {}}} << 2;
    QTest::newRow("status 2 then done") << QList<SimProgressStep>{{2, 10, {}}, {4, 10, {}}} << 2;
    // The first answer already equals the initial last percent.
    QTest::newRow("stalls at 0") << QList<SimProgressStep>{{1, 0, {}}} << 3;
    QTest::newRow("stalls at 40") << QList<SimProgressStep>{{1, 40, {}}} << 4;
    QTest::newRow("moves, then stalls") << QList<SimProgressStep>{{1, 10, {}}, {1, 20, {}}, {1, 30, {}}} << 6;
    QTest::newRow("busy and stalled: waits wait_s more") << QList<SimProgressStep>{{2, 40, {}}} << 4;
}

void TestJobSend::progressPolls()
{
    QFETCH(QList<SimProgressStep>, progress);
    SimBoxScript script;
    script.progress = progress;
    JobSendSettings settings = quickSettings();
    settings.waitSeconds = 1;
    const SJob job = spooledJob("stream");
    QVERIFY(send(job, script, settings));
    QCOMPARE(m_log->outcomes.value(job.jobId), JobSend::Sent);
    QTEST(int(requestsTo(QStringLiteral("/cgi-bin/win/taskprocess")).size()), "polls");
    // Waiting a second for a busy printer, the sender keeps the box's session alive meanwhile.
    if (progress.first().status == 2 && progress.size() == 1)
        QVERIFY(!requestsTo(QStringLiteral("/cgi-bin/win/keepalive")).isEmpty());
    verifyPortClosedAndSwept(job);
}

void TestJobSend::sameJobIsSentOnce()
{
    const SJob job = spooledJob("stream");
    QVERIFY(send(job, SimBoxScript()));
    QFile copy(job.filePath); // the listener could hand the same spooler job over again
    QVERIFY(copy.open(QIODevice::WriteOnly));
    copy.close();
    m_log->outcomes.clear();
    QTest::ignoreMessage(QtWarningMsg,
                         qPrintable(QStringLiteral("have been print. jobid =  %1").arg(job.jobId)));
    m_sender->push(job);
    QTRY_VERIFY(m_log->outcomes.contains(job.jobId));
    QCOMPARE(m_log->outcomes.value(job.jobId), JobSend::AlreadySent);
    QCOMPARE(m_box->rawJobs().size(), 1);
}

void TestJobSend::cancelLeavesWithinOnePoll()
{
    SimBoxScript busy;
    busy.code = kCode;
    busy.busyPolls = 1000000;
    QVERIFY(m_box->setScript(busy));
    m_box->clearRecord();
    JobSendSettings settings = quickSettings();
    settings.timing.busyPollMs = 600000;
    m_sender.reset(new JobSend(kCode, &m_sweep, settings));
    m_log.reset(new SenderLog(m_sender.get()));
    const SJob job = spooledJob("stream");
    m_sender->push(job);
    QTRY_COMPARE(requestsTo(QStringLiteral("/cgi-bin/win/isCanPrint")).size(), 1);
    m_sender->cancel(job.jobId);
    QTRY_VERIFY(m_log->outcomes.contains(job.jobId)); // long before the next poll
    QCOMPARE(m_log->outcomes.value(job.jobId), JobSend::Cancelled);
    QCOMPARE(m_log->statuses, QStringList());
    QVERIFY(requestsTo(QStringLiteral("/cgi-bin/win/portControl")).isEmpty());
    verifyPortClosedAndSwept(job);
}

void TestJobSend::chargedJobThatFailedIsKeptThenResentOnce()
{
    if (m_stream.isEmpty())
        QSKIP("Ghostscript (gs) is not installed; tools/install-deps installs it");
    JobJournal journal(m_dir.filePath(QStringLiteral("kept")));
    SJob job = spooledJob(m_stream);
    job.device.brand = QStringLiteral("KONICA MIN");
    job.device.model = QStringLiteral("bizhub C226");
    job.device.deviceUsername = QStringLiteral("王五");
    job.device.devicePassword = QStringLiteral("secret");
    SimBoxScript refused;
    refused.rawRefused = true;
    QVERIFY(send(job, refused, quickSettings(), &journal));
    QCOMPARE(m_log->outcomes.value(job.jobId), JobSend::Failed);
    QVERIFY(!m_box->isPortOpen());

    // Kept, not swept: the file moved into the journal, which a new run reads back.
    QVERIFY(!QFile::exists(job.filePath));
    const QList<SJob> kept = JobJournal(journal.folder()).jobs();
    QCOMPARE(kept.size(), 1);
    QCOMPARE(kept.first().orderId, job.orderId);
    QVERIFY(kept.first().rewritten);
    QVERIFY(kept.first().device.devicePassword.isEmpty());
    QVERIFY(QFile::exists(kept.first().filePath));
    QVERIFY(!m_sweep.arrivals().contains(job.jobId));

    // The resend prints the stream rewritten once (no second account header), despite the job's id being
    // known to the once-per-job guard, and the journal forgets it.
    SJob again = kept.first();
    again.resend = true;
    QVERIFY(send(again, SimBoxScript(), quickSettings(), &journal));
    QCOMPARE(m_log->outcomes.value(job.jobId), JobSend::Sent);
    QByteArray expected = m_stream;
    expected.replace(kEnter, kEnter +
                                 "@PJL SET KMCOETYPE = 2\n@PJL SET KMDRIVER=ON\n@PJL SET KMUSERNAME = \"" +
                                 QStringLiteral("王五").toUtf8() + "\"\n@PJL SET KMUSERKEY2 = \"secret\"\n");
    QCOMPARE(m_box->rawData(0), expected);
    QVERIFY(journal.jobs().isEmpty());
    verifyPortClosedAndSwept(again);
}

// A paid job's file is never swept before it was sent: when the journal cannot take it, it stays where
// it is, whole, and the job is offered again from there.
void TestJobSend::chargedJobTheJournalCannotTakeStaysWhereItIs_data()
{
    QTest::addColumn<bool>("diskFull"); // else a file stands where the journal's folder should be
    QTest::newRow("journal folder unusable") << false;
    QTest::newRow("disk full") << true;
}

void TestJobSend::chargedJobTheJournalCannotTakeStaysWhereItIs()
{
    QFETCH(bool, diskFull);
    if (diskFull && !DiskFull::available())
        QSKIP("no file size limit on this platform");
    SJob job = spooledJob("paid stream");
    job.rewritten = true;
    const QString folder = m_dir.filePath(QStringLiteral("kept-%1").arg(job.jobId));
    if (!diskFull) {
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    JobJournal journal(folder);
    SimBoxScript refused;
    refused.rawRefused = true;
    std::unique_ptr<DiskFull> full(diskFull ? new DiskFull : nullptr);
    QVERIFY(send(job, refused, quickSettings(), &journal));
    full.reset();
    QCOMPARE(m_log->outcomes.value(job.jobId), JobSend::Failed);
    QCOMPARE(m_log->kept.size(), 1);
    QCOMPARE(m_log->kept.first().filePath, job.filePath);
    QCOMPARE(m_log->kept.first().orderId, job.orderId);
    QFile file(job.filePath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("paid stream"));
    QVERIFY(!m_sweep.arrivals().contains(job.jobId));
    QVERIFY(journal.jobs().isEmpty());
    if (diskFull) // nothing left behind in the journal's folder
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

// The print backend keeps the printed document beside its stream for printing later; a job kept to be sent
// again needs only its stream, and the documents go with it out of the spool folder.
void TestJobSend::keptJobTakesTheBackendsDocumentsAlong_data()
{
    QTest::addColumn<bool>("journalTakesIt");
    QTest::newRow("kept") << true;
    QTest::newRow("journal cannot take it") << false; // stream and documents stay together
}

void TestJobSend::keptJobTakesTheBackendsDocumentsAlong()
{
    QFETCH(bool, journalTakesIt);
    qputenv(HandOver::kUserSpoolRootVariable, QFile::encodeName(m_dir.filePath(QStringLiteral("spool"))));
    const QString spool = JobListen::userSpoolFolder();
    if (spool.isEmpty())
        QSKIP("no print backend on this platform");
    QVERIFY(QDir().mkpath(spool));
    SJob job = spooledJob("paid stream");
    job.rewritten = true;
    const QString spoolFile = spool + QStringLiteral("/PavkoPort.%1").arg(job.jobId);
    QVERIFY(QFile::rename(job.filePath, spoolFile));
    job.filePath = spoolFile;
    const QStringList documents{spoolFile + QStringLiteral(".document.pdf"),
                                spoolFile + QStringLiteral(".document.ps")};
    for (const QString& document : documents) {
        QFile file(document);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString folder = m_dir.filePath(QStringLiteral("kept-%1").arg(job.jobId));
    if (!journalTakesIt) {
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    JobJournal journal(folder);
    SimBoxScript refused;
    refused.rawRefused = true;
    QVERIFY(send(job, refused, quickSettings(), &journal));
    qunsetenv(HandOver::kUserSpoolRootVariable);
    QCOMPARE(m_log->kept.size(), 1);
    QCOMPARE(journal.jobs().size(), journalTakesIt ? 1 : 0);
    QCOMPARE(QFile::exists(spoolFile), !journalTakesIt);
    for (const QString& document : documents)
        QVERIFY2(QFile::exists(document) == !journalTakesIt, qPrintable(document));
}

QTEST_GUILESS_MAIN(TestJobSend)
#include "TestJobSend.moc"
