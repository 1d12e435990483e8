#include "ServiceSim.h"

#include "Secrets.h"
#include "ServiceStorage.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QTimer>
#include <QUrl>

namespace {
QString elided(const QString& text, int length)
{
    return text.size() <= length ? text : text.left(length) + QStringLiteral("…");
}

bool readPort(const QString& text, quint16& port)
{
    bool ok = false;
    const uint number = text.toUInt(&ok);
    if (!ok || number > 65535)
        return false;
    port = quint16(number);
    return true;
}

bool readDelay(const QString& text, qint64& delay)
{
    bool ok = false;
    delay = text.toLongLong(&ok);
    return ok && delay >= 0 && delay <= 24 * 3600 * 1000;
}

bool readDevicesFile(const QString& path, QList<ServiceDevice>& devices, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    const QJsonArray list =
        document.isArray() ? document.array() : document.object().value(QLatin1String("devices")).toArray();
    if (list.isEmpty()) {
        error = QStringLiteral("%1: expected a JSON list of devices").arg(path);
        return false;
    }
    devices.clear();
    for (int i = 0; i < list.size(); ++i) {
        ServiceDevice device;
        device.id = i + 1;
        QString why = QStringLiteral("expected an object");
        if (!list.at(i).isObject() || !ServiceDevice::fromJson(list.at(i).toObject(), device, &why)) {
            error = QStringLiteral("%1: device %2: %3").arg(path).arg(i + 1).arg(why);
            return false;
        }
        devices.append(device);
    }
    return true;
}
} // namespace

bool ServiceSimCommandLine::allowedListenAddress(const QHostAddress& address)
{
    return !address.isNull() && address.isLoopback();
}

QString ServiceSimCommandLine::helpText()
{
    return QStringLiteral(R"(Usage: pavkoservicesim [options]
A stand-in for the cloud print service on loopback, for demos, manual testing and support:
one user (演示用户, user id 10001, balance 100.00) with a personal account and a company
account (演示公司, 500.00), devices that point at pavkodevsim's boxes, prices, orders,
payments, QR login, document uploads through a storage stand-in and a push channel, and
print-and-deliver: addresses, providers near them with paper, binding and prices, and orders.
Prints a ready line with the client configuration to use, then one line per request.
Ends cleanly on Ctrl+C or SIGTERM. Exit status 2 on bad usage, 1 when it cannot listen.

  --listen ADDRESS       loopback address to listen on (default 127.0.0.1; 127.0.0.0/8 or ::1)
  --port P               service API and log collector (default 8089)
  --storage-port P       object storage stand-in (default 8090)
  --ws-port P            push channel, path /wss (default 8091)
  --boxes FIRST COUNT    COUNT devices SIM0001... at consecutive addresses from FIRST, as
                         pavkodevsim --first FIRST --devices COUNT (default 127.0.0.2 1)
  --devices FILE         devices from a JSON list instead: device_code, device_nickname,
                         device_ip, device_status (1 online, 2 busy, 3 powered off, 4 offline,
                         5 disabled), brand, model, color, size, device_username,
                         device_password, company (the company account that lists it)
  --delivery FILE        the user's addresses and the print-and-deliver providers (print_config,
                         price_rule, freight_price as the service answers them) from a JSON
                         file like tools/demo/delivery.json (default: that file, built in)
  --pay-delay MS         a QR payment counts as paid MS after its code was handed out (3000)
  --scan-delay MS        a login QR code counts as scanned MS after it was handed out (3000)
  --push-delay MS        conversions, splits and print results are pushed MS later (1500)
  --publish-version V    the version check answers V (default: the client's own), its package
                         and patch served under /sim/pkg/ as small stand-in installers
  --package-type N       the published version's type: 0 silent, 1 optional (default), 2 forced
  --quiet                no line per request
  -h, --help             this text

Opening the login_url or pay_code_url of a QR code in a browser scans or pays at once.
)");
}

