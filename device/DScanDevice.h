#pragma once

#include "DeviceEntry.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QStringList>
#include <QVector>
#include <QWaitCondition>
#include <functional>

class AConfig;
class DScanPass;
class QThread;

// One address entry of a network interface, as the system lists it.
struct DScanInterface
{
    QString name; // human-readable interface name
    QString address;
    QString netmask;
};

// How a scan behaves. The defaults are the production values; tests shorten the limits here.
struct DScanSettings
{
    static constexpr quint16 kGreetingPort = 20417;
    static constexpr int kDefaultMaxProbes = 256;
    // Above this a scan would run into the process's limit of open files.
    static constexpr int kMaxProbesCeiling = 512;

    int waitMs = 5000; // how long Scan waits for answers (wait_l)
    bool development = false;
    quint16 port = kGreetingPort;
    int maxProbes = kDefaultMaxProbes; // probes in flight at once
    int connectMs = 2000;
    int readMs = 3000;
    // When networksGiven, these networks ("a.b.c.d/n") replace the interfaces' networks.
    bool networksGiven = false;
    QStringList networks;

    static DScanSettings fromConfig(const AConfig& config);
};

using DScanNetwork = QPair<quint32, quint32>; // (address, netmask), host order

// Finds the service's print devices on this PC's own IPv4 networks: every address of them is asked on the
// greeting port, a few hundred at a time, and devices that greet with their code and the client's
// environment are listed. The probes run on one worker thread with non-blocking sockets, so a /16 costs
// no more threads than a /24, and no more sockets than the probe limit.
class DScanDevice : public QObject
{
    Q_OBJECT

public:
    using InterfaceSource = std::function<QList<DScanInterface>()>;

    // Production: the configuration's settings and the system's interfaces.
    DScanDevice();
    DScanDevice(const DScanSettings& settings, InterfaceSource interfaces, QObject* parent = nullptr);
    ~DScanDevice() override;

    // Runs a full scan and returns the devices that answered within the wait (sooner when every
    // candidate has been probed). Blocks the calling thread; calls from several threads take turns.
    QList<DeviceEntry> Scan();
    // The address of the lowest local network, "0.0.0.0" when there is none.
    QString LocalIp();

    // What the last Scan probed, ascending.
    QVector<quint32> candidates() const;
    // True while probes of the last Scan still run (they go on after Scan returned).
    bool isScanning() const;
    // The current results, including late answers that came after Scan returned.
    QList<DeviceEntry> results() const;

    static QList<DScanInterface> systemInterfaces();
    // The IPv4 networks of these interfaces, ascending; VMware adapters, loopback and IPv6 left out.
    static QVector<DScanNetwork> localNetworks(const QList<DScanInterface>& interfaces);
    // Networks from "a.b.c.d/n" texts, ascending; unreadable ones are left out with a warning.
    static QVector<DScanNetwork> parseNetworks(const QStringList& texts);
    // Every host address of the networks, ascending and each once. A network wider than /16 shrinks to
    // the /16 holding its address.
    static QVector<quint32> buildCandidates(const QVector<DScanNetwork>& networks);
    // A device's greeting judged: true with the entry filled when it names a device code and runs in
    // the client's environment.
    static bool judgeGreeting(const QByteArray& greeting, bool development, DeviceEntry* entry);
    // The order the candidates are probed in: those of the networks' own /24s first, then the rest, each
    // ascending.
    static QVector<quint32> probeOrder(const QVector<quint32>& candidates,
                                       const QVector<DScanNetwork>& networks);

private:
    friend class DScanPass;

    QVector<DScanNetwork> refresh();
    // Stops the running pass, if any, and waits for its thread.
    void endPass();
    void probeFinished(quint64 pass, const DeviceEntry* entry);
    void passFinished(quint64 pass);

    DScanSettings m_settings;
    InterfaceSource m_interfaces;
    QMutex m_scanning; // one Scan at a time

    mutable QMutex m_lock; // guards everything below
    QWaitCondition m_changed;
    QVector<DScanNetwork> m_networks;
    QVector<quint32> m_candidates;
    QList<DeviceEntry> m_results;
    quint64 m_pass = 0;
    bool m_passDone = true;

    QThread* m_worker = nullptr;
    DScanPass* m_current = nullptr; // run by m_worker
};
