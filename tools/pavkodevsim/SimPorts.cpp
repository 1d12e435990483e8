#include "SimPorts.h"

#include <QStringList>

QString SimPorts::rawText() const
{
    QStringList texts;
    for (quint16 port : raw)
        texts.append(QString::number(port));
    return texts.join(QLatin1Char(','));
}
