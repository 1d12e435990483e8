#pragma once

#include "SJob.h"
#include "SUser.h"

#include <QWidget>
#include <memory>

class OnlineWidget1;
class OnlineWidget2;

namespace Ui {
class MainOnlineWidget;
}

// The online-print page: documents uploaded, converted and split by the service (step 1), then
// priced on a chosen device and ordered (step 2).
class MainOnlineWidget : public QWidget
{
    Q_OBJECT

public:
    // job may be null (cloud mode has no spooled job).
    MainOnlineWidget(const SUser& user, SJob* job, QWidget* parent = nullptr);
    ~MainOnlineWidget() override;

    OnlineWidget1* step1() const { return m_step1; }
    OnlineWidget2* step2() const { return m_step2; }

signals:
    void success();

public slots:
    void on_btn_next_clicked();
    void on_btn_prev_clicked();

private:
    std::unique_ptr<Ui::MainOnlineWidget> m_ui;
    const SUser& m_user;
    SJob* m_job;
    OnlineWidget1* m_step1;
    OnlineWidget2* m_step2;
};
