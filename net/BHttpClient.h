#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <functional>

// The one HTTP(S) client of the program. Every operation is synchronous for its caller: it runs a
// nested event loop on the calling thread until the transfer ends or its timer expires, so it works
// on the GUI thread and on worker threads alike, and the calling thread keeps dispatching its other
// events meanwhile (callers must tolerate their own slots running before the call returns).
// Each request has a connection of its own (HttpExchange): no compression is asked for or accepted,
// every part of an answer is read within bounds, and giving up closes the connection at once.
// A client may be created on one thread and used on another, but by one thread at a time.
// Failures are reported by the result and a warning in the log.
class BHttpClient : public QObject
{
    Q_OBJECT

public:
    // Query parameters and headers, used in ascending key order.
    using Params = QMap<QString, QString>;
    using Headers = QMap<QString, QString>;
    // Percentage done, 0-100. May be empty.
    using Progress = std::function<void(int)>;

    // How long a download or upload may go without a progress report, and how often one is made.
    // An upload's progress counts the bytes the system took from the socket: once all are, they may still
    // wait in the system's buffers at both ends for a slow server to read them, unseen. From then on the time
    // allowed grows by the bytes that can be buffered (at most kMaxBufferedBytes) at drainBytesPerSec, the
    // slowest server still taken as working; 0 adds nothing.
    struct TransferTiming
    {
        int inactivityMs;
        int reportIntervalMs;
        int drainBytesPerSec = 0;
    };
    static constexpr qint64 kMaxBufferedBytes = 8 * 1024 * 1024;
    static constexpr TransferTiming kDownloadTiming{120000, 5000, 0};
    static constexpr TransferTiming kUploadTiming{30000, 5000, 8 * 1024};

    // The most an answer may hold, announced or received; past it the transfer is cut off and the call
    // fails. The service's answers and the storage's callback answer are small JSON documents.
    static constexpr qint64 kServiceAnswerBytes = 4 * 1024 * 1024;

    explicit BHttpClient(QObject* parent = nullptr);

    // True when a response of at most maxAnswerBytes arrived without a network or HTTP error within
    // timeoutSec seconds. respHeaders and respBody are filled when a response arrives, an HTTP error
    // response included; after a time-out they keep what the caller put there, and a cut-off answer
    // leaves the body empty.
    static bool get(const QString& url, const Params& params, const Headers& headers, Headers& respHeaders,
                    QString& respBody, int timeoutSec, qint64 maxAnswerBytes = kServiceAnswerBytes);
    static bool post(const QString& url, const Params& params, const Headers& headers, const QString& body,
                     Headers& respHeaders, QString& respBody, int timeoutSec,
                     qint64 maxAnswerBytes = kServiceAnswerBytes);
    // method "get" (exactly) sends a GET; anything else a POST with the body as UTF-8.
    bool request(const QString& method, const QString& url, const Params& params, const Headers& headers,
                 const QString& body, Headers& respHeaders, QString& respBody, int timeoutSec,
                 qint64 maxAnswerBytes = kServiceAnswerBytes);

    // GET into the file at path, written as the data arrives. 0 on success, -1 on failure (a partly
    // written file is removed then); a connection closed before the announced length arrived is a failure.
    // end, when given, tells how the body's end was known: a body without length or chunks ends with its
    // connection, so a cut one cannot be told from a whole one.
    struct DownloadEnd
    {
        qint64 announcedBytes = -1; // Content-Length; -1 when none was sent
        bool chunked = false;       // chunked transfer: its last chunk marks the end
        qint64 receivedBytes = 0;
    };
    // A body longer than maxBytes (announced or received) is cut off and fails the download.
    static int download(const QString& url, const QString& path, const Progress& progress, qint64 maxBytes,
                        TransferTiming timing = kDownloadTiming, DownloadEnd* end = nullptr);
    // PUT of the file at path, streamed from disk. 0 on success, -1 on failure; an answer of more than
    // kServiceAnswerBytes is one.
    int upload(const QString& url, const QString& path, const Params& params, const Headers& headers,
               Headers& respHeaders, QString& respBody, const Progress& progress,
               TransferTiming timing = kUploadTiming);

    // The URL text with the parameters appended: "?" unless the text has one, then key=value& for
    // each in ascending key order, both percent-encoded, and one more "&".
    static QString buildUrl(const QString& url, const Params& params);

    // Certificate verification against the system's trust store is on unless a test deployment
    // turns it off (logged as a warning). Applies to every later request of every thread.
    static void setTlsVerification(bool enabled);
    static bool tlsVerification();
};
