#include "CloudSuccess.h"

#include "AMessageBox.h"
#include "UiResources.h"
#include "ui_CloudSuccess.h"

CloudSuccess::CloudSuccess(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::CloudSuccess>())
{
    m_ui->setupUi(this);
    m_ui->label_app->setPixmap(uiPicture(QStringLiteral(":/img/download_app.ico")));
    m_ui->label_wx->setPixmap(uiPicture(QStringLiteral(":/img/download_wx.ico")));
    setUpDialogFrame(this);
}

CloudSuccess::~CloudSuccess() = default;

void CloudSuccess::on_pushButton_clicked()
{
    accept();
}
