#include "JobStatusWidget.h"

JobStatusWidget::JobStatusWidget(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("JobStatusWidget"));
}
