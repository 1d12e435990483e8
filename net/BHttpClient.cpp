#include "BHttpClient.h"

#include "Secrets.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <memory>

namespace {
std::atomic<bool> g_tlsVerification{true};

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

void setRawHeaders(QNetworkRequest& request, const BHttpClient::Headers& headers)
{
    for (auto it = headers.cbegin(); it != headers.cend(); ++it)
        request.setRawHeader(it.key().toUtf8(), it.value().toUtf8());
}

// Runs a nested event loop until the reply finishes or the timer, started with ms, runs out.
Outcome waitFor(QNetworkReply* reply, QTimer& timer, int ms)
{
    QEventLoop loop;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(reply, &QNetworkReply::finished, &timer, &QTimer::stop);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(ms);
    if (!reply->isFinished())
        loop.exec();
    if (reply->error() != QNetworkReply::NoError)
        return Outcome::Failed;
    return reply->isFinished() ? Outcome::Done : Outcome::TimedOut;
}

// Waits for a download or upload. The inactivity timer is renewed only when a progress report is
// made, so it bounds the time between reports rather than between packets.
Outcome waitTransfer(QNetworkReply* reply, void (QNetworkReply::*notification)(qint64, qint64),
                     BHttpClient::TransferTiming timing, const BHttpClient::Progress& progress,
                     const std::function<void()>& onNotification)
{
    QTimer timer;
    QElapsedTimer sinceReport;
    sinceReport.start();
    bool allHandedOver = false;
    QObject::connect(reply, notification, &timer, [&](qint64 done, qint64 total) {
        if (timing.drainBytesPerSec > 0 && total > 0 && done >= total && !allHandedOver) {
            allHandedOver = true;
            const qint64 buffered = qMin(total, BHttpClient::kMaxBufferedBytes);
            if (timer.isActive())
                timer.start(int(timing.inactivityMs + buffered * 1000 / timing.drainBytesPerSec));
        } else if (sinceReport.elapsed() > timing.reportIntervalMs && !allHandedOver) {
            sinceReport.restart();
            // Completion is reported once, after the transfer; Qt also announces it as progress with
            // the total set to what arrived when the size was not known beforehand.
            if (progress && total > 0 && done < total)
                progress(int(done * 100 / total));
            if (timer.isActive())
                timer.start(timing.inactivityMs);
        }
        if (onNotification)
            onNotification();
    });
    return waitFor(reply, timer, timing.inactivityMs);
}

// Cuts a reply off as soon as its body is known to pass limit bytes: announced by Content-Length, or
// received (decompressed, as it reaches the reply), checked with every piece that arrives. The reply's
// read buffer is left unlimited: a limited one stalls a transfer short of its size instead of ending it.
class SizeGuard
{
public:
    SizeGuard(QNetworkReply* reply, qint64 limit) : m_limit(limit)
    {
        QObject::connect(reply, &QNetworkReply::metaDataChanged, &m_context, [this, reply] {
            bool announced = false;
            const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&announced);
            if (announced)
                check(reply, length);
        });
        QObject::connect(reply, &QNetworkReply::downloadProgress, &m_context,
                         [this, reply](qint64 received, qint64) { check(reply, received); });
        QObject::connect(reply, &QNetworkReply::readyRead, &m_context,
                         [this, reply] { check(reply, reply->bytesAvailable()); });
    }
    bool exceeded() const { return m_exceeded; }
    // The one line a cut-off answer leaves in the log.
    void logCut(const QString& what) const
    {
        qWarning() << "answer larger than" << m_limit << "bytes, cut off:" << what;
    }

private:
    void check(QNetworkReply* reply, qint64 bytes)
    {
        if (bytes <= m_limit || m_exceeded)
            return;
        m_exceeded = true;
        reply->abort();
    }

    QObject m_context; // ends the connections with the guard
    qint64 m_limit;
    bool m_exceeded = false;
};

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

enum class Redirects
{
    None,       // a POST or PUT is never sent on elsewhere
    SameOrigin, // service calls: the answer must come from the service that was asked
    Web         // downloads: any http(s) address, but never from https down to http
};

// Follows or refuses each redirect of the reply by the rule; a refused one ends the reply as failed.
void followRedirects(QNetworkReply* reply, Redirects rule)
{
    QObject::connect(reply, &QNetworkReply::redirected, reply, [reply, rule](const QUrl& to) {
        const QUrl from = reply->request().url();
        const auto origin = [](const QUrl& url) -> QString {
            return url.scheme().toLower() + QStringLiteral("://") + url.host().toLower() + QLatin1Char(':') +
                   QString::number(url.port(url.scheme().toLower() == QLatin1String("https") ? 443 : 80));
        };
        bool allowed = isWebUrl(to);
        if (rule == Redirects::None)
            allowed = false;
        else if (rule == Redirects::SameOrigin)
            allowed = allowed && origin(to) == origin(from);
        else
            allowed = allowed && !(from.scheme().toLower() == QLatin1String("https") &&
                                   to.scheme().toLower() != QLatin1String("https"));
        if (allowed) {
            emit reply->redirectAllowed();
            return;
        }
        qWarning() << "redirect refused:" << loggableUrl(from.toString()) << "->"
                   << loggableUrl(to.toString());
        reply->abort();
    });
}

