#pragma once

#include <QString>

// The logged-in user, as the QR login hands it on: empty fields when no login was needed.
struct SUser
{
    QString token;
    QString userId; // decimal text
    QString userName;
};
