#include "HttpResponseParser.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {
bool isToken(const QByteArray& text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text)
        if (c <= ' ' || c >= 127 || std::strchr("\"(),/:;<=>?@[\\]{}", c))
            return false;
    return true;
}

// The codings of every header of that name, lower-cased, empty ones left out.
QList<QByteArray> codings(const HttpResponseParser::Headers& headers, const QByteArray& name)
{
    QList<QByteArray> all;
    for (const auto& header : headers)
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            for (const QByteArray& coding : header.second.split(','))
                if (!coding.trimmed().isEmpty())
                    all.append(coding.trimmed().toLower());
    return all;
}
} // namespace

QByteArray HttpResponseParser::header(const QByteArray& name) const
{
    for (const auto& pair : m_headers)
        if (pair.first.compare(name, Qt::CaseInsensitive) == 0)
            return pair.second;
    return {};
}

void HttpResponseParser::feed(const char* data, qint64 size, QByteArray& body)
{
    const char* end = data + size;
    while (data < end && m_state != State::Done && m_state != State::Failed) {
        if (m_state == State::Body || m_state == State::ChunkData)
            takeBody(data, end, body);
        else if (takeLine(data, end))
            line();
    }
}

void HttpResponseParser::closed()
{
    if (m_state == State::Body && m_left < 0)
        m_state = State::Done;
    else if (m_state != State::Done)
        fail(Failure::Truncated);
}

void HttpResponseParser::fail(Failure failure)
{
    if (m_state == State::Failed)
        return;
    m_state = State::Failed;
    m_failure = failure;
}

bool HttpResponseParser::takeLine(const char*& data, const char* end)
{
    const auto* newline = static_cast<const char*>(std::memchr(data, '\n', size_t(end - data)));
    const char* stop = newline ? newline + 1 : end;
    m_line.append(data, int((newline ? newline : end) - data));
    // The head's lines count against its size, chunk framing against the body's: both are bytes a peer
    // makes us take.
    const bool inHead =
        m_state == State::StatusLine || m_state == State::Headers || m_state == State::Trailers;
    if (inHead)
        m_headBytes += int(stop - data);
    else
        m_framingBytes += stop - data;
    data = stop;
    // A carriage return before the line feed is not part of the line.
    const int lineBytes = m_line.size() - (m_line.endsWith('\r') ? 1 : 0);
    if (lineBytes > m_limits.lineBytes || m_headBytes > m_limits.headBytes) {
        fail(Failure::HeadTooLarge);
        return false;
    }
    if (m_bodyBytes + m_framingBytes > m_limits.bodyBytes) {
        fail(Failure::BodyTooLarge);
        return false;
    }
    if (!newline)
        return false;
    if (m_line.endsWith('\r'))
        m_line.chop(1);
    return true;
}

void HttpResponseParser::line()
{
    switch (m_state) {
    case State::StatusLine:
        statusLine();
        break;
    case State::Headers:
    case State::Trailers:
        headerLine();
        break;
    case State::ChunkSize:
        chunkSizeLine();
        break;
    case State::ChunkEnd:
        if (m_line.isEmpty())
            m_state = State::ChunkSize;
        else
            fail(Failure::Malformed);
        break;
    default:
        break;
    }
    m_line.clear();
}

// "HTTP/1.x 200 Reason"; the reason may be empty or absent.
void HttpResponseParser::statusLine()
{
    const QByteArray& text = m_line;
    const bool shaped = text.size() >= 12 && text.startsWith("HTTP/1.") && text[7] >= '0' && text[7] <= '9' &&
                        text[8] == ' ' && (text.size() == 12 || text[12] == ' ');
    bool number = false;
    const int status = shaped ? text.mid(9, 3).toInt(&number) : 0;
    if (!number || status < 100 || !std::isdigit(static_cast<unsigned char>(text[9]))) {
        fail(Failure::Malformed);
        return;
    }
    m_status = status;
    m_headers.clear();
    m_linesInHead = 0;
    m_state = State::Headers;
}

