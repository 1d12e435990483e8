#include "MainWidget.h"

#include "AMessageBox.h"
#include "ASingleton.h"
#include "AStatus.h"
#include "LoginWidget.h"
#include "MainCloudWidget.h"
#include "MainOnlineWidget.h"
#include "MainPageSize.h"
#include "MainSettingWidget.h"
#include "MainShareWidget.h"
#include "ui_MainWidget.h"

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
        m_ui->btn_share->setEnabled(false);
        on_btn_cloud_clicked();
    } else {
        on_btn_share_clicked();
    }
    if (status->runMode() == 2) {
        m_ui->btn_cloud->hide();
        m_ui->btn_logout->hide();
    }
    qInfo() << "MainWidget show";
}

MainWidget::~MainWidget() = default;

void MainWidget::markCurrent(QToolButton* button, bool current)
{
    button->setStyleSheet(current ? QStringLiteral("QToolButton{border : 0px; color : rgb(6,130,204);}")
                                  : QStringLiteral("QToolButton{border : 0px; color : black}"));
}

void MainWidget::showPage(QWidget* page)
{
    page->move(kMainPagePosition);
    page->show();
}

void MainWidget::succeed()
{
    m_resultCode = Succeeded;
    accept();
}

void MainWidget::on_btn_share_clicked()
{
    if (m_onlinePage) {
        markCurrent(m_ui->btn_share, true);
        m_onlinePage->show();
    } else {
        if (!m_sharePage) {
            m_sharePage = new MainShareWidget(m_user, m_job, m_ui->widget_main);
            connect(m_sharePage, &MainShareWidget::logout, this, &MainWidget::on_btn_logout_clicked);
            connect(m_sharePage, &MainShareWidget::success, this, &MainWidget::succeed);
            connect(m_sharePage, &MainShareWidget::goto_online, this, &MainWidget::gotoOnline);
        }
        markCurrent(m_ui->btn_share, true);
        showPage(m_sharePage);
    }
    if (m_cloudPage) {
        markCurrent(m_ui->btn_cloud, false);
        m_cloudPage->hide();
    }
    if (m_settingPage)
        m_settingPage->hide();
}

void MainWidget::on_btn_cloud_clicked()
{
    if (!m_cloudPage) {
        m_cloudPage = new MainCloudWidget(m_user, m_job, m_ui->widget_main);
        connect(m_cloudPage, &MainCloudWidget::w_hide, this, &QWidget::hide);
        connect(m_cloudPage, &MainCloudWidget::success, this, &MainWidget::succeed);
    }
    markCurrent(m_ui->btn_cloud, true);
    showPage(m_cloudPage);
    if (m_sharePage) {
        markCurrent(m_ui->btn_share, false);
        m_sharePage->hide();
        if (m_onlinePage)
            m_onlinePage->hide();
    }
    if (m_settingPage)
        m_settingPage->hide();
}

void MainWidget::on_btn_helper_clicked()
{
    QDesktopServices::openUrl(QUrl(kCustomerServiceUrl));
}

void MainWidget::on_btn_setting_clicked()
{
    if (!m_settingPage)
        m_settingPage = new MainSettingWidget(false, m_ui->widget_main);
    showPage(m_settingPage);
    if (m_sharePage) {
        markCurrent(m_ui->btn_share, false);
        m_sharePage->hide();
        if (m_onlinePage)
            m_onlinePage->hide();
    }
    if (m_cloudPage) {
        markCurrent(m_ui->btn_cloud, false);
        m_cloudPage->hide();
    }
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
        m_onlinePage = new MainOnlineWidget(m_user, m_job, m_ui->widget_main);
        connect(m_onlinePage, &MainOnlineWidget::success, this, &MainWidget::succeed);
    }
    m_sharePage->hide();
    showPage(m_onlinePage);
    m_ui->btn_share->setText(QStringLiteral("线\n上\n打\n印"));
}
