#include "AddressListWidget.h"

#include "AConfig.h"
#include "AMessageBox.h"
#include "ASingleton.h"
#include "AddressDetailWidget.h"
#include "ServiceApi.h"
#include "TabOrder.h"
#include "ui_AddressListWidget.h"

#include <QHeaderView>
#include <QIcon>
#include <QToolButton>
#include <QTreeWidgetItem>

namespace {
ServiceApi serviceFor(const SUser& user)
{
    return ServiceApi(ASingleton<AConfig>::instance()->https_server(), user.token);
}

QToolButton* rowButton(const char* objectName, const QString& icon, const QString& tip)
{
    auto* button = new QToolButton;
    button->setObjectName(QLatin1String(objectName));
    button->setIcon(QIcon(icon));
    button->setIconSize(QSize(24, 24));
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    button->setStyleSheet(QStringLiteral("QToolButton{border : 0px;}"));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}
} // namespace

AddressListWidget::AddressListWidget(const SUser& user, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::AddressListWidget>()), m_user(user)
{
    m_ui->setupUi(this);
    setUpDialogFrame(this);
    QHeaderView* header = m_ui->addr_list->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setSectionResizeMode(TextColumn, QHeaderView::Stretch);
    header->resizeSection(MarkColumn, 32);
    header->resizeSection(ModifyColumn, 40);
    header->resizeSection(DeleteColumn, 40);
    // The row is what the user chooses; a frame round the focused cell alone would circle the empty room
    // beside the default-address mark.
    m_ui->addr_list->setAllColumnsShowFocus(true);
    reload();
}

AddressListWidget::~AddressListWidget() = default;

QList<CloudAddress> AddressListWidget::loadAddresses(const SUser& user)
{
    return CloudAddresses::fetch(serviceFor(user));
}

void AddressListWidget::reload()
{
    bool ok = false;
    m_addresses = CloudAddresses::fetch(serviceFor(m_user), &ok);
    m_ui->label_title->setText(ok ? QStringLiteral("收货地址（双击选择）")
                                  : QStringLiteral("收货地址获取失败"));
    showRows();
}

void AddressListWidget::showRows()
{
    // Rows go with their buttons; a button whose click led here is deleted later by the view.
    m_ui->addr_list->clear();
    QList<QWidget*> order;
    for (int row = 0; row < m_addresses.size(); ++row) {
        const CloudAddress& address = m_addresses.at(row);
        auto* item = new QTreeWidgetItem(m_ui->addr_list);
        if (address.isDefault) {
            item->setIcon(MarkColumn, QIcon(QStringLiteral(":/img/selected.png")));
            item->setToolTip(MarkColumn, QStringLiteral("默认地址"));
        }
        // A long address is cut short in the row; the tool tip holds it whole.
        item->setText(TextColumn, address.titleText() + QLatin1Char('\n') + address.placeText());
        item->setToolTip(TextColumn, item->text(TextColumn));
        QToolButton* modify =
            rowButton("btn_modify", QStringLiteral(":/img/modify.png"), QStringLiteral("修改"));
        QToolButton* remove =
            rowButton("btn_delete", QStringLiteral(":/img/delete.png"), QStringLiteral("删除"));
        connect(modify, &QToolButton::clicked, this, [this, row] {
            if (!m_busy && row < m_addresses.size())
                edit(m_addresses.at(row));
        });
        connect(remove, &QToolButton::clicked, this, [this, row] { removeRow(row); });
        m_ui->addr_list->setItemWidget(item, ModifyColumn, modify);
        m_ui->addr_list->setItemWidget(item, DeleteColumn, remove);
        order << modify << remove;
    }
    // The rows' buttons are made after the add button below the list; Tab reaches them first.
    tabAfter(m_ui->addr_list, order << m_ui->btn_add);
}

void AddressListWidget::edit(CloudAddress address)
{
    m_busy = true;
    AddressDetailWidget detail(m_user, address, this);
    detail.exec();
    reload();
    m_busy = false;
}

void AddressListWidget::removeRow(int row)
{
    if (m_busy || row >= m_addresses.size())
        return;
    m_busy = true;
    if (askBox(QStringLiteral("确定删除?")) == QMessageBox::Yes) {
        const AddressResult result = CloudAddresses::remove(serviceFor(m_user), m_addresses.at(row).id);
        if (!result.ok)
            warnBox(result.message);
        reload();
    }
    m_busy = false;
}

void AddressListWidget::on_btn_add_clicked()
{
    if (!m_busy)
        edit(CloudAddress());
}

void AddressListWidget::on_addr_list_doubleClicked(const QModelIndex& index)
{
    if (m_busy || !index.isValid() || index.row() >= m_addresses.size())
        return;
    m_chosen = index.row();
    accept();
}
