#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The application's directory, ending with "/": home of config/, status.db and the log files.
QString appDir();
// Makes another folder the application directory, for the whole process (tests run from build folders).
void setAppDir(const QString& dir);

// Wait while keeping the event loop turning.
void sleepEventsMs(int milliseconds);
void sleepEventsSec(int seconds);

// Dotted IPv4 text from an address in host order, and back (0 when the text has not four parts).
QString ipv4ToText(quint32 address);
quint32 ipv4FromText(const QString& text);

// Bytes up to the first zero as UTF-8, or as GBK when they are not valid UTF-8.
QString decodeText(const QByteArray& bytes);

// Letters and digits drawn from the system's cryptographic source, for login codes and tokens.
QString randomString(int length);

// The log is shipped to the log collector: a credential appears there only as its first four characters.
QString maskedSecret(const QString& secret);
