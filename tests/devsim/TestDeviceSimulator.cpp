#include "DeviceBox.h"
#include "SimGreeter.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// This suite's boxes live on 127.0.31.x, so other suites may use the same ports at the same time.
const QString kBoxAddress = QStringLiteral("127.0.31.2");
const QString kProberAddress = QStringLiteral("127.0.31.9");

SimPorts testPorts()
{
    SimPorts ports;
    ports.control = 18080;
    ports.raw = {19100, 19879};
    ports.greeting = 20417;
    return ports;
}

SimBoxScript scriptWithCode()
{
    SimBoxScript script;
    script.code = QStringLiteral("SIM0001");
    return script;
}

QStringList texts(std::initializer_list<const char*> items)
{
    QStringList made;
    for (const char* item : items)
        made.append(QString::fromUtf8(item));
    return made;
}

QByteArray md5Hex(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

// A query as a client builds it: fields in key order, then "sign" over the same text as the client
// hashes (every field but "pages", key then value), then the unsigned "pages" if given.
QByteArray signedQuery(const QMap<QString, QString>& fields, const QString& pages = QString())
{
    QByteArray query, text;
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        query += it.key().toUtf8() + '=' + QUrl::toPercentEncoding(it.value()) + '&';
        text += it.key().toLatin1() + it.value().toLatin1();
    }
    query += "sign=" + md5Hex(text + "Hs8KpY3wQe5LtR1c");
    if (!pages.isNull())
        query += "&pages=" + pages.toUtf8();
    return query;
}

QMap<QString, QString> common(std::initializer_list<std::pair<QString, QString>> more = {})
{
    QMap<QString, QString> fields{{QStringLiteral("token"), QStringLiteral("abcdefghijklmnop")},
                                  {QStringLiteral("ts"), QStringLiteral("1700000000")}};
    for (const auto& [key, value] : more)
        fields.insert(key, value);
    return fields;
}

QMap<QString, QString> portFields(const QString& cmd, const QString& order)
{
    return common({{QStringLiteral("cmd"), cmd},
                   {QStringLiteral("orderid"), order},
                   {QStringLiteral("port"), QStringLiteral("9100")},
                   {QStringLiteral("vistor"), QStringLiteral("0")}});
}

QMap<QString, QString> codeFields(const QString& code = QStringLiteral("SIM0001"))
{
    return common({{QStringLiteral("code"), code}});
}
} // namespace

class TestDeviceSimulator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void signature_data();
    void signature();
    void isCanPrintSequence_data();
    void isCanPrintSequence();
    void progressSteps_data();
    void progressSteps();
    void printerAddress_data();
    void printerAddress();
    void silentControlRecordsWithoutAnswer();
    void rawPortOpenFlag_data();
    void rawPortOpenFlag();
    void rawStorage_data();
    void rawStorage();
    void rawFaults_data();
    void rawFaults();
    void greeting_data();
    void greeting();
    void onlyLoopbackAddresses_data();
    void onlyLoopbackAddresses();
    void programServesScriptedBox();
    void programRefusesBadUsage_data();
    void programRefusesBadUsage();

private:
    void startBox(const SimBoxScript& script);
    // The JSON body of a GET of path?query, answered by the box on this thread.
    QJsonObject get(const QByteArray& path, const QByteArray& query);
    // Connects to a raw port, writes bytes and closes; returns the job the box recorded.
    QJsonObject sendRaw(quint16 port, const QByteArray& bytes);

    std::unique_ptr<DeviceBox> m_box;
    QNetworkAccessManager m_network;
};

void TestDeviceSimulator::init()
{
    m_network.setProxy(QNetworkProxy::NoProxy);
    m_network.clearConnectionCache();
}

void TestDeviceSimulator::cleanup()
{
    m_box.reset();
}

void TestDeviceSimulator::startBox(const SimBoxScript& script)
{
    m_box = std::make_unique<DeviceBox>(QHostAddress(kBoxAddress), script, testPorts());
    QString error;
    QVERIFY2(m_box->start(&error), qPrintable(error));
}

