#include "LoopbackHttp.h"

#include <QPointer>
#include <QTcpSocket>
#include <memory>

QByteArray HttpRequest::header(const QByteArray& name) const
{
    for (const auto& field : headers)
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return field.second;
    return {};
}

QMap<QString, QString> HttpRequest::query() const
{
    return LoopbackHttp::firstOfEach(fields);
}

namespace LoopbackHttp {

HttpFields parseQuery(const QByteArray& query)
{
    HttpFields fields;
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

QMap<QString, QString> firstOfEach(const HttpFields& fields)
{
    QMap<QString, QString> map;
    for (const auto& field : fields)
        if (!map.contains(field.first))
            map.insert(field.first, field.second);
    return map;
}

HttpParse parseRequest(const QByteArray& buffer, qint64 maxBody)
{
    HttpParse parse;
    const int headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0 || headEnd > kMaxHead) {
        if (headEnd > kMaxHead || buffer.size() > kMaxHead)
            parse.status = HttpParse::Status::Bad;
        return parse;
    }
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1.") ||
        !requestLine.at(1).startsWith('/')) {
        parse.status = HttpParse::Status::Bad;
        return parse;
    }
    HttpRequest& request = parse.request;
    request.method = requestLine.at(0);
    request.target = requestLine.at(1);
    const int question = request.target.indexOf('?');
    request.path = question < 0 ? request.target : request.target.left(question);
    request.fields = parseQuery(question < 0 ? QByteArray() : request.target.mid(question + 1));
    request.keepAlive = requestLine.at(2) != "HTTP/1.0";
    qint64 bodyLength = 0;
    for (const QByteArray& line : lines.mid(1)) {
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed();
        const QByteArray value = line.mid(colon + 1).trimmed();
        request.headers.append({name, value});
        const QByteArray lowerName = name.toLower();
        const QByteArray lowerValue = value.toLower();
        if (lowerName == "connection") {
            request.keepAlive = lowerValue == "keep-alive" || (request.keepAlive && lowerValue != "close");
        } else if (lowerName == "content-length") {
            bool ok = false;
            bodyLength = value.toLongLong(&ok);
            if (!ok || bodyLength < 0) {
                parse.status = HttpParse::Status::Bad;
                return parse;
            }
        } else if (lowerName == "transfer-encoding") {
            parse.status = HttpParse::Status::Bad; // the client always announces the length
            return parse;
        }
    }
    if (bodyLength > maxBody) {
        parse.status = HttpParse::Status::TooLarge;
        return parse;
    }
    const qint64 end = headEnd + 4 + bodyLength;
    if (buffer.size() < end)
        return parse;
    request.body = buffer.mid(headEnd + 4, int(bodyLength));
    parse.status = HttpParse::Status::Complete;
    parse.consumed = end;
    return parse;
}

QByteArray response(const HttpResponse& response, bool keepAlive)
{
    const QByteArray reason = response.status == 200   ? "OK"
                              : response.status == 403 ? "Forbidden"
                              : response.status == 404 ? "Not Found"
                              : response.status == 405 ? "Method Not Allowed"
                              : response.status == 413 ? "Payload Too Large"
                                                       : "Bad Request";
    return "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reason +
           "\r\nContent-Type: " + response.contentType +
           "\r\nContent-Length: " + QByteArray::number(response.body.size()) +
           (keepAlive ? "\r\n\r\n" : "\r\nConnection: close\r\n\r\n") + response.body;
}

} // namespace LoopbackHttp

void LoopbackHttpServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QByteArray peer =
        socket->peerAddress().toString().toUtf8() + ':' + QByteArray::number(socket->peerPort());
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer, peer] {
        *buffer += socket->readAll();
        for (;;) {
            HttpParse parse = LoopbackHttp::parseRequest(*buffer, m_maxBody);
            if (parse.status == HttpParse::Status::Incomplete)
                return;
            if (parse.status != HttpParse::Status::Complete) {
                const bool large = parse.status == HttpParse::Status::TooLarge;
                socket->write(LoopbackHttp::response(
                    HttpResponse::text(large ? 413 : 400, large ? "too large" : "bad request"), false));
                socket->disconnectFromHost();
                buffer->clear();
                return;
            }
            buffer->remove(0, int(parse.consumed));
            parse.request.peer = peer;
            const QPointer<QTcpSocket> alive(socket);
            const std::optional<HttpResponse> answer = m_handler(parse.request);
            if (!alive)
                return;
            if (!answer)
                continue;
            socket->write(LoopbackHttp::response(*answer, parse.request.keepAlive));
            if (!parse.request.keepAlive) {
                socket->disconnectFromHost();
                return;
            }
        }
    });
}
