#pragma once

#include <QString>

// Letters and digits drawn from the system's cryptographic source, for login codes and tokens.
QString randomString(int length);

// The log is shipped to the log collector: a credential appears there only as its first four characters.
QString maskedSecret(const QString& secret);