QJsonObject TestDeviceSimulator::get(const QByteArray& path, const QByteArray& query)
{
    const QUrl url(QStringLiteral("http://%1:%2").arg(kBoxAddress).arg(testPorts().control) +
                   QString::fromLatin1(path + '?' + query));
    std::unique_ptr<QNetworkReply> reply(m_network.get(QNetworkRequest(url)));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!finished.wait(kStateWaitMs))
        return {};
    return QJsonDocument::fromJson(reply->readAll()).object();
}

QJsonObject TestDeviceSimulator::sendRaw(quint16 port, const QByteArray& bytes)
{
    QSignalSpy finished(m_box.get(), &DeviceBox::rawJobFinished);
    QTcpSocket socket;
    socket.connectToHost(kBoxAddress, port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(bytes);
    // The box reads from this thread's loop, so wait without blocking it.
    const QDeadlineTimer deadline(10000);
    while (socket.bytesToWrite() > 0 && socket.state() == QAbstractSocket::ConnectedState &&
           !deadline.hasExpired())
        QTest::qWait(2);
    socket.disconnectFromHost();
    if (finished.isEmpty() && !finished.wait(kStateWaitMs))
        return {};
    return finished.first().first().toJsonObject();
}

void TestDeviceSimulator::signature_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<int>("resultCode");
    QTest::addColumn<bool>("signatureOk");

    const QByteArray keepalive = "/cgi-bin/win/keepalive";
    const QByteArray port = "/cgi-bin/win/portControl";
    const QByteArray known = "token=abcdefghijklmnop&ts=1700000000&sign=a50c542d752ca94dceba6b35b97cacbb";
    QTest::newRow("known signature") << keepalive << known << 0 << true;
    QTest::newRow("trailing ampersand") << keepalive << known + '&' << 0 << true;
    QByteArray upper = known;
    upper.replace("a50c542d752ca94dceba6b35b97cacbb", "A50C542D752CA94DCEBA6B35B97CACBB");
    QTest::newRow("upper-case digits") << keepalive << upper << SimControlApi::kSignRefused << false;
    QTest::newRow("sign missing") << keepalive << QByteArray("token=abcdefghijklmnop&ts=1700000000")
                                  << SimControlApi::kSignRefused << false;
    QByteArray changed = known;
    changed.replace("ts=1700000000", "ts=1700000001");
    QTest::newRow("value changed after signing")
        << keepalive << changed << SimControlApi::kSignRefused << false;
    QTest::newRow("percent-encoded value signed decoded")
        << keepalive
        << QByteArray("token=abc%64efghijklmnop&ts=1700000000&sign=a50c542d752ca94dceba6b35b97cacbb") << 0
        << true;
    QTest::newRow("key sent twice") << keepalive << known + "&ts=1700000000" << SimControlApi::kParameterBad
                                    << false;
    QTest::newRow("pages sent unsigned")
        << port << signedQuery(portFields(QStringLiteral("open"), QStringLiteral("O1")), QStringLiteral("3"))
        << 0 << true;
    auto withPages = portFields(QStringLiteral("open"), QStringLiteral("O1"));
    withPages.insert(QStringLiteral("pages"), QStringLiteral("3"));
    QTest::newRow("pages signed too")
        << port << signedQuery(withPages) << SimControlApi::kSignRefused << false;
    QTest::newRow("pages missing") << port
                                   << signedQuery(portFields(QStringLiteral("open"), QStringLiteral("O1")))
                                   << SimControlApi::kParameterMissing << true;
    QTest::newRow("another device's code")
        << QByteArray("/cgi-bin/win/isCanPrint") << signedQuery(codeFields(QStringLiteral("SIM0002")))
        << SimControlApi::kCodeMismatch << true;
}