ServiceSimCommandLine ServiceSimCommandLine::parse(const QStringList& arguments)
{
    ServiceSimCommandLine result;
    ServiceSimOptions& options = result.options;
    const auto fail = [&result](const QString& error) {
        result.outcome = Outcome::Error;
        result.error = error;
        return result;
    };
    bool boxesGiven = false;
    bool devicesGiven = false;
    for (int i = 0; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        QStringList values;
        const int equals = name.indexOf(QLatin1Char('='));
        if (name.startsWith(QLatin1String("--")) && equals > 0) {
            values.append(name.mid(equals + 1));
            name = name.left(equals);
        }
        const auto take = [&](int count) {
            while (values.size() < count && i + 1 < arguments.size())
                values.append(arguments.at(++i));
            return values.size() == count;
        };
        if (name == QLatin1String("-h") || name == QLatin1String("--help")) {
            result.outcome = Outcome::Help;
            return result;
        }
        if (name == QLatin1String("--quiet")) {
            options.quiet = true;
        } else if (name == QLatin1String("--listen")) {
            if (!take(1))
                return fail(QStringLiteral("--listen needs an address"));
            options.listen = QHostAddress(values.at(0));
            if (!allowedListenAddress(options.listen))
                return fail(QStringLiteral("%1 is not a loopback address; pavkoservicesim listens only on "
                                           "127.0.0.0/8 or ::1")
                                .arg(values.at(0)));
        } else if (name == QLatin1String("--port") || name == QLatin1String("--storage-port") ||
                   name == QLatin1String("--ws-port")) {
            quint16& port = name == QLatin1String("--port")           ? options.port
                            : name == QLatin1String("--storage-port") ? options.storagePort
                                                                      : options.wsPort;
            if (!take(1) || !readPort(values.at(0), port))
                return fail(QStringLiteral("%1 needs a port number 0-65535").arg(name));
        } else if (name == QLatin1String("--pay-delay") || name == QLatin1String("--scan-delay") ||
                   name == QLatin1String("--push-delay")) {
            qint64& delay = name == QLatin1String("--pay-delay")    ? options.payDelayMs
                            : name == QLatin1String("--scan-delay") ? options.scanDelayMs
                                                                    : options.pushDelayMs;
            if (!take(1) || !readDelay(values.at(0), delay))
                return fail(QStringLiteral("%1 needs milliseconds from 0 to 86400000").arg(name));
        } else if (name == QLatin1String("--publish-version")) {
            if (!take(1) || values.at(0).isEmpty())
                return fail(QStringLiteral("--publish-version needs a version"));
            options.publishedVersion = values.at(0);
        } else if (name == QLatin1String("--package-type")) {
            bool ok = false;
            if (!take(1) || (options.packageType = values.at(0).toInt(&ok), !ok))
                return fail(QStringLiteral("--package-type needs a number"));
        } else if (name == QLatin1String("--boxes")) {
            if (!take(2))
                return fail(QStringLiteral("--boxes needs FIRST COUNT"));
            const QHostAddress first(values.at(0));
            bool ok = false;
            const int count = values.at(1).toInt(&ok);
            if (first.protocol() != QAbstractSocket::IPv4Protocol || !first.isLoopback())
                return fail(QStringLiteral("--boxes: %1 is not a loopback IPv4 address").arg(values.at(0)));
            if (!ok || count < 1 || count > 9999)
                return fail(QStringLiteral("--boxes needs a COUNT from 1 to 9999"));
            if (!QHostAddress(first.toIPv4Address() + quint32(count - 1)).isLoopback())
                return fail(QStringLiteral("--boxes: the last box would lie outside 127.0.0.0/8"));
            options.devices = ServiceDevice::boxes(first, count);
            boxesGiven = true;
        } else if (name == QLatin1String("--delivery")) {
            QString error;
            if (!take(1))
                return fail(QStringLiteral("--delivery needs a file"));
            if (!DeliveryWorld::fromFile(values.at(0), options.delivery, &error))
                return fail(error);
        } else if (name == QLatin1String("--devices")) {
            QString error;
            if (!take(1))
                return fail(QStringLiteral("--devices needs a file"));
            if (!readDevicesFile(values.at(0), options.devices, error))
                return fail(error);
            devicesGiven = true;
        } else {
            return fail(QStringLiteral("unknown argument %1").arg(arguments.at(i)));
        }
    }
    if (boxesGiven && devicesGiven)
        return fail(QStringLiteral("give either --boxes or --devices"));
    result.outcome = Outcome::Run;
    return result;
}

