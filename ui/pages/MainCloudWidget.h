#pragma once

#include "SJob.h"
#include "SUser.h"

#include <QWidget>

// The print-and-deliver page: documents, address, provider, prices and the order.
class MainCloudWidget : public QWidget
{
    Q_OBJECT

public:
    MainCloudWidget(const SUser& user, SJob* job, QWidget* parent = nullptr);

signals:
    void w_hide();
    void success();

private:
    const SUser& m_user;
    SJob* m_job;
};
