#include "DScanCommand.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
QByteArray line(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

int usage(QTextStream& err, const QString& problem)
{
    err << problem << "\nusage: pavkodevice scan [--networks CIDR,...] [--wait SECONDS]\n";
    err.flush();
    return 2;
}
} // namespace

int runScanCommand(const QStringList& options, const DScanSettings& base,
                   const DScanDevice::InterfaceSource& interfaces, QTextStream& out, QTextStream& err)
{
    DScanSettings settings = base;
    for (int i = 0; i < options.size(); ++i) {
        const QString& option = options[i];
        if (i + 1 >= options.size())
            return usage(err, QStringLiteral("missing value of ") + option);
        const QString value = options[++i];
        if (option == QLatin1String("--networks")) {
            const QStringList networks = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (const QString& network : networks) {
                if (DScanDevice::parseNetworks({network}).isEmpty())
                    return usage(err, QStringLiteral("not an IPv4 network: ") + network);
            }
            settings.networksGiven = true;
            settings.networks = networks;
        } else if (option == QLatin1String("--wait")) {
            bool ok = false;
            const int seconds = value.toInt(&ok);
            if (!ok || seconds < 0 || seconds > 3600)
                return usage(err, QStringLiteral("not a number of seconds: ") + value);
            settings.waitMs = seconds * 1000;
        } else {
            return usage(err, QStringLiteral("unknown option ") + option);
        }
    }

    DScanDevice scanner(settings, interfaces);
    QElapsedTimer clock;
    clock.start();
    const QList<DeviceEntry> devices = scanner.Scan();
    const double seconds = qRound64(clock.elapsed() / 100.0) / 10.0;
    for (const DeviceEntry& device : devices) {
        out << line({{QStringLiteral("code"), device.deviceCode}, {QStringLiteral("ip"), device.deviceIp}})
            << '\n';
    }
    out << line({{QStringLiteral("candidates"), scanner.candidates().size()},
                 {QStringLiteral("found"), devices.size()},
                 {QStringLiteral("seconds"), seconds}})
        << '\n';
    out.flush();
    return 0;
}
