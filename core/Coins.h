#pragma once

#include <QString>

// An amount in hundredths of a coin as the windows show it: two decimals, "12.50".
QString coins(qint64 hundredths);
