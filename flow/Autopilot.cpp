#include "Autopilot.h"

#include "AConfig.h"
#include "AddressDetailWidget.h"
#include "AddressListWidget.h"
#include "BadNetWidget.h"
#include "CloudSuccess.h"
#include "JobStatusTexts.h"
#include "JobStatusWidget.h"
#include "LoginWidget.h"
#include "MainCloudWidget.h"
#include "MainOnlineWidget.h"
#include "MainShareWidget.h"
#include "OnlineWidget1.h"
#include "OnlineWidget2.h"
#include "OwnerOnlyFile.h"
#include "PayWidget.h"
#include "UIDevice.h"
#include "UIDeviceList.h"
#include "UIFile2.h"
#include "UIFileList2.h"
#include "UIWait.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

namespace {
constexpr int kLookIntervalMs = 200;
const auto kPersonalAccount = QStringLiteral("个人账户");

QJsonObject readObject(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}
} // namespace

std::unique_ptr<Autopilot> Autopilot::fromConfig(const AConfig& config, JobStatusWidget* status)
{
    const QString choice = config.autopilot();
    if (choice.isEmpty())
        return nullptr;
    if (choice != QLatin1String("balance") && choice != QLatin1String("wechat")) {
        qWarning() << "autopilot : unknown payment" << choice << "(balance or wechat); left off";
        return nullptr;
    }
    return std::make_unique<Autopilot>(
        choice == QLatin1String("wechat") ? Payment::WeChat : Payment::Balance, config.autopilot_receipt(),
        config.autopilot_screenshots(), status,
        config.autopilot_flow() == QLatin1String("online") ? config.autopilot_documents() : QString());
}

Autopilot::Autopilot(Payment payment, QString receiptPath, QString screenshotFolder, JobStatusWidget* status,
                     QString onlineDocuments, QObject* parent)
    : QObject(parent), m_payment(payment), m_receiptPath(std::move(receiptPath)),
      m_screenshotFolder(std::move(screenshotFolder)), m_status(status),
      m_onlineDocuments(std::move(onlineDocuments))
{
    if (status)
        connect(status, &JobStatusWidget::job_msg, this, &Autopilot::onStatus);
    connect(&m_timer, &QTimer::timeout, this, &Autopilot::look);
    m_timer.start(kLookIntervalMs);
    say(QStringLiteral("on: pays by %1, receipt in %2")
            .arg(payment == Payment::WeChat ? QStringLiteral("WeChat Pay") : QStringLiteral("balance"),
                 m_receiptPath));
}

void Autopilot::say(const QString& text) const
{
    qInfo().noquote() << "autopilot :" << text;
    std::printf("autopilot: %s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

void Autopilot::reach(const QString& stage)
{
    for (const QJsonValue& reached : m_stages)
        if (reached[QLatin1String("stage")].toString() == stage)
            return;
    m_stages.append(QJsonObject{{QStringLiteral("stage"), stage},
                                {QStringLiteral("at"), double(QDateTime::currentMSecsSinceEpoch())}});
    say(stage);
}

// Called on every tick, also from the event loops of modal windows that a click has opened.
void Autopilot::look()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        if (qobject_cast<UIWait*>(window) && m_printedFrom.isNull())
            reach(QStringLiteral("analysis"));
        else if (qobject_cast<LoginWidget*>(window))
            reach(QStringLiteral("login"));
        else if (qobject_cast<PayWidget*>(window) && !window->property("autopilotSeen").toBool()) {
            window->setProperty("autopilotSeen", true);
            reach(QStringLiteral("payment"));
            snap(window, QStringLiteral("payment"));
        } else if (auto* box = qobject_cast<QMessageBox*>(window)) {
            answer(box);
        } else if (auto* badNet = qobject_cast<BadNetWidget*>(window)) {
            if (!m_onlineDocuments.isEmpty() && once(QStringLiteral("went online"))) {
                reach(QStringLiteral("online printing"));
                if (auto* online = badNet->findChild<QAbstractButton*>(QStringLiteral("btn_online")))
                    QTimer::singleShot(0, online, &QAbstractButton::click);
            }
        } else if (qobject_cast<AddressListWidget*>(window) || qobject_cast<AddressDetailWidget*>(window) ||
                   qobject_cast<CloudSuccess*>(window)) {
            lookAtAddresses(window);
        }
        if (m_printing || !m_printedFrom.isNull())
            continue;
        auto* delivery = window->findChild<MainCloudWidget*>();
        if (delivery && delivery->isVisible() && !m_onlineOrdered) {
            m_printing = true;
            QTimer::singleShot(
                0, this, [this, target = QPointer<MainCloudWidget>(delivery)] { playDelivery(target); });
            continue;
        }
        auto* online = window->findChild<MainOnlineWidget*>();
        if (online && online->isVisible() && !m_onlineOrdered) {
            m_printing = true;
            QTimer::singleShot(0, this,
                               [this, target = QPointer<MainOnlineWidget>(online)] { playOnline(target); });
            continue;
        }
        auto* page = window->findChild<MainShareWidget*>();
        auto* devices = page ? page->findChild<UIDeviceList*>(QStringLiteral("widget_device_list")) : nullptr;
        if (page && page->isVisible() && devices && devices->selectedEntry() &&
            !m_onlineDocuments.isEmpty()) {
            if (!m_wentOnline) {
                m_wentOnline = true;
                reach(QStringLiteral("share page"));
                m_printing = true;
                QTimer::singleShot(0, this,
                                   [this, target = QPointer<MainShareWidget>(page)] { goOnline(target); });
            }
        } else if (page && page->isVisible() && devices && devices->selectedEntry()) {
            reach(QStringLiteral("share page"));
            m_printedFrom = page;
            QTimer::singleShot(0, this, [this, target = QPointer<MainShareWidget>(page)] { print(target); });
        }
    }
}

