#include "AddressDetailWidget.h"

#include "AConfig.h"
#include "AMessageBox.h"
#include "ASingleton.h"
#include "ServiceApi.h"
#include "ui_AddressDetailWidget.h"

#include <QComboBox>

namespace {
// Selects text in the combo box; a value the list does not hold (an address saved elsewhere, or no
// province file) is added, so that saving keeps it instead of changing the address behind the user.
void selectOrAdd(QComboBox* combo, const QString& text)
{
    if (text.isEmpty())
        return;
    int index = combo->findText(text);
    if (index < 0) {
        combo->addItem(text);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}
} // namespace

AddressDetailWidget::AddressDetailWidget(const SUser& user, const CloudAddress& address, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::AddressDetailWidget>()), m_user(user), m_address(address),
      m_provinces(CloudAddresses::loadProvinces(CloudAddresses::provinceFilePath()))
{
    m_ui->setupUi(this);
    setUpDialogFrame(this);

    // A new address starts with nothing chosen, so that a forgotten choice is noticed before sending.
    for (const Province& province : m_provinces)
        m_ui->cbx_province->addItem(province.name);
    m_ui->cbx_province->setCurrentIndex(-1);
    selectOrAdd(m_ui->cbx_province, address.province);
    selectOrAdd(m_ui->cbx_city, address.city);
    selectOrAdd(m_ui->cbx_area, address.area);

    m_ui->led_name->setText(address.name);
    m_ui->led_phone->setText(address.mobile);
    m_ui->led_addr->setText(address.address);
    m_ui->cb_default->setChecked(address.isDefault != 0);
}

AddressDetailWidget::~AddressDetailWidget() = default;

void AddressDetailWidget::on_cbx_province_currentIndexChanged(int index)
{
    m_ui->cbx_city->clear();
    m_ui->cbx_area->clear();
    if (index < 0 || index >= m_provinces.size())
        return;
    for (const ProvinceCity& city : m_provinces.at(index).cities)
        m_ui->cbx_city->addItem(city.name);
}

void AddressDetailWidget::on_cbx_city_currentIndexChanged(int index)
{
    m_ui->cbx_area->clear();
    const int province = m_ui->cbx_province->currentIndex();
    if (province < 0 || province >= m_provinces.size() || index < 0 ||
        index >= m_provinces.at(province).cities.size())
        return;
    m_ui->cbx_area->addItems(m_provinces.at(province).cities.at(index).areas);
}

CloudAddress AddressDetailWidget::entered() const
{
    CloudAddress address;
    address.id = m_address.id;
    address.name = m_ui->led_name->text().trimmed();
    address.mobile = m_ui->led_phone->text().trimmed();
    address.province = m_ui->cbx_province->currentText();
    address.city = m_ui->cbx_city->currentText();
    address.area = m_ui->cbx_area->currentText();
    address.address = m_ui->led_addr->text().trimmed();
    address.isDefault = m_ui->cb_default->isChecked() ? 1 : 0;
    return address;
}

void AddressDetailWidget::on_btnSave_clicked()
{
    // The request waits in a nested event loop: a second click must not send the address twice.
    if (m_saving)
        return;
    const CloudAddress address = entered();
    const QString problem = CloudAddresses::problem(address);
    if (!problem.isEmpty()) {
        warnBox(problem);
        return;
    }
    m_saving = true;
    m_ui->btnSave->setEnabled(false);
    const AddressResult result = CloudAddresses::save(
        ServiceApi(ASingleton<AConfig>::instance()->https_server(), m_user.token), address);
    m_ui->btnSave->setEnabled(true);
    m_saving = false;
    if (result.ok)
        accept();
    else
        warnBox(result.message);
}
