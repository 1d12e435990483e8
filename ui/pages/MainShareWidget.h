#pragma once

#include "SJob.h"
#include "SUser.h"

#include <QWidget>

// The share-print page: account, device, price and payment for a spooled job.
class MainShareWidget : public QWidget
{
    Q_OBJECT

public:
    MainShareWidget(const SUser& user, SJob* job, QWidget* parent = nullptr);

signals:
    void logout();
    void success();
    void goto_online();

private:
    const SUser& m_user;
    SJob* m_job;
};