void Autopilot::answer(QMessageBox* box)
{
    if (box->property("autopilotAnswered").toBool())
        return;
    box->setProperty("autopilotAnswered", true);
    say(QStringLiteral("message \"%1\": accepted").arg(box->text()));
    QAbstractButton* button = box->button(QMessageBox::Yes);
    if (!button)
        button = box->button(QMessageBox::Ok);
    if (!button)
        button = box->defaultButton();
    if (button)
        QTimer::singleShot(0, button, &QAbstractButton::click);
    else
        QTimer::singleShot(0, box, &QWidget::close);
}

void Autopilot::print(QPointer<MainShareWidget> page)
{
    if (page.isNull())
        return;
    m_printing = true;
    auto* accounts = page->findChild<QComboBox*>(QStringLiteral("cbx_account"));
    if (m_payment == Payment::WeChat && accounts) {
        // Payment by WeChat is offered on the personal account only.
        const int personal = accounts->findText(kPersonalAccount);
        if (personal >= 0 && personal != accounts->currentIndex())
            accounts->setCurrentIndex(personal);
    }
    auto* devices = page ? page->findChild<UIDeviceList*>(QStringLiteral("widget_device_list")) : nullptr;
    if (!m_screenshotFolder.isEmpty()) {
        // Devices found on the local network join the list on a refresh only.
        if (auto* refresh = page->findChild<QAbstractButton*>(QStringLiteral("btn_flush")))
            refresh->click();
        if (!page.isNull()) {
            snap(page->window(), QStringLiteral("share-page"));
            // The whole list too: the page shows a few devices at a time.
            if (auto* list = page->findChild<QWidget*>(QStringLiteral("scrollAreaWidgetContents")))
                snap(list, QStringLiteral("share-page-devices"));
        }
    }
    if (page.isNull()) {
        m_printing = false;
        return;
    }
    const std::optional<DeviceEntry> device = devices ? devices->selectedEntry() : std::nullopt;
    if (page.isNull() || !device) {
        say(QStringLiteral("the share page has no device to choose"));
        m_printing = false;
        return;
    }
    const SJob& job = page->job();
    const auto* amount = page->findChild<QLabel*>(QStringLiteral("label_amount"));
    m_job = {{QStringLiteral("document"), job.documentName},
             {QStringLiteral("pages"), job.pages},
             {QStringLiteral("copies"), job.copies},
             {QStringLiteral("price"), amount ? amount->text() : QString()},
             {QStringLiteral("order_id"), job.orderId},
             {QStringLiteral("account"), accounts ? accounts->currentText() : QString()},
             {QStringLiteral("payment"),
              m_payment == Payment::WeChat ? QStringLiteral("wechat") : QStringLiteral("balance")},
             {QStringLiteral("device"), QJsonObject{{QStringLiteral("code"), device->deviceCode},
                                                    {QStringLiteral("name"), device->deviceNickname},
                                                    {QStringLiteral("ip"), device->deviceIp},
                                                    {QStringLiteral("brand"), device->brand},
                                                    {QStringLiteral("model"), device->model}}}};
    say(QStringLiteral("chooses %1 on %2 (%3), %4 page(s) x %5 for %6")
            .arg(m_job[QLatin1String("account")].toString(), device->deviceNickname, device->deviceCode)
            .arg(job.pages)
            .arg(job.copies)
            .arg(m_job[QLatin1String("price")].toString()));
    const char* payButton = m_payment == Payment::WeChat ? "btn_wxpay" : "btn_balance";
    if (auto* pay = page->findChild<QAbstractButton*>(QLatin1String(payButton)))
        pay->click();
    reach(QStringLiteral("confirmation"));
    if (auto* printNow = page->findChild<QAbstractButton*>(QStringLiteral("btn_print")))
        printNow->click(); // returns when the print was confirmed (and paid) or refused
    m_printing = false;
}

