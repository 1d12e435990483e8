#include "Coins.h"

QString coins(qint64 hundredths)
{
    return QString::asprintf("%.2f", double(hundredths) / 100.0);
}
