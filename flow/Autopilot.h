#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <optional>

class JobStatusWidget;
class MainCloudWidget;
class MainOnlineWidget;
class MainShareWidget;
class QMessageBox;

// Plays the user in demos and end-to-end runs where nobody sits at the screen: waits through the QR
// login (the service counts it as scanned), takes the share page's remembered account and device, pays
// by balance or WeChat Pay, and accepts every message box, saying on standard output what it does.
// In cloud mode it waits until every document of the online page is ready, goes to step 2, pays by
// balance and orders; with the flow "delivery" it takes them to the print-and-deliver page instead, looks
// into the address dialogs, and orders them delivered. When a job has reached its device, or failed, it
// appends what the job went through to a receipt file: document, pages, copies, price, account, device, the
// statuses and the seconds of each stage.
class Autopilot : public QObject
{
public:
    enum class Payment
    {
        Balance,
        WeChat
    };

    // The one the configuration asks for; none when its "autopilot" is empty or names no payment.
    // status: the job status window of driver mode; null in cloud mode.
    static std::unique_ptr<Autopilot> fromConfig(JobStatusWidget* status);

    // screenshotFolder: where pictures of the windows go; empty for none. delivery: cloud mode's documents
    // are ordered for print-and-deliver.
    Autopilot(Payment payment, QString receiptPath, QString screenshotFolder, JobStatusWidget* status,
              bool delivery = false, QObject* parent = nullptr);

private:
    void look();
    void answer(QMessageBox* box);
    // Chooses on the share page and prints, as a user would; runs outside look(), as clicks start
    // modal windows.
    void print(QPointer<MainShareWidget> page);
    // Steps through the online page as far as its documents allow; runs outside look().
    void playOnline(QPointer<MainOnlineWidget> page);
    // Moves the documents to the print-and-deliver page and steps through it; runs outside look().
    void playDelivery(QPointer<QWidget> window);
    // The address dialogs, opened from the print-and-deliver page: pictures, then closed.
    void lookAtAddresses(QWidget* dialog);
    // True the first time for that name.
    bool once(const QString& name);
    void onStatus(int jobId, const QString& deviceCode, const QString& deviceName, const QString& docName,
                  const QString& status, int pages);
    // The first time a stage of the current job is seen.
    void reach(const QString& stage);
    void writeReceipt(const QString& outcome);
    void printReceipt(const QJsonObject& job) const;
    void say(const QString& text) const;
    // Saves a picture of the window as name + ".png" in the screenshot folder, once the window has been
    // laid out and painted.
    void snap(QWidget* window, const QString& name);

    const Payment m_payment;
    const QString m_receiptPath;
    const QString m_screenshotFolder;
    JobStatusWidget* const m_status;
    QTimer m_timer;
    QPointer<MainShareWidget> m_printedFrom; // the page of the current job, once chosen on
    bool m_printing = false;
    bool m_onlineOrdered = false;
    const bool m_delivery;
    QStringList m_snapped; // pictures taken and steps done in cloud mode, once each
    QJsonObject m_job;     // what the user chose for the current job
    QJsonArray m_stages;   // {"stage", "at" (ms since epoch)} in the order reached
    QJsonArray m_statuses; // as the status window showed them
};
