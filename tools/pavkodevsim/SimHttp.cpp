#include "SimHttp.h"

namespace SimHttp {

SimQuery parseQuery(const QByteArray& query)
{
    SimQuery fields;
    for (const QByteArray& field : query.split('&')) {
        if (field.isEmpty())
            continue;
        const int equals = field.indexOf('=');
        const QByteArray key = equals < 0 ? field : field.left(equals);
        const QByteArray value = equals < 0 ? QByteArray() : field.mid(equals + 1);
        fields.append({QString::fromUtf8(QByteArray::fromPercentEncoding(key)),
                       QString::fromUtf8(QByteArray::fromPercentEncoding(value))});
    }
    return fields;
}

SimHttpParse parseRequest(const QByteArray& buffer)
{
    SimHttpParse parse;
    const int headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        if (buffer.size() > kMaxHead)
            parse.status = SimHttpParse::Status::Bad;
        return parse;
    }
    if (headEnd > kMaxHead) {
        parse.status = SimHttpParse::Status::Bad;
        return parse;
    }
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1.") ||
        !requestLine.at(1).startsWith('/')) {
        parse.status = SimHttpParse::Status::Bad;
        return parse;
    }
    SimHttpRequest& request = parse.request;
    request.method = requestLine.at(0);
    request.target = requestLine.at(1);
    const int question = request.target.indexOf('?');
    request.path = question < 0 ? request.target : request.target.left(question);
    request.query = parseQuery(question < 0 ? QByteArray() : request.target.mid(question + 1));
    request.keepAlive = requestLine.at(2) != "HTTP/1.0";
    qint64 bodyLength = 0;
    for (const QByteArray& line : lines.mid(1)) {
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed().toLower();
        if (name == "connection")
            request.keepAlive = value == "keep-alive" || (request.keepAlive && value != "close");
        else if (name == "content-length")
            bodyLength = value.toLongLong();
        else if (name == "transfer-encoding")
            bodyLength = -1; // a GET with a chunked body: not something a box's client sends
    }
    if (bodyLength < 0 || bodyLength > kMaxHead) {
        parse.status = SimHttpParse::Status::Bad;
        return parse;
    }
    const qint64 end = headEnd + 4 + bodyLength;
    if (buffer.size() < end)
        return parse;
    parse.status = SimHttpParse::Status::Complete;
    parse.consumed = int(end);
    return parse;
}

QByteArray response(int status, const QByteArray& body, bool keepAlive)
{
    const QByteArray reason = status == 200   ? "OK"
                              : status == 404 ? "Not Found"
                              : status == 405 ? "Method Not Allowed"
                                              : "Bad Request";
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
           "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
           (keepAlive ? "\r\nConnection: keep-alive" : "\r\nConnection: close") + "\r\n\r\n" + body;
}

} // namespace SimHttp