void Autopilot::goOnline(QPointer<MainShareWidget> page)
{
    m_printing = false;
    auto* devices = page ? page->findChild<UIDeviceList*>(QStringLiteral("widget_device_list")) : nullptr;
    auto* accounts = page ? page->findChild<QComboBox*>(QStringLiteral("cbx_account")) : nullptr;
    if (!devices || !accounts)
        return;
    // Each account lists its own devices: the first that has one without a local address.
    for (int account = 0; account < accounts->count(); ++account) {
        accounts->setCurrentIndex(account);
        for (UIDevice* row : devices->rows()) {
            if (!row->device().deviceIp.isEmpty() || row->device().deviceStatus != DeviceEntry::Online)
                continue;
            say(QStringLiteral("chooses %1 (%2) of %3, which has no local address, and prints")
                    .arg(row->device().deviceNickname, row->device().deviceCode, accounts->currentText()));
            emit row->click(row->index());
            if (auto* balance = page->findChild<QAbstractButton*>(QStringLiteral("btn_balance")))
                balance->click();
            if (auto* printNow = page->findChild<QAbstractButton*>(QStringLiteral("btn_print")))
                printNow->click(); // returns once the bad-network dialog chose online printing
            return;
        }
    }
    say(QStringLiteral("the share page has no device without a local address"));
}

bool Autopilot::addOnlineDocument(MainOnlineWidget* page)
{
    UIFileList2* list = page->step1()->fileList();
    const QFileInfoList documents =
        QDir(m_onlineDocuments).entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    if (list->rows().size() >= documents.size())
        return false;
    for (const UIFile2* row : list->rows())
        if (row->status() != UIFile2::Ready)
            return true; // one at a time, as a user who waits for each
    const QString path = documents.at(list->rows().size()).absoluteFilePath();
    say(QStringLiteral("adds %1").arg(path));
    list->addFile(path);
    return list->rows().size() < documents.size();
}

bool Autopilot::once(const QString& name)
{
    if (m_snapped.contains(name))
        return false;
    m_snapped.append(name);
    return true;
}

void Autopilot::playOnline(QPointer<MainOnlineWidget> page)
{
    m_printing = false;
    if (page.isNull())
        return;
    if (page->step1()->isVisible()) {
        const bool adding = !m_onlineDocuments.isEmpty() && addOnlineDocument(page);
        const QList<UIFile2*> rows = page->step1()->fileList()->rows();
        if (rows.isEmpty())
            return;
        int ready = 0;
        for (const UIFile2* row : rows) {
            ready += row->status() == UIFile2::Ready ? 1 : 0;
            const int status = row->status();
            if ((status == UIFile2::UploadFailed || status == UIFile2::ConvertFailed ||
                 status == UIFile2::SplitFailed) &&
                once(QStringLiteral("failed ") + row->fileName()))
                say(QStringLiteral("document %1 failed (status %2)").arg(row->fileName()).arg(status));
        }
        if (ready < rows.size()) {
            // A picture of documents in different states: some ready, others still on their way.
            if (ready > 0 && !adding && once(QStringLiteral("online-step1-busy")))
                snap(page->window(), QStringLiteral("online-step1-busy"));
            return;
        }
        if (adding)
            return;
        reach(QStringLiteral("documents ready"));
        if (once(QStringLiteral("online-step1")))
            snap(page->window(), QStringLiteral("online-step1"));
        if (auto* next = page->findChild<QAbstractButton*>(QStringLiteral("btn_next")))
            next->click();
        return;
    }
    OnlineWidget2* step2 = page->step2();
    auto* amount = step2->findChild<QLabel*>(QStringLiteral("label_amount"));
    if (!step2->isVisible() || !step2->selectedDevice() || !amount)
        return;
    // One tick for the step to be laid out before its picture.
    if (once(QStringLiteral("step 2 seen")))
        return;
    m_onlineOrdered = true;
    m_printing = true;
    reach(QStringLiteral("online step 2"));
    snap(page->window(), QStringLiteral("online-step2"));
    if (auto* balance = step2->findChild<QAbstractButton*>(QStringLiteral("btn_balance")))
        balance->click();
    say(QStringLiteral("orders %1 document(s) on %2 for %3")
            .arg(page->step1()->fileList()->rows().size())
            .arg(step2->selectedDevice()->deviceCode, amount->text()));
    QPointer<OnlineWidget2> target(step2);
    if (auto* print = step2->findChild<QAbstractButton*>(QStringLiteral("btn_print")))
        print->click(); // returns when the order was taken or refused
    if (!target.isNull())
        say(target->orderId().isEmpty() ? QStringLiteral("no order")
                                        : QStringLiteral("ordered %1").arg(target->orderId()));
    m_printing = false;
}

