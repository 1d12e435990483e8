#pragma once

#include "BHttpClient.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <climits>

// One answer of the service, judged by its envelope {"code": 0, "msg": text, "data": payload}.
class ServiceReply
{
public:
    // code() of an answer without a "code" that reads as an integer.
    static constexpr int kNoCode = INT_MIN;

    ServiceReply() = default;
    // What the transport delivered: its result and the body text.
    ServiceReply(bool transportOk, const QString& body, BHttpClient::Headers headers = {});

    // The transport succeeded and "code" reads as 0.
    bool ok() const { return m_transportOk && code() == 0; }
    // ok() and a "data" member that is not null: what every call that reads a payload needs.
    bool okWithData() const;

    bool transportOk() const { return m_transportOk; }
    // "code" as an integer: a number, or a text holding one ("0" is success as well);
    // kNoCode when absent or of any other kind.
    int code() const;
    QString msg() const { return m_envelope.value(QLatin1String("msg")).toString(); }
    QJsonValue data() const { return m_envelope.value(QLatin1String("data")); }
    QJsonObject dataObject() const { return data().toObject(); }
    QJsonArray dataArray() const { return data().toArray(); }

    // The body parsed as a JSON object; empty when it is not one.
    const QJsonObject& envelope() const { return m_envelope; }
    // The body as received, for the log.
    const QString& body() const { return m_body; }
    const BHttpClient::Headers& headers() const { return m_headers; }

private:
    bool m_transportOk = false;
    QString m_body;
    BHttpClient::Headers m_headers;
    QJsonObject m_envelope;
};

// The client keeps ids as text; the service sends some as JSON numbers (123 becomes "123").
QString idText(const QJsonValue& value);

// Calls to the service: URL = base + path, the token as query parameter "token", a 15-second
// time-out, and JSON bodies for POSTs. Every service call goes through here.
class ServiceApi
{
public:
    static constexpr int kTimeoutSec = 15;

    // For the calls made before login (QR login, run-mode authorisation, version check): no token.
    explicit ServiceApi(QString baseUrl);
    // For calls on behalf of a user: every call carries the token, even an empty one.
    ServiceApi(QString baseUrl, QString token);

    QString url(const QString& path) const { return m_baseUrl + path; }

    // GET with the fields as query parameters.
    ServiceReply get(const QString& path, BHttpClient::Params params = {}) const;
    // POST of a JSON object (Content-Type application/json); the fields of params stay in the query.
    ServiceReply post(const QString& path, const QJsonObject& body, BHttpClient::Params params = {}) const;

    void setTimeoutSec(int seconds) { m_timeoutSec = seconds; }

private:
    void addToken(BHttpClient::Params& params) const;

    QString m_baseUrl;
    QString m_token;
    bool m_withToken = false;
    int m_timeoutSec = kTimeoutSec;
};

// Posts one batch of the log to the log collector (ALogRemote's post), waiting at most timeoutSec. Its
// answer is never looked at, so no more than a small one is read.
constexpr qint64 kLogAnswerBytes = 64 * 1024;
bool postLogBatch(const QString& url, const QString& body, int timeoutSec);
