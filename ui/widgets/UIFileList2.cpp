#include "UIFileList2.h"

#include "AMessageBox.h"
#include "ASingleton.h"
#include "AStatus.h"
#include "DWebSocket.h"
#include "DeviceEntry.h"
#include "TabOrder.h"
#include "ThinScrollBars.h"
#include "UIFile2.h"
#include "UIFileConfig2.h"
#include "ui_UIFileList2.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QScrollBar>

namespace {
const QStringList kPrintable{QStringLiteral("doc"),  QStringLiteral("docx"), QStringLiteral("wps"),
                             QStringLiteral("xls"),  QStringLiteral("xlsx"), QStringLiteral("ppt"),
                             QStringLiteral("pptx"), QStringLiteral("pdf"),  QStringLiteral("txt"),
                             QStringLiteral("rtf"),  QStringLiteral("bmp"),  QStringLiteral("png"),
                             QStringLiteral("gif"),  QStringLiteral("jpg"),  QStringLiteral("tif")};
} // namespace

UIFileList2::UIFileList2(const SUser& user, QWidget* parent) : UIFileList2(user, new UIFileConfig2, parent) {}

UIFileList2::UIFileList2(const SUser& user, DocumentSettingsEditor* config, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::UIFileList2>()), m_user(user), m_config(config)
{
    m_ui->setupUi(this);
    setAcceptDrops(true);
    // The thin bar leaves the settings' right-hand buttons in view (the form has room for it).
    useThinScrollBars(m_ui->scrollArea_fileconfig);
    m_config->setParent(m_ui->scrollAreaWidgetContents_fileconfig);
    m_ui->scrollArea_fileconfig->setWidget(m_ui->scrollAreaWidgetContents_fileconfig);
    m_ui->scrollAreaWidgetContents_fileconfig->resize(m_config->size());
    m_ui->scrollArea_filelist->setWidget(m_ui->scrollAreaWidgetContents_filelist);
    showConfig(false);
    layoutRows();
    useMailbox(AMailbox::defaultKey());
    m_readsHidden = ASingleton<AStatus>::instance()->getInt(QStringLiteral("software_mode")) == 1;
    m_mailboxTimer.setInterval(kMailboxPollMs);
    // The online and the print-and-deliver page both listen: the documents go to the one the user sees.
    connect(&m_mailboxTimer, &QTimer::timeout, this, [this] {
        if (isVisible())
            pollMailbox();
        else if (m_readsHidden && m_mailbox)
            m_arrived += m_mailbox->take();
    });
    m_mailboxTimer.start();
}

UIFileList2::~UIFileList2()
{
    if (!m_mailbox)
        return;
    // Documents the user has not seen go back for the next window of this run: cloud mode shows them.
    for (const QString& path : qAsConst(m_arrived))
        m_mailbox->append(QFile::encodeName(path));
    m_mailbox->detach();
}

void UIFileList2::useMailbox(const QString& key)
{
    if (m_mailbox)
        m_mailbox->detach();
    m_mailbox = std::make_unique<AMailbox>(key);
    if (!m_mailbox->attach())
        m_mailbox.reset();
}

void UIFileList2::pollMailbox()
{
    if (!m_mailbox)
        return;
    m_arrived += m_mailbox->take();
    addArrived();
}

void UIFileList2::addArrived()
{
    const QStringList arrived = m_arrived;
    m_arrived.clear();
    for (const QString& path : arrived)
        addFile(path);
}

void UIFileList2::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Rows made while the page was hidden (its settings, step 2 of an order) would change what the
    // user is ordering unseen: they are made now.
    addArrived();
}

bool UIFileList2::isPrintable(const QString& path)
{
    const QFileInfo info(path);
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    return info.isFile() && dot >= 0 && kPrintable.contains(path.mid(dot + 1).toLower());
}

bool UIFileList2::addFile(const QString& path)
{
    if (!isPrintable(path))
        return false;
    UIFile2* row = makeRow(m_rows.size(), path);
    m_rows.append(row);
    connect(row, &UIFile2::click, this, &UIFileList2::selectRow);
    connect(row, &UIFile2::del, this, &UIFileList2::deleteRow);
    connect(row, &UIFile2::convert_success, this, [this](int index) {
        if (index == m_selected)
            selectRow(index);
    });
    connect(row, &UIFile2::statusChanged, this, &UIFileList2::rowStatusChanged);
    if (DWebSocket* channel = DWebSocket::current()) {
        connect(channel, &DWebSocket::pdf_convert, row, &UIFile2::pdf_convert);
        connect(channel, &DWebSocket::pdf_split, row, &UIFile2::pdf_split);
    }
    row->show();
    layoutRows();
    selectRow(row->index());
    emit rowsChanged();
    return true;
}

