#pragma once

#include "DeviceEntry.h"

#include <QMetaType>
#include <QString>
#include <algorithm>
#include <climits>

// One print job, copied from stage to stage of the pipeline.
struct SJob
{
    // What happens after the user's choice; only SendToDevice jobs reach a device sender.
    enum State
    {
        SendToDevice = 1,
        ContinuedOnline = 2,
        PrintLater = 3,
        OrderedForDelivery = 11
    };

    int state = SendToDevice;
    int jobId = 0;
    QString filePath; // with "/" separators
    qint64 fileSize = 0;
    QString convertedPath; // filePath + ".pdf", written by the print-later path
    QString documentName;
    int pages = 0; // of one copy; -1 when the stream gave no usable count
    int copies = 0;
    // Pages of all copies, clamped to what an int holds.
    int totalPages() const { return int(std::min<qint64>(qint64(pages) * copies, INT_MAX)); }
    int color = 0;  // 1 colour, 0 black and white
    int size = 0;   // 1 normal, 2 A3 (custom media size)
    int duplex = 0; // 0 single-sided, 1 and 2 the two bindings
    bool analysed = true;
    int taskPages = 0;
    QString documentId;
    bool converted = false; // the converted document exists and is the sweep's to delete
    QString orderId;
    DeviceEntry device;
    bool rewritten = false; // the file holds the device's rewrite already; a resend must not repeat it
    bool resend = false;    // sent again by the user's choice: the once-per-job guard does not apply
};

Q_DECLARE_METATYPE(SJob)
