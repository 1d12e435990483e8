#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>

namespace Ui {
class PayWidget;
}

// Takes one payment by QR code: shows the payment URL (asking the service for one when none is given)
// for WeChat Pay or Alipay, asks the service every second whether the money has arrived, and closes
// two seconds after it has. The caller runs it modally and then reads paid().
class PayWidget : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kWeChatPay = 2;
    static constexpr int kAlipay = 3;
    static constexpr int kCloseDelayMs = 2000;

    // outTradeNo and payUrl are written back when the service hands them out; amount in hundredths.
    PayWidget(const QString& token, int payType, QString& outTradeNo, QString& payUrl, int amount,
              QWidget* parent = nullptr);
    ~PayWidget() override;

    bool paid() const { return m_paid; }

    // Pays for an order before it is placed (online printing, print-and-deliver): runs the dialog, which
    // asks the service for a code of that type and amount. True once the money has arrived; false when
    // the user closed the window first or the amount is no price (nothing is asked then).
    static bool payBeforeOrder(const QString& token, int payType, qint64 amount, QWidget* parent);

    void done(int result) override;

private:
    bool requestPayUrl(int payType, int amount);
    void poll();

    std::unique_ptr<Ui::PayWidget> m_ui;
    QString m_token;
    QString& m_outTradeNo;
    QString& m_payUrl;
    bool m_paid = false;
    bool m_closed = false;
    QTimer m_pollTimer;
};