void Autopilot::onStatus(int, const QString&, const QString&, const QString&, const QString& status, int)
{
    m_statuses.append(status);
    if (status == JobStatusTexts::waiting())
        reach(QStringLiteral("waiting"));
    else if (status == JobStatusTexts::sending())
        reach(QStringLiteral("sending"));
    else if (status == JobStatusTexts::sent() || status == JobStatusTexts::failed())
        writeReceipt(status);
}

void Autopilot::snap(QWidget* window, const QString& name)
{
    if (m_screenshotFolder.isEmpty() || !window)
        return;
    const QString path = m_screenshotFolder + QLatin1Char('/') + name + QStringLiteral(".png");
    if (QDir().mkpath(m_screenshotFolder) && window->grab().save(path))
        say(QStringLiteral("picture of the window in %1").arg(path));
    else
        say(QStringLiteral("cannot save %1").arg(path));
}

void Autopilot::printReceipt(const QJsonObject& job) const
{
    const QJsonObject device = job[QLatin1String("device")].toObject();
    QStringList stages;
    double total = 0;
    for (const QJsonValue& stage : job[QLatin1String("stages")].toArray()) {
        const double seconds = stage[QLatin1String("seconds")].toDouble();
        total += seconds;
        stages << QStringLiteral("%1 %2 s")
                      .arg(stage[QLatin1String("stage")].toString())
                      .arg(seconds, 0, 'f', 2);
    }
    QStringList statuses;
    for (const QJsonValue& status : job[QLatin1String("statuses")].toArray())
        statuses << status.toString();
    const QString text =
        QStringLiteral("\nReceipt of the client\n"
                       "  document          %1\n"
                       "  pages             %2 x %3 copies\n"
                       "  price             %4 (%5, account %6, order %7)\n"
                       "  device            %8 %9 (%10 %11 at %12)\n"
                       "  outcome           %13 (%14)\n"
                       "  stages            %15\n"
                       "  from analysis     %16 s\n")
            .arg(job[QLatin1String("document")].toString(),
                 QString::number(job[QLatin1String("pages")].toInt()),
                 QString::number(job[QLatin1String("copies")].toInt()),
                 job[QLatin1String("price")].toString(), job[QLatin1String("payment")].toString(),
                 job[QLatin1String("account")].toString(), job[QLatin1String("order_id")].toString(),
                 device[QLatin1String("name")].toString(), device[QLatin1String("code")].toString())
            .arg(device[QLatin1String("brand")].toString(), device[QLatin1String("model")].toString(),
                 device[QLatin1String("ip")].toString(), job[QLatin1String("outcome")].toString(),
                 statuses.join(QStringLiteral(" → ")), stages.join(QStringLiteral(", ")),
                 QString::number(total, 'f', 2));
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void Autopilot::writeReceipt(const QString& outcome)
{
    snap(m_status, QStringLiteral("status-window"));
    reach(QStringLiteral("ended"));
    QJsonArray stages;
    for (int i = 0; i + 1 < m_stages.size(); ++i) {
        const QJsonObject stage = m_stages.at(i).toObject();
        const double seconds =
            (m_stages.at(i + 1)[QLatin1String("at")].toDouble() - stage[QLatin1String("at")].toDouble()) /
            1000.0;
        stages.append(QJsonObject{{QStringLiteral("stage"), stage[QLatin1String("stage")]},
                                  {QStringLiteral("seconds"), qRound(seconds * 100) / 100.0}});
    }
    QJsonObject done = m_job;
    done.insert(QStringLiteral("outcome"), outcome);
    done.insert(QStringLiteral("statuses"), m_statuses);
    done.insert(QStringLiteral("stages"), stages);
    QJsonObject receipt = readObject(m_receiptPath);
    QJsonArray jobs = receipt.value(QLatin1String("jobs")).toArray();
    jobs.append(done);
    receipt.insert(QStringLiteral("jobs"), jobs);
    if (!saveOwnerOnly(m_receiptPath, QJsonDocument(receipt).toJson()))
        qWarning() << "autopilot : cannot write" << m_receiptPath;
    say(QStringLiteral("job ended \"%1\"; receipt written").arg(outcome));
    printReceipt(done);
    m_job = {};
    m_stages = {};
    m_statuses = {};
    m_printedFrom = nullptr;
}
