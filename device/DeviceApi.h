#pragma once

#include "BHttpClient.h"
#include "SJob.h"

#include <QJsonObject>
#include <QString>

class AConfig;

// Where a device's control box and its printer listen. The production values are fixed by the
// hardware; tests, tools and demos point them at a simulator on high loopback ports.
struct DevicePorts
{
    int control = 80;       // the box's HTTP control API
    int raw = 9100;         // raw printing
    int brotherRaw = 19879; // raw printing of the Brother HL-5585D, reached at the box itself

    static DevicePorts fromConfig(const AConfig& config);
};

// The integer "result-code" of a box's answer (a text holding a number counts by its value, anything
// else as -1); false when the answer has none.
bool resultCode(const QJsonObject& answer, int& code);
// What the user is told for a box's busy (2212), no paper (2201) and paper jam (2208) codes; empty for
// any other.
QString deviceStateMessage(int code);

// The printer address a box reports, if it may receive jobs: a literal dotted IPv4 unicast address
// (not 0.x.x.x, multicast, broadcast or reserved); a loopback one only from a box that is itself on
// loopback, as a simulator is. Empty otherwise: the job then goes to the box's own address.
QString usablePrinterAddress(const QString& reported, const QString& boxAddress);

// The signature of a device request: keys and values in ascending key order without separators,
// then the shared key, as the lower-case hex MD5 of its Latin-1 bytes.
QString sign_params(const BHttpClient::Params& params);

// The control API of the box in front of a shared print device: signed GETs to "http://" + device ip
// + path, answered by a JSON object whose "result-code" 0 means success. Synchronous: each call runs a
// nested event loop on the calling thread for at most the request time-out.
class DeviceApi
{
public:
    static constexpr int kTimeoutSec = 15;
    // A box answers with a few short members; anything longer is no answer of a box.
    static constexpr qint64 kAnswerBytes = 16 * 1024;

    explicit DeviceApi(const DevicePorts& ports = {}, int timeoutSec = kTimeoutSec)
        : m_ports(ports), m_timeoutSec(timeoutSec)
    {
    }

    const DevicePorts& ports() const { return m_ports; }

    // Opens or closes the raw port for the job's order; the job's task pages go along unsigned.
    bool port_control(const SJob& job, const QString& token, bool open) const;
    bool keepalive(const SJob& job, const QString& token) const;
    // On success the job's printer address becomes the one the box reports, or empty when that one is
    // not usable (usablePrinterAddress).
    bool printer_info(SJob& job, const QString& token) const;
    // 0 when the device can print; 2212 busy, 2201 no paper, 2208 paper jam (message set to the text
    // the user sees); -1 when the box gave no usable answer.
    int is_can_print(const QString& token, const DeviceEntry& device, QString& message) const;
    // 0 with the outs set from the answer, -1 (outs untouched) when the box gave no usable answer. The
    // percent is left as it was when the answer's "percent" is not "done/total" with a non-zero total.
    int task_process(const QString& token, const DeviceEntry& device, QString& orderId, int& status,
                     int& percent) const;
    // Closes the port; a failure is only logged, the caller goes on either way.
    bool close_port(const SJob& job, const QString& token) const;

    // "http://" + ip (+ ":" + port unless it is 80) + path.
    QString url(const QString& ip, const QString& path) const;

private:
    // The answer's object; false when the request failed.
    bool request(const QString& ip, const QString& path, BHttpClient::Params params, const QString& token,
                 QJsonObject& answer, const BHttpClient::Params& unsigned_ = {}) const;

    DevicePorts m_ports;
    int m_timeoutSec;
};