void TestDeviceSimulator::signature()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, query);
    QFETCH(int, resultCode);
    QFETCH(bool, signatureOk);
    startBox(scriptWithCode());
    QSignalSpy handled(m_box.get(), &DeviceBox::requestHandled);

    const QJsonObject answer = get(path, query);
    QCOMPARE(answer.value(QStringLiteral("result-code")).toInt(-1), resultCode);
    QCOMPARE(answer.value(QStringLiteral("msg")).toString().isEmpty(), resultCode == 0);
    QCOMPARE(handled.size(), 1);
    const QJsonObject recorded = m_box->requestsTo(path).last().toObject();
    QCOMPARE(recorded.value(QStringLiteral("signatureOk")).toBool(), signatureOk);
    QCOMPARE(recorded.value(QStringLiteral("resultCode")).toInt(-1), resultCode);
    QCOMPARE(recorded.value(QStringLiteral("path")).toString(), QString::fromLatin1(path));
    // A refused open leaves the printer port shut.
    QCOMPARE(m_box->isPortOpen(), path.endsWith("portControl") && resultCode == 0);
}

void TestDeviceSimulator::isCanPrintSequence_data()
{
    QTest::addColumn<QList<int>>("faults"); // busy, paper out, jam
    QTest::addColumn<QList<int>>("codes");
    QTest::newRow("healthy") << QList<int>{0, 0, 0} << QList<int>{0, 0};
    QTest::newRow("busy twice, then free") << QList<int>{2, 0, 0} << QList<int>{2212, 2212, 0, 0};
    QTest::newRow("all three in order") << QList<int>{1, 2, 1} << QList<int>{2212, 2201, 2201, 2208, 0};
}

void TestDeviceSimulator::isCanPrintSequence()
{
    QFETCH(QList<int>, faults);
    QFETCH(QList<int>, codes);
    SimBoxScript script = scriptWithCode();
    script.busyPolls = faults.at(0);
    script.paperOutPolls = faults.at(1);
    script.jamPolls = faults.at(2);
    startBox(script);

    // A wrongly signed poll is refused without using up a scripted fault.
    get("/cgi-bin/win/isCanPrint", "code=SIM0001&token=abcdefghijklmnop&ts=1&sign=0");
    QList<int> answered;
    for (int i = 0; i < codes.size(); ++i)
        answered.append(get("/cgi-bin/win/isCanPrint", signedQuery(codeFields()))
                            .value(QStringLiteral("result-code"))
                            .toInt(-1));
    QCOMPARE(answered, codes);
}

void TestDeviceSimulator::progressSteps_data()
{
    QTest::addColumn<QByteArray>("steps");    // the script's "progress"
    QTest::addColumn<QStringList>("answers"); // "status percent" per poll
    QTest::newRow("default: done at once") << QByteArray() << texts({"3 100/100", "3 100/100"});
    QTest::newRow("stalls at 40") << QByteArray(R"([{"status":2,"percent":0},{"status":2,"percent":40}])")
                                  << texts({"2 0/100", "2 40/100", "2 40/100", "2 40/100"});
    QTest::newRow("status 2, then done")
        << QByteArray(R"([{"status":2,"percent":50},{"status":3,"percent":100}])")
        << texts({"2 50/100", "3 100/100", "3 100/100"});
    QTest::newRow("own percent text")
        << QByteArray(R"([{"status":1,"percent":25,"text":"3"}])") << texts({"1 3"});
}

