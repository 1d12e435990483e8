#include "DScanCommand.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
QString line(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

int usage(const ScanCommandLine& err, const QString& problem)
{
    err(problem);
    err(scanCommandUsage());
    return 2;
}
} // namespace

QString scanCommandUsage()
{
    return QStringLiteral(
        "usage: pavkodevice scan [--networks CIDR,...] [--wait SECONDS]\n"
        "scan:  asks every address of this PC's networks (or of the given ones) for a device greeting and\n"
        "       prints each device found as {\"code\",\"ip\"}, then {\"candidates\",\"found\",\"seconds\"}.");
}

int runScanCommand(const QStringList& options, const DScanSettings& base,
                   const DScanDevice::InterfaceSource& interfaces, const ScanCommandLine& out,
                   const ScanCommandLine& err)
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
    for (const DeviceEntry& device : devices)
        out(line({{QStringLiteral("code"), device.deviceCode}, {QStringLiteral("ip"), device.deviceIp}}));
    out(line({{QStringLiteral("candidates"), scanner.candidates().size()},
              {QStringLiteral("found"), devices.size()},
              {QStringLiteral("seconds"), seconds}}));
    return 0;
}
