#pragma once

#include "SJob.h"
#include "SUser.h"

#include <QDialog>
#include <memory>

class DWebSocket;
class MainCloudWidget;
class MainOnlineWidget;
class MainSettingWidget;
class MainShareWidget;
class QToolButton;

namespace Ui {
class MainWidget;
}

// The main window: a navigation column and the pages of the flows. Run modally, once per job (or per
// cloud-mode run) after the login; its result tells the runner what to do next.
class MainWidget : public QDialog
{
    Q_OBJECT

public:
    enum Result
    {
        Succeeded = 0,
        Closed = 1,
        LoggedOut = 2
    };

    // job may be null (cloud mode has no spooled job).
    MainWidget(const SUser& user, SJob* job, QWidget* parent = nullptr);
    ~MainWidget() override;

    int resultCode() const { return m_resultCode; }

private slots:
    void on_btn_share_clicked();
    void on_btn_cloud_clicked();
    void on_btn_helper_clicked();
    void on_btn_setting_clicked();
    void on_btn_logout_clicked();

private:
    void gotoOnline();
    // The push channel the online and print-and-deliver pages listen to, made on first need.
    void ensureChannel();
    void succeed();
    // Shows page in the content area, hides the others and marks the tall button that leads to it.
    void switchTo(QWidget* page, QToolButton* current);

    int m_resultCode = Closed;
    const SUser& m_user;
    SJob* m_job;
    MainShareWidget* m_sharePage = nullptr;
    MainOnlineWidget* m_onlinePage = nullptr;
    MainCloudWidget* m_cloudPage = nullptr;
    MainSettingWidget* m_settingPage = nullptr;
    DWebSocket* m_channel = nullptr;
    std::unique_ptr<Ui::MainWidget> m_ui;
};