ServiceSim::ServiceSim(ServiceSimOptions options, LineSink out, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_out(std::move(out))
{
}

ServiceSim::~ServiceSim() = default;

bool ServiceSim::start(QString* error)
{
    const auto fail = [this, error](const QString& why) {
        if (error)
            *error = why;
        delete m_api;
        delete m_storage;
        delete m_push;
        m_api = m_storage = nullptr;
        m_push = nullptr;
        return false;
    };
    if (!ServiceSimCommandLine::allowedListenAddress(m_options.listen))
        return fail(QStringLiteral("%1 is not a loopback address").arg(m_options.listen.toString()));
    m_api =
        new LoopbackHttpServer([this](const HttpRequest& r) { return serveApi(r); }, 16 * 1024 * 1024, this);
    m_storage = new LoopbackHttpServer([this](const HttpRequest& r) { return serveStorage(r); },
                                       ServiceStorage::kMaxObject, this);
    m_push = new ServicePushChannel([this](const QString& line) { log(line); }, this);
    if (!m_api->listen(m_options.listen, m_options.port))
        return fail(QStringLiteral("service port %1: %2").arg(m_options.port).arg(m_api->errorString()));
    if (!m_storage->listen(m_options.listen, m_options.storagePort))
        return fail(
            QStringLiteral("storage port %1: %2").arg(m_options.storagePort).arg(m_storage->errorString()));
    QString why;
    if (!m_push->listen(m_options.listen, m_options.wsPort, &why))
        return fail(QStringLiteral("push channel port %1: %2").arg(m_options.wsPort).arg(why));

    ServiceWorldOptions world;
    world.devices = m_options.devices;
    world.payDelayMs = m_options.payDelayMs;
    world.scanDelayMs = m_options.scanDelayMs;
    world.pushDelayMs = m_options.pushDelayMs;
    world.publishedVersion = m_options.publishedVersion;
    world.packageType = m_options.packageType;
    world.apiBase = apiBase();
    world.delivery = m_options.delivery;
    m_world = std::make_unique<ServiceWorld>(world);
    return true;
}

QString ServiceSim::base(quint16 port) const
{
    const QString host = m_options.listen.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + m_options.listen.toString() + QLatin1Char(']')
                             : m_options.listen.toString();
    return QStringLiteral("http://") + host + QLatin1Char(':') + QString::number(port);
}

QString ServiceSim::apiBase() const
{
    return base(m_api ? m_api->serverPort() : m_options.port);
}

QString ServiceSim::storageBase() const
{
    return base(m_storage ? m_storage->serverPort() : m_options.storagePort);
}

QString ServiceSim::pushUrl() const
{
    return base(m_push ? m_push->port() : m_options.wsPort).replace(0, 4, QStringLiteral("ws")) +
           QStringLiteral("/wss");
}

QJsonObject ServiceSim::clientConfig() const
{
    return {{QStringLiteral("https_server"), apiBase()},
            {QStringLiteral("log_server"), apiBase()},
            {QStringLiteral("oss_address"), storageBase()},
            {QStringLiteral("ws_server"), pushUrl()}};
}

QString ServiceSim::readyLine() const
{
    QStringList devices;
    for (const ServiceDevice& device : m_world->devices())
        devices.append(device.code + QLatin1Char('@') + device.ip);
    return QStringLiteral("pavkoservicesim ready: api %1, storage %2, push %3, devices %4; client config %5")
        .arg(apiBase(), storageBase(), pushUrl(), devices.join(QLatin1Char(' ')),
             QString::fromUtf8(QJsonDocument(clientConfig()).toJson(QJsonDocument::Compact)));
}

void ServiceSim::log(const QString& line) const
{
    if (!m_options.quiet)
        m_out(QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz ")) + line);
}

void ServiceSim::schedule(const QList<ServicePush>& pushes)
{
    for (const ServicePush& push : pushes)
        QTimer::singleShot(push.delayMs, this, [this, push] { m_push->push(push.userId, push.message); });
}

HttpResponse ServiceSim::serveApi(const HttpRequest& request)
{
    const QString path = QString::fromUtf8(request.path);
    // The pages behind the QR codes: open one in a browser to scan or pay at once.
    if (path == QLatin1String("/sim/scan") || path == QLatin1String("/sim/pay")) {
        const bool scan = path == QLatin1String("/sim/scan");
        const bool done = scan ? m_world->scanNow(request.query().value(QStringLiteral("code")))
                               : m_world->payNow(request.query().value(QStringLiteral("out_trade_no")));
        log(QStringLiteral("%1 %2 -> %3")
                .arg(QString::fromLatin1(request.method), path,
                     done ? QStringLiteral("done") : QStringLiteral("unknown")));
        const QString text = done ? (scan ? QStringLiteral("已扫码，请回到电脑") : QStringLiteral("支付成功"))
                                  : QStringLiteral("二维码已失效");
        return HttpResponse::text(done ? 200 : 404,
                                  "<html><meta charset=\"utf-8\"><body><h1>" + text.toUtf8() +
                                      "</h1></body></html>",
                                  "text/html; charset=utf-8");
    }
    // The published packages: a stand-in installer that only says what it was given.
    if (path.startsWith(QLatin1String("/sim/pkg/"))) {
        log(QStringLiteral("%1 %2 -> package").arg(QString::fromLatin1(request.method), path));
        return HttpResponse::text(200, "#!/bin/sh\necho \"pavko installer stand-in: $*\"\n",
                                  "application/octet-stream");
    }
    ServiceCall call{QString::fromLatin1(request.method), path, request.query(), {}};
    if (request.method == "POST")
        call.body = ServiceWorld::bodyFromBytes(request.body);
    const ServiceAnswer answer = m_world->answer(call);
    schedule(answer.pushes);

    QStringList fields;
    for (auto it = call.query.cbegin(); it != call.query.cend(); ++it)
        fields.append(
            it.key() + QLatin1Char('=') +
            (it.key() == QLatin1String("token") ? maskedSecret(it.value()) : elided(it.value(), 60)));
    if (path == QLatin1String("/log/asyn_log_record"))
        fields.append(QStringLiteral("records=%1")
                          .arg(call.body.value(QLatin1String("windowsSysLogBos")).toArray().size()));
    else if (!call.body.isEmpty())
        fields.append(elided(
            maskSecretsInText(QString::fromUtf8(QJsonDocument(call.body).toJson(QJsonDocument::Compact))),
            160));
    const int code = answer.code();
    fields.prepend(path);
    log(QStringLiteral("%1 %2 -> %3%4%5")
            .arg(call.method, fields.join(QLatin1Char(' ')), QString::number(code),
                 code == 0 ? QString()
                           : QLatin1Char(' ') + answer.envelope.value(QLatin1String("msg")).toString(),
                 answer.note.isEmpty() ? QString() : QStringLiteral("; ") + answer.note));
    return {answer.httpStatus, "application/json; charset=utf-8",
            QJsonDocument(answer.envelope).toJson(QJsonDocument::Compact)};
}

HttpResponse ServiceSim::serveStorage(const HttpRequest& request)
{
    QList<ServicePush> pushes;
    QString outcome;
    const HttpResponse response = ServiceStorage::put(*m_world, request, pushes, outcome);
    schedule(pushes);
    log(QStringLiteral("STORAGE %1 %2 %3 bytes -> %4 %5")
            .arg(QString::fromLatin1(request.method), QUrl::fromPercentEncoding(request.path))
            .arg(request.body.size())
            .arg(response.status)
            .arg(outcome));
    return response;
}
