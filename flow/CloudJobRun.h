#pragma once

#include <QObject>

// Cloud mode's whole run: login and the ordering windows, without a spooled job. The constructor
// returns when the user is done.
class CloudJobRun : public QObject
{
public:
    explicit CloudJobRun(QObject* parent = nullptr);
};
