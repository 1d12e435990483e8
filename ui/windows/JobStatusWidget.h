#pragma once

#include <QMap>
#include <QMutex>
#include <QSet>
#include <QWidget>
#include <memory>

class QSystemTrayIcon;

namespace Ui {
class JobStatusWidget;
}

// The window (and tray icon) that lists the jobs waiting for or going to a print device since start-up.
// It is also the pipeline's message hub: stages on other threads reach it only through its signals,
// which are queued to the GUI thread.
class JobStatusWidget : public QWidget
{
    Q_OBJECT

public:
    explicit JobStatusWidget(QWidget* parent = nullptr);
    ~JobStatusWidget() override;

    bool isTrayIconVisible() const;
    // The job's row keeps its place and offers "重新发送" (emitting job_resend) until it is clicked.
    void offerResend(int job_id);

signals:
    void job_msg(int job_id, const QString& device_code, const QString& device_name, const QString& doc_name,
                 const QString& job_status, int job_pages);
    void job_del(int job_id);
    void job_cancel(int job_id);
    void information(const QString& msg);
    void warning(const QString& msg);
    void information_rb(const QString& msg, int auto_close_time);
    // The user asked to send a kept job again.
    void job_resend(int job_id);

private slots:
    void job_msg_slot(int job_id, const QString& device_code, const QString& device_name,
                      const QString& doc_name, const QString& job_status, int job_pages);
    void job_del_slot(int job_id);
    void job_cancel_slot(int job_id);
    void information_slot(const QString& msg);
    void warning_slot(const QString& msg);
    void information_rb_slot(const QString& msg, int auto_close_time);

private:
    void setUpTable();
    void setUpTray();
    void addRow(int job_id, const QString& destination, const QString& doc_name, const QString& job_status,
                int job_pages);
    // Removes the job's row; false when the job has none.
    bool removeRow(int job_id);
    void fitToRows();

    std::unique_ptr<Ui::JobStatusWidget> m_ui;
    void removeActionButton(int row);

    QMap<int, int> m_rows;  // job id → table row
    QSet<int> m_resendable; // rows that stay until the job is sent again
    QMutex m_mutex;
    QSize m_designSize; // the form's, the least the window takes
    QSystemTrayIcon* m_tray;
};
