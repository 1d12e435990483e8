#pragma once

#include <QWidget>

// The window that lists the jobs waiting for or going to a print device, and the pipeline's message hub.
class JobStatusWidget : public QWidget
{
    Q_OBJECT

public:
    explicit JobStatusWidget(QWidget* parent = nullptr);
};
