#include "MainCloudWidget.h"

#include "AConfig.h"
#include "AMessageBox.h"
#include "ASingleton.h"
#include "CloudSuccess.h"
#include "CloudWidget1.h"
#include "CloudWidget2.h"
#include "EnterKey.h"
#include "MainPageSize.h"
#include "PayWidget.h"
#include "TabOrder.h"
#include "UIFile.h"
#include "UIFileList.h"
#include "ui_MainCloudWidget.h"

#include <QPointer>

namespace {
// Asked before an order whose answer was lost is sent again.
const auto kAskResend =
    QStringLiteral("上次提交的云印到家订单未收到服务器应答，订单可能已经生成。\n"
                   "请先在移动端查看您的订单，以免重复下单、重复扣费。\n是否仍要重新提交？");
} // namespace

MainCloudWidget::MainCloudWidget(const SUser& user, SJob* job, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::MainCloudWidget>()), m_user(user), m_job(job)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    setFixedSize(kMainPageSize);
    clickOnEnter(this, {m_ui->btn_next, m_ui->btn_commit});
    m_step1 = new CloudWidget1(m_user, m_ui->widget_step);
    m_step2 = new CloudWidget2(m_user, m_step1, m_ui->widget_step);
    // The steps' buttons are the page's way on, reached after what the step asks for.
    tabAfter(lastInTabChain(m_ui->widget_step), {m_ui->btn_prev, m_ui->btn_next, m_ui->btn_commit});
    showStep2(false);
}

MainCloudWidget::~MainCloudWidget() = default;

void MainCloudWidget::on_btn_next_clicked()
{
    if (!m_step1->fileList()->allRowsAt(UIFile::Converted,
                                        QStringLiteral("部分文件转码未完成，请稍等。\n谢谢！")))
        return;
    m_step2->computeAmount();
    showStep2(true);
}

void MainCloudWidget::on_btn_prev_clicked()
{
    showStep2(false);
}

void MainCloudWidget::showStep2(bool shown)
{
    m_ui->btn_next->setVisible(!shown);
    m_ui->btn_prev->setVisible(shown);
    m_ui->btn_commit->setVisible(shown);
    m_step1->setVisible(!shown);
    m_step2->setVisible(shown);
}

void MainCloudWidget::on_btn_commit_clicked()
{
    // A second click while the payment or the order is under way would place a second order.
    m_ui->btn_commit->setEnabled(false);
    QPointer<MainCloudWidget> self(this);
    const bool placed = placeOrder();
    if (!self)
        return;
    m_ui->btn_commit->setEnabled(true);
    if (!placed)
        return;
    if (m_job)
        m_job->state = SJob::OrderedForDelivery;
    emit w_hide();
    CloudSuccess(this).exec();
    emit success();
}

bool MainCloudWidget::placeOrder()
{
    const std::optional<CloudAddress> address = m_step1->selectedAddress();
    const std::optional<CloudProvider> provider = m_step1->selectedProvider();
    const std::optional<CloudAccount> account = m_step2->selectedAccount();
    if (!address || !provider) {
        warnBox(QStringLiteral("请选择收件地址和服务商"));
        return false;
    }
    if (!account) {
        warnBox(QStringLiteral("请选择付款账户"));
        return false;
    }
    // The amount is what the user saw; an unpriced order would be placed for less than it costs.
    m_step2->computeAmount();
    if (!m_step2->isPriced()) {
        warnBox(QStringLiteral("文件设置异常，请检查打印参数或服务商后，再提交"));
        return false;
    }
    const qint64 total = m_step2->total();
    const int payType = m_step2->payType();
    if (payType == CloudWidget2::Balance && account->amount < total) {
        infoBox(QStringLiteral("余额不足，请重新选择支付账户"));
        return false;
    }
    QList<CloudDocument> documents;
    for (const UIFile* row : m_step1->fileList()->cloudRows())
        documents.append(row->document());
    const QJsonObject body =
        CloudOrder::orderBody(documents, *provider, *address, account->id, m_step2->remark());
    const QString content = CloudOrder::orderContent(body);
    // The service cannot be asked whether an order whose answer was lost was placed: the user checks.
    if (m_orderKey.answerLost(content) && askBox(kAskResend, QMessageBox::No) != QMessageBox::Yes)
        return false;
    if (payType == CloudWidget2::WeChatPay || payType == CloudWidget2::Alipay) {
        if (!PayWidget::payBeforeOrder(m_user.token, payType, total, this))
            return false;
        // Paid into the balance: should the order fail, the next attempt pays from there, not twice.
        m_step2->paidIntoBalance();
    }
    // Sent again after a lost answer under the same key, so that the service places it once.
    ServiceApi service(ASingleton<AConfig>::instance()->https_server(), m_user.token);
    service.setTimeoutSec(m_orderTimeoutSec);
    const CloudOrder::Placement placement =
        CloudOrder::placeOrder(service, body, m_orderKey.keyFor(content, m_user.userId));
    m_orderKey.settle(placement.outcome);
    m_orderId = placement.orderId;
    if (placement.outcome == OrderKey::AnswerLost) {
        warnBox(QStringLiteral("联网失败，请检查当前电脑是否联网正常"));
        return false;
    }
    if (placement.outcome == OrderKey::Refused) {
        warnBox(QStringLiteral("云印到家订单生成失败."));
        return false;
    }
    return true;
}
