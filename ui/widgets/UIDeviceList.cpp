#include "UIDeviceList.h"

#include "ThinScrollBars.h"
#include "UIDevice.h"
#include "ui_UIDeviceList.h"

#include <QEvent>

UIDeviceList::UIDeviceList(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::UIDeviceList>())
{
    m_ui->setupUi(this);
    useThinScrollBars(m_ui->scrollArea);
    // Rows are as wide as the list's contents, which leave room for the scroll bar once it shows.
    m_ui->scrollAreaWidgetContents->installEventFilter(this);
}

UIDeviceList::~UIDeviceList() = default;

void UIDeviceList::addDevice(const DeviceEntry& device)
{
    auto* row = new UIDevice(m_rows.size(), device, m_ui->scrollAreaWidgetContents);
    row->resize(m_ui->scrollAreaWidgetContents->width(), row->height());
    connect(row, &UIDevice::click, this, [this](int index) {
        selectIndex(index);
        emit click(index);
    });
    m_rows.append(row);
    m_ui->scrollAreaWidgetContents->setMinimumHeight(m_rows.size() * (row->height() + 1));
    row->show();
}

bool UIDeviceList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->scrollAreaWidgetContents && event->type() == QEvent::Resize) {
        for (UIDevice* row : qAsConst(m_rows))
            row->resize(m_ui->scrollAreaWidgetContents->width(), row->height());
    }
    return QWidget::eventFilter(watched, event);
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
