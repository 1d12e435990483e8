#include "SimFleet.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSet>
#include <QTimer>

namespace {
QList<QCommandLineOption> commandLineOptions()
{
    const auto value = [](const char* name, const char* description, const char* valueName) {
        return QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(description),
                                  QString::fromLatin1(valueName));
    };
    return {value("devices", "Number of boxes (default 1), at consecutive addresses.", "N"),
            value("first", "Address of the first box (default 127.0.0.2); loopback only.", "ADDRESS"),
            value("code-prefix", "Device codes are this and a 4-digit number (default SIM).", "PREFIX"),
            value("control-port", "HTTP control API port (default 80).", "P"),
            value("raw-port", "Raw printing port; repeat for more (default 9100 and 19879).", "P"),
            value("greeting-port", "Discovery greeting port (default 20417).", "P"),
            value("run-mode", "Run mode the greeting reports: 正式 (default) or 开发.", "MODE"),
            value("script", "JSON file {\"devices\": [{script..., \"address\": \"127.0.0.5\"}]}.", "FILE"),
            value("record", "Keep everything received in this JSON file.", "FILE"),
            value("raw-dir", "Write each raw job to a file in this folder instead of memory.", "DIR"),
            QCommandLineOption(
                QStringLiteral("raw-count-only"),
                QStringLiteral("Only count raw bytes (no MD5, nothing kept): for throughput runs.")),
            QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                               QStringLiteral("Show this help."))};
}

bool readPort(const QString& text, quint16& port)
{
    bool ok = false;
    const uint number = text.toUInt(&ok);
    if (!ok || number == 0 || number > 65535)
        return false;
    port = quint16(number);
    return true;
}

QString notLoopback(const QString& address)
{
    return QStringLiteral("%1 is not a loopback address; the simulator listens only on 127.0.0.0/8")
        .arg(address);
}

// The script file's boxes; an entry's "address" is taken out before the rest is read as a script.
bool readScriptFile(const QString& path, const SimBoxScript& base, QList<QPair<QString, SimBoxScript>>& boxes,
                    QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    const QJsonValue devices = document.object().value(QLatin1String("devices"));
    if (!document.isObject() || !devices.isArray() || devices.toArray().isEmpty()) {
        error = QStringLiteral("%1: expected {\"devices\": [...]} with at least one device%2")
                    .arg(path, parseError.error == QJsonParseError::NoError
                                   ? QString()
                                   : QStringLiteral(" (") + parseError.errorString() + QLatin1Char(')'));
        return false;
    }
    int index = 0;
    for (const QJsonValue& value : devices.toArray()) {
        QJsonObject entry = value.toObject();
        const QJsonValue address = entry.take(QLatin1String("address"));
        SimBoxScript script = base;
        QString scriptError;
        if (!value.isObject() || (!address.isUndefined() && !address.isString()) ||
            !SimBoxScript::fromJson(entry, script, &scriptError)) {
            error =
                QStringLiteral("%1: device %2: %3")
                    .arg(path)
                    .arg(index + 1)
                    .arg(scriptError.isEmpty() ? QStringLiteral("expected an object with a text \"address\"")
                                               : scriptError);
            return false;
        }
        boxes.append({address.toString(), script});
        ++index;
    }
    return true;
}
} // namespace

QString SimCommandLine::helpText()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated print-device boxes on loopback addresses, for tests, demos and support.\n"
                       "Each box answers the control API over HTTP, records raw jobs and answers discovery.\n"
                       "Prints one line per box, then one JSON line per request, raw job and probe.\n"
                       "Ends cleanly on Ctrl+C or SIGTERM. Exit status 2 on bad usage, 1 when a box cannot "
                       "start."));
    parser.addOptions(commandLineOptions());
    return parser.helpText() + QStringLiteral(R"(
Members of a device in the script file (all optional):
  "address"            loopback address; default: consecutive from --first
  "code"               device code; default: --code-prefix and a number
  "runMode"            "正式" or "开发"
  "printerAddress"     "ip" answered by printerinfo; default: the box's address
  "busyPolls", "paperOutPolls", "jamPolls"
                       isCanPrint answers 2212, 2201, 2208 that many times, in
                       this order, then 0
  "portControlResult"  result-code of every portControl (e.g. -3); default 0
  "controlSilent"      true: read requests, never answer
  "progress"           [{"status": 2, "percent": 40, "text": "2/5"}, ...]: one
                       per taskprocess poll after an open, the last repeating;
                       "text" overrides the percent text (default "40/100")
  "rawRefused"         true: raw ports do not listen
  "rawDropAfter"       close a raw connection after this many bytes
  "rawReadDelayMs"     read raw data slowly, 4 KiB per this many ms
  "greeting"           "json", "silent", "garbage" or "off"
  "greetingDelayMs"    wait this long before greeting
Example: {"devices": [{"address": "127.0.0.5", "busyPolls": 2},
                      {"printerAddress": "12.34.56.78", "greeting": "off"}]}
)");
}

