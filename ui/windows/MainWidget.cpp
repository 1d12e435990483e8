#include "MainWidget.h"

#include "AMessageBox.h"
#include "ASingleton.h"
#include "AStatus.h"
#include "DWebSocket.h"
#include "LoginWidget.h"
#include "MainCloudWidget.h"
#include "MainOnlineWidget.h"
#include "MainPageSize.h"
#include "MainSettingWidget.h"
#include "MainShareWidget.h"
#include "UiResources.h"
#include "ui_MainWidget.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QUrl>

namespace {
const auto kCustomerServiceUrl = QStringLiteral("https://www.pavkoprint.com/help");
}

MainWidget::MainWidget(const SUser& user, SJob* job, QWidget* parent)
    : QDialog(parent), m_user(user), m_job(job), m_ui(std::make_unique<Ui::MainWidget>())
{
    m_ui->setupUi(this);
    m_ui->label_ads->setPixmap(uiPicture(QStringLiteral(":/img/ads.png")));
    setWindowTitle(appWindowTitle());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setMinimumSize(size());
    setMaximumSize(size());
    setFocusPolicy(Qt::StrongFocus);
    m_ui->label_uname->setText(QStringLiteral("您好，") + m_user.userName +
                               QStringLiteral("，欢迎使用Pavko智能云打印系统"));

    const AStatus* status = ASingleton<AStatus>::instance();
    if (status->getInt(QStringLiteral("software_mode")) == 1) {
        // Cloud mode runs the print-and-deliver flow on the documents handed to it; there is no
        // spooled job to print by self-service.
        m_ui->btn_share->setEnabled(false);
        on_btn_cloud_clicked();
    } else {
        on_btn_share_clicked();
    }
    if (status->runMode() == AStatus::EnterpriseOpen) {
        m_ui->btn_cloud->hide();
        m_ui->btn_logout->hide();
    }
    qInfo() << "MainWidget show";
}

MainWidget::~MainWidget()
{
    delete m_channel;
}

void MainWidget::ensureChannel()
{
    if (m_channel)
        return;
    m_channel = new DWebSocket(m_user.userId);
    connect(m_channel, &DWebSocket::login_rejected, this, [](const QString& message) { infoBox(message); });
}

void MainWidget::switchTo(QWidget* page, QToolButton* current)
{
    for (QWidget* other : {static_cast<QWidget*>(m_sharePage), static_cast<QWidget*>(m_onlinePage),
                           static_cast<QWidget*>(m_cloudPage), static_cast<QWidget*>(m_settingPage)}) {
        if (other && other != page)
            other->hide();
    }
    page->move(kMainPagePosition);
    page->show();
    for (QToolButton* button : {m_ui->btn_share, m_ui->btn_cloud}) {
        button->setStyleSheet(button == current
                                  ? QStringLiteral("QToolButton{border : 0px; color : rgb(6,130,204);}")
                                  : QStringLiteral("QToolButton{border : 0px; color : black}"));
    }
}

void MainWidget::succeed()
{
    m_resultCode = Succeeded;
    accept();
}

void MainWidget::on_btn_share_clicked()
{
    // Once the job went on as online printing, this button leads there.
    if (m_onlinePage) {
        switchTo(m_onlinePage, m_ui->btn_share);
        return;
    }
    if (!m_sharePage) {
        m_sharePage = new MainShareWidget(m_user, m_job, m_ui->widget_main);
        connect(m_sharePage, &MainShareWidget::logout, this, &MainWidget::on_btn_logout_clicked);
        connect(m_sharePage, &MainShareWidget::success, this, &MainWidget::succeed);
        connect(m_sharePage, &MainShareWidget::goto_online, this, &MainWidget::gotoOnline);
    }
    switchTo(m_sharePage, m_ui->btn_share);
}

void MainWidget::on_btn_cloud_clicked()
{
    if (!m_cloudPage) {
        ensureChannel();
        m_cloudPage = new MainCloudWidget(m_user, m_job, m_ui->widget_main);
        connect(m_cloudPage, &MainCloudWidget::w_hide, this, &QWidget::hide);
        connect(m_cloudPage, &MainCloudWidget::success, this, &MainWidget::succeed);
    }
    switchTo(m_cloudPage, m_ui->btn_cloud);
}

void MainWidget::on_btn_helper_clicked()
{
    QDesktopServices::openUrl(QUrl(kCustomerServiceUrl));
}

void MainWidget::on_btn_setting_clicked()
{
    if (!m_settingPage) {
        m_settingPage = new MainSettingWidget(false, m_ui->widget_main);
        // A new run mode or an installer under way: the client ends and starts again as it should.
        connect(m_settingPage, &MainSettingWidget::finished, qApp, &QCoreApplication::quit,
                Qt::QueuedConnection);
    }
    switchTo(m_settingPage, nullptr);
}

void MainWidget::on_btn_logout_clicked()
{
    LoginWidget::clearStoredLogin();
    m_resultCode = LoggedOut;
    accept();
}

void MainWidget::gotoOnline()
{
    if (!m_onlinePage) {
        ensureChannel();
        m_onlinePage = new MainOnlineWidget(m_user, m_job, m_ui->widget_main);
        connect(m_onlinePage, &MainOnlineWidget::success, this, &MainWidget::succeed);
    }
    switchTo(m_onlinePage, m_ui->btn_share);
    m_ui->btn_share->setText(QStringLiteral("线\n上\n打\n印"));
}
