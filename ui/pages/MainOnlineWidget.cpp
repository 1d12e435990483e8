#include "MainOnlineWidget.h"

#include "MainPageSize.h"

MainOnlineWidget::MainOnlineWidget(const SUser& user, SJob* job, QWidget* parent)
    : QWidget(parent), m_user(user), m_job(job)
{
    setObjectName(QStringLiteral("MainOnlineWidget"));
    setFixedSize(kMainPageSize);
}
