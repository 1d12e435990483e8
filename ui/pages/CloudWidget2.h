#pragma once

#include "CloudOrder.h"
#include "SUser.h"

#include <QWidget>
#include <memory>
#include <optional>

class CloudWidget1;

namespace Ui {
class CloudWidget2;
}

// Step 2 of print-and-deliver: the paying account, the delivery, a remark, the amount and the payment.
class CloudWidget2 : public QWidget
{
    Q_OBJECT

public:
    enum PayType
    {
        Balance = 1,
        WeChatPay = 2,
        Alipay = 3
    };

    CloudWidget2(const SUser& user, CloudWidget1* step1, QWidget* parent = nullptr);
    ~CloudWidget2() override;

    // Prices the documents at the selected provider and shows the amount.
    void computeAmount();
    // The amount shown is a price (every document could be priced at a provider).
    bool isPriced() const { return m_priced; }
    qint64 total() const { return m_total; }
    std::optional<CloudAccount> selectedAccount() const;
    int payType() const { return m_payType; }
    QString remark() const;
    // A payment by code arrived: the money sits in the personal balance, so the order is paid from
    // there from now on (also when it has to be placed again), with the balance the service now shows.
    void paidIntoBalance();

private slots:
    void on_btn_mail_clicked();
    void on_btn_self_clicked();
    void on_btn_blance_clicked();
    void on_btn_wxpay_clicked();
    void on_btn_alipay_clicked();
    void on_btn_detail_clicked();
    void on_cbx_account_currentIndexChanged(int index);

private:
    // Asks the service for the accounts and shows them, keeping the chosen one.
    void loadAccounts();
    void setDelivery(int delivery);
    void setPayType(int payType);

    std::unique_ptr<Ui::CloudWidget2> m_ui;
    const SUser& m_user;
    CloudWidget1* m_step1;
    QList<CloudAccount> m_accounts;
    int m_payType = Balance;
    int m_delivery = CloudOrder::ToTheDoor;
    qint64 m_total = 0;
    QString m_explain;
    bool m_priced = false;
};
