#include "BHttpClient.h"

#include "HttpExchange.h"
#include "Secrets.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <memory>
#include <vector>

namespace {
std::atomic<bool> g_tlsVerification{true};

constexpr int kMaxRedirects = 20;

enum class Outcome
{
    Done,
    Failed,
    TimedOut
};

// Header values and bodies end at their first zero byte.
QString textUpToNul(const QByteArray& bytes)
{
    const int end = bytes.indexOf('\0');
    return QString::fromUtf8(end < 0 ? bytes : bytes.left(end));
}

// A URL as the log may show it: service calls carry the user's token in the query.
QString loggableUrl(QString url)
{
    static const QRegularExpression token(QStringLiteral("[?&]token=([^&#]*)"));
    const QRegularExpressionMatch match = token.match(url);
    if (match.hasMatch())
        url.replace(match.capturedStart(1), match.capturedLength(1), maskedSecret(match.captured(1)));
    return url;
}

bool isWebUrl(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

// Only http and https are spoken: anything else (file:, ftp:, data:) would read what no peer should
// choose. Logs the refusal.
bool acceptedUrl(const QUrl& url, const QString& shown)
{
    if (isWebUrl(url))
        return true;
    qWarning() << "url refused, not http(s):" << shown;
    return false;
}

// The request's headers: the defaults, each replaced by the caller's header of the same name (in any
// case). A line break in a name or value would start a header or request of the caller's choosing.
bool requestHeaders(const BHttpClient::Headers& given, HttpExchange::Headers& headers)
{
    for (auto it = given.cbegin(); it != given.cend(); ++it) {
        const QByteArray name = it.key().toUtf8();
        const QByteArray value = it.value().toUtf8();
        for (const QByteArray& text : {name, value})
            if (text.contains('\r') || text.contains('\n') || text.contains('\0')) {
                qWarning() << "request refused, line break in header" << it.key();
                return false;
            }
        const auto same = std::find_if(headers.begin(), headers.end(), [&](const auto& header) {
            return header.first.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (same != headers.end())
            same->second = value;
        else
            headers.append({name, value});
    }
    return true;
}

// The error an HTTP status stands for, as far as the caller is concerned.
QNetworkReply::NetworkError statusError(int status)
{
    switch (status) {
    case 401:
        return QNetworkReply::AuthenticationRequiredError;
    case 403:
        return QNetworkReply::ContentAccessDenied;
    case 404:
        return QNetworkReply::ContentNotFoundError;
    case 405:
        return QNetworkReply::ContentOperationNotPermittedError;
    case 407:
        return QNetworkReply::ProxyAuthenticationRequiredError;
    case 409:
        return QNetworkReply::ContentConflictError;
    case 410:
        return QNetworkReply::ContentGoneError;
    case 500:
        return QNetworkReply::InternalServerError;
    case 501:
        return QNetworkReply::OperationNotImplementedError;
    case 503:
        return QNetworkReply::ServiceUnavailableError;
    default:
        if (status >= 500)
            return QNetworkReply::UnknownServerError;
        return status >= 400 ? QNetworkReply::UnknownContentError : QNetworkReply::NoError;
    }
}

enum class Redirects
{
    None,       // a POST or PUT is never sent on elsewhere
    SameOrigin, // service calls: the answer must come from the service that was asked
    Web         // downloads: any http(s) address, but never from https down to http
};

bool redirectAllowed(const QUrl& from, const QUrl& to, Redirects rule)
{
    const auto origin = [](const QUrl& url) -> QString {
        return url.scheme().toLower() + QStringLiteral("://") + url.host().toLower() + QLatin1Char(':') +
               QString::number(url.port(url.scheme().toLower() == QLatin1String("https") ? 443 : 80));
    };
    if (!isWebUrl(to) || rule == Redirects::None)
        return false;
    if (rule == Redirects::SameOrigin)
        return origin(to) == origin(from);
    return !(from.scheme().toLower() == QLatin1String("https") &&
             to.scheme().toLower() != QLatin1String("https"));
}

// One call on the calling thread: an exchange per address, following redirects by the rule, until an
// answer that is not a redirect, a failure, or the caller giving up.
class Call
{
public:
    // Progress of the current exchange: received (total -1 when unknown) or, for an upload, sent.
    using Notification = std::function<void(qint64 done, qint64 total)>;

    Call(HttpExchange::Request request, Redirects rule, qint64 limit)
        : m_request(std::move(request)), m_rule(rule), m_limits{limit}
    {
        m_request.verifyPeer = BHttpClient::tlsVerification();
    }

    // Where the body of a final answer with a 2xx status goes; any other body is dropped. Without a
    // sink the body is kept.
    void setBodySink(HttpExchange::BodySink sink) { m_sink = std::move(sink); }
    void setNotification(Notification notification) { m_notification = std::move(notification); }

    // Runs a nested event loop until the call ends or the timer, started with ms, runs out. The timer
    // bounds the wait for an answer's head too: only body bytes (or upload progress) may renew it.
    Outcome run(QTimer& timer, int ms)
    {
        QEventLoop loop;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        m_loop = &loop;
        timer.start(ms);
        startHop(m_request.url);
        if (!m_finished)
            loop.exec();
        m_loop = nullptr;
        timer.stop();
        if (!m_finished) {
            // Given up: the socket is aborted at once, with nothing to wait for.
            m_hops.back()->abort();
            return Outcome::TimedOut;
        }
        return m_error == QNetworkReply::NoError ? Outcome::Done : Outcome::Failed;
    }

    const HttpExchange& last() const { return *m_hops.back(); }
    QNetworkReply::NetworkError error() const { return m_error; }
    // A final answer arrived whole, whatever its status.
    bool answered() const
    {
        return m_finished && !m_redirectRefused && last().error() == QNetworkReply::NoError;
    }

    // The one line a cut-off or refused answer leaves in the log; false when it was none of those.
    bool logRefusal(const QString& shown) const
    {
        const HttpResponseParser& response = last().response();
        switch (response.failure()) {
        case HttpResponseParser::Failure::BodyTooLarge:
            qWarning() << "answer larger than" << m_limits.bodyBytes << "bytes, cut off:" << shown;
            return true;
        case HttpResponseParser::Failure::Encoded:
            qWarning() << "answer refused, compressed:" << response.header("Content-Encoding")
                       << response.header("Transfer-Encoding") << shown;
            return true;
        case HttpResponseParser::Failure::HeadTooLarge:
            qWarning() << "answer head or framing too long, cut off:" << shown;
            return true;
        case HttpResponseParser::Failure::Malformed:
            qWarning() << "answer malformed, cut off:" << shown;
            return true;
        default:
            return false;
        }
    }

private:
    void startHop(const QUrl& url)
    {
        HttpExchange::Request request = m_request;
        request.url = url;
        m_hops.push_back(std::make_unique<HttpExchange>(request, m_limits));
        HttpExchange* hop = m_hops.back().get();
        if (m_sink)
            hop->setBodySink([this, hop](const QByteArray& piece) {
                const int status = hop->response().status();
                return status < 200 || status >= 300 || m_sink(piece);
            });
        const auto notify = [this](qint64 done, qint64 total) {
            if (m_notification)
                m_notification(done, total);
        };
        QObject::connect(hop, &HttpExchange::downloadProgress, hop, notify);
        QObject::connect(hop, &HttpExchange::uploadProgress, hop, notify);
        QObject::connect(hop, &HttpExchange::finished, hop, [this, hop] { hopFinished(*hop); });
        hop->start();
    }

    void hopFinished(const HttpExchange& hop)
    {
        const int status = hop.response().status();
        const QByteArray location = hop.response().header("Location");
        const bool redirect =
            hop.error() == QNetworkReply::NoError && !location.isEmpty() &&
            (status == 301 || status == 302 || status == 303 || status == 307 || status == 308);
        if (redirect) {
            const QUrl to = hop.url().resolved(QUrl::fromEncoded(location, QUrl::TolerantMode));
            if (redirectAllowed(hop.url(), to, m_rule) && int(m_hops.size()) <= kMaxRedirects) {
                startHop(to);
                return;
            }
            qWarning() << "redirect refused:" << loggableUrl(hop.url().toString()) << "->"
                       << loggableUrl(to.toString());
            m_redirectRefused = true;
            end(QNetworkReply::OperationCanceledError);
            return;
        }
        end(hop.error() != QNetworkReply::NoError ? hop.error() : statusError(status));
    }

    void end(QNetworkReply::NetworkError error)
    {
        m_finished = true;
        m_error = error;
        if (m_loop)
            m_loop->quit();
    }

    HttpExchange::Request m_request;
    Redirects m_rule;
    HttpResponseParser::Limits m_limits;
    HttpExchange::BodySink m_sink;
    Notification m_notification;
    std::vector<std::unique_ptr<HttpExchange>> m_hops;
    QEventLoop* m_loop = nullptr;
    bool m_finished = false;
    bool m_redirectRefused = false;
    QNetworkReply::NetworkError m_error = QNetworkReply::NoError;
};

// Runs a download or upload. The inactivity timer is renewed only when a progress report is made, so it
// bounds the time between reports rather than between packets.
Outcome runTransfer(Call& call, BHttpClient::TransferTiming timing, const BHttpClient::Progress& progress)
{
    QTimer timer;
    QElapsedTimer sinceReport;
    sinceReport.start();
    bool allHandedOver = false;
    call.setNotification([&](qint64 done, qint64 total) {
        if (timing.drainBytesPerSec > 0 && total > 0 && done >= total && !allHandedOver) {
            allHandedOver = true;
            const qint64 buffered = qMin(total, BHttpClient::kMaxBufferedBytes);
            if (timer.isActive())
                timer.start(int(timing.inactivityMs + buffered * 1000 / timing.drainBytesPerSec));
        } else if (sinceReport.elapsed() > timing.reportIntervalMs && !allHandedOver) {
            sinceReport.restart();
            // Completion is reported once, after the transfer.
            if (progress && total > 0 && done < total)
                progress(int(done * 100 / total));
            if (timer.isActive())
                timer.start(timing.inactivityMs);
        }
    });
    return call.run(timer, timing.inactivityMs);
}

void fillAnswer(const Call& call, BHttpClient::Headers& headers, QString& body)
{
    if (!call.answered()) {
        body.clear();
        return;
    }
    for (const auto& pair : call.last().response().headers())
        headers.insert(textUpToNul(pair.first), textUpToNul(pair.second));
    body = textUpToNul(call.last().body());
}
} // namespace

BHttpClient::BHttpClient(QObject* parent) : QObject(parent) {}

void BHttpClient::setTlsVerification(bool enabled)
{
    g_tlsVerification.store(enabled);
    if (!enabled)
        qWarning() << "TLS certificate verification is off (tls_verify_disabled): "
                      "use this only against a test service.";
}

bool BHttpClient::tlsVerification()
{
    return g_tlsVerification.load();
}

QString BHttpClient::buildUrl(const QString& url, const Params& params)
{
    QString text = url;
    if (params.isEmpty())
        return text;
    if (!text.contains(QLatin1Char('?')))
        text += QLatin1Char('?');
    // Every key and value is percent-encoded (UTF-8), so that "&", "#", "+", "%" or "=" in a document's
    // name or a typed text arrive as they are instead of cutting or adding parameters.
    const auto encoded = [](const QString& part) {
        return QString::fromLatin1(QUrl::toPercentEncoding(part));
    };
    for (auto it = params.cbegin(); it != params.cend(); ++it)
        text += encoded(it.key()) + QLatin1Char('=') + encoded(it.value()) + QLatin1Char('&');
    return text + QLatin1Char('&');
}

bool BHttpClient::get(const QString& url, const Params& params, const Headers& headers, Headers& respHeaders,
                      QString& respBody, int timeoutSec, qint64 maxAnswerBytes)
{
    BHttpClient client;
    return client.request(QStringLiteral("get"), url, params, headers, QString(), respHeaders, respBody,
                          timeoutSec, maxAnswerBytes);
}

bool BHttpClient::post(const QString& url, const Params& params, const Headers& headers, const QString& body,
                       Headers& respHeaders, QString& respBody, int timeoutSec, qint64 maxAnswerBytes)
{
    BHttpClient client;
    return client.request(QStringLiteral("post"), url, params, headers, body, respHeaders, respBody,
                          timeoutSec, maxAnswerBytes);
}

bool BHttpClient::request(const QString& method, const QString& url, const Params& params,
                          const Headers& headers, const QString& body, Headers& respHeaders,
                          QString& respBody, int timeoutSec, qint64 maxAnswerBytes)
{
    const QString target = buildUrl(url, params);
    const QString shown = loggableUrl(target);
    const QUrl address(target, QUrl::TolerantMode);
    if (!acceptedUrl(address, shown))
        return false;
    const bool isGet = method == QLatin1String("get");
    HttpExchange::Request request{isGet ? "GET" : "POST",
                                  address,
                                  {{"Content-Type", "text/html"}},
                                  isGet ? QByteArray() : body.toUtf8()};
    if (!requestHeaders(headers, request.headers))
        return false;

    Call call(request, isGet ? Redirects::SameOrigin : Redirects::None, maxAnswerBytes);
    QTimer timer;
    const Outcome outcome = call.run(timer, timeoutSec * 1000);
    if (outcome == Outcome::TimedOut) {
        qWarning() << "http timeout. " << shown;
        return false;
    }
    fillAnswer(call, respHeaders, respBody);
    if (outcome == Outcome::Failed) {
        if (!call.logRefusal(shown))
            qWarning() << "http failed ：" << call.error() << "," << shown;
        return false;
    }
    return true;
}

int BHttpClient::download(const QString& url, const QString& path, const Progress& progress, qint64 maxBytes,
                          TransferTiming timing, DownloadEnd* end)
{
    const QUrl address(url, QUrl::TolerantMode);
    if (!acceptedUrl(address, url))
        return -1;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qWarning() << "open file failed. " << path;
        return -1;
    }
    Call call({"GET", address}, Redirects::Web, maxBytes);
    // Each piece goes to the file as it arrives: the body is never held whole.
    bool writeFailed = false;
    call.setBodySink([&](const QByteArray& piece) {
        writeFailed = file.write(piece) != piece.size();
        return !writeFailed;
    });
    const Outcome outcome = runTransfer(call, timing, progress);
    if (outcome == Outcome::Done) {
        // The last pieces may still sit in the file's buffer; a full disk shows only now.
        writeFailed = !file.flush();
        if (end)
            *end = {call.last().response().announcedBytes(), call.last().response().chunked(), file.size()};
    }

    if (outcome == Outcome::TimedOut) {
        qWarning() << "download timeout. " << path;
    } else if (writeFailed) {
        qWarning() << "download failed ：" << file.errorString();
    } else if (outcome == Outcome::Failed) {
        if (!call.logRefusal(url))
            qWarning() << "download failed ：" << call.error();
    } else {
        if (progress)
            progress(100);
        return 0;
    }
    // What arrived of a failed download must not pass for the whole file later. Closed first: a file
    // whose buffer cannot be written out would refuse its own remove().
    file.close();
    QFile::remove(path);
    return -1;
}

int BHttpClient::upload(const QString& url, const QString& path, const Params& params, const Headers& headers,
                        Headers& respHeaders, QString& respBody, const Progress& progress,
                        TransferTiming timing)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "open file failed. " << path;
        return -1;
    }
    const QString target = buildUrl(url, params);
    const QUrl address(target, QUrl::TolerantMode);
    if (!acceptedUrl(address, loggableUrl(url)))
        return -1;
    HttpExchange::Request request{"PUT", address};
    request.bodyFile = &file;
    if (!requestHeaders(headers, request.headers))
        return -1;

    Call call(request, Redirects::None, kServiceAnswerBytes);
    const Outcome outcome = runTransfer(call, timing, progress);
    if (outcome == Outcome::TimedOut) {
        qWarning() << "upload timeout. " << path;
        return -1;
    }
    fillAnswer(call, respHeaders, respBody);
    if (outcome == Outcome::Failed) {
        if (!call.logRefusal(loggableUrl(url)))
            qWarning() << "upload failed ：" << call.error();
        return -1;
    }
    if (progress)
        progress(100);
    return 0;
}
