#pragma once

// What the benchmarks that start a program ask of it: whether it listens yet, and its memory.
#include <QByteArray>
#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>

// True when something accepts connections on this loopback port.
inline bool acceptsOnLoopback(quint16 port)
{
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    return probe.waitForConnected(50);
}

// A memory figure of a running process in MB, by its /proc status key ("VmRSS:", "VmHWM:"); -1 when unknown.
inline double processMegabytes(qint64 pid, const QByteArray& key)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}
