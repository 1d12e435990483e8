#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class MainSettingWidget;
}

// The settings page: run mode and manual upgrade. Shown inside the main window, or alone.
class MainSettingWidget : public QWidget
{
    Q_OBJECT

public:
    MainSettingWidget(bool standalone, QWidget* parent = nullptr);
    ~MainSettingWidget() override;

private:
    bool m_standalone;
    std::unique_ptr<Ui::MainSettingWidget> m_ui;
};
