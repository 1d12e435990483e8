#include "JobStatusWidget.h"

#include "AClock.h"
#include "AMessageBox.h"
#include "JobStatusTexts.h"
#include "ThinScrollBars.h"
#include "UIInfomation.h"
#include "ui_JobStatusWidget.h"

#include <QDebug>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTime>
#include <QTimer>
#include <QToolButton>

namespace {
enum Column
{
    Destination,
    Document,
    Status,
    Pages,
    Submitted,
    Action
};

QTableWidgetItem* centred(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    return item;
}
} // namespace

JobStatusWidget::JobStatusWidget(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::JobStatusWidget>()), m_tray(new QSystemTrayIcon(this))
{
    m_ui->setupUi(this);
    m_designSize = size();
    setWindowTitle(appWindowTitle());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.width() - width() - 5, area.height() - height() - 35);
    }
    hide();
    setUpTable();
    setUpTray();

    connect(this, &JobStatusWidget::job_msg, this, &JobStatusWidget::job_msg_slot);
    connect(this, &JobStatusWidget::job_del, this, &JobStatusWidget::job_del_slot);
    connect(this, &JobStatusWidget::job_cancel, this, &JobStatusWidget::job_cancel_slot);
    connect(this, &JobStatusWidget::information, this, &JobStatusWidget::information_slot);
    connect(this, &JobStatusWidget::warning, this, &JobStatusWidget::warning_slot);
    connect(this, &JobStatusWidget::information_rb, this, &JobStatusWidget::information_rb_slot);
}

JobStatusWidget::~JobStatusWidget() = default;

bool JobStatusWidget::isTrayIconVisible() const
{
    return m_tray->isVisible();
}

void JobStatusWidget::setUpTable()
{
    QTableWidget* table = m_ui->tableWidget;
    table->setColumnCount(6);
    table->setHorizontalHeaderLabels({QStringLiteral("目的地"), QStringLiteral("文档名"),
                                      QStringLiteral("状态"), QStringLiteral("页数"),
                                      QStringLiteral("提交时间"), QStringLiteral("操作")});
    // Every column as wide as its texts; the document name takes what is left and is elided in the
    // middle (its tool tip holds it whole), so a long name never hides the status or the time.
    QHeaderView* header = table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(Document, QHeaderView::Stretch);
    header->setMinimumSectionSize(60);
    table->setTextElideMode(Qt::ElideMiddle);
    table->verticalHeader()->hide();
    table->setGeometry(rect());
    table->setStyleSheet(QStringLiteral("QScrollArea {border : 1px solid rgb(220,220,220);}"));
    useThinScrollBars(table);
}

void JobStatusWidget::setUpTray()
{
    auto* menu = new QMenu(this);
    menu->addAction(QStringLiteral("查看打印机任务队列"), this, &QWidget::show);
    m_tray->setIcon(QIcon(QStringLiteral(":/img/main.ico")));
    m_tray->setToolTip(QStringLiteral("Pavko智能云打印机"));
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            show();
    });
    m_tray->hide();
}

void JobStatusWidget::job_msg_slot(int job_id, const QString& device_code, const QString& device_name,
                                   const QString& doc_name, const QString& job_status, int job_pages)
{
    QMutexLocker lock(&m_mutex);
    const auto known = m_rows.constFind(job_id);
    if (known == m_rows.constEnd()) {
        addRow(job_id, device_name + QLatin1Char(' ') + device_code, doc_name, job_status, job_pages);
        return;
    }
    const int row = *known;
    m_ui->tableWidget->setItem(row, Status, centred(job_status));
    if (job_status == JobStatusTexts::sending() || job_status == JobStatusTexts::sent() ||
        job_status == JobStatusTexts::failed())
        removeActionButton(row);
    if (job_status == JobStatusTexts::sent()) {
        AClock::after(this, 60 * 1000, [this, job_id] { emit job_del(job_id); });
    } else if (job_status == JobStatusTexts::failed()) {
        AClock::after(this, 300 * 1000, [this, job_id] {
            if (!m_resendable.contains(job_id))
                emit job_del(job_id);
        });
    }
}

void JobStatusWidget::removeActionButton(int row)
{
    if (QWidget* button = m_ui->tableWidget->cellWidget(row, Action)) {
        m_ui->tableWidget->removeCellWidget(row, Action);
        button->deleteLater();
    }
}

