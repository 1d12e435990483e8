#pragma once

#include "AMailbox.h"
#include "DeviceEntry.h"
#include "SUser.h"

#include <QList>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>

class UIFile2;
class DocumentSettingsEditor;

namespace Ui {
class UIFileList2;
}

// The documents of an online order: added by dialog, by dropping them here or through the file mailbox
// of later cloud-mode starts, one row each, with the settings of the selected row beside them.
class UIFileList2 : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMailboxPollMs = 1000;

    explicit UIFileList2(const SUser& user, QWidget* parent = nullptr);
    ~UIFileList2() override;

    // Adds a row for an existing file of a printable kind; false (and nothing shown) otherwise.
    bool addFile(const QString& path);
    static bool isPrintable(const QString& path);
    const QList<UIFile2*>& rows() const { return m_rows; }
    // Whether there are documents and every one has reached that status; if not, the user is told
    // (notReady when some document is still on its way).
    bool allRowsAt(int status, const QString& notReady) const;
    int selectedIndex() const { return m_selected; }
    void selectRow(int index);
    void deleteRow(int index);
    DocumentSettingsEditor* config() const { return m_config; }
    // What the chosen device can do, offered by the settings; none: everything.
    void setDeviceCapabilities(const std::optional<PrintConfiguration>& config);
    // Reads paths from the mailbox of that key instead (the default one is attached at construction).
    void useMailbox(const QString& key);
    // Takes and adds what the mailbox holds now (and what was taken while the list was hidden).
    void pollMailbox();

signals:
    void rowsChanged();

private slots:
    void on_btn_add_clicked();

protected:
    // For flows with a settings editor of their own; the list takes it over.
    UIFileList2(const SUser& user, DocumentSettingsEditor* config, QWidget* parent);
    // The row for an accepted file; flows with rows of their own return those, made with these.
    virtual UIFile2* makeRow(int index, const QString& path);
    const SUser& user() const { return m_user; }
    QWidget* rowParent() const;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void layoutRows();
    void addArrived();
    void showConfig(bool visible);
    void rowStatusChanged(int index);

    std::unique_ptr<Ui::UIFileList2> m_ui;
    const SUser& m_user;
    QList<UIFile2*> m_rows;
    int m_selected = -1;
    DocumentSettingsEditor* m_config;
    std::unique_ptr<AMailbox> m_mailbox;
    QTimer m_mailboxTimer;
    // Cloud mode's own list reads the mailbox while hidden too (its 1023 bytes fill up otherwise);
    // in driver mode a list beside a cloud-mode process takes only what its user sees.
    bool m_readsHidden = false;
    QStringList m_arrived; // taken from the mailbox while the list was hidden
};
