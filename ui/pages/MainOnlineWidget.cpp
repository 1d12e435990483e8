#include "MainOnlineWidget.h"

#include "EnterKey.h"
#include "MainPageSize.h"
#include "OnlineWidget1.h"
#include "OnlineWidget2.h"
#include "TabOrder.h"
#include "UIFile2.h"
#include "UIFileList2.h"
#include "ui_MainOnlineWidget.h"

MainOnlineWidget::MainOnlineWidget(const SUser& user, SJob* job, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::MainOnlineWidget>()), m_user(user), m_job(job)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    setFixedSize(kMainPageSize);
    clickOnEnter(this, {m_ui->btn_next});
    if (m_job)
        m_job->state = SJob::ContinuedOnline;
    m_step1 = new OnlineWidget1(m_user, m_ui->widget_step);
    m_step2 = new OnlineWidget2(m_user, m_step1, m_ui->widget_step);
    connect(m_step2, &OnlineWidget2::success, this, &MainOnlineWidget::success);
    // The steps' buttons sit below them, and are reached last.
    tabAfter(lastInTabChain(m_ui->widget_step), {m_ui->btn_prev, m_ui->btn_next});
    m_step2->hide();
    m_step1->show();
    m_ui->btn_prev->hide();
    m_ui->btn_next->show();
}

MainOnlineWidget::~MainOnlineWidget() = default;

void MainOnlineWidget::on_btn_next_clicked()
{
    if (!m_step1->fileList()->allRowsAt(UIFile2::Ready,
                                        QStringLiteral("部分文件处理未完成，请稍等。\n谢谢！")))
        return;
    m_step2->computeAmounts();
    m_ui->btn_next->hide();
    m_ui->btn_prev->show();
    m_step1->hide();
    m_step2->show();
}

void MainOnlineWidget::on_btn_prev_clicked()
{
    const std::optional<DeviceEntry> device = m_step2->selectedDevice();
    m_step1->fileList()->setDeviceCapabilities(device ? std::optional<PrintConfiguration>(device->printConfig)
                                                      : std::nullopt);
    m_ui->btn_next->show();
    m_ui->btn_prev->hide();
    // The steps' buttons sit below them, and are reached last.
    tabAfter(lastInTabChain(m_ui->widget_step), {m_ui->btn_prev, m_ui->btn_next});
    m_step2->hide();
    m_step1->show();
}
