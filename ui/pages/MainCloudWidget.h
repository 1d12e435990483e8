#pragma once

#include "OnlineOrder.h"
#include "SJob.h"
#include "SUser.h"

#include <QWidget>
#include <memory>

class CloudWidget1;
class CloudWidget2;

namespace Ui {
class MainCloudWidget;
}

// The print-and-deliver page: documents, address and provider (step 1), then account, delivery,
// payment and the order (step 2).
class MainCloudWidget : public QWidget
{
    Q_OBJECT

public:
    // job may be null (cloud mode has no spooled job).
    MainCloudWidget(const SUser& user, SJob* job, QWidget* parent = nullptr);
    ~MainCloudWidget() override;

    CloudWidget1* step1() const { return m_step1; }
    CloudWidget2* step2() const { return m_step2; }
    const QString& orderId() const { return m_orderId; }
    // How long the order's answer is awaited (tests shorten it).
    void setOrderTimeoutSec(int seconds) { m_orderTimeoutSec = seconds; }

signals:
    void w_hide();
    void success();

public slots:
    void on_btn_next_clicked();
    void on_btn_prev_clicked();
    void on_btn_commit_clicked();

private:
    // Step 2 with its buttons, or step 1 with its button.
    void showStep2(bool shown);
    // Takes the payment and places the order; false (the user told why) when there is none.
    bool placeOrder();

    std::unique_ptr<Ui::MainCloudWidget> m_ui;
    const SUser& m_user;
    SJob* m_job;
    CloudWidget1* m_step1;
    CloudWidget2* m_step2;
    QString m_orderId;
    OrderKey m_orderKey;
    int m_orderTimeoutSec = ServiceApi::kTimeoutSec;
};