bool UIFileList2::allRowsAt(int status, const QString& notReady) const
{
    if (m_rows.isEmpty()) {
        infoBox(QStringLiteral("请添加文件。\n谢谢！"));
        return false;
    }
    for (const UIFile2* row : m_rows) {
        if (row->status() != status) {
            infoBox(notReady);
            return false;
        }
    }
    return true;
}

UIFile2* UIFileList2::makeRow(int index, const QString& path)
{
    return new UIFile2(index, m_user, path, rowParent());
}

QWidget* UIFileList2::rowParent() const
{
    return m_ui->scrollAreaWidgetContents_filelist;
}

void UIFileList2::layoutRows()
{
    QWidget* contents = m_ui->scrollAreaWidgetContents_filelist;
    const int height = m_rows.size() * (UIFile2::kHeight + 1);
    const int viewport = m_ui->scrollArea_filelist->viewport()->height();
    contents->resize(m_ui->scrollArea_filelist->width() - 2, height > viewport ? height - 1 : height);
    m_ui->tips_list->setVisible(m_rows.isEmpty());
    // Rows made later would come last in the Tab chain; they belong inside the list, before its add button.
    QList<QWidget*> order;
    for (UIFile2* row : qAsConst(m_rows)) {
        for (QWidget* part : row->findChildren<QWidget*>()) {
            if (part->focusPolicy() & Qt::TabFocus)
                order.append(part);
        }
    }
    order.append(m_ui->btn_add);
    tabAfter(m_ui->scrollArea_filelist, order);
}

void UIFileList2::showConfig(bool visible)
{
    m_ui->scrollArea_fileconfig->setVisible(visible);
    m_ui->scrollArea_fileconfig->verticalScrollBar()->setVisible(visible);
    m_ui->tips_config->setVisible(!visible);
}

void UIFileList2::selectRow(int index)
{
    if (index < 0 || index >= m_rows.size())
        return;
    m_selected = index;
    for (UIFile2* row : qAsConst(m_rows))
        row->setSelected(row->index() == index);
    UIFile2* row = m_rows[index];
    m_config->load(row);
    showConfig(row->status() > UIFile2::ConvertFailed);
}

void UIFileList2::rowStatusChanged(int index)
{
    if (index == m_selected && index < m_rows.size())
        showConfig(m_rows[index]->status() > UIFile2::ConvertFailed);
    emit rowsChanged();
}

void UIFileList2::deleteRow(int index)
{
    if (index < 0 || index >= m_rows.size())
        return;
    UIFile2* row = m_rows.takeAt(index);
    // A request of the row may be waiting further down the stack: it goes when the event loop is back.
    row->retire();
    row->deleteLater();
    for (int i = index; i < m_rows.size(); ++i)
        m_rows[i]->setIndex(i);
    if (m_selected == index) {
        m_selected = -1;
        m_config->load(nullptr);
        showConfig(false);
    } else if (m_selected > index) {
        --m_selected;
    }
    layoutRows();
    emit rowsChanged();
}

void UIFileList2::setDeviceCapabilities(const std::optional<PrintConfiguration>& config)
{
    m_config->offer({!config || config->colorCapable, true, !config || config->a3Capable});
}

void UIFileList2::on_btn_add_clicked()
{
    AStatus* status = ASingleton<AStatus>::instance();
    const QString saved = status->getString(QStringLiteral("cloud_dir"));
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QStringLiteral("请选择您要打印的文档"), saved.isEmpty() ? QDir::currentPath() : saved,
        QStringLiteral("文档(*.doc *.docx *.wps *.pdf *.txt *.rtf);;表格(*.xls *.xlsx);;演讲稿(*.ppt "
                       "*.pptx);;图片(*.bmp *.png *.jpg *.jpeg *.tif)"));
    for (const QString& file : files)
        addFile(file);
    if (files.isEmpty())
        return;
    const QString last = QString(files.last()).replace(QLatin1Char('\\'), QLatin1Char('/'));
    status->setString(QStringLiteral("cloud_dir"), last.left(last.lastIndexOf(QLatin1Char('/'))));
    status->save();
}

void UIFileList2::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void UIFileList2::dropEvent(QDropEvent* event)
{
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            addFile(url.toLocalFile());
    event->acceptProposedAction();
}
