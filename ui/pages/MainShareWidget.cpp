#include "MainShareWidget.h"

#include "MainPageSize.h"

MainShareWidget::MainShareWidget(const SUser& user, SJob* job, QWidget* parent)
    : QWidget(parent), m_user(user), m_job(job)
{
    setObjectName(QStringLiteral("MainShareWidget"));
    setFixedSize(kMainPageSize);
}
