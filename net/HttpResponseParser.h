#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// Reads one HTTP/1.x response from the bytes a peer sends, in whatever pieces they arrive, with hard
// bounds on everything a peer chooses: each line of the head, the number and total size of header lines,
// chunk-size lines, trailers, and the body. Interim answers (1xx) are skipped. A body that is compressed
// or otherwise transfer-coded (except chunked) is refused rather than unpacked: a few bytes on the wire
// may stand for gigabytes.
class HttpResponseParser
{
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    struct Limits
    {
        qint64 bodyBytes;          // announced or received
        int lineBytes = 8 * 1024;  // status line, each header line, each chunk-size line
        int headerLines = 100;     // per head (trailers included)
        int headBytes = 64 * 1024; // every head line of the exchange, interim answers and trailers included
    };

    enum class Failure
    {
        None,
        Malformed,    // not HTTP/1.x, or framing that cannot be trusted
        HeadTooLarge, // a line, the header count or the head's size past its bound
        BodyTooLarge, // announced or received
        Encoded,      // Content-Encoding or a transfer coding other than chunked
        Truncated     // the connection closed before the body's end
    };

    explicit HttpResponseParser(const Limits& limits) : m_limits(limits) {}

    // Takes the next bytes of the connection. Body bytes are appended to body (the caller takes them away
    // between calls, so that a body is never held whole). Stops at the first failure or at the response's
    // end.
    void feed(const char* data, qint64 size, QByteArray& body);
    // The connection has closed: ends a body that runs until then, fails anything else unfinished.
    void closed();

    bool headComplete() const { return m_state > State::Headers; }
    bool done() const { return m_state == State::Done; }
    Failure failure() const { return m_failure; }

    int status() const { return m_status; }
    const Headers& headers() const { return m_headers; }
    // First header of that name, case-insensitive; null when there is none.
    QByteArray header(const QByteArray& name) const;
    qint64 announcedBytes() const { return m_announced; } // -1 without Content-Length
    bool chunked() const { return m_chunked; }
    qint64 bodyBytes() const { return m_bodyBytes; }

private:
    enum class State
    {
        StatusLine,
        Headers,
        Body, // by length or until the connection closes
        ChunkSize,
        ChunkData,
        ChunkEnd, // the line end after a chunk's data
        Trailers,
        Done,
        Failed
    };

    // Collects one line; true when m_line holds a whole one (without its line end).
    bool takeLine(const char*& data, const char* end);
    void line();
    void statusLine();
    void headerLine();
    void headEnded();
    void chunkSizeLine();
    void takeBody(const char*& data, const char* end, QByteArray& body);
    void fail(Failure failure);

    Limits m_limits;
    State m_state = State::StatusLine;
    Failure m_failure = Failure::None;
    QByteArray m_line;
    bool m_lineEnded = false;
    int m_headBytes = 0;
    int m_linesInHead = 0;
    int m_status = 0;
    Headers m_headers;
    qint64 m_announced = -1;
    bool m_chunked = false;
    qint64 m_bodyBytes = 0;
    qint64 m_framingBytes = 0; // chunk-size lines and line ends
    qint64 m_left = 0;         // of the body or the current chunk
};
