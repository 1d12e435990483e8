#include "MainSettingWidget.h"

#include "AConfig.h"
#include "AMessageBox.h"
#include "APlatform.h"
#include "ASingleton.h"
#include "AStatus.h"
#include "SUpgrade.h"
#include "ServiceApi.h"
#include "ui_MainSettingWidget.h"

namespace {
// Combo entries in the order of the stored run modes (index = run_mode - 1).
const char* const kModeTexts[] = {"基础版", "企业全开放版", "店面商家版"};

// Only a whole decimal number is an id; whatever else was typed is no id at all.
bool isDecimalId(const QString& text)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}
} // namespace

MainSettingWidget::MainSettingWidget(bool standalone, QWidget* parent)
    : QWidget(parent), m_standalone(standalone), m_ui(std::make_unique<Ui::MainSettingWidget>())
{
    m_ui->setupUi(this);
    setWindowTitle(appWindowTitle());
    setFixedSize(size());
    {
        // The stored mode is selected below; no view change until then.
        const QSignalBlocker quiet(m_ui->cbx_mode);
        for (const char* text : kModeTexts)
            m_ui->cbx_mode->addItem(QString::fromUtf8(text));
        const int mode = ASingleton<AStatus>::instance()->runMode();
        m_ui->cbx_mode->setCurrentIndex(mode >= AStatus::Basic && mode <= AStatus::Merchant ? mode - 1 : 0);
    }
    on_cbx_mode_currentIndexChanged(m_ui->cbx_mode->currentIndex());
}

MainSettingWidget::~MainSettingWidget() = default;

void MainSettingWidget::on_cbx_mode_currentIndexChanged(int index)
{
    const bool bound = index == AStatus::EnterpriseOpen - 1 || index == AStatus::Merchant - 1;
    if (bound) {
        const bool enterprise = index == AStatus::EnterpriseOpen - 1;
        m_ui->label_company_id->setText(enterprise ? QStringLiteral("企业ID：") : QStringLiteral("商家ID："));
        // The number comes with the deployment; without one the line would end in nothing.
        const QString phone = ASingleton<AConfig>::instance()->after_sales_phone();
        m_ui->label_tips->setText(
            (enterprise ? QStringLiteral("企业ID可联系售后获取.") : QStringLiteral("商家ID可联系售后获取.")) +
            (phone.isEmpty() ? QString() : QStringLiteral("\n售后电话：") + phone));
    }
    for (QWidget* widget :
         {static_cast<QWidget*>(m_ui->label_company_id), static_cast<QWidget*>(m_ui->edt_company_id),
          static_cast<QWidget*>(m_ui->label_phone), static_cast<QWidget*>(m_ui->edt_phone),
          static_cast<QWidget*>(m_ui->label_tips)})
        widget->setVisible(bound);
}

bool MainSettingWidget::authorizeRunMode(const QString& serviceUrl, int runMode, const QString& companyId,
                                         const QString& phone)
{
    const ServiceReply reply = ServiceApi(serviceUrl)
                                   .get(QStringLiteral("/w1/Printing/authRunModeBymobile"),
                                        {{QStringLiteral("run_mode"), QString::number(runMode)},
                                         {QStringLiteral("agency_id"), companyId},
                                         {QStringLiteral("mobile"), phone}});
    return reply.ok();
}

void MainSettingWidget::on_btn_ok_clicked()
{
    const int mode = m_ui->cbx_mode->currentIndex() + 1;
    const QString idText = m_ui->edt_company_id->text();
    const QString phone = m_ui->edt_phone->text();
    if (mode == AStatus::EnterpriseOpen || mode == AStatus::Merchant) {
        const bool enterprise = mode == AStatus::EnterpriseOpen;
        // An id that is not a number would be stored as 0 after the service accepted it.
        if (!isDecimalId(idText)) {
            infoBox(enterprise ? QStringLiteral("请输入企业ID") : QStringLiteral("请输入商家ID"));
            return;
        }
        if (phone.isEmpty()) {
            infoBox(QStringLiteral("请输入主要联系人电话"));
            return;
        }
        if (!authorizeRunMode(ASingleton<AConfig>::instance()->https_server(), mode, idText, phone)) {
            infoBox(QStringLiteral("校验失败."));
            return;
        }
    }
    AStatus* status = ASingleton<AStatus>::instance();
    if (status->runMode() != mode) {
        // Another mode, another way in: the stored login belongs to the old one.
        status->setString(QStringLiteral("login_token"), QString());
        status->setString(QStringLiteral("login_user_id"), QString());
        status->setString(QStringLiteral("login_user_name"), QString());
        status->setInt(QStringLiteral("login_time"), 0);
    }
    status->setInt(QStringLiteral("run_mode"), mode);
    status->setInt(QStringLiteral("company_id"), isDecimalId(idText) ? idText.toLongLong() : 0);
    status->save();
    finish();
}

void MainSettingWidget::on_btn_upgrade_clicked()
{
    m_ui->btn_upgrade->setEnabled(false);
    QString message;
    bool started = false;
    {
        SUpgrade upgrade;
        started = upgrade.upgradeNow(message);
    }
    if (!started) {
        if (!message.isEmpty())
            infoBox(message);
        m_ui->btn_upgrade->setEnabled(true);
        return;
    }
    // The installer replaces the program's files: no copy of it may keep running.
    if (m_standalone)
        killProcess(QStringLiteral("pavkodriver"));
    finish();
}

void MainSettingWidget::finish()
{
    emit finished();
}
