#pragma once

#include "CloudOrder.h"
#include "SUser.h"

#include <QWidget>
#include <memory>
#include <optional>

class UIFileList;

namespace Ui {
class CloudWidget1;
}

// Step 1 of print-and-deliver: the delivery address, a provider near it, and the documents with their
// settings.
class CloudWidget1 : public QWidget
{
    Q_OBJECT

public:
    // How long after construction the addresses are fetched, so that the page shows first.
    static constexpr int kLoadDelayMs = 50;

    explicit CloudWidget1(const SUser& user, QWidget* parent = nullptr);
    ~CloudWidget1() override;

    UIFileList* fileList() const { return m_fileList; }
    std::optional<CloudAddress> selectedAddress() const;
    std::optional<CloudProvider> selectedProvider() const;
    const QList<CloudProvider>& providers() const { return m_providers; }

signals:
    // The addresses (and the providers of the chosen one) have been fetched.
    void loaded();

private slots:
    void on_btn_modify_addr_clicked();
    void on_cbx_addr_currentIndexChanged(int index);
    void on_cbx_servicer_currentIndexChanged(int index);

private:
    // Fetches the addresses and selects the one with that id (or the default one); then its providers.
    void loadAddresses(int selectId);
    void addressChosen(int index);
    void providerChosen(int index);

    std::unique_ptr<Ui::CloudWidget1> m_ui;
    const SUser& m_user;
    UIFileList* m_fileList;
    QList<CloudAddress> m_addresses;
    QList<CloudProvider> m_providers;
    int m_address = -1;
    int m_provider = -1;
    // The combo boxes are being filled: their change handlers wait.
    bool m_busy = false;
};