void TestDeviceSimulator::progressSteps()
{
    QFETCH(QByteArray, steps);
    QFETCH(QStringList, answers);
    SimBoxScript script = scriptWithCode();
    if (!steps.isEmpty()) {
        const QJsonObject json{{QStringLiteral("progress"), QJsonDocument::fromJson(steps).array()}};
        QString error;
        QVERIFY2(SimBoxScript::fromJson(json, script, &error), qPrintable(error));
    }
    startBox(script);
    const auto poll = [this]() -> QString {
        const QJsonObject answer = get("/cgi-bin/win/taskprocess", signedQuery(codeFields()));
        return QString::number(answer.value(QStringLiteral("status")).toInt(-1)) + QLatin1Char(' ') +
               answer.value(QStringLiteral("percent")).toString();
    };

    QCOMPARE(get("/cgi-bin/win/portControl",
                 signedQuery(portFields(QStringLiteral("open"), QStringLiteral("O-7")), QStringLiteral("2")))
                 .value(QStringLiteral("result-code"))
                 .toInt(-1),
             0);
    QStringList polled;
    for (int i = 0; i < answers.size(); ++i)
        polled.append(poll());
    QCOMPARE(polled, answers);
    QCOMPARE(get("/cgi-bin/win/taskprocess", signedQuery(codeFields()))
                 .value(QStringLiteral("orderid"))
                 .toString(),
             QStringLiteral("O-7"));

    // The next order's task starts from the first step again.
    get("/cgi-bin/win/portControl",
        signedQuery(portFields(QStringLiteral("open"), QStringLiteral("O-8")), QStringLiteral("2")));
    QCOMPARE(poll(), answers.first());
}

void TestDeviceSimulator::printerAddress_data()
{
    QTest::addColumn<QString>("scripted");
    QTest::addColumn<QString>("reported");
    QTest::newRow("the box's own") << QString() << kBoxAddress;
    QTest::newRow("placeholder") << QStringLiteral("12.34.56.78") << QStringLiteral("12.34.56.78");
}

void TestDeviceSimulator::printerAddress()
{
    QFETCH(QString, scripted);
    QFETCH(QString, reported);
    SimBoxScript script = scriptWithCode();
    script.printerAddress = scripted;
    startBox(script);
    const QJsonObject answer = get("/cgi-bin/win/printerinfo", signedQuery(common()));
    QCOMPARE(answer.value(QStringLiteral("result-code")).toInt(-1), 0);
    QCOMPARE(answer.value(QStringLiteral("ip")).toString(), reported);
}

void TestDeviceSimulator::silentControlRecordsWithoutAnswer()
{
    SimBoxScript script = scriptWithCode();
    script.controlSilent = true;
    startBox(script);
    QSignalSpy handled(m_box.get(), &DeviceBox::requestHandled);
    const QUrl url(
        QStringLiteral("http://%1:%2/cgi-bin/win/portControl?").arg(kBoxAddress).arg(testPorts().control) +
        QString::fromLatin1(
            signedQuery(portFields(QStringLiteral("open"), QStringLiteral("O1")), QStringLiteral("1"))));
    std::unique_ptr<QNetworkReply> reply(m_network.get(QNetworkRequest(url)));
    QVERIFY(handled.wait(kStateWaitMs));
    QCoreApplication::processEvents();
    QVERIFY(!reply->isFinished());
    reply->abort();
    const QJsonObject recorded = handled.first().first().toJsonObject();
    QCOMPARE(recorded.value(QStringLiteral("answered")).toBool(), false);
    QCOMPARE(recorded.value(QStringLiteral("signatureOk")).toBool(), true);
    QVERIFY(!recorded.contains(QStringLiteral("resultCode")));
    QVERIFY(!m_box->isPortOpen()); // the client never heard it opened
}

void TestDeviceSimulator::rawPortOpenFlag_data()
{
    QTest::addColumn<QStringList>("commands"); // portControl cmds before the job
    QTest::addColumn<int>("portControlResult");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("open");
    QTest::newRow("opened") << texts({"open"}) << 0 << 19100 << true;
    QTest::newRow("opened, Brother port") << texts({"open"}) << 0 << 19879 << true;
    QTest::newRow("never opened") << QStringList{} << 0 << 19100 << false;
    QTest::newRow("closed before the job") << texts({"open", "close"}) << 0 << 19100 << false;
    QTest::newRow("open refused: clock error") << texts({"open"}) << -3 << 19100 << false;
}

