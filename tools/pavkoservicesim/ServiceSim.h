#pragma once

#include "LoopbackHttp.h"
#include "ServicePushChannel.h"
#include "ServiceWorld.h"

#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

struct ServiceSimOptions
{
    QHostAddress listen{QHostAddress::LocalHost};
    quint16 port = 8089;        // service API and log collector; 0 picks a free one
    quint16 storagePort = 8090; // object storage
    quint16 wsPort = 8091;      // push channel
    QList<ServiceDevice> devices = ServiceDevice::boxes(QHostAddress(QStringLiteral("127.0.0.2")), 1);
    qint64 payDelayMs = 3000;
    qint64 scanDelayMs = 3000;
    qint64 pushDelayMs = 1500;
    DeliveryWorld delivery = DeliveryWorld::builtIn(); // addresses and print-and-deliver providers
    QString publishedVersion;                          // empty: the version the client runs, so no upgrade
    int packageType = 1;                               // 0 silent, 1 optional, other forced
    bool quiet = false;                                // no line per request
};

// Reads the pavkoservicesim command line (arguments without the program name). Errors are usage
// errors: the tool exits 2 on them, having started nothing.
struct ServiceSimCommandLine
{
    enum class Outcome
    {
        Run,
        Help,
        Error
    };
    Outcome outcome = Outcome::Error;
    ServiceSimOptions options;
    QString error;

    static ServiceSimCommandLine parse(const QStringList& arguments);
    static QString helpText();
    // Only loopback: the stand-in answers anybody's login and payment.
    static bool allowedListenAddress(const QHostAddress& address);
};

// The stand-in service on loopback: the service API with the log collector, the object storage and
// the push channel, all answered from one ServiceWorld. Logs one line per request.
class ServiceSim : public QObject
{
public:
    using LineSink = std::function<void(const QString& line)>;

    ServiceSim(ServiceSimOptions options, LineSink out, QObject* parent = nullptr);
    ~ServiceSim() override;

    // Listens on all three ports; false with error set when the address is not loopback or a port is
    // taken, and nothing is left listening then.
    bool start(QString* error);

    QString apiBase() const;     // "http://127.0.0.1:8089"
    QString storageBase() const; // "http://127.0.0.1:8090"
    QString pushUrl() const;     // "ws://127.0.0.1:8091/wss"
    // The members of the client's config/config.json that point it here.
    QJsonObject clientConfig() const;
    QString readyLine() const;

    ServiceWorld& world() { return *m_world; }
    ServicePushChannel& pushChannel() { return *m_push; }

private:
    QString base(quint16 port) const;
    HttpResponse serveApi(const HttpRequest& request);
    HttpResponse serveStorage(const HttpRequest& request);
    void schedule(const QList<ServicePush>& pushes);
    void log(const QString& line) const;

    ServiceSimOptions m_options;
    LineSink m_out;
    std::unique_ptr<ServiceWorld> m_world;
    LoopbackHttpServer* m_api = nullptr;
    LoopbackHttpServer* m_storage = nullptr;
    ServicePushChannel* m_push = nullptr;
};
