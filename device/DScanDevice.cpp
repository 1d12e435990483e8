#include "DScanDevice.h"

#include "AConfig.h"
#include "ASingleton.h"
#include "DScanDeviceOne.h"
#include "Ipv4Text.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <iterator>
#include <memory>
#include <vector>

// One scan's probes on the worker thread: at most maxProbes sockets open at once, the next candidate
// started as soon as one is done, all waited on together.
class DScanPass
{
public:
    DScanPass(DScanDevice* owner, quint64 id, const QVector<quint32>& candidates,
              const DScanSettings& settings)
        : m_owner(owner), m_id(id), m_candidates(candidates), m_settings(settings)
    {
        m_settings.maxProbes = qBound(1, m_settings.maxProbes, DScanSettings::kMaxProbesCeiling);
    }

    // Set from another thread: the pass ends within one wait slice and closes its sockets.
    std::atomic<bool> stop{false};

    void run()
    {
        using Clock = DScanDeviceOne::Clock;
        const DScanDeviceOne::Network network;
        std::vector<std::unique_ptr<DScanDeviceOne>> probes;
        std::vector<DScanDeviceOne*> waiting;
        std::vector<char> ready;
        int next = 0;
        while (!stop) {
            while (int(probes.size()) < m_settings.maxProbes && next < m_candidates.size()) {
                auto probe = std::make_unique<DScanDeviceOne>(m_candidates[next++], m_settings.port,
                                                              m_settings.connectMs, m_settings.readMs);
                if (probe->state() == DScanDeviceOne::State::Done)
                    report(*probe);
                else
                    probes.push_back(std::move(probe));
            }
            if (probes.empty())
                break;

            Clock::time_point soonest = probes.front()->deadline();
            waiting.clear();
            for (const auto& probe : probes) {
                soonest = std::min(soonest, probe->deadline());
                waiting.push_back(probe.get());
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(soonest - Clock::now());
            // Short slices, so that a stop is seen soon.
            DScanDeviceOne::wait(waiting, int(qBound<qint64>(0, left.count() + 1, 50)), ready);

            const Clock::time_point now = Clock::now();
            for (size_t i = 0; i < probes.size(); ++i) {
                DScanDeviceOne& probe = *probes[i];
                if (ready[i])
                    probe.ready();
                if (probe.state() != DScanDeviceOne::State::Done && now >= probe.deadline())
                    probe.expire();
                if (probe.state() == DScanDeviceOne::State::Done)
                    report(probe);
            }
            probes.erase(std::remove_if(probes.begin(), probes.end(),
                                        [](const std::unique_ptr<DScanDeviceOne>& probe) {
                                            return probe->state() == DScanDeviceOne::State::Done;
                                        }),
                         probes.end());
        }
        if (!stop)
            m_owner->passFinished(m_id);
    }

private:
    void report(const DScanDeviceOne& probe)
    {
        DeviceEntry entry;
        if (!probe.greeting().isEmpty() &&
            DScanDevice::judgeGreeting(probe.greeting(), m_settings.development, &entry))
            m_owner->probeFinished(m_id, &entry);
    }

    DScanDevice* m_owner;
    quint64 m_id;
    QVector<quint32> m_candidates;
    DScanSettings m_settings;
};

DScanSettings DScanSettings::fromConfig(const AConfig& config)
{
    DScanSettings settings;
    // A day at most: more would overflow the milliseconds, and no one waits that long for a list.
    settings.waitMs = qBound(0, config.wait_l(), 86400) * 1000;
    settings.development = config.isDev();
    settings.maxProbes = config.scan_max_probes();
    settings.networks = config.scan_networks(&settings.networksGiven);
    return settings;
}

DScanDevice::DScanDevice()
    : DScanDevice(DScanSettings::fromConfig(*ASingleton<AConfig>::instance()), &DScanDevice::systemInterfaces)
{
}

DScanDevice::DScanDevice(const DScanSettings& settings, InterfaceSource interfaces, QObject* parent)
    : QObject(parent), m_settings(settings), m_interfaces(std::move(interfaces))
{
}

DScanDevice::~DScanDevice()
{
    endPass();
}

void DScanDevice::endPass()
{
    if (!m_worker)
        return;
    m_current->stop = true;
    m_worker->wait();
    delete m_worker;
    delete m_current;
    m_worker = nullptr;
    m_current = nullptr;
}

QList<DScanInterface> DScanDevice::systemInterfaces()
{
    QList<DScanInterface> interfaces;
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& adapter : all) {
        const QList<QNetworkAddressEntry> entries = adapter.addressEntries();
        for (const QNetworkAddressEntry& entry : entries)
            interfaces.append(
                {adapter.humanReadableName(), entry.ip().toString(), entry.netmask().toString()});
    }
    return interfaces;
}

