#pragma once

#include "SUser.h"

#include <QDialog>
#include <QTimer>
#include <memory>

namespace Ui {
class LoginWidget;
}

// Signs the user in without a password: shows a one-time login URL as a QR code and polls the service
// until the user has scanned and confirmed it. A login may be remembered for seven days; the
// enterprise open run mode needs none.
class LoginWidget : public QDialog
{
    Q_OBJECT

public:
    static constexpr qint64 kStoredLoginSeconds = 604800;

    explicit LoginWidget(QWidget* parent = nullptr);
    ~LoginWidget() override;

    // Instead of exec(): 1 when the user is logged in (at once when a stored login is valid), 0 when the
    // user closed the window.
    int start();
    SUser user() const { return m_user; }
    // Forgets the remembered login.
    static void clearStoredLogin();

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool restoreStoredLogin();
    void refresh();
    bool scanLogin();
    void showQrCode();
    void poll();
    void rememberLogin();

    std::unique_ptr<Ui::LoginWidget> m_ui;
    bool m_loggedIn = false;
    bool m_closed = false;
    SUser m_user;
    QString m_code;
    QString m_loginUrl;
    QTimer m_pollTimer;
};
