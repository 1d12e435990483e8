#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// JSON helpers that never fail: anything unusable reads as an empty object or array.
QJsonObject parseObject(const QByteArray& bytes);
QJsonObject parseObjectLatin1(const QString& text);
QJsonObject parseObjectUtf8(const QString& text);
QJsonArray parseArray(const QByteArray& bytes);
QJsonArray parseArrayLatin1(const QString& text);
QJsonArray parseArrayUtf8(const QString& text);

// Compact JSON whose characters are its UTF-8 bytes (one byte per character); toLatin1() restores them.
QString objectToText(const QJsonObject& object);
QString arrayToText(const QJsonArray& array);

QJsonObject readJsonObjectFile(const QString& path);
QJsonArray readJsonArrayFile(const QString& path);
