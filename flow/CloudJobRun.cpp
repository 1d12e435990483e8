#include "CloudJobRun.h"

#include "AMailbox.h"
#include "LoginLoop.h"
#include "SJob.h"

#include <QDebug>

CloudJobRun::CloudJobRun(QObject* parent) : QObject(parent)
{
    for (;;) {
        SJob job;
        const bool ordered = runLoginAndMainWindow(&job);
        AMailbox mailbox;
        if (!mailbox.attach() || mailbox.isEmpty())
            return;
        mailbox.detach();
        if (!ordered) {
            // Closed by the user, or the login abandoned: no window forced upon them.
            qWarning() << "cloud : documents handed over were not shown: the window was closed";
            return;
        }
        // Documents handed over that the window never showed get a window of their own.
        qInfo() << "cloud : documents handed over wait, the window again";
    }
}
