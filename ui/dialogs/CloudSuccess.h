#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class CloudSuccess;
}

// Tells the user that the print-and-deliver order is placed and where to follow it.
class CloudSuccess : public QDialog
{
    Q_OBJECT

public:
    explicit CloudSuccess(QWidget* parent = nullptr);
    ~CloudSuccess() override;

private slots:
    void on_pushButton_clicked();

private:
    std::unique_ptr<Ui::CloudSuccess> m_ui;
};