void HttpResponseParser::headerLine()
{
    if (m_line.isEmpty()) {
        if (m_state == State::Trailers)
            m_state = State::Done;
        else
            headEnded();
        return;
    }
    if (++m_linesInHead > m_limits.headerLines) {
        fail(Failure::HeadTooLarge);
        return;
    }
    const int colon = m_line.indexOf(':');
    const QByteArray name = m_line.left(colon);
    // Folded lines are obsolete and make a header's end ambiguous: refused with the rest.
    if (colon <= 0 || !isToken(name)) {
        fail(Failure::Malformed);
        return;
    }
    if (m_state == State::Headers)
        m_headers.append({name, m_line.mid(colon + 1).trimmed()});
}

void HttpResponseParser::headEnded()
{
    if (m_status < 200) {
        // 100 Continue and its kind precede the answer; 101 would switch protocols, never asked for.
        if (m_status == 101)
            fail(Failure::Malformed);
        else
            m_state = State::StatusLine;
        return;
    }
    for (const QByteArray& coding : codings(m_headers, "Content-Encoding")) {
        if (coding != "identity") {
            fail(Failure::Encoded);
            return;
        }
    }
    const QList<QByteArray> transfer = codings(m_headers, "Transfer-Encoding");
    if (!transfer.isEmpty()) {
        if (transfer != QList<QByteArray>{"chunked"}) {
            fail(Failure::Encoded);
            return;
        }
        m_chunked = true;
    }
    if (!m_chunked) {
        // Several lengths are accepted only when they agree; digits only, no sign, no overflow.
        for (const QByteArray& value : codings(m_headers, "Content-Length")) {
            bool number = false;
            const qint64 length = value.size() <= 18 ? value.toLongLong(&number) : -1;
            const bool digits =
                std::all_of(value.cbegin(), value.cend(), [](char c) { return c >= '0' && c <= '9'; });
            if (!number || !digits || (m_announced >= 0 && m_announced != length)) {
                fail(Failure::Malformed);
                return;
            }
            m_announced = length;
        }
    }
    if (m_status == 204 || m_status == 304) {
        m_state = State::Done;
        return;
    }
    if (m_announced > m_limits.bodyBytes) {
        fail(Failure::BodyTooLarge);
        return;
    }
    if (m_chunked)
        m_state = State::ChunkSize;
    else if (m_announced == 0)
        m_state = State::Done;
    else {
        m_left = m_announced; // -1: until the connection closes
        m_state = State::Body;
    }
}

void HttpResponseParser::chunkSizeLine()
{
    const int semicolon = m_line.indexOf(';');
    const QByteArray hex = (semicolon < 0 ? m_line : m_line.left(semicolon)).trimmed();
    bool number = false;
    const qint64 size = hex.size() <= 15 ? hex.toLongLong(&number, 16) : -1;
    const bool digits = std::all_of(hex.cbegin(), hex.cend(),
                                    [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    if (!number || !digits) {
        fail(Failure::Malformed);
        return;
    }
    if (size == 0) {
        m_linesInHead = 0;
        m_state = State::Trailers;
        return;
    }
    if (m_bodyBytes + m_framingBytes + size > m_limits.bodyBytes) {
        fail(Failure::BodyTooLarge);
        return;
    }
    m_left = size;
    m_state = State::ChunkData;
}

void HttpResponseParser::takeBody(const char*& data, const char* end, QByteArray& body)
{
    const qint64 available = end - data;
    const qint64 n = m_left < 0 ? available : qMin(m_left, available);
    if (m_bodyBytes + m_framingBytes + n > m_limits.bodyBytes) {
        fail(Failure::BodyTooLarge);
        return;
    }
    body.append(data, int(n));
    data += n;
    m_bodyBytes += n;
    if (m_left < 0)
        return;
    m_left -= n;
    if (m_left == 0)
        m_state = m_state == State::ChunkData ? State::ChunkEnd : State::Done;
}
