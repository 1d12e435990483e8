#pragma once

#include "DeviceEntry.h"

#include <QWidget>
#include <memory>

namespace Ui {
class UIDevice;
}

// One row of the device list: the device's picture and capability, name, code, status and whether it
// was found on the local network.
class UIDevice : public QWidget
{
    Q_OBJECT

public:
    // Picture and caption for a model, status picture and text: exact, case-sensitive model names.
    struct Look
    {
        QString picture;
        QString text;
    };
    static Look modelLook(const QString& model);
    static Look statusLook(int status);

    UIDevice(int index, const DeviceEntry& device, QWidget* parent = nullptr);
    ~UIDevice() override;

    int index() const { return m_index; }
    const DeviceEntry& device() const { return m_device; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

signals:
    void click(int index);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::unique_ptr<Ui::UIDevice> m_ui;
    int m_index;
    DeviceEntry m_device;
    bool m_selected = false;
};
