#include "UIFile2.h"

#include "AConfig.h"
#include "ASingleton.h"
#include "DOss.h"
#include "EventWait.h"
#include "ServiceApi.h"
#include "ui_UIFile2.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <iterator>

namespace {
const auto kLabelStyle = QStringLiteral("QLabel { border : 1px solid rgb(220,220,220); border-radius:8px; }");

const UIFile2::StatusLook kLooks[] = {
    {"...", "color:gray;"},           {"正在上传..", "color:#FE9A2E;"}, {"上传失败", "color:red;"},
    {"正在处理..", "color:#979797;"}, {"转码失败", "color:red;"},       {"正在处理..", "color:#36C67D;"},
    {"正在处理..", "color:#139dff;"}, {"分页失败", "color:red;"},       {"等待打印", "color:#36C67D;"}};

QString fileMd5(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}

ServiceApi service(const SUser& user)
{
    return ServiceApi(ASingleton<AConfig>::instance()->https_server(), user.token);
}
} // namespace

UIFile2::UIFile2(int index, const SUser& user, const QString& path, QWidget* parent)
    : UIFile2(index, user, path, kLooks, int(std::size(kLooks)), parent)
{
}

UIFile2::UIFile2(int index, const SUser& user, const QString& path, const StatusLook* looks, int lookCount,
                 QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::UIFile2>()), m_index(index), m_user(user), m_looks(looks),
      m_lookCount(lookCount)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    m_filePath = QString(path).replace(QLatin1Char('\\'), QLatin1Char('/'));
    m_fileName = m_filePath.mid(m_filePath.lastIndexOf(QLatin1Char('/')) + 1);
    m_fileSize = QString::number(QFileInfo(m_filePath).size());
    m_hash = fileMd5(m_filePath);
    m_ui->label_name->setToolTip(m_filePath);
    for (QLabel* label :
         {m_ui->label_name, m_ui->label_color, m_ui->label_size, m_ui->label_page, m_ui->label_double})
        label->setStyleSheet(kLabelStyle);
    setIndex(index);
    setSelected(false);
    showName();
    setStatus(New);
    showSettings();
    QTimer::singleShot(50, this, &UIFile2::start);
}

UIFile2::~UIFile2() = default;

void UIFile2::showName()
{
    QLabel* label = m_ui->label_name;
    label->ensurePolished(); // the style sheet's border narrows the room
    // As QLabel lays out its text: inside the margin, and a framed label indents by half an "x".
    int room = label->contentsRect().width() - 2 * label->margin();
    int indent = label->indent();
    if (indent < 0 && label->frameWidth() > 0)
        indent = label->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2;
    if (indent > 0)
        room -= indent;
    // The middle goes: the start tells documents apart, the end keeps the type.
    label->setText(label->fontMetrics().elidedText(m_fileName, Qt::ElideMiddle, qMax(room, 0)));
}

void UIFile2::showEvent(QShowEvent* event)
{
    showName(); // the font and style the row has on screen
    QWidget::showEvent(event);
}

void UIFile2::setIndex(int index)
{
    m_index = index;
    move(0, index * (kHeight + 1));
}

void UIFile2::setSelected(bool selected)
{
    m_selected = selected;
    setStyleSheet(selected ? QStringLiteral("background-color:rgb(229,243,255);")
                           : QStringLiteral("background-color:white;"));
}

void UIFile2::setStatus(int status)
{
    m_status = status;
    if (status >= 0 && status < m_lookCount) {
        QString text = QString::fromUtf8(m_looks[status].text);
        if (status == Uploading && m_uploadPercent > 0)
            text += QString::number(m_uploadPercent) + QLatin1Char('%');
        m_ui->label_status->setText(text);
        m_ui->label_status->setStyleSheet(QString::fromUtf8(m_looks[status].style));
    }
    if (status == Converted) {
        m_settings.endPage = m_settings.pageCount;
        showSettings();
        emit convert_success(m_index);
    }
    emit statusChanged(m_index, status);
}

void UIFile2::showSettings()
{
    m_ui->label_color->setText(m_settings.color ? QStringLiteral("彩色") : QStringLiteral("黑白"));
    m_ui->label_size->setText(OnlineOrder::sizeName(m_settings.size));
    m_ui->label_page->setText(QString::number(m_settings.endPage - m_settings.startPage + 1) +
                              QStringLiteral("页"));
    static const char* const kDuplex[] = {"单面", "双面(长边翻转)", "双面(短边翻转)"};
    m_ui->label_double->setText(QString::fromUtf8(kDuplex[qBound(0, m_settings.duplex, 2)]));
}

void UIFile2::retire()
{
    m_retired = true;
    hide();
}

