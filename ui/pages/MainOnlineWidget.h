#pragma once

#include "SJob.h"
#include "SUser.h"

#include <QWidget>

// The online-print page: documents uploaded, converted and printed on a chosen device.
class MainOnlineWidget : public QWidget
{
    Q_OBJECT

public:
    MainOnlineWidget(const SUser& user, SJob* job, QWidget* parent = nullptr);

signals:
    void success();

private:
    const SUser& m_user;
    SJob* m_job;
};
