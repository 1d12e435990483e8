#pragma once

#include "DeviceEntry.h"

#include <QList>
#include <QWidget>
#include <memory>
#include <optional>

class UIDevice;

namespace Ui {
class UIDeviceList;
}

// The scrolling list of devices of the share-print page; a click selects a row.
class UIDeviceList : public QWidget
{
    Q_OBJECT

public:
    explicit UIDeviceList(QWidget* parent = nullptr);
    ~UIDeviceList() override;

    void addDevice(const DeviceEntry& device);
    // Deletes every row.
    void clear();
    int count() const { return m_rows.size(); }
    // Marks that row selected and every other not.
    void selectIndex(int index);
    // The device of the first selected row.
    std::optional<DeviceEntry> selectedEntry() const;
    const QList<UIDevice*>& rows() const { return m_rows; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // After the clicked row was selected.
    void click(int index);

private:
    std::unique_ptr<Ui::UIDeviceList> m_ui;
    QList<UIDevice*> m_rows;
};
