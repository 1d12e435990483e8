#pragma once

#include "SJob.h"

#include <QStringList>

// A job as the brand-rule tables describe it: device "brand|model|user|password" and job
// "copies size duplex analysed".
inline SJob jobFromRow(const QString& device, const QString& job)
{
    const QStringList d = device.split(QLatin1Char('|'));
    const QStringList j = job.split(QLatin1Char(' '));
    SJob row;
    row.device.brand = d.value(0);
    row.device.model = d.value(1);
    row.device.deviceUsername = d.value(2);
    row.device.devicePassword = d.value(3);
    row.copies = j.value(0).toInt();
    row.size = j.value(1).toInt();
    row.duplex = j.value(2).toInt();
    row.analysed = j.value(3) == QLatin1String("1");
    return row;
}