// Ends a transfer that is given up: nothing of it reaches the caller any more.
void abandon(QNetworkReply* reply)
{
    if (reply->isFinished())
        return;
    reply->disconnect();
    reply->abort();
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

// What every request shares: TLS as configured, and each redirect judged by followRedirects().
void BHttpClient::prepare(QNetworkRequest& request)
{
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    QSslConfiguration tls = request.sslConfiguration();
    tls.setProtocol(QSsl::SecureProtocols);
    tls.setPeerVerifyMode(tlsVerification() ? QSslSocket::VerifyPeer : QSslSocket::VerifyNone);
    request.setSslConfiguration(tls);
}

// Each operation gets a manager of its own on the calling thread; recv is called directly so that
// the caller's maps are filled on that thread even when this client lives on another one.
std::unique_ptr<QNetworkAccessManager> BHttpClient::newManager()
{
    auto manager = std::make_unique<QNetworkAccessManager>();
    connect(manager.get(), &QNetworkAccessManager::finished, this, &BHttpClient::recv, Qt::DirectConnection);
    return manager;
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
    QNetworkRequest request(QUrl(target, QUrl::TolerantMode));
    if (!acceptedUrl(request.url(), loggableUrl(target)))
        return false;
    const auto manager = newManager();
    prepare(request);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/html"));
    setRawHeaders(request, headers);

    const bool isGet = method == QLatin1String("get");
    QNetworkReply* reply = isGet ? manager->get(request) : manager->post(request, body.toUtf8());
    if (!reply) {
        qWarning() << "http request failed. " << loggableUrl(target);
        return false;
    }
    followRedirects(reply, isGet ? Redirects::SameOrigin : Redirects::None);
    m_waiting.insert(reply, {&respHeaders, &respBody});

    const SizeGuard guard(reply, maxAnswerBytes);
    QTimer timer;
    const Outcome outcome = waitFor(reply, timer, timeoutSec * 1000);
    m_waiting.remove(reply);

    if (guard.exceeded()) {
        guard.logCut(loggableUrl(target));
        respBody.clear();
        return false;
    }
    switch (outcome) {
    case Outcome::Failed:
        qWarning() << "http failed ：" << reply->error() << "," << loggableUrl(target);
        return false;
    case Outcome::TimedOut:
        qWarning() << "http timeout. " << loggableUrl(target);
        abandon(reply);
        return false;
    case Outcome::Done:
        break;
    }
    return true;
}

void BHttpClient::recv(QNetworkReply* reply)
{
    const auto waiting = m_waiting.constFind(reply);
    if (waiting == m_waiting.cend())
        return;
    for (const QNetworkReply::RawHeaderPair& pair : reply->rawHeaderPairs())
        waiting->headers->insert(textUpToNul(pair.first), textUpToNul(pair.second));
    // A reply that was cut off is closed: nothing of it is handed on.
    *waiting->body = reply->isOpen() ? textUpToNul(reply->readAll()) : QString();
}

int BHttpClient::download(const QString& url, const QString& path, const Progress& progress, qint64 maxBytes,
                          TransferTiming timing, DownloadEnd* end)
{
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    if (!acceptedUrl(request.url(), url))
        return -1;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qWarning() << "open file failed. " << path;
        return -1;
    }
    QNetworkAccessManager manager;
    prepare(request);
    QNetworkReply* reply = manager.get(request);
    followRedirects(reply, Redirects::Web);
    const SizeGuard guard(reply, maxBytes);

    bool writeFailed = false;
    const auto save = [&] {
        if (!reply->isOpen())
            return;
        const QByteArray data = reply->readAll();
        if (!writeFailed && file.write(data) != data.size()) {
            writeFailed = true;
            reply->abort();
        }
    };
    const Outcome outcome = waitTransfer(reply, &QNetworkReply::downloadProgress, timing, progress, save);
    if (outcome == Outcome::Done) {
        save();
        // The last pieces may still sit in the file's buffer; a full disk shows only now.
        writeFailed = writeFailed || !file.flush();
        if (end) {
            bool announced = false;
            const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&announced);
            *end = {announced ? length : -1,
                    reply->rawHeader("Transfer-Encoding").toLower().contains("chunked"), file.size()};
        }
    }

    if (guard.exceeded()) {
        guard.logCut(url);
    } else if (writeFailed) {
        qWarning() << "download failed ：" << file.errorString();
    } else if (outcome == Outcome::Failed) {
        qWarning() << "download failed ：" << reply->error();
    } else if (outcome == Outcome::TimedOut) {
        qWarning() << "download timeout. " << path;
        abandon(reply);
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
    QNetworkRequest request(QUrl(buildUrl(url, params), QUrl::TolerantMode));
    if (!acceptedUrl(request.url(), loggableUrl(url)))
        return -1;
    const auto manager = newManager();
    prepare(request);
    setRawHeaders(request, headers);
    QNetworkReply* reply = manager->put(request, &file);
    followRedirects(reply, Redirects::None);
    m_waiting.insert(reply, {&respHeaders, &respBody});

    const SizeGuard guard(reply, kServiceAnswerBytes);
    const Outcome outcome = waitTransfer(reply, &QNetworkReply::uploadProgress, timing, progress, {});
    m_waiting.remove(reply);

    if (guard.exceeded()) {
        guard.logCut(loggableUrl(url));
        respBody.clear();
        return -1;
    }
    switch (outcome) {
    case Outcome::Failed:
        qWarning() << "upload failed ：" << reply->error();
        return -1;
    case Outcome::TimedOut:
        qWarning() << "upload timeout. " << path;
        abandon(reply);
        return -1;
    case Outcome::Done:
        break;
    }
    if (progress)
        progress(100);
    return 0;
}
