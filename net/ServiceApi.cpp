#include "ServiceApi.h"

#include "AJson.h"

#include <cmath>
#include <utility>

ServiceReply::ServiceReply(bool transportOk, const QString& body, BHttpClient::Headers headers)
    : m_transportOk(transportOk), m_body(body), m_headers(std::move(headers)),
      m_envelope(parseObjectUtf8(body))
{
}

bool ServiceReply::okWithData() const
{
    const QJsonValue payload = data();
    return ok() && !payload.isUndefined() && !payload.isNull();
}

// Only a number or a numeric text counts: anything else (true, null, "1x") would otherwise read as 0
// and pass a failed call for a success.
int ServiceReply::code() const
{
    const QJsonValue value = m_envelope.value(QLatin1String("code"));
    if (value.isDouble()) {
        const double number = value.toDouble();
        return number == std::trunc(number) && number >= INT_MIN + 1.0 && number <= INT_MAX ? int(number)
                                                                                            : kNoCode;
    }
    if (value.isString()) {
        bool isNumber = false;
        const int number = value.toString().trimmed().toInt(&isNumber);
        return isNumber ? number : kNoCode;
    }
    return kNoCode;
}

QString idText(const QJsonValue& value)
{
    if (value.isString())
        return value.toString();
    if (!value.isDouble())
        return {};
    // Whole numbers in 64 bits, so that large ids neither wrap nor turn into exponent notation.
    const double number = value.toDouble();
    if (number == std::trunc(number) && std::fabs(number) < 9.2e18)
        return QString::number(qint64(number));
    return QString::number(number, 'g', 17);
}

ServiceApi::ServiceApi(QString baseUrl) : m_baseUrl(std::move(baseUrl)) {}

ServiceApi::ServiceApi(QString baseUrl, QString token)
    : m_baseUrl(std::move(baseUrl)), m_token(std::move(token)), m_withToken(true)
{
}

void ServiceApi::addToken(BHttpClient::Params& params) const
{
    if (m_withToken)
        params.insert(QStringLiteral("token"), m_token);
}

ServiceReply ServiceApi::get(const QString& path, BHttpClient::Params params) const
{
    addToken(params);
    BHttpClient::Headers headers;
    QString body;
    const bool sent = BHttpClient::get(url(path), params, {}, headers, body, m_timeoutSec);
    return ServiceReply(sent, body, headers);
}

// objectToText gives one character per UTF-8 byte and the client sends that text as UTF-8 again:
// the service reads its bodies in this doubly encoded form.
ServiceReply ServiceApi::post(const QString& path, const QJsonObject& body, BHttpClient::Params params) const
{
    addToken(params);
    const BHttpClient::Headers json{{QStringLiteral("Content-Type"), QStringLiteral("application/json")}};
    BHttpClient::Headers headers;
    QString answer;
    const bool sent =
        BHttpClient::post(url(path), params, json, objectToText(body), headers, answer, m_timeoutSec);
    return ServiceReply(sent, answer, headers);
}

bool postLogBatch(const QString& url, const QString& body, int timeoutSec)
{
    BHttpClient::Headers headers;
    QString answer;
    return BHttpClient::post(url, {}, {}, body, headers, answer, timeoutSec, kLogAnswerBytes);
}
