#pragma once

#include "DeviceEntry.h"

#include <QList>
#include <QPair>
#include <QRect>
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
    void resizeEvent(QResizeEvent* event) override;

private:
    std::unique_ptr<Ui::UIDevice> m_ui;
    // Where the form puts the parts of a row as wide as the form.
    int m_designWidth;
    QRect m_designName, m_designCode;
    QList<QPair<QWidget*, QRect>> m_designRight; // what keeps its distance from the right edge
    int m_index;
    DeviceEntry m_device;
    bool m_selected = false;
};