void TestDeviceSimulator::rawPortOpenFlag()
{
    QFETCH(QStringList, commands);
    QFETCH(int, portControlResult);
    QFETCH(int, port);
    QFETCH(bool, open);
    SimBoxScript script = scriptWithCode();
    script.portControlResult = portControlResult;
    startBox(script);
    for (const QString& cmd : commands)
        QCOMPARE(get("/cgi-bin/win/portControl",
                     signedQuery(portFields(cmd, QStringLiteral("O9")), QStringLiteral("1")))
                     .value(QStringLiteral("result-code"))
                     .toInt(-1),
                 portControlResult);

    const QByteArray bytes = "\x1b%-12345X@PJL JOB\r\n" + QByteArray(5000, 'x');
    const QJsonObject job = sendRaw(quint16(port), bytes);
    QCOMPARE(job.value(QStringLiteral("port")).toInt(), port);
    QCOMPARE(job.value(QStringLiteral("portOpen")).toBool(), open);
    QCOMPARE(job.value(QStringLiteral("order")).toString(), open ? QStringLiteral("O9") : QString());
    QCOMPARE(job.value(QStringLiteral("bytes")).toInt(), bytes.size());
    QCOMPARE(job.value(QStringLiteral("md5")).toString().toLatin1(), md5Hex(bytes));
    QCOMPARE(m_box->rawData(0), bytes);
}

void TestDeviceSimulator::rawStorage_data()
{
    QTest::addColumn<bool>("toFolder");
    QTest::addColumn<qint64>("memoryLimit");
    QTest::addColumn<bool>("countOnly");
    QTest::addColumn<int>("kept");
    const int size = 3 * 1024 * 1024 + 7;
    QTest::newRow("memory") << false << qint64(64 * 1024 * 1024) << false << size;
    QTest::newRow("memory, over its limit") << false << qint64(1000) << false << 1000;
    QTest::newRow("folder") << true << qint64(1000) << false << size;
    QTest::newRow("count only") << true << qint64(1000) << true << 0;
}

void TestDeviceSimulator::rawStorage()
{
    QFETCH(bool, toFolder);
    QFETCH(qint64, memoryLimit);
    QFETCH(bool, countOnly);
    QFETCH(int, kept);
    QTemporaryDir dir;
    startBox(scriptWithCode());
    SimRawStorage storage;
    storage.dir = toFolder ? dir.path() : QString();
    storage.memoryLimit = memoryLimit;
    storage.countOnly = countOnly;
    m_box->setRawStorage(storage);

    QByteArray bytes(3 * 1024 * 1024 + 7, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 + i / 251);
    const QJsonObject job = sendRaw(19100, bytes);
    QCOMPARE(job.value(QStringLiteral("bytes")).toInt(), bytes.size());
    QCOMPARE(job.value(QStringLiteral("md5")).toString().toLatin1(),
             countOnly ? QByteArray() : md5Hex(bytes));
    QCOMPARE(job.value(QStringLiteral("truncated")).toBool(), kept > 0 && kept < bytes.size());
    QCOMPARE(job.contains(QStringLiteral("file")), toFolder && !countOnly);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), toFolder && !countOnly ? 1 : 0);
    QCOMPARE(m_box->rawData(0), bytes.left(kept));
}

void TestDeviceSimulator::rawFaults_data()
{
    QTest::addColumn<QByteArray>("fault"); // script members
    QTest::addColumn<int>("kept");         // bytes recorded; -1: no connection at all
    QTest::addColumn<bool>("dropped");
    QTest::newRow("drop after 1000") << QByteArray(R"({"rawDropAfter":1000})") << 1000 << true;
    QTest::newRow("drop at once") << QByteArray(R"({"rawDropAfter":0})") << 0 << true;
    QTest::newRow("slow reader") << QByteArray(R"({"rawReadDelayMs":1})") << 200000 << false;
    QTest::newRow("refused") << QByteArray(R"({"rawRefused":true})") << -1 << false;
}

