#include "AJson.h"

#include <QFile>
#include <QJsonDocument>

namespace {
QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString bytesAsText(const QByteArray& utf8)
{
    const int end = utf8.indexOf('\0');
    return QString::fromLatin1(end < 0 ? utf8 : utf8.left(end));
}
} // namespace

QJsonObject parseObject(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    return error.error == QJsonParseError::NoError ? document.object() : QJsonObject();
}

QJsonObject parseObjectLatin1(const QString& text)
{
    return parseObject(text.toLatin1());
}
QJsonObject parseObjectUtf8(const QString& text)
{
    return parseObject(text.toUtf8());
}

QJsonArray parseArray(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    return error.error == QJsonParseError::NoError ? document.array() : QJsonArray();
}

QJsonArray parseArrayLatin1(const QString& text)
{
    return parseArray(text.toLatin1());
}
QJsonArray parseArrayUtf8(const QString& text)
{
    return parseArray(text.toUtf8());
}

QString objectToText(const QJsonObject& object)
{
    return bytesAsText(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString arrayToText(const QJsonArray& array)
{
    return bytesAsText(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QJsonObject readJsonObjectFile(const QString& path)
{
    return parseObject(readAll(path));
}
QJsonArray readJsonArrayFile(const QString& path)
{
    return parseArray(readAll(path));
}