SimCommandLine SimCommandLine::parse(const QStringList& arguments)
{
    SimCommandLine result;
    QCommandLineParser parser;
    parser.addOptions(commandLineOptions());
    if (!parser.parse(QStringList{QStringLiteral("pavkodevsim")} + arguments)) {
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        result.outcome = Outcome::Help;
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error = QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first());
        return result;
    }
    const auto last = [&parser](const char* name) {
        return parser.values(QString::fromLatin1(name)).value(0);
    };
    const auto fail = [&result](const QString& error) {
        result.error = error;
        return result;
    };

    SimFleetOptions& options = result.options;
    if (parser.isSet(QStringLiteral("control-port")) &&
        !readPort(last("control-port"), options.ports.control))
        return fail(QStringLiteral("--control-port needs a port number 1-65535"));
    if (parser.isSet(QStringLiteral("greeting-port")) &&
        !readPort(last("greeting-port"), options.ports.greeting))
        return fail(QStringLiteral("--greeting-port needs a port number 1-65535"));
    if (parser.isSet(QStringLiteral("raw-port"))) {
        options.ports.raw.clear();
        for (const QString& text : parser.values(QStringLiteral("raw-port"))) {
            quint16 port = 0;
            if (!readPort(text, port))
                return fail(QStringLiteral("--raw-port needs a port number 1-65535"));
            options.ports.raw.append(port);
        }
    }
    options.recordFile = last("record");
    options.rawDir = last("raw-dir");
    options.rawCountOnly = parser.isSet(QStringLiteral("raw-count-only"));

    SimBoxScript base;
    if (parser.isSet(QStringLiteral("run-mode")))
        base.runMode = last("run-mode");
    if (base.runMode != QStringLiteral("正式") && base.runMode != QStringLiteral("开发"))
        return fail(QStringLiteral("--run-mode is 正式 or 开发"));

    const QString firstText =
        parser.isSet(QStringLiteral("first")) ? last("first") : QStringLiteral("127.0.0.2");
    const QHostAddress first(firstText);
    if (first.isNull())
        return fail(QStringLiteral("--first %1 is not an address").arg(firstText));
    if (!DeviceBox::isLoopback(first))
        return fail(notLoopback(firstText));

    QList<QPair<QString, SimBoxScript>> planned;
    if (parser.isSet(QStringLiteral("script"))) {
        if (parser.isSet(QStringLiteral("devices")))
            return fail(
                QStringLiteral("give either --devices or --script: the script file lists the devices"));
        QString error;
        if (!readScriptFile(last("script"), base, planned, error))
            return fail(error);
    } else {
        bool ok = true;
        const int count = parser.isSet(QStringLiteral("devices")) ? last("devices").toInt(&ok) : 1;
        if (!ok || count < 1 || count > 9999)
            return fail(QStringLiteral("--devices needs a number from 1 to 9999"));
        for (int i = 0; i < count; ++i)
            planned.append({QString(), base});
    }

    const QString prefix =
        parser.isSet(QStringLiteral("code-prefix")) ? last("code-prefix") : QStringLiteral("SIM");
    QSet<quint32> taken;
    for (int i = 0; i < planned.size(); ++i) {
        SimFleetBox box;
        box.script = planned.at(i).second;
        const QString text = planned.at(i).first;
        box.address = text.isEmpty() ? QHostAddress(first.toIPv4Address() + quint32(i)) : QHostAddress(text);
        if (box.address.isNull())
            return fail(QStringLiteral("device %1: %2 is not an address").arg(i + 1).arg(text));
        if (!DeviceBox::isLoopback(box.address))
            return fail(notLoopback(box.address.toString()));
        if (taken.contains(box.address.toIPv4Address()))
            return fail(QStringLiteral("two devices at %1").arg(box.address.toString()));
        taken.insert(box.address.toIPv4Address());
        if (box.script.code.isEmpty())
            box.script.code = prefix + QStringLiteral("%1").arg(i + 1, 4, 10, QLatin1Char('0'));
        options.boxes.append(box);
    }
    result.outcome = Outcome::Run;
    return result;
}

