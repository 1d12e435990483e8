#include "MainSettingWidget.h"

#include "AMessageBox.h"
#include "ui_MainSettingWidget.h"

MainSettingWidget::MainSettingWidget(bool standalone, QWidget* parent)
    : QWidget(parent), m_standalone(standalone), m_ui(std::make_unique<Ui::MainSettingWidget>())
{
    m_ui->setupUi(this);
    if (m_standalone)
        setWindowTitle(appWindowTitle());
}

MainSettingWidget::~MainSettingWidget() = default;