void TestDeviceSimulator::rawFaults()
{
    QFETCH(QByteArray, fault);
    QFETCH(int, kept);
    QFETCH(bool, dropped);
    SimBoxScript script = scriptWithCode();
    QVERIFY(SimBoxScript::fromJson(QJsonDocument::fromJson(fault).object(), script));
    startBox(script);
    const QByteArray bytes(200000, 'r');

    if (kept < 0) {
        QTcpSocket socket;
        socket.connectToHost(kBoxAddress, 19100);
        QVERIFY(!socket.waitForConnected(5000));
        QCOMPARE(socket.error(), QAbstractSocket::ConnectionRefusedError);
        QVERIFY(m_box->rawJobs().isEmpty());
        return;
    }
    const QJsonObject job = sendRaw(19100, bytes);
    QCOMPARE(job.value(QStringLiteral("bytes")).toInt(), kept);
    QCOMPARE(job.value(QStringLiteral("dropped")).toBool(), dropped);
    QCOMPARE(job.value(QStringLiteral("md5")).toString().toLatin1(), md5Hex(bytes.left(kept)));
}

void TestDeviceSimulator::greeting_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("runMode");
    QTest::addColumn<QByteArray>("expected"); // what the prober reads; "refused" when nothing listens
    QTest::newRow("json, production")
        << QStringLiteral("json") << QStringLiteral("正式")
        << QByteArray(R"({"device_code":"SIM0001","ip":"127.0.31.2","run_mode":"正式"})");
    QTest::newRow("json, development")
        << QStringLiteral("json") << QStringLiteral("开发")
        << QByteArray(R"({"device_code":"SIM0001","ip":"127.0.31.2","run_mode":"开发"})");
    QTest::newRow("garbage") << QStringLiteral("garbage") << QStringLiteral("正式") << SimGreeter::kGarbage;
    QTest::newRow("silent") << QStringLiteral("silent") << QStringLiteral("正式") << QByteArray();
    QTest::newRow("off") << QStringLiteral("off") << QStringLiteral("正式") << QByteArray("refused");
}

void TestDeviceSimulator::greeting()
{
    QFETCH(QString, mode);
    QFETCH(QString, runMode);
    QFETCH(QByteArray, expected);
    SimBoxScript script = scriptWithCode();
    const QJsonObject json{{QStringLiteral("greeting"), mode},
                           {QStringLiteral("greetingDelayMs"), 20},
                           {QStringLiteral("runMode"), runMode}};
    QVERIFY(SimBoxScript::fromJson(json, script));
    startBox(script);
    QSignalSpy greeted(m_box.get(), &DeviceBox::greeted);

    QTcpSocket prober;
    QVERIFY(prober.bind(QHostAddress(kProberAddress)));
    prober.connectToHost(kBoxAddress, 20417);
    if (expected == "refused") {
        QVERIFY(!prober.waitForConnected(5000));
        QVERIFY(m_box->greetings().isEmpty());
        return;
    }
    QVERIFY(greeted.wait(kStateWaitMs));
    QCOMPARE(m_box->greetings().first().toObject().value(QStringLiteral("peer")).toString(), kProberAddress);
    if (expected.isEmpty()) {
        QTest::qWait(100); // longer than the scripted delay: a silent box still has said nothing
        QCOMPARE(prober.bytesAvailable(), qint64(0));
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(prober.state(), QAbstractSocket::UnconnectedState, 5000);
    const QByteArray read = prober.readAll();
    if (mode == QLatin1String("json"))
        QCOMPARE(QJsonDocument::fromJson(read).object(), QJsonDocument::fromJson(expected).object());
    else
        QCOMPARE(read, expected);
}

void TestDeviceSimulator::onlyLoopbackAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("127.0.31.3") << QStringLiteral("127.0.31.3") << true;
    QTest::newRow("documentation net") << QStringLiteral("192.0.2.1") << false;
    QTest::newRow("any address") << QStringLiteral("0.0.0.0") << false;
    QTest::newRow("mapped loopback") << QStringLiteral("::ffff:127.0.0.1") << false;
}

