#include "UIDeviceList.h"

#include "UIDevice.h"
#include "ui_UIDeviceList.h"

#include <QScrollBar>

UIDeviceList::UIDeviceList(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::UIDeviceList>())
{
    m_ui->setupUi(this);
}

UIDeviceList::~UIDeviceList() = default;

void UIDeviceList::addDevice(const DeviceEntry& device)
{
    auto* row = new UIDevice(m_rows.size(), device, m_ui->scrollAreaWidgetContents);
    row->resize(m_ui->scrollArea->viewport()->width(), row->height());
    connect(row, &UIDevice::click, this, [this](int index) {
        selectIndex(index);
        emit click(index);
    });
    m_rows.append(row);
    m_ui->scrollAreaWidgetContents->setMinimumHeight(m_rows.size() * (row->height() + 1));
    row->show();
}

// A list filled before it was first shown had no laid-out viewport to measure its rows by.
void UIDeviceList::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    for (UIDevice* row : qAsConst(m_rows))
        row->resize(m_ui->scrollArea->viewport()->width(), row->height());
}

void UIDeviceList::clear()
{
    qDeleteAll(m_rows);
    m_rows.clear();
    m_ui->scrollAreaWidgetContents->setMinimumHeight(0);
    m_ui->scrollAreaWidgetContents->resize(m_ui->scrollArea->viewport()->size());
}

void UIDeviceList::selectIndex(int index)
{
    for (UIDevice* row : qAsConst(m_rows))
        row->setSelected(row->index() == index);
}

std::optional<DeviceEntry> UIDeviceList::selectedEntry() const
{
    for (const UIDevice* row : m_rows)
        if (row->isSelected())
            return row->device();
    return std::nullopt;
}
