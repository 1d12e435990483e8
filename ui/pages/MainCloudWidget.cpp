#include "MainCloudWidget.h"

#include "MainPageSize.h"

MainCloudWidget::MainCloudWidget(const SUser& user, SJob* job, QWidget* parent)
    : QWidget(parent), m_user(user), m_job(job)
{
    setObjectName(QStringLiteral("MainCloudWidget"));
    setFixedSize(kMainPageSize);
}
