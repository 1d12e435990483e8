#include "DeviceApi.h"

#include "AConfig.h"
#include "AJson.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QJsonObject>
#include <QStringList>
#include <climits>

namespace {

const auto kSignKey = QStringLiteral("Hs8KpY3wQe5LtR1c");
const auto kResultCode = QStringLiteral("result-code");

// "result-code" as a whole number; a text holding one counts, anything else is no success.
bool succeeded(const QJsonObject& answer)
{
    int code = -1;
    return resultCode(answer, code) && code == 0;
}

} // namespace

bool resultCode(const QJsonObject& answer, int& code)
{
    const QJsonValue value = answer.value(kResultCode);
    if (value.isUndefined())
        return false;
    if (value.isDouble()) {
        code = value.toInt(-1);
        return true;
    }
    bool ok = false;
    code = value.toString().toInt(&ok);
    if (!ok)
        code = -1;
    return true;
}

QString deviceStateMessage(int code)
{
    switch (code) {
    case 2212:
        return QStringLiteral("当前设备正在使用中，请您稍后重试");
    case 2201:
        return QStringLiteral("打印机纸盒中无纸，请您补充纸张后重试");
    case 2208:
        return QStringLiteral("打印机卡纸，请您根据屏幕提示取出卡纸后重试");
    default:
        return {};
    }
}

namespace {
// Four decimal parts of 0-255 without leading zeros: a text that a resolver would read otherwise (a
// name, "127.1", octal "010") or differently is no address here.
bool ipv4Literal(const QString& text, quint32& address)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    address = 0;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part.startsWith(QLatin1Char('0'))))
            return false;
        for (const QChar c : part)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        const uint value = part.toUInt();
        if (value > 255)
            return false;
        address = address << 8 | value;
    }
    return true;
}
} // namespace

QString usablePrinterAddress(const QString& reported, const QString& boxAddress)
{
    quint32 address = 0;
    if (!ipv4Literal(reported, address))
        return {};
    const quint32 first = address >> 24;
    if (first == 0 || first >= 224) // this network; multicast, reserved and broadcast
        return {};
    quint32 box = 0;
    if (first == 127 && !(ipv4Literal(boxAddress, box) && box >> 24 == 127))
        return {};
    return reported;
}

DevicePorts DevicePorts::fromConfig(const AConfig& config)
{
    DevicePorts ports;
    ports.control = config.device_control_port();
    ports.raw = config.device_raw_port();
    return ports;
}

QString sign_params(const BHttpClient::Params& params)
{
    QString text;
    for (auto it = params.cbegin(); it != params.cend(); ++it)
        text += it.key() + it.value();
    text += kSignKey;
    return QString::fromLatin1(QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Md5).toHex());
}

QString DeviceApi::url(const QString& ip, const QString& path) const
{
    if (m_ports.control == 80)
        return QStringLiteral("http://") + ip + path;
    return QStringLiteral("http://") + ip + QLatin1Char(':') + QString::number(m_ports.control) + path;
}

bool DeviceApi::request(const QString& ip, const QString& path, BHttpClient::Params params,
                        const QString& token, QJsonObject& answer, const BHttpClient::Params& unsigned_) const
{
    params.insert(QStringLiteral("token"), token);
    params.insert(QStringLiteral("ts"), QString::number(QDateTime::currentSecsSinceEpoch()));
    params.insert(QStringLiteral("sign"), sign_params(params));
    for (auto it = unsigned_.cbegin(); it != unsigned_.cend(); ++it)
        params.insert(it.key(), it.value());
    BHttpClient::Headers respHeaders;
    QString body;
    if (!BHttpClient::get(url(ip, path), params, {}, respHeaders, body, m_timeoutSec, kAnswerBytes))
        return false;
    answer = parseObjectUtf8(body);
    return true;
}

bool DeviceApi::port_control(const SJob& job, const QString& token, bool open) const
{
    const BHttpClient::Params params{
        {QStringLiteral("cmd"), open ? QStringLiteral("open") : QStringLiteral("close")},
        {QStringLiteral("port"), QStringLiteral("9100")},
        {QStringLiteral("orderid"), job.orderId},
        {QStringLiteral("vistor"), QStringLiteral("0")}};
    QJsonObject answer;
    return request(job.device.deviceIp, QStringLiteral("/cgi-bin/win/portControl"), params, token, answer,
                   {{QStringLiteral("pages"), QString::number(job.taskPages)}}) &&
           succeeded(answer);
}

bool DeviceApi::keepalive(const SJob& job, const QString& token) const
{
    QJsonObject answer;
    return request(job.device.deviceIp, QStringLiteral("/cgi-bin/win/keepalive"), {}, token, answer) &&
           succeeded(answer);
}

bool DeviceApi::printer_info(SJob& job, const QString& token) const
{
    QJsonObject answer;
    if (!request(job.device.deviceIp, QStringLiteral("/cgi-bin/win/printerinfo"), {}, token, answer) ||
        !succeeded(answer))
        return false;
    const QString reported = answer.value(QStringLiteral("ip")).toString();
    job.device.printerAddress = usablePrinterAddress(reported, job.device.deviceIp);
    if (job.device.printerAddress.isEmpty() && !reported.isEmpty())
        qWarning() << "printerinfo: address refused, the box's own is used: " << reported;
    return true;
}

int DeviceApi::is_can_print(const QString& token, const DeviceEntry& device, QString& message) const
{
    QJsonObject answer;
    int code = -1;
    if (!request(device.deviceIp, QStringLiteral("/cgi-bin/win/isCanPrint"),
                 {{QStringLiteral("code"), device.deviceCode}}, token, answer) ||
        !resultCode(answer, code))
        return -1;
    const QString state = deviceStateMessage(code);
    if (state.isEmpty())
        return 0;
    message = state;
    return code;
}

int DeviceApi::task_process(const QString& token, const DeviceEntry& device, QString& orderId, int& status,
                            int& percent) const
{
    QJsonObject answer;
    int code = -1;
    if (!request(device.deviceIp, QStringLiteral("/cgi-bin/win/taskprocess"),
                 {{QStringLiteral("code"), device.deviceCode}}, token, answer) ||
        !resultCode(answer, code))
        return -1;
    orderId = answer.value(QStringLiteral("orderid")).toVariant().toString();
    status = answer.value(QStringLiteral("status")).toVariant().toInt();
    const QStringList parts = answer.value(QStringLiteral("percent")).toString().split(QLatin1Char('/'));
    if (parts.size() >= 2) {
        const qint64 done = parts[0].toInt();
        const qint64 total = parts[1].toInt();
        if (total != 0)
            percent = int(qBound<qint64>(INT_MIN, done * 100 / total, INT_MAX));
    }
    return 0;
}

bool DeviceApi::close_port(const SJob& job, const QString& token) const
{
    if (!port_control(job, token, false))
        qWarning() << "close port error, ip = " << job.device.deviceIp;
    return true;
}
