#pragma once

#include <QObject>

// Keeps the client up to date: checks the service for new versions and starts the installer.
class SUpgrade : public QObject
{
    Q_OBJECT

public:
    explicit SUpgrade(QObject* parent = nullptr);
};
