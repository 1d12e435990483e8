#include "PayWidget.h"

#include "AConfig.h"
#include "AQrImage.h"
#include "ASingleton.h"
#include "Coins.h"
#include "ServiceApi.h"
#include "ui_PayWidget.h"

#include <QDebug>

PayWidget::PayWidget(const QString& token, int payType, QString& outTradeNo, QString& payUrl, int amount,
                     QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::PayWidget>()), m_token(token), m_outTradeNo(outTradeNo),
      m_payUrl(payUrl)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    setMinimumSize(size());
    setMaximumSize(size());
    if (m_payUrl.isEmpty())
        requestPayUrl(payType, amount);
    m_ui->label_qr->setPixmap(QPixmap::fromImage(makeQrImage(m_payUrl)));
    m_ui->label_txt->setText(payType == kWeChatPay ? QStringLiteral("请使用微信扫码支付")
                                                   : QStringLiteral("请使用支付宝扫码支付"));
    m_pollTimer.setInterval(1000);
    connect(&m_pollTimer, &QTimer::timeout, this, &PayWidget::poll);
    m_pollTimer.start();
}

PayWidget::~PayWidget() = default;

bool PayWidget::payBeforeOrder(const QString& token, int payType, qint64 amount, QWidget* parent)
{
    if (!isAmount(amount)) {
        qWarning() << "PayWidget : no payment of" << amount;
        return false;
    }
    QString outTradeNo;
    QString payUrl;
    PayWidget pay(token, payType, outTradeNo, payUrl, int(amount), parent);
    pay.exec();
    return pay.paid();
}

bool PayWidget::requestPayUrl(int payType, int amount)
{
    const ServiceReply reply = ServiceApi(ASingleton<AConfig>::instance()->https_server(), m_token)
                                   .get(QStringLiteral("/w1/printing/thirdPay"),
                                        {{QStringLiteral("pay_type"), QString::number(payType)},
                                         {QStringLiteral("amount"), QString::number(amount)}});
    qDebug() << "PayWidget thirdPay : " << reply.body();
    if (!reply.okWithData())
        return false;
    m_payUrl = reply.dataObject().value(QLatin1String("pay_code_url")).toString();
    m_outTradeNo = idText(reply.dataObject().value(QLatin1String("out_trade_no")));
    return true;
}

void PayWidget::poll()
{
    if (m_paid)
        return;
    const ServiceReply reply =
        ServiceApi(ASingleton<AConfig>::instance()->https_server(), m_token)
            .get(QStringLiteral("/w1/Printing/paySee"), {{QStringLiteral("out_trade_no"), m_outTradeNo}});
    qDebug() << "PayWidget paySee : " << reply.body();
    // A tick may run inside an earlier tick's wait, and the user may close the window meanwhile: an
    // answer that arrives after that must not turn a closed window into a payment.
    if (m_paid || m_closed || !reply.transportOk())
        return;
    if (reply.code() == 0) {
        m_paid = true;
        m_pollTimer.stop();
        m_ui->label_txt->setText(QStringLiteral("支付成功，2秒后自动关闭"));
        QTimer::singleShot(kCloseDelayMs, this, &QDialog::accept);
    } else if (reply.code() == 1) {
        m_ui->label_txt->setText(reply.msg());
    }
}

void PayWidget::done(int result)
{
    m_pollTimer.stop();
    m_closed = true;
    QDialog::done(result);
}
