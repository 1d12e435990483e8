#include "DeviceBox.h"

#include "SimGreeter.h"

#include <QDateTime>
#include <QJsonDocument>

DeviceBox::DeviceBox(const QHostAddress& address, const SimBoxScript& script, const SimPorts& ports,
                     QObject* parent)
    : QObject(parent), m_address(address), m_script(script), m_ports(ports), m_api(address.toString(), script)
{
    m_raw = new SimRawReceiver(
        script.code.isEmpty() ? QStringLiteral("raw") : script.code,
        [this] {
            return SimRawReceiver::PortState{m_api.portOpen(), m_api.lastOrder()};
        },
        this);
    m_raw->setFaults(script.rawDropAfter, script.rawReadDelayMs);
    connect(m_raw, &SimRawReceiver::jobStarted, this, [this](int index) {
        emit rawJobStarted(m_raw->jobs().at(index).toJson());
        emit recordChanged();
    });
    connect(m_raw, &SimRawReceiver::jobFinished, this, [this](int index) {
        emit rawJobFinished(m_raw->jobs().at(index).toJson());
        emit recordChanged();
    });
    m_greeter = new SimGreeter(this);
    m_greeter->setGreeting(script.code, address.toString(), script);
    connect(m_greeter, &SimGreeter::greeted, this, [this](const QJsonObject& connection) {
        emit greeted(connection);
        emit recordChanged();
    });
}

DeviceBox::~DeviceBox()
{
    stop();
}

bool DeviceBox::isLoopback(const QHostAddress& address)
{
    return address.protocol() == QAbstractSocket::IPv4Protocol &&
           address.isInSubnet(QHostAddress(QStringLiteral("127.0.0.0")), 8);
}

bool DeviceBox::start(QString* error)
{
    if (!isLoopback(m_address)) {
        if (error)
            *error = QStringLiteral("%1 is not a loopback address (127.0.0.0/8); a simulated box never "
                                    "listens anywhere else")
                         .arg(m_address.toString());
        return false;
    }
    stop();
    m_control = new LoopbackHttpServer([this](const HttpRequest& request) { return handle(request); },
                                       LoopbackHttp::kMaxHead, this);
    if (!m_control->listen(m_address, m_ports.control)) {
        if (error)
            *error = QStringLiteral("control port %1: %2").arg(m_ports.control).arg(m_control->errorString());
        stop();
        return false;
    }
    m_running = true;
    if (!listenAll(error)) {
        stop();
        return false;
    }
    return true;
}

bool DeviceBox::listenAll(QString* error)
{
    if (m_script.rawRefused)
        m_raw->close();
    else if (!m_raw->isListening() && !m_raw->listen(m_address, m_ports.raw, error))
        return false;
    if (m_script.greeting == SimBoxScript::GreetingMode::Off)
        m_greeter->close();
    else if (!m_greeter->isListening() && !m_greeter->listen(m_address, m_ports.greeting, error))
        return false;
    return true;
}

void DeviceBox::stop()
{
    delete m_control; // its connections with it
    m_control = nullptr;
    m_raw->close();
    m_greeter->close();
    m_running = false;
}

bool DeviceBox::setScript(const SimBoxScript& script, QString* error)
{
    m_script = script;
    m_api.setScript(script);
    m_raw->setFaults(script.rawDropAfter, script.rawReadDelayMs);
    m_greeter->setGreeting(script.code, m_address.toString(), script);
    return !m_running || listenAll(error);
}

void DeviceBox::setRawStorage(const SimRawStorage& storage)
{
    m_raw->setStorage(storage);
}

QJsonArray DeviceBox::requestsTo(const QByteArray& path) const
{
    QJsonArray matching;
    for (const QJsonValue& request : m_requests)
        if (request.toObject().value(QStringLiteral("path")).toString() == QString::fromUtf8(path))
            matching.append(request);
    return matching;
}

QJsonArray DeviceBox::rawJobs() const
{
    QJsonArray jobs;
    for (const SimRawJob& job : m_raw->jobs())
        jobs.append(job.toJson());
    return jobs;
}

QJsonArray DeviceBox::greetings() const
{
    return m_greeter->connections();
}

QByteArray DeviceBox::rawData(int index) const
{
    return m_raw->data(index);
}

QJsonObject DeviceBox::record() const
{
    QJsonArray raw;
    for (quint16 port : m_ports.raw)
        raw.append(port);
    return {{QStringLiteral("code"), m_script.code},
            {QStringLiteral("address"), m_address.toString()},
            {QStringLiteral("ports"), QJsonObject{{QStringLiteral("control"), m_ports.control},
                                                  {QStringLiteral("raw"), raw},
                                                  {QStringLiteral("greeting"), m_ports.greeting}}},
            {QStringLiteral("script"), m_script.toJson()},
            {QStringLiteral("portOpen"), m_api.portOpen()},
            {QStringLiteral("lastOrder"), m_api.lastOrder()},
            {QStringLiteral("requests"), m_requests},
            {QStringLiteral("rawJobs"), rawJobs()},
            {QStringLiteral("greetings"), greetings()}};
}

void DeviceBox::clearRecord()
{
    m_requests = QJsonArray();
    m_raw->clear();
    m_greeter->clear();
    emit recordChanged();
}

std::optional<HttpResponse> DeviceBox::handle(const HttpRequest& request)
{
    QJsonObject params;
    for (const auto& field : request.fields)
        params.insert(field.first, field.second);
    QJsonObject entry{{QStringLiteral("path"), QString::fromUtf8(request.path)},
                      {QStringLiteral("target"), QString::fromUtf8(request.target)},
                      {QStringLiteral("params"), params},
                      {QStringLiteral("peer"), QString::fromUtf8(request.peer)},
                      {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)}};
    std::optional<HttpResponse> response;
    if (m_script.controlSilent) {
        // Judged all the same, so the record says whether the client signed right; the box's state
        // stays as it was, since the client never learns the outcome.
        SimControlApi judge = m_api;
        const SimAnswer answer = judge.handle(request.method, request.path, request.fields);
        entry.insert(QStringLiteral("signatureOk"), answer.signatureOk);
        entry.insert(QStringLiteral("answered"), false);
    } else {
        const SimAnswer answer = m_api.handle(request.method, request.path, request.fields);
        entry.insert(QStringLiteral("signatureOk"), answer.signatureOk);
        entry.insert(QStringLiteral("answered"), true);
        entry.insert(QStringLiteral("resultCode"), answer.resultCode);
        entry.insert(QStringLiteral("msg"), answer.body.value(QStringLiteral("msg")).toString());
        entry.insert(QStringLiteral("answer"), answer.body);
        response = HttpResponse{answer.httpStatus, "application/json",
                                QJsonDocument(answer.body).toJson(QJsonDocument::Compact)};
    }
    m_requests.append(entry);
    emit requestHandled(entry);
    emit recordChanged();
    return response;
}