void UIFile2::start()
{
    if (m_retired)
        return;
    QPointer<UIFile2> self(this);
    const ServiceReply reply =
        service(m_user).get(QStringLiteral("/c2/document/checkDocument"),
                            {{QStringLiteral("hash"), m_hash}, {QStringLiteral("file_name"), m_fileName}});
    qDebug() << "check_document : " << reply.body();
    if (!self || m_retired)
        return;
    const QJsonObject data = reply.dataObject();
    const int check = reply.ok() ? data.value(QLatin1String("check")).toInt() : 0;
    if (check == 1 || check == 2)
        m_settings.documentId = idText(data.value(QLatin1String("user_document_id")));
    if (check == 1 && !m_settings.documentId.isEmpty()) {
        fetchPageCount();
        if (!self || m_retired)
            return;
        setStatus(Converted);
        afterConversion();
    } else if (check == 2 && !m_settings.documentId.isEmpty()) {
        setStatus(Converting);
    } else {
        upload();
    }
}

void UIFile2::upload()
{
    QPointer<UIFile2> self(this);
    m_uploadPercent = 0;
    setStatus(Uploading);
    DOss oss(&m_user);
    connect(&oss, &DOss::upload_process, this, [this](int percent) {
        m_uploadPercent = percent;
        if (m_status == Uploading)
            setStatus(Uploading);
    });
    QString documentId;
    const bool uploaded = oss.upload(m_filePath, documentId);
    if (!self || m_retired)
        return;
    if (uploaded && !documentId.isEmpty()) {
        m_settings.documentId = documentId;
        setStatus(Converting);
    } else {
        setStatus(UploadFailed);
    }
}

bool UIFile2::fetchPageCount()
{
    const ServiceReply reply = service(m_user).get(QStringLiteral("/c2/upload/yunPan"),
                                                   {{QStringLiteral("document_id"), m_settings.documentId}});
    qDebug() << "get_document_info : " << reply.body();
    if (reply.okWithData())
        m_settings.pageCount = reply.dataObject().value(QLatin1String("filepage")).toInt();
    return m_settings.pageCount > 0;
}

bool UIFile2::isOwnDocument(const QString& doc_id) const
{
    return !m_retired && !doc_id.isEmpty() && doc_id == m_settings.documentId;
}

void UIFile2::pdf_convert(const QString& doc_id, int status)
{
    if (!isOwnDocument(doc_id))
        return;
    qDebug() << "UIFile2::pdf_convert : doc_id = " << doc_id;
    conversionNews(status);
}

void UIFile2::conversionNews(int status)
{
    if (m_status >= Converted)
        return;
    if (status == ConvertFailed) {
        setStatus(ConvertFailed);
        return;
    }
    QPointer<UIFile2> self(this);
    for (int attempt = 0; attempt < kPageCountAttempts; ++attempt) {
        const bool known = fetchPageCount();
        if (!self || m_retired)
            return;
        if (known) {
            setStatus(Converted);
            afterConversion();
            return;
        }
        sleepEventsSec(1);
        if (!self || m_retired)
            return;
    }
    setStatus(ConvertFailed);
}

void UIFile2::afterConversion()
{
    split();
}

void UIFile2::split()
{
    if (m_status < Converted)
        return;
    setStatus(Splitting);
    const BHttpClient::Params params = OnlineOrder::splitParams(m_settings);
    QPointer<UIFile2> self(this);
    const ServiceReply reply = service(m_user).get(QStringLiteral("/w1/printing/assignDocument"), params);
    qDebug() << "split_page : " << reply.body();
    // A refused request brings no news on the channel: the row would wait for ever.
    if (self && !m_retired && !reply.ok() && m_status == Splitting)
        setStatus(SplitFailed);
}

void UIFile2::pdf_split(const QString& doc_id, int status)
{
    if (!isOwnDocument(doc_id))
        return;
    qDebug() << "UIFile2::pdf_split : doc_id = " << doc_id;
    setStatus(status);
}

void UIFile2::setStartPage(int page)
{
    const bool changed = page != m_settings.startPage;
    m_settings.startPage = page;
    showSettings();
    if (changed)
        afterConversion();
}

void UIFile2::setEndPage(int page)
{
    const bool changed = page != m_settings.endPage;
    m_settings.endPage = page;
    showSettings();
    if (changed)
        afterConversion();
}

void UIFile2::setCopies(int copies)
{
    m_settings.copies = copies;
    showSettings();
}

void UIFile2::setColor(int color)
{
    m_settings.color = color;
    showSettings();
}

void UIFile2::setSize(int size)
{
    m_settings.size = size;
    showSettings();
}

void UIFile2::setDuplex(int duplex)
{
    m_settings.duplex = duplex;
    showSettings();
}

void UIFile2::price(const PrintConfiguration& config)
{
    if (m_status != Ready)
        return;
    const OnlineOrder::RowPrice row = OnlineOrder::priceRow(m_settings, config);
    m_errorText = row.error;
    if (row.error.isEmpty()) {
        m_price = row.price;
        m_priceText = row.text;
    }
}

void UIFile2::on_btn_view_clicked()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(m_filePath));
}

void UIFile2::on_btn_del_clicked()
{
    emit del(m_index);
}

void UIFile2::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit click(m_index);
    QWidget::mouseReleaseEvent(event);
}