void JobStatusWidget::offerResend(int job_id)
{
    QMutexLocker lock(&m_mutex);
    const auto known = m_rows.constFind(job_id);
    if (known == m_rows.constEnd())
        return;
    removeActionButton(*known);
    auto* resend = new QToolButton;
    resend->setText(QStringLiteral("重新发送"));
    resend->setObjectName(QStringLiteral("resend_%1").arg(job_id));
    connect(resend, &QToolButton::clicked, this, [this, job_id] {
        {
            QMutexLocker lock(&m_mutex);
            if (!m_resendable.remove(job_id))
                return; // a second click before the row changed
            const auto row = m_rows.constFind(job_id);
            if (row != m_rows.constEnd())
                removeActionButton(*row);
        }
        emit job_resend(job_id);
    });
    m_ui->tableWidget->setCellWidget(*known, Action, resend);
    m_resendable.insert(job_id);
    fitToRows();
}

void JobStatusWidget::addRow(int job_id, const QString& destination, const QString& doc_name,
                             const QString& job_status, int job_pages)
{
    QTableWidget* table = m_ui->tableWidget;
    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, Destination, new QTableWidgetItem(destination));
    auto* document = new QTableWidgetItem(doc_name);
    document->setToolTip(doc_name);
    table->setItem(row, Document, document);
    table->setItem(row, Status, centred(job_status));
    table->setItem(row, Pages, centred(QString::number(job_pages)));
    table->setItem(row, Submitted, centred(QTime::currentTime().toString(QStringLiteral("hh:mm:ss"))));
    auto* cancel = new QToolButton;
    cancel->setText(QStringLiteral("取消"));
    connect(cancel, &QToolButton::clicked, this, [this, job_id] { emit job_cancel(job_id); });
    table->setCellWidget(row, Action, cancel);
    m_rows.insert(job_id, row);
    m_tray->show();
    fitToRows();
}

// The window grows with its rows until every column shows its whole text, up to twice its own width
// or half the screen (past that the document name is elided, whole in its tool tip), and shrinks back
// to its own size; it stays in the screen's corner.
void JobStatusWidget::fitToRows()
{
    QTableWidget* table = m_ui->tableWidget;
    const QHeaderView* header = table->horizontalHeader();
    int wanted = 2 * table->frameWidth() + table->verticalScrollBar()->sizeHint().width();
    const QAbstractItemView* view = table; // where the column's size hint is public
    for (int column = 0; column < table->columnCount(); ++column)
        wanted += qMax(header->sectionSizeHint(column), view->sizeHintForColumn(column));
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), size());
    const int fitted = qBound(m_designSize.width(), wanted, qMax(2 * m_designSize.width(), area.width() / 2));
    if (fitted == width())
        return;
    resize(fitted, height());
    table->setGeometry(rect());
    move(area.width() - width() - 5, y());
}

bool JobStatusWidget::removeRow(int job_id)
{
    const auto found = m_rows.find(job_id);
    if (found == m_rows.end())
        return false;
    const int row = *found;
    m_rows.erase(found);
    m_resendable.remove(job_id);
    m_ui->tableWidget->removeRow(row);
    for (int& later : m_rows) {
        if (later > row)
            --later;
    }
    fitToRows();
    return true;
}

void JobStatusWidget::job_del_slot(int job_id)
{
    QMutexLocker lock(&m_mutex);
    if (removeRow(job_id) && m_rows.isEmpty()) {
        m_tray->hide();
        hide();
    }
}

void JobStatusWidget::job_cancel_slot(int job_id)
{
    QMutexLocker lock(&m_mutex);
    qDebug() << "job_cancel_slot : " << job_id;
    if (removeRow(job_id) && m_rows.isEmpty())
        m_tray->hide();
}

void JobStatusWidget::information_slot(const QString& msg)
{
    infoBox(msg);
}

void JobStatusWidget::warning_slot(const QString& msg)
{
    warnBox(msg);
}

void JobStatusWidget::information_rb_slot(const QString& msg, int auto_close_time)
{
    auto* popup = new UIInfomation;
    popup->setText(msg);
    popup->setDisplayTime(auto_close_time);
    popup->start();
    QTimer::singleShot(auto_close_time * 2000, popup, &QObject::deleteLater);
}
