#include "BadNetWidget.h"

#include "AMessageBox.h"
#include "UiResources.h"
#include "ui_BadNetWidget.h"

BadNetWidget::BadNetWidget(const QString& message, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::BadNetWidget>())
{
    m_ui->setupUi(this);
    m_ui->label_img->setPixmap(uiPicture(QStringLiteral(":/img/badnet.png")));
    m_ui->label_txt->setText(message);
    setWindowTitle(appWindowTitle());
    setWindowFlags(Qt::Dialog | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
}

BadNetWidget::~BadNetWidget() = default;

void BadNetWidget::on_btn_retry_clicked()
{
    m_result = Retry;
    accept();
}

void BadNetWidget::on_btn_online_clicked()
{
    m_result = GoOnline;
    accept();
}
