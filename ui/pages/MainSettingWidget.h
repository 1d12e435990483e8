#pragma once

#include <QString>
#include <QWidget>
#include <memory>

namespace Ui {
class MainSettingWidget;
}

// The settings page: run mode and manual upgrade. Shown inside the main window, or alone. Saving a mode
// or starting an installer emits finished(), upon which its owner ends the client.
class MainSettingWidget : public QWidget
{
    Q_OBJECT

public:
    MainSettingWidget(bool standalone, QWidget* parent = nullptr);
    ~MainSettingWidget() override;

    // Whether the service accepts this id and main contact phone for the run mode (2 or 3).
    static bool authorizeRunMode(const QString& serviceUrl, int runMode, const QString& companyId,
                                 const QString& phone);

signals:
    // The settings were saved or an installer started: the client must quit.
    void finished();

private slots:
    void on_cbx_mode_currentIndexChanged(int index);
    void on_btn_ok_clicked();
    void on_btn_upgrade_clicked();

private:
    void finish();

    bool m_standalone;
    std::unique_ptr<Ui::MainSettingWidget> m_ui;
};