QVector<DScanNetwork> DScanDevice::localNetworks(const QList<DScanInterface>& interfaces)
{
    QVector<DScanNetwork> networks;
    for (const DScanInterface& adapter : interfaces) {
        if (adapter.name.contains(QLatin1String("VMware")) || adapter.address.contains(QLatin1Char(':')))
            continue;
        const QHostAddress address(adapter.address);
        if (address.protocol() != QAbstractSocket::IPv4Protocol || address.isLoopback() ||
            address.toIPv4Address() == 0)
            continue;
        const QHostAddress netmask(adapter.netmask);
        // Without a readable netmask the address still tells the local IP, but no neighbours are guessed.
        const quint32 mask =
            netmask.protocol() == QAbstractSocket::IPv4Protocol ? netmask.toIPv4Address() : 0xFFFFFFFFu;
        networks.append({address.toIPv4Address(), mask});
        qDebug() << "local ip : " << address.toIPv4Address();
    }
    std::sort(networks.begin(), networks.end());
    return networks;
}

QVector<DScanNetwork> DScanDevice::parseNetworks(const QStringList& texts)
{
    QVector<DScanNetwork> networks;
    for (const QString& text : texts) {
        const QStringList parts = text.trimmed().split(QLatin1Char('/'));
        bool prefixOk = false;
        const int prefix = parts.size() == 2 ? parts[1].toInt(&prefixOk) : -1;
        // Four dotted numbers only: "10.1/16" would be read as 10.0.0.1.
        static const QRegularExpression dotted(QStringLiteral("^\\d{1,3}(\\.\\d{1,3}){3}$"));
        const QHostAddress address(parts[0]);
        if (!dotted.match(parts[0]).hasMatch() || !prefixOk || prefix < 0 || prefix > 32 ||
            address.protocol() != QAbstractSocket::IPv4Protocol) {
            qWarning() << "scan_networks: not an IPv4 network:" << text;
            continue;
        }
        const quint32 mask = prefix == 0 ? 0 : 0xFFFFFFFFu << (32 - prefix);
        networks.append({address.toIPv4Address(), mask});
    }
    std::sort(networks.begin(), networks.end());
    return networks;
}

