#include "LoginWidget.h"

#include "AClock.h"
#include "AConfig.h"
#include "AMessageBox.h"
#include "AQrImage.h"
#include "ASingleton.h"
#include "AStatus.h"
#include "LogText.h"
#include "Secrets.h"
#include "ServiceApi.h"
#include "UiResources.h"
#include "ui_LoginWidget.h"

#include <QDebug>
#include <QMouseEvent>

namespace {
const auto kScanPrompt = QStringLiteral("请使用微信、PavkoAPP扫一扫登录");

ServiceApi service()
{
    return ServiceApi(ASingleton<AConfig>::instance()->https_server());
}
} // namespace

LoginWidget::LoginWidget(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::LoginWidget>())
{
    m_ui->setupUi(this);
    m_ui->lbFlush->setPixmap(uiPicture(QStringLiteral(":/img/flush.png")));
    setWindowTitle(appWindowTitle());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    setMinimumSize(size());
    setMaximumSize(size());
    m_ui->lbFlush->installEventFilter(this);
    if (ASingleton<AStatus>::instance()->runMode() == AStatus::Merchant)
        m_ui->cbxAutoLogin->hide();
    m_code = randomString(16);
    m_pollTimer.setInterval(1000);
    connect(&m_pollTimer, &QTimer::timeout, this, &LoginWidget::poll);
    qInfo() << "LoginWidget show";
}

LoginWidget::~LoginWidget() = default;

int LoginWidget::start()
{
    if (ASingleton<AStatus>::instance()->runMode() == AStatus::EnterpriseOpen) {
        qInfo() << "enterprise open mode. no need login.";
        m_loggedIn = true;
        return 1;
    }
    if (restoreStoredLogin())
        return 1;
    refresh();
    return exec();
}

bool LoginWidget::restoreStoredLogin()
{
    AStatus* status = ASingleton<AStatus>::instance();
    const SUser stored{status->getString(QStringLiteral("login_token")),
                       status->getString(QStringLiteral("login_user_id")),
                       status->getString(QStringLiteral("login_user_name"))};
    const qint64 now = AClock::nowSecs();
    if (!stored.token.contains(QLatin1Char('-')) ||
        status->getInt(QStringLiteral("login_time")) + kStoredLoginSeconds <= now)
        return false;
    m_user = stored;
    qInfo() << "login status in valid time. " << logExcerpt(m_user.userId) << " , "
            << logExcerpt(m_user.userName) << " , " << maskedSecret(m_user.token);
    m_loggedIn = true;
    // Every use extends the seven days.
    status->setInt(QStringLiteral("login_time"), now);
    status->save();
    return true;
}

void LoginWidget::refresh()
{
    m_ui->lbFlush->hide();
    m_ui->lbText->setText(QStringLiteral("连接服务器失败，正在尝试重新连接"));
    if (!scanLogin() && !scanLogin()) {
        m_ui->lbFlush->show();
        m_ui->lbText->setText(QStringLiteral("网络异常，二维码无法展示，请刷新重试"));
        return;
    }
    showQrCode();
    m_pollTimer.start();
}

bool LoginWidget::scanLogin()
{
    const ServiceReply reply =
        service().get(QStringLiteral("/w1/Login/scanLogin"), {{QStringLiteral("code"), m_code}});
    if (!reply.okWithData())
        return false;
    m_loginUrl = reply.dataObject().value(QLatin1String("login_url")).toString();
    return true;
}

void LoginWidget::showQrCode()
{
    m_ui->lbQr->setPixmap(QPixmap::fromImage(makeQrImage(m_loginUrl)));
    m_ui->lbText->setText(kScanPrompt);
}

void LoginWidget::poll()
{
    const ServiceReply reply =
        service().get(QStringLiteral("/w1/Login/seeLogin"), {{QStringLiteral("code"), m_code}});
    // A tick may run inside an earlier tick's wait, and the user may close the window while a tick
    // waits: only the first success before the window closes counts.
    if (!reply.okWithData() || m_loggedIn || m_closed)
        return;
    const QJsonObject data = reply.dataObject();
    m_loggedIn = true;
    m_user = {data.value(QLatin1String("token")).toString(), idText(data.value(QLatin1String("user_id"))),
              data.value(QLatin1String("username")).toString()};
    m_pollTimer.stop();
    qInfo() << "login success. " << logExcerpt(m_user.userId) << " , " << logExcerpt(m_user.userName) << " , "
            << maskedSecret(m_user.token);
    if (m_ui->cbxAutoLogin->isChecked())
        rememberLogin();
    else
        clearStoredLogin();
    accept();
}

void LoginWidget::rememberLogin()
{
    AStatus* status = ASingleton<AStatus>::instance();
    status->setString(QStringLiteral("login_token"), m_user.token);
    status->setString(QStringLiteral("login_user_id"), m_user.userId);
    status->setString(QStringLiteral("login_user_name"), m_user.userName);
    status->setInt(QStringLiteral("login_time"), AClock::nowSecs());
    status->save();
}

void LoginWidget::clearStoredLogin()
{
    AStatus* status = ASingleton<AStatus>::instance();
    status->setString(QStringLiteral("login_token"), QString());
    status->setString(QStringLiteral("login_user_id"), QString());
    status->setString(QStringLiteral("login_user_name"), QString());
    status->setInt(QStringLiteral("login_time"), 0);
    status->save();
}

void LoginWidget::done(int result)
{
    // A closed window stops asking the service.
    m_pollTimer.stop();
    m_closed = true;
    QDialog::done(result);
}

bool LoginWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->lbFlush && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        refresh();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
