#pragma once

#include <QString>

// Letters and digits drawn from the system's cryptographic source, for login codes and tokens.
QString randomString(int length);

// The log is shipped to the log collector: a credential appears there only as its first four characters.
QString maskedSecret(const QString& secret);

// The text with the value of every member or parameter whose name marks a secret (password, secret,
// token and the like, in any case) masked by maskedSecret: JSON members, also as quoted inside a logged
// text ("key":"value", \"key\":\"value\"), and query or form fields (key=value).
QString maskSecretsInText(const QString& text);
