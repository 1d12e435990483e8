#include "UIInfomation.h"

#include "UiResources.h"
#include "ui_UIInfomation.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

UIInfomation::UIInfomation(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::UIInfomation>())
{
    m_ui->setupUi(this);
    m_ui->label_ico->setPixmap(uiPicture(QStringLiteral(":/img/info.png")));
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFixedSize(size());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + area.width() - width() - 5, area.y() + area.height() - height() - 5);
    }
}

UIInfomation::~UIInfomation() = default;

void UIInfomation::setText(const QString& text)
{
    m_ui->label_txt->setText(text);
}

void UIInfomation::setDisplayTime(int seconds)
{
    m_displaySeconds = seconds;
}

void UIInfomation::start()
{
    auto* closer = new QTimer(this);
    closer->setSingleShot(true);
    closer->setInterval(m_displaySeconds * 1000);
    closer->setTimerType(closer->interval() < 2000 ? Qt::PreciseTimer : Qt::CoarseTimer);
    connect(closer, &QTimer::timeout, this, &QWidget::close);
    closer->start();
    show();
}