QVector<quint32> DScanDevice::buildCandidates(const QVector<DScanNetwork>& networks)
{
    QVector<quint32> candidates;
    for (const DScanNetwork& network : networks) {
        const quint32 address = network.first;
        quint32 mask = network.second;
        if ((mask & 0xFFFF0000u) != 0xFFFF0000u) {
            mask = 0xFFFF0000u;
            qInfo() << "device scan: network"
                    << ipv4ToText(address) + QLatin1Char('/') + ipv4ToText(network.second)
                    << "is wider than /16, only" << ipv4ToText(address & mask) + QStringLiteral("/16")
                    << "is scanned";
        }
        const quint32 first = address & mask;
        const quint32 broadcast = first | ~mask;
        // 64 bits: a host network ending at 255.255.255.255 must not wrap around.
        for (quint64 candidate = quint64(first) + 1; candidate <= broadcast; ++candidate)
            candidates.append(quint32(candidate));
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    return candidates;
}

bool DScanDevice::judgeGreeting(const QByteArray& greeting, bool development, DeviceEntry* entry)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(greeting, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject object = document.object();
    const QString code = object.value(QStringLiteral("device_code")).toString();
    const QString runMode = object.value(QStringLiteral("run_mode")).toString();
    // A device without a code cannot be told apart from any other.
    if (code.isEmpty())
        return false;
    if (runMode != (development ? QStringLiteral("开发") : QStringLiteral("正式")))
        return false;
    *entry = DeviceEntry();
    entry->deviceId = 0;
    entry->deviceCode = code;
    entry->deviceIp = object.value(QStringLiteral("ip")).toString();
    entry->deviceStatus = DeviceEntry::Offline;
    return true;
}

QVector<quint32> DScanDevice::probeOrder(const QVector<quint32>& candidates,
                                         const QVector<DScanNetwork>& networks)
{
    // On a wide network most probes wait out the connect limit, so the far end is reached only long after
    // Scan returned: the PC's own /24 goes first, where its neighbours most likely are.
    QVector<quint32> order;
    order.reserve(candidates.size());
    const auto near = [&networks](quint32 candidate) {
        return std::any_of(networks.begin(), networks.end(), [candidate](const DScanNetwork& network) {
            return (network.first & 0xFFFFFF00u) == (candidate & 0xFFFFFF00u);
        });
    };
    std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(order), near);
    std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(order),
                 [&near](quint32 candidate) { return !near(candidate); });
    return order;
}

QVector<DScanNetwork> DScanDevice::refresh()
{
    const QVector<DScanNetwork> networks =
        m_settings.networksGiven ? parseNetworks(m_settings.networks) : localNetworks(m_interfaces());
    QMutexLocker lock(&m_lock);
    m_networks = networks;
    return networks;
}

QString DScanDevice::LocalIp()
{
    const QVector<DScanNetwork> networks = refresh();
    return networks.isEmpty() ? QStringLiteral("0.0.0.0") : ipv4ToText(networks.first().first);
}

QList<DeviceEntry> DScanDevice::Scan()
{
    QMutexLocker scanning(&m_scanning);
    const QVector<DScanNetwork> networks = refresh();
    const QVector<quint32> candidates = buildCandidates(networks);
    quint64 id;
    {
        QMutexLocker lock(&m_lock);
        m_results.clear();
        m_candidates = candidates;
        id = ++m_pass;
        m_passDone = candidates.isEmpty();
    }
    // The previous scan's probes end here; their late answers would belong to the old list.
    endPass();
    m_current = new DScanPass(this, id, probeOrder(candidates, networks), m_settings);
    DScanPass* pass = m_current;
    m_worker = QThread::create([pass] { pass->run(); });
    m_worker->setObjectName(QStringLiteral("DScanDevice"));
    m_worker->start();

    const QDeadlineTimer deadline(m_settings.waitMs);
    QMutexLocker lock(&m_lock);
    while (!(m_pass == id && m_passDone)) {
        if (!m_changed.wait(&m_lock, deadline))
            break;
    }
    return m_results;
}

QVector<quint32> DScanDevice::candidates() const
{
    QMutexLocker lock(&m_lock);
    return m_candidates;
}

bool DScanDevice::isScanning() const
{
    QMutexLocker lock(&m_lock);
    return !m_passDone;
}

QList<DeviceEntry> DScanDevice::results() const
{
    QMutexLocker lock(&m_lock);
    return m_results;
}

void DScanDevice::probeFinished(quint64 pass, const DeviceEntry* entry)
{
    QMutexLocker lock(&m_lock);
    if (pass == m_pass)
        m_results.append(*entry);
}

void DScanDevice::passFinished(quint64 pass)
{
    QMutexLocker lock(&m_lock);
    if (pass != m_pass)
        return;
    m_passDone = true;
    m_changed.wakeAll();
}
