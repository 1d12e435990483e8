#include "UIDevice.h"

#include "UiResources.h"
#include "ui_UIDevice.h"

#include <QMouseEvent>

UIDevice::Look UIDevice::modelLook(const QString& model)
{
    struct Row
    {
        std::initializer_list<const char*> models;
        const char* picture; // empty: the default picture stays
        const char* caption;
    };
    static const Row rows[] = {
        {{"workcentre 5955", "workcentre 6856", "workcentre 6876"},
         ":/img/device/device_xerox_7958.png",
         "黑白A3"},
        {{"workcentre 7835", "workcentre 7845", "workcentre 7855", "XEROX CZEX -V 7958"},
         ":/img/device/device_xerox_7958.png",
         "彩色A3"},
        {{"RICOH 5002", "RICOH 9002", "5055"}, ":/img/device/device_richo_5002.png", "黑白A3"},
        {{"RICOH 3503"}, ":/img/device/device_richo_5002.png", "彩色A3"},
        {{"M427dw", "HP LaserJet M203dn", "HP_M521dw"}, ":/img/device/device_hp_427.png", "黑白A4"},
        {{"MFC-8530DN", "MFC-8540DN"}, ":/img/device/device_brother_8530.png", "黑白A4"},
        {{"bizhub C226", "bizhub C458", "bizhub C287", "bizhub C554"},
         ":/img/device/device_km_226.png",
         "彩色A3"},
        {{"bizhub 754"}, ":/img/device/device_km_226.png", "黑白A3"},
        {{"Epson C5290a", "Epson C5790", "Epson C5390", "Epson C5890"}, "", "彩色A4"},
        {{"Epson C869R"}, "", "彩色A3"},
        {{"G5080"}, ":/img/device/device_canon_5080.png", "彩色A4"},
        {{"HL-5585D"}, "", "黑白A4"},
    };
    for (const Row& row : rows) {
        for (const char* name : row.models) {
            if (model == QLatin1String(name))
                return {*row.picture ? QString::fromUtf8(row.picture)
                                     : QStringLiteral(":/img/device/device_default.png"),
                        QString::fromUtf8(row.caption)};
        }
    }
    return {QStringLiteral(":/img/device/device_default.png"), QStringLiteral(" ")};
}

UIDevice::Look UIDevice::statusLook(int status)
{
    switch (status) {
    case DeviceEntry::Online:
        return {QStringLiteral(":/img/device/device_status_online.png"), QStringLiteral("在线")};
    case DeviceEntry::Busy:
        return {QStringLiteral(":/img/device/device_status_busy.png"), QStringLiteral("忙碌")};
    case DeviceEntry::PoweredOff:
        return {QStringLiteral(":/img/device/device_status_offline.png"), QStringLiteral("关机")};
    case DeviceEntry::Offline:
        return {QStringLiteral(":/img/device/device_status_offline.png"), QStringLiteral("离线")};
    default:
        return {QStringLiteral(":/img/device/device_status_offline.png"), QStringLiteral("禁停")};
    }
}

UIDevice::UIDevice(int index, const DeviceEntry& device, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::UIDevice>()), m_index(index), m_device(device)
{
    m_ui->setupUi(this);
    m_designWidth = width();
    m_designName = m_ui->label_name->geometry();
    m_designCode = m_ui->label_code->geometry();
    for (QLabel* part : {m_ui->label_type, m_ui->label_local, m_ui->label_status, m_ui->label_status_txt})
        m_designRight.append({part, part->geometry()});
    setAttribute(Qt::WA_StyledBackground); // so that the style sheet paints the row's background
    const Look model = modelLook(device.model);
    const Look status = statusLook(device.deviceStatus);
    m_ui->label_ico->setPixmap(uiPicture(model.picture));
    m_ui->label_type->setText(model.text);
    m_ui->label_name->setText(device.deviceNickname);
    m_ui->label_code->setText(device.deviceCode);
    m_ui->label_status->setPixmap(uiPicture(status.picture));
    m_ui->label_status_txt->setText(status.text);
    m_ui->label_local->setVisible(device.isLocal);
    m_ui->label_sel->setPixmap(uiPicture(QStringLiteral(":/img/device/device_selected.png")));
    m_ui->label_local->setPixmap(uiPicture(QStringLiteral(":/img/localdevice.png")));
    move(0, index * (height() + 1));
    setSelected(false);
}

UIDevice::~UIDevice() = default;

void UIDevice::setSelected(bool selected)
{
    m_selected = selected;
    m_ui->label_sel->setVisible(selected);
    setStyleSheet(selected ? QStringLiteral("background-color:rgb(240,240,240);")
                           : QStringLiteral("background-color:white;"));
}

// The row is drawn for the list's full width; in a narrower list, or beside its scroll bar, the status
// keeps its distance from the right edge, the second line's caption and local mark move left with it,
// and the name and code give up the room they do not use.
void UIDevice::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int shift = width() - m_designWidth;
    for (const auto& [part, design] : qAsConst(m_designRight))
        part->move(design.x() + shift, design.y());
    m_ui->label_code->resize(qMin(m_designCode.width(), m_ui->label_type->x() - m_designCode.x() - 4),
                             m_designCode.height());
    m_ui->label_name->resize(qMin(m_designName.width(), m_ui->label_status->x() - m_designName.x() - 4),
                             m_designName.height());
}

void UIDevice::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit click(m_index);
    QWidget::mouseReleaseEvent(event);
}
