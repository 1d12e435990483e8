#include "CloudSuccess.h"

#include "AMessageBox.h"
#include "ui_CloudSuccess.h"

CloudSuccess::CloudSuccess(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::CloudSuccess>())
{
    m_ui->setupUi(this);
    setUpDialogFrame(this);
}

CloudSuccess::~CloudSuccess() = default;

void CloudSuccess::on_pushButton_clicked()
{
    accept();
}