SimFleet::SimFleet(const SimFleetOptions& options, LineSink out, QObject* parent)
    : QObject(parent), m_options(options), m_out(std::move(out))
{
}

SimFleet::~SimFleet() = default;

bool SimFleet::start(QString* error)
{
    if (!m_options.rawDir.isEmpty() && !QDir().mkpath(m_options.rawDir)) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(m_options.rawDir);
        return false;
    }
    for (const SimFleetBox& planned : std::as_const(m_options.boxes)) {
        auto box = std::make_unique<DeviceBox>(planned.address, planned.script, m_options.ports);
        SimRawStorage storage;
        storage.dir = m_options.rawDir;
        storage.countOnly = m_options.rawCountOnly;
        box->setRawStorage(storage);
        QString boxError;
        if (!box->start(&boxError)) {
            if (error)
                *error = planned.address.toString() + QStringLiteral(": ") + boxError;
            m_boxes.clear();
            return false;
        }
        const DeviceBox* raw = box.get();
        connect(raw, &DeviceBox::requestHandled, this,
                [this, raw](const QJsonObject& request) { report(QStringLiteral("request"), raw, request); });
        connect(raw, &DeviceBox::rawJobFinished, this,
                [this, raw](const QJsonObject& job) { report(QStringLiteral("rawJob"), raw, job); });
        connect(raw, &DeviceBox::greeted, this,
                [this, raw](const QJsonObject& probe) { report(QStringLiteral("greeting"), raw, probe); });
        connect(raw, &DeviceBox::recordChanged, this, &SimFleet::recordChanged);
        m_boxes.push_back(std::move(box));
    }
    for (const auto& box : m_boxes) {
        const SimBoxScript& script = box->script();
        const QString line =
            QStringLiteral("%1 %2 control %3 raw %4 greeting %5")
                .arg(box->code(), box->address().toString())
                .arg(m_options.ports.control)
                .arg(script.rawRefused ? QStringLiteral("refused") : m_options.ports.rawText())
                .arg(script.greeting == SimBoxScript::GreetingMode::Off
                         ? QStringLiteral("off")
                         : QString::number(m_options.ports.greeting));
        m_out(line.toUtf8());
    }
    if (!writeRecord() && error) {
        *error = QStringLiteral("cannot write %1").arg(m_options.recordFile);
        m_boxes.clear();
        return false;
    }
    return true;
}

QJsonObject SimFleet::record() const
{
    QJsonArray devices;
    for (const auto& box : m_boxes)
        devices.append(box->record());
    return {{QStringLiteral("devices"), devices}};
}

bool SimFleet::writeRecord()
{
    m_writePending = false;
    if (m_options.recordFile.isEmpty())
        return true;
    // Readers never see half a record.
    QSaveFile file(m_options.recordFile);
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(record()).toJson()) >= 0 && file.commit();
    if (!written && !m_writeFailed)
        qWarning("pavkodevsim: cannot write %s: %s", qPrintable(m_options.recordFile),
                 qPrintable(file.errorString()));
    m_writeFailed = !written;
    return written;
}

void SimFleet::report(const QString& event, const DeviceBox* box, const QJsonObject& what)
{
    QJsonObject line = what;
    line.insert(QStringLiteral("event"), event);
    line.insert(QStringLiteral("device"), box->code());
    line.insert(QStringLiteral("address"), box->address().toString());
    m_out(QJsonDocument(line).toJson(QJsonDocument::Compact));
}

void SimFleet::recordChanged()
{
    // A burst of changes (a client's poll loop) is written once, right after the burst.
    if (m_writePending || m_options.recordFile.isEmpty())
        return;
    m_writePending = true;
    QTimer::singleShot(0, this, &SimFleet::writeRecord);
}
