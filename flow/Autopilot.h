#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <optional>

class AConfig;
class JobStatusWidget;
class MainCloudWidget;
class MainOnlineWidget;
class MainShareWidget;
class QMessageBox;

// Plays the user in demos and end-to-end runs where nobody sits at the screen: waits through the QR
// login (the service counts it as scanned), takes the share page's remembered account and device, pays
// by balance or WeChat Pay, and accepts every message box, saying on standard output what it does.
// In cloud mode it waits until every document of the print-and-deliver page is ready, looks into the
// address dialogs and orders them delivered, paying as told. With the flow "online" it takes the share page's
// job to online printing instead (through a device without a local address), adds the documents of a folder
// one after another, waits until they are ready, goes to step 2, pays by balance and orders. When a job
// has reached its device, or failed, it appends what the job went through to a receipt file: document,
// pages, copies, price, account, device, the statuses and the seconds of each stage.
class Autopilot : public QObject
{
public:
    enum class Payment
    {
        Balance,
        WeChat
    };

    // The one the configuration asks for; none when its "autopilot" is empty or names no payment.
    // status: the job status window of driver mode; null in cloud mode. Started through startAutopilot(),
    // which checks where the service is.
    static std::unique_ptr<Autopilot> fromConfig(const AConfig& config, JobStatusWidget* status);

    // screenshotFolder: where pictures of the windows go; empty for none. onlineDocuments: a folder whose
    // files are printed online in place of the share page's job; empty to print the job.
    Autopilot(Payment payment, QString receiptPath, QString screenshotFolder, JobStatusWidget* status,
              QString onlineDocuments = QString(), QObject* parent = nullptr);

private:
    void look();
    void answer(QMessageBox* box);
    // Chooses on the share page and prints, as a user would; runs outside look(), as clicks start
    // modal windows.
    void print(QPointer<MainShareWidget> page);
    // Sends the share page's job online through a device that has no local address; runs outside look().
    void goOnline(QPointer<MainShareWidget> page);
    // Adds the next document of the online folder once every row before it is ready; false once the
    // last one is listed.
    bool addOnlineDocument(MainOnlineWidget* page);
    // Steps through the online page as far as its documents allow; runs outside look().
    void playOnline(QPointer<MainOnlineWidget> page);
    // Steps through the print-and-deliver page as far as its documents allow; runs outside look().
    void playDelivery(QPointer<MainCloudWidget> page);
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
    bool m_wentOnline = false;
    const QString m_onlineDocuments;
    QStringList m_snapped; // pictures taken and steps done in cloud mode, once each
    QJsonObject m_job;     // what the user chose for the current job
    QJsonArray m_stages;   // {"stage", "at" (ms since epoch)} in the order reached
    QJsonArray m_statuses; // as the status window showed them
};
