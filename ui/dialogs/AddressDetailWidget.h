#pragma once

#include "CloudAddress.h"
#include "SUser.h"

#include <QDialog>
#include <QList>
#include <memory>

namespace Ui {
class AddressDetailWidget;
}

// Adds a delivery address (one without id) or changes one. Province, city and area are chosen from
// the province file. The dialog closes as accepted only once the service has saved the address;
// otherwise it stays open with the reason.
class AddressDetailWidget : public QDialog
{
    Q_OBJECT

public:
    AddressDetailWidget(const SUser& user, const CloudAddress& address, QWidget* parent = nullptr);
    ~AddressDetailWidget() override;

private slots:
    void on_cbx_province_currentIndexChanged(int index);
    void on_cbx_city_currentIndexChanged(int index);
    void on_btnSave_clicked();

private:
    // The address as the form holds it.
    CloudAddress entered() const;

    std::unique_ptr<Ui::AddressDetailWidget> m_ui;
    SUser m_user;
    CloudAddress m_address;
    QList<Province> m_provinces;
    bool m_saving = false;
};
