#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class BadNetWidget;
}

// Tells the user a device cannot be reached and lets them retry or print online instead.
class BadNetWidget : public QDialog
{
    Q_OBJECT

public:
    enum Result
    {
        Closed = 0,
        Retry = 1,
        GoOnline = 2
    };

    explicit BadNetWidget(const QString& message, QWidget* parent = nullptr);
    ~BadNetWidget() override;

    int result() const { return m_result; }

private slots:
    void on_btn_retry_clicked();
    void on_btn_online_clicked();

private:
    std::unique_ptr<Ui::BadNetWidget> m_ui;
    int m_result = Closed;
};
