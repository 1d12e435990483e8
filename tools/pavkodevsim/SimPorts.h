#pragma once

#include <QList>
#include <QString>

// The TCP ports one box listens on, at its own address. A real box uses the defaults; tests pick high
// ports (no privileges needed) and tell suites apart by address, so suites can run side by side.
struct SimPorts
{
    quint16 control = 80;            // the HTTP control API
    QList<quint16> raw{9100, 19879}; // raw printing; 19879 is what one Brother model uses
    quint16 greeting = 20417;        // the discovery greeting

    // "80", "9100,19879", "20417" as the fleet prints them.
    QString rawText() const;
};
