#include "PrinterCheck.h"

#include "AConfig.h"
#include "AJson.h"
#include "ASingleton.h"
#include "DeviceApi.h"
#include "Secrets.h"

#include <QDateTime>
#include <QDebug>
#include <QJsonObject>

int checkPrinter(const DeviceEntry& device, QString& message)
{
    using namespace PrinterCheck;
    if (device.deviceIp.isEmpty()) {
        message = QStringLiteral("设备4G联网，请您检查有线网络是否连接正常，或使用手机打印");
        return kNoAnswer;
    }
    static const QString token = randomString(16);
    const DeviceApi api(DevicePorts::fromConfig(*ASingleton<AConfig>::instance()), kTimeoutSec);
    const QString url = api.url(device.deviceIp, QStringLiteral("/cgi-bin/win/isCanPrint"));
    QString body;
    bool answered = false;
    for (int attempt = 0; attempt < kAttempts && !answered; ++attempt) {
        BHttpClient::Params params{
            {QStringLiteral("token"), token},
            {QStringLiteral("code"), device.deviceCode},
            {QStringLiteral("ts"), QString::number(QDateTime::currentSecsSinceEpoch())}};
        params.insert(QStringLiteral("sign"), sign_params(params));
        BHttpClient::Headers headers;
        answered = BHttpClient::get(url, params, {}, headers, body, kTimeoutSec, DeviceApi::kAnswerBytes);
    }
    const QString network = QStringLiteral("网络异常，请您检查网络是否连接正常，或拔电重启打印机");
    if (!answered) {
        message = network;
        return kNoAnswer;
    }
    qDebug() << "check_printer_status : " << body;
    int code = kNoAnswer;
    if (!resultCode(parseObjectUtf8(body), code)) {
        message = network;
        return kNoAnswer;
    }
    switch (code) {
    case kOutOfService:
        message = QStringLiteral("设备暂停使用，请您联系Pavko客服报修");
        return code;
    case kClockWrong:
        message = QStringLiteral("时间检测异常，请检查电脑系统时间是否正常.若不正常，更正后重试");
        return code;
    default:
        message = deviceStateMessage(code);
        return message.isEmpty() ? 0 : code;
    }
}
