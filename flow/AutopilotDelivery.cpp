// The autopilot on the print-and-deliver page.
#include "AddressDetailWidget.h"
#include "AddressListWidget.h"
#include "Autopilot.h"
#include "CloudSuccess.h"
#include "CloudWidget1.h"
#include "CloudWidget2.h"
#include "MainCloudWidget.h"
#include "UIFile.h"
#include "UIFileList.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

namespace {
template <typename Widget = QAbstractButton> Widget* child(const QObject* parent, const char* name)
{
    return parent ? parent->findChild<Widget*>(QLatin1String(name)) : nullptr;
}
void choose(QComboBox* box, const QString& text)
{
    if (box && box->findText(text) >= 0)
        box->setCurrentIndex(box->findText(text));
}
} // namespace

void Autopilot::playDelivery(QPointer<MainCloudWidget> page)
{
    m_printing = false;
    if (page.isNull() || !page->isVisible())
        return;
    CloudWidget1* step1 = page->step1();
    if (step1->isVisible()) {
        const QList<UIFile*> rows = step1->fileList()->cloudRows();
        int ready = 0;
        for (const UIFile* row : rows)
            ready += row->status() == UIFile::Converted ? 1 : 0;
        if (rows.isEmpty() || ready < rows.size() || !step1->selectedProvider())
            return;
        reach(QStringLiteral("delivery documents ready"));
        if (once(QStringLiteral("delivery-step1"))) {
            // Bound on the first document, to show the binding's price in the amount.
            if (auto* binding = child<QComboBox>(step1, "cbx_bind"); binding && binding->count() > 1)
                binding->setCurrentIndex(1);
            snap(page->window(), QStringLiteral("delivery-step1"));
            m_printing = true;
            QPointer<MainCloudWidget> target(page);
            if (auto* addresses = child(step1, "btn_modify_addr"))
                addresses->click(); // returns when the address dialogs are closed
            m_printing = false;
            if (target.isNull())
                return;
        }
        if (auto* next = child(page, "btn_next"))
            next->click();
        return;
    }
    CloudWidget2* step2 = page->step2();
    if (!step2->isVisible() || once(QStringLiteral("delivery step 2 seen")))
        return; // one tick for the step to be laid out before its picture
    m_onlineOrdered = true;
    m_printing = true;
    reach(QStringLiteral("delivery step 2"));
    if (auto* pay = child(step2, m_payment == Payment::WeChat ? "btn_wxpay" : "btn_blance"))
        pay->click();
    snap(page->window(), QStringLiteral("delivery-step2"));
    say(QStringLiteral("orders %1 document(s) from %2 to %3 for %4")
            .arg(step1->fileList()->rows().size())
            .arg(step1->selectedProvider()->name, step1->selectedAddress()->address,
                 child<QLabel>(step2, "label_amount")->text()));
    QPointer<MainCloudWidget> target(page);
    if (auto* commit = child(page, "btn_commit"))
        commit->click(); // returns when the order was placed or refused
    if (!target.isNull())
        say(target->orderId().isEmpty() ? QStringLiteral("no order")
                                        : QStringLiteral("ordered %1").arg(target->orderId()));
    m_printing = false;
}

void Autopilot::lookAtAddresses(QWidget* dialog)
{
    if (auto* list = qobject_cast<AddressListWidget*>(dialog)) {
        if (QApplication::activeModalWidget() != list)
            return; // the new address is open above it
        if (once(QStringLiteral("address-list"))) {
            snap(dialog, QStringLiteral("address-list"));
            if (auto* add = child(dialog, "btn_add"))
                QTimer::singleShot(0, add, &QAbstractButton::click);
        } else if (m_snapped.contains(QStringLiteral("address-detail")) &&
                   once(QStringLiteral("address list closed"))) {
            QTimer::singleShot(0, list, &QDialog::reject);
        }
        return;
    }
    if (auto* success = qobject_cast<CloudSuccess*>(dialog)) {
        if (once(QStringLiteral("delivery-success"))) {
            snap(success, QStringLiteral("delivery-success"));
            if (auto* close = child(success, "pushButton"))
                QTimer::singleShot(0, close, &QAbstractButton::click);
        }
        return;
    }
    if (!once(QStringLiteral("address-detail")))
        return;
    // A new address, filled in as far as the picture needs, and left unsaved.
    if (auto* name = child<QLineEdit>(dialog, "led_name"))
        name->setText(QStringLiteral("韩梅梅"));
    if (auto* phone = child<QLineEdit>(dialog, "led_phone"))
        phone->setText(QStringLiteral("13900000000"));
    choose(child<QComboBox>(dialog, "cbx_province"), QStringLiteral("广东省"));
    choose(child<QComboBox>(dialog, "cbx_city"), QStringLiteral("深圳市"));
    choose(child<QComboBox>(dialog, "cbx_area"), QStringLiteral("南山区"));
    if (auto* address = child<QLineEdit>(dialog, "led_addr"))
        address->setText(QStringLiteral("深南大道10000号"));
    snap(dialog, QStringLiteral("address-detail"));
    QPointer<QDialog> detail(static_cast<QDialog*>(dialog));
    QTimer::singleShot(0, this, [detail] {
        if (detail)
            detail->reject();
    });
}
