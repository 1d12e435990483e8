#pragma once

#include "CloudAddress.h"
#include "SUser.h"

#include <QDialog>
#include <QList>
#include <QModelIndex>
#include <memory>

namespace Ui {
class AddressListWidget;
}

// The user's delivery addresses: one row each, with change and delete buttons and the mark of the
// default address; a double-click chooses a row and closes the dialog. The list is fetched on opening
// and again after every change.
class AddressListWidget : public QDialog
{
    Q_OBJECT

public:
    // Columns of a row.
    enum Column
    {
        MarkColumn,
        TextColumn,
        ModifyColumn,
        DeleteColumn
    };

    AddressListWidget(const SUser& user, QWidget* parent = nullptr);
    ~AddressListWidget() override;

    // The address list as the service has it now; empty on failure.
    static QList<CloudAddress> loadAddresses(const SUser& user);
    const QList<CloudAddress>& addresses() const { return m_addresses; }
    // The row the user double-clicked; -1 when none was chosen.
    int chosenIndex() const { return m_chosen; }

private slots:
    void on_btn_add_clicked();
    void on_addr_list_doubleClicked(const QModelIndex& index);

private:
    void reload();
    void showRows();
    void edit(CloudAddress address); // a copy: the reload afterwards replaces the list
    void removeRow(int row);

    std::unique_ptr<Ui::AddressListWidget> m_ui;
    SUser m_user;
    QList<CloudAddress> m_addresses;
    int m_chosen = -1;
    // A request waits in a nested event loop, where the buttons still take clicks: one action at a time.
    bool m_busy = false;
};
