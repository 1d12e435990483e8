#include "CloudWidget1.h"

#include "AConfig.h"
#include "ASingleton.h"
#include "AddressListWidget.h"
#include "ServiceApi.h"
#include "UIFileList.h"
#include "ui_CloudWidget1.h"

#include <QApplication>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimer>

namespace {
// Sets a flag for the life of the scope, and puts back what it was.
class BusyScope
{
public:
    explicit BusyScope(bool& flag) : m_flag(flag), m_was(flag) { m_flag = true; }
    ~BusyScope() { m_flag = m_was; }

private:
    bool& m_flag;
    bool m_was;
};
} // namespace

CloudWidget1::CloudWidget1(const SUser& user, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CloudWidget1>()), m_user(user)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    m_fileList = new UIFileList(user, this);
    m_fileList->setObjectName(QStringLiteral("file_list"));
    m_fileList->move(1, 50);
    QTimer::singleShot(kLoadDelayMs, this, [this] { loadAddresses(0); });
}

CloudWidget1::~CloudWidget1() = default;

std::optional<CloudAddress> CloudWidget1::selectedAddress() const
{
    if (m_address < 0 || m_address >= m_addresses.size())
        return std::nullopt;
    return m_addresses[m_address];
}

std::optional<CloudProvider> CloudWidget1::selectedProvider() const
{
    if (m_provider < 0 || m_provider >= m_providers.size())
        return std::nullopt;
    return m_providers[m_provider];
}

void CloudWidget1::loadAddresses(int selectId)
{
    QPointer<CloudWidget1> self(this);
    const QList<CloudAddress> addresses = AddressListWidget::loadAddresses(m_user);
    if (!self)
        return;
    int select = 0;
    for (int i = 0; i < addresses.size(); ++i)
        if (selectId != 0 ? addresses[i].id == selectId : addresses[i].isDefault != 0)
            select = i;
    {
        BusyScope busy(m_busy);
        m_addresses = addresses;
        QComboBox* box = m_ui->cbx_addr;
        box->clear();
        // A long address is cut short at the end of the box; the whole of it is the tool tip.
        box->ensurePolished();
        QStyleOptionComboBox option;
        option.initFrom(box);
        const int room = box->style()
                             ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box)
                             .width();
        for (const CloudAddress& address : addresses) {
            const QString whole = address.titleText() + QStringLiteral("  ") + address.placeText();
            box->addItem(box->fontMetrics().elidedText(whole, Qt::ElideRight, room));
            box->setItemData(box->count() - 1, whole, Qt::ToolTipRole);
        }
        box->setCurrentIndex(addresses.isEmpty() ? -1 : select);
        box->setToolTip(box->currentData(Qt::ToolTipRole).toString());
    }
    addressChosen(m_ui->cbx_addr->currentIndex());
    emit loaded();
}

void CloudWidget1::on_cbx_addr_currentIndexChanged(int index)
{
    m_ui->cbx_addr->setToolTip(m_ui->cbx_addr->itemData(index, Qt::ToolTipRole).toString());
    if (!m_busy)
        addressChosen(index);
}

void CloudWidget1::addressChosen(int index)
{
    m_address = index;
    QList<CloudProvider> providers;
    if (const std::optional<CloudAddress> address = selectedAddress()) {
        QPointer<CloudWidget1> self(this);
        BusyScope busy(m_busy);
        providers = CloudOrder::fetchProviders(
            ServiceApi(ASingleton<AConfig>::instance()->https_server(), m_user.token), *address,
            m_user.userId);
        if (!self)
            return;
    }
    {
        BusyScope busy(m_busy);
        m_providers = providers;
        m_ui->cbx_servicer->clear();
        for (const CloudProvider& provider : providers)
            m_ui->cbx_servicer->addItem(provider.name);
        m_ui->cbx_servicer->setCurrentIndex(providers.isEmpty() ? -1 : 0);
    }
    providerChosen(m_ui->cbx_servicer->currentIndex());
}

void CloudWidget1::on_cbx_servicer_currentIndexChanged(int index)
{
    if (!m_busy)
        providerChosen(index);
}

void CloudWidget1::providerChosen(int index)
{
    m_provider = index;
    // Without a provider nothing can be priced: the rows see an empty configuration.
    m_fileList->setProvider(selectedProvider().value_or(CloudProvider{}));
}

void CloudWidget1::on_btn_modify_addr_clicked()
{
    AddressListWidget dialog(m_user, this);
    dialog.exec();
    if (m_busy)
        return;
    const int chosen = dialog.chosenIndex();
    const QList<CloudAddress>& listed = dialog.addresses();
    const int selectId = chosen >= 0 && chosen < listed.size() ? listed[chosen].id
                         : selectedAddress()                   ? selectedAddress()->id
                                                               : 0;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    loadAddresses(selectId);
    QApplication::restoreOverrideCursor();
}
