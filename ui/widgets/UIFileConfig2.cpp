#include "UIFileConfig2.h"

#include "AMessageBox.h"
#include "OnlineOrder.h"
#include "UIFile2.h"
#include "ui_UIFileConfig2.h"

#include <QRegularExpressionValidator>

namespace {
const auto kChosen = QStringLiteral("QPushButton{ background-color: rgb(0, 168, 255); border:1px solid "
                                    "white; color:white; }QPushButton:hover{ "
                                    "background-color: rgb(6, 130, 204);}");
const auto kOther = QStringLiteral(
    "QPushButton{ background-color: rgb(255, 255, 255); border:1px solid rgb(220,220,220); color:black; "
    "}QPushButton:hover{ background-color: rgb(6, 130, 204);}");
} // namespace

UIFileConfig2::UIFileConfig2(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::UIFileConfig2>())
{
    m_ui->setupUi(this);
    for (QLineEdit* editor : {m_ui->led_begin, m_ui->led_end, m_ui->led_copies})
        editor->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]+$")), editor));
    setEnabled(false);
}

UIFileConfig2::~UIFileConfig2() = default;

void UIFileConfig2::setText(QLineEdit* editor, const QString& text)
{
    const bool loading = m_loading;
    m_loading = true;
    editor->setText(text);
    m_loading = loading;
}

void UIFileConfig2::load(UIFile2* row)
{
    m_row = row;
    setEnabled(row != nullptr);
    if (!row)
        return;
    const DocumentSettings& settings = row->settings();
    setText(m_ui->led_begin, QString::number(settings.startPage));
    setText(m_ui->led_end, QString::number(settings.endPage));
    setText(m_ui->led_copies, QString::number(settings.copies));
    showChoices();
}

void UIFileConfig2::setCapabilities(bool color, bool a3)
{
    m_ui->btn_color->setVisible(color);
    m_ui->btn_A3->setVisible(a3);
}

void UIFileConfig2::showChoices()
{
    if (!m_row)
        return;
    const DocumentSettings& settings = m_row->settings();
    const auto mark = [](QPushButton* button, bool chosen) {
        button->setStyleSheet(chosen ? kChosen : kOther);
    };
    mark(m_ui->btn_black, settings.color == 0);
    mark(m_ui->btn_color, settings.color == 1);
    mark(m_ui->btn_single, settings.duplex == 0);
    mark(m_ui->btn_double_long, settings.duplex == 1);
    mark(m_ui->btn_double_short, settings.duplex == 2);
    mark(m_ui->btn_A4, settings.size == DocumentSettings::A4);
    mark(m_ui->btn_A3, settings.size == DocumentSettings::A3);
}

void UIFileConfig2::on_led_begin_textChanged(const QString& text)
{
    if (m_loading || !m_row)
        return;
    const OnlineOrder::Edit edit = OnlineOrder::editStart(text, m_row->settings());
    if (!edit.message.isNull())
        infoBox(edit.message);
    if (!edit.shown.isNull())
        setText(m_ui->led_begin, edit.shown);
    if (m_row && edit.changed)
        m_row->setStartPage(edit.value);
}

void UIFileConfig2::on_led_end_textChanged(const QString& text)
{
    if (m_loading || !m_row)
        return;
    const OnlineOrder::Edit edit = OnlineOrder::editEnd(text, m_row->settings());
    if (!edit.message.isNull())
        infoBox(edit.message);
    if (!edit.shown.isNull())
        setText(m_ui->led_end, edit.shown);
    if (m_row && edit.changed)
        m_row->setEndPage(edit.value);
}

void UIFileConfig2::on_led_copies_textChanged(const QString& text)
{
    if (m_loading || !m_row)
        return;
    const OnlineOrder::Edit edit = OnlineOrder::editCopies(text, m_row->settings());
    if (!edit.shown.isNull())
        setText(m_ui->led_copies, edit.shown);
    if (edit.changed)
        m_row->setCopies(edit.value);
}

void UIFileConfig2::on_btn_copies_sub_clicked()
{
    if (!m_row)
        return;
    m_row->setCopies(qMax(1, m_row->settings().copies - 1));
    setText(m_ui->led_copies, QString::number(m_row->settings().copies));
}

void UIFileConfig2::on_btn_copies_add_clicked()
{
    if (!m_row)
        return;
    m_row->setCopies(qMin(int(DocumentSettings::kMaxCopies), m_row->settings().copies + 1));
    setText(m_ui->led_copies, QString::number(m_row->settings().copies));
}

void UIFileConfig2::choose(void (UIFile2::*setter)(int), int value)
{
    if (!m_row)
        return;
    (m_row->*setter)(value);
    showChoices();
}

void UIFileConfig2::on_btn_black_clicked()
{
    choose(&UIFile2::setColor, 0);
}
void UIFileConfig2::on_btn_color_clicked()
{
    choose(&UIFile2::setColor, 1);
}
void UIFileConfig2::on_btn_single_clicked()
{
    choose(&UIFile2::setDuplex, 0);
}
void UIFileConfig2::on_btn_double_long_clicked()
{
    choose(&UIFile2::setDuplex, 1);
}
void UIFileConfig2::on_btn_double_short_clicked()
{
    choose(&UIFile2::setDuplex, 2);
}
void UIFileConfig2::on_btn_A4_clicked()
{
    choose(&UIFile2::setSize, DocumentSettings::A4);
}
void UIFileConfig2::on_btn_A3_clicked()
{
    choose(&UIFile2::setSize, DocumentSettings::A3);
}
