#pragma once

#include <QString>
#include <QtGlobal>

// Dotted IPv4 text from an address in host order, and back (0 when the text has not four parts).
QString ipv4ToText(quint32 address);
quint32 ipv4FromText(const QString& text);