void TestDeviceSimulator::onlyLoopbackAddresses()
{
    QFETCH(QString, address);
    QFETCH(bool, accepted);
    DeviceBox box{QHostAddress(address), scriptWithCode(), testPorts()};
    QString error;
    QCOMPARE(box.start(&error), accepted);
    QCOMPARE(box.isRunning(), accepted);
    QCOMPARE(error.contains(QLatin1String("loopback")), !accepted);
}

void TestDeviceSimulator::programServesScriptedBox()
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("script.json"));
    const QString record = dir.filePath(QStringLiteral("record.json"));
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        R"({"devices":[{"address":"127.0.31.2","code":"DEV7","busyPolls":1,"printerAddress":"12.34.56.78"}]})");
    file.close();
    QProcess program;
    QStringList arguments =
        texts({"--control-port", "18080", "--raw-port", "19100", "--greeting-port", "20417"});
    arguments << QStringLiteral("--script") << script << QStringLiteral("--record") << record;
    program.start(QStringLiteral(PAVKODEVSIM_PATH), arguments);
    QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine(), kStateWaitMs);
    QCOMPARE(program.readLine().trimmed(),
             QByteArray("DEV7 127.0.31.2 control 18080 raw 19100 greeting 20417"));

    QCOMPARE(get("/cgi-bin/win/printerinfo", signedQuery(common())).value(QStringLiteral("ip")).toString(),
             QStringLiteral("12.34.56.78"));
    QCOMPARE(get("/cgi-bin/win/isCanPrint", signedQuery(codeFields(QStringLiteral("DEV7"))))
                 .value(QStringLiteral("result-code"))
                 .toInt(),
             2212);
    QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine(), kStateWaitMs);
    QCOMPARE(QJsonDocument::fromJson(program.readLine()).object().value(QStringLiteral("event")).toString(),
             QStringLiteral("request"));

    program.terminate(); // SIGTERM: a clean end, the record written once more
    QVERIFY(program.waitForFinished(kStateWaitMs));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QFile written(record);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QJsonObject device = QJsonDocument::fromJson(written.readAll())
                                   .object()
                                   .value(QStringLiteral("devices"))
                                   .toArray()
                                   .at(0)
                                   .toObject();
    QCOMPARE(device.value(QStringLiteral("code")).toString(), QStringLiteral("DEV7"));
    const QJsonArray requests = device.value(QStringLiteral("requests")).toArray();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests.at(1).toObject().value(QStringLiteral("resultCode")).toInt(), 2212);
    QCOMPARE(requests.at(1).toObject().value(QStringLiteral("signatureOk")).toBool(), true);
}

void TestDeviceSimulator::programRefusesBadUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("said");
    QTest::newRow("first not loopback") << texts({"--first", "10.0.0.5"}) << QByteArray("loopback");
    QTest::newRow("script device not loopback")
        << texts({"--script", "SCRIPT"}) << QByteArray("192.168.1.5 is not a loopback");
    QTest::newRow("devices beyond 127/8")
        << texts({"--first", "127.255.255.254", "--devices", "3"}) << QByteArray("loopback");
    QTest::newRow("unknown run mode")
        << texts({"--run-mode", "test"}) << QByteArray("--run-mode is 正式 or 开发");
    QTest::newRow("both devices and script")
        << texts({"--devices", "2", "--script", "SCRIPT"}) << QByteArray("either");
}

void TestDeviceSimulator::programRefusesBadUsage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, said);
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("script.json"));
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"devices":[{"address":"127.0.31.2"},{"address":"192.168.1.5"}]})");
    file.close();
    arguments.replaceInStrings(QStringLiteral("SCRIPT"), script);
    QProcess program;
    program.start(QStringLiteral(PAVKODEVSIM_PATH), arguments);
    QVERIFY(program.waitForFinished(kStateWaitMs));
    QCOMPARE(program.exitCode(), 2);
    QVERIFY2(program.readAllStandardError().contains(said), said.constData());
    QVERIFY(program.readAllStandardOutput().isEmpty()); // no box was started
}

QTEST_GUILESS_MAIN(TestDeviceSimulator)
#include "TestDeviceSimulator.moc"
