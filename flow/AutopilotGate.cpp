#include "AutopilotGate.h"

#include "AConfig.h"

#include <QDebug>
#include <QHostAddress>
#include <QUrl>

#ifdef PAVKO_AUTOPILOT
#include "Autopilot.h"
#endif

bool autopilotBuiltIn()
{
#ifdef PAVKO_AUTOPILOT
    return true;
#else
    return false;
#endif
}

bool isLoopbackServer(const QString& httpsServer)
{
    const QUrl url(httpsServer, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return false;
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

std::unique_ptr<QObject> startAutopilot(const AConfig& config, JobStatusWidget* status)
{
    if (config.autopilot().isEmpty())
        return nullptr;
    if (!autopilotBuiltIn()) {
        qWarning() << "autopilot : not in this build; left off";
        return nullptr;
    }
    if (!isLoopbackServer(config.https_server())) {
        qWarning().noquote() << "autopilot : refused, https_server" << config.https_server()
                             << "is not a loopback address";
        return nullptr;
    }
#ifdef PAVKO_AUTOPILOT
    return Autopilot::fromConfig(config, status);
#else
    Q_UNUSED(status);
    return nullptr;
#endif
}
