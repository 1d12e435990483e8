#include "CloudWidget2.h"

#include "AConfig.h"
#include "AMessageBox.h"
#include "ASingleton.h"
#include "ChoiceButton.h"
#include "CloudWidget1.h"
#include "Coins.h"
#include "UIFile.h"
#include "UIFileList.h"
#include "ui_CloudWidget2.h"

#include <QSignalBlocker>

CloudWidget2::CloudWidget2(const SUser& user, CloudWidget1* step1, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CloudWidget2>()), m_user(user), m_step1(step1)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    setDelivery(CloudOrder::ToTheDoor);
    setPayType(Balance);
    loadAccounts();
}

CloudWidget2::~CloudWidget2() = default;

void CloudWidget2::loadAccounts()
{
    const std::optional<CloudAccount> chosen = selectedAccount();
    m_accounts = CloudOrder::fetchAccounts(
        ServiceApi(ASingleton<AConfig>::instance()->https_server(), m_user.token), m_user.userId);
    {
        const QSignalBlocker blocker(m_ui->cbx_account);
        m_ui->cbx_account->clear();
        for (const CloudAccount& account : qAsConst(m_accounts)) {
            m_ui->cbx_account->addItem(account.name +
                                       QStringLiteral(" (余额 %1 印币)").arg(coins(account.amount)));
            if (chosen && account.id == chosen->id)
                m_ui->cbx_account->setCurrentIndex(m_ui->cbx_account->count() - 1);
        }
    }
    on_cbx_account_currentIndexChanged(m_ui->cbx_account->currentIndex());
}

void CloudWidget2::paidIntoBalance()
{
    setPayType(Balance);
    loadAccounts();
}

std::optional<CloudAccount> CloudWidget2::selectedAccount() const
{
    const int index = m_ui->cbx_account->currentIndex();
    if (index < 0 || index >= m_accounts.size())
        return std::nullopt;
    return m_accounts[index];
}

QString CloudWidget2::remark() const
{
    return m_ui->ted_mark->toPlainText();
}

void CloudWidget2::on_cbx_account_currentIndexChanged(int index)
{
    if (index < 0 || index >= m_accounts.size())
        return;
    // QR payments fill the personal balance; a company pays from its own.
    const bool personal = m_accounts[index].id == 0;
    m_ui->btn_wxpay->setVisible(personal);
    m_ui->btn_alipay->setVisible(personal);
    if (!personal)
        setPayType(Balance);
}

void CloudWidget2::setDelivery(int delivery)
{
    m_delivery = delivery;
    markChoice(m_ui->btn_mail, delivery == CloudOrder::ToTheDoor);
    markChoice(m_ui->btn_self, delivery == CloudOrder::PickUp);
}

void CloudWidget2::setPayType(int payType)
{
    m_payType = payType;
    markChoice(m_ui->btn_blance, payType == Balance);
    markChoice(m_ui->btn_wxpay, payType == WeChatPay);
    markChoice(m_ui->btn_alipay, payType == Alipay);
}

void CloudWidget2::on_btn_mail_clicked()
{
    setDelivery(CloudOrder::ToTheDoor);
    computeAmount();
}

void CloudWidget2::on_btn_self_clicked()
{
    setDelivery(CloudOrder::PickUp);
    computeAmount();
}

void CloudWidget2::on_btn_blance_clicked()
{
    setPayType(Balance);
}
void CloudWidget2::on_btn_wxpay_clicked()
{
    setPayType(WeChatPay);
}
void CloudWidget2::on_btn_alipay_clicked()
{
    setPayType(Alipay);
}

void CloudWidget2::on_btn_detail_clicked()
{
    infoBox(m_explain);
}

void CloudWidget2::computeAmount()
{
    const std::optional<CloudProvider> provider = m_step1->selectedProvider();
    // An amount left from before would be taken for the price of what is chosen now.
    m_priced = false;
    m_total = 0;
    m_explain.clear();
    CloudOrder::Amount amount{true, 0, QString()};
    if (provider) {
        QList<CloudDocument> documents;
        for (const UIFile* row : m_step1->fileList()->cloudRows())
            documents.append(row->document());
        amount = CloudOrder::amount(documents, *provider, m_delivery);
    }
    if (amount.error) {
        m_ui->label_amount->setText(QStringLiteral("异常"));
        m_ui->label_amount->setToolTip(QString());
        m_ui->btn_detail->setToolTip(QString());
        return;
    }
    m_priced = true;
    m_total = amount.total;
    m_explain = amount.explanation;
    m_ui->label_amount->setText(coins(m_total));
    m_ui->label_amount->setToolTip(m_explain);
    m_ui->btn_detail->setToolTip(m_explain);
}
