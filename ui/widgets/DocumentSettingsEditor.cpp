#include "DocumentSettingsEditor.h"

#include "AMessageBox.h"
#include "ChoiceButton.h"
#include "OnlineOrder.h"
#include "UIFile2.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

DocumentSettingsEditor::DocumentSettingsEditor(QWidget* parent) : QWidget(parent) {}

void DocumentSettingsEditor::useControls(const Controls& controls)
{
    m_controls = controls;
    for (QLineEdit* editor : {controls.begin, controls.end, controls.copies})
        editor->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]+$")), editor));
    setEnabled(false);
}

void DocumentSettingsEditor::setText(QLineEdit* editor, const QString& text)
{
    const bool loading = m_loading;
    m_loading = true;
    editor->setText(text);
    m_loading = loading;
}

void DocumentSettingsEditor::load(UIFile2* row)
{
    m_row = row;
    setEnabled(row != nullptr);
    if (!row)
        return;
    const DocumentSettings& settings = row->settings();
    setText(m_controls.begin, QString::number(settings.startPage));
    setText(m_controls.end, QString::number(settings.endPage));
    setText(m_controls.copies, QString::number(settings.copies));
    showChoices();
}

void DocumentSettingsEditor::offer(const Offer& offer)
{
    m_controls.color->setVisible(offer.color);
    m_controls.doubleLong->setVisible(offer.duplex);
    m_controls.doubleShort->setVisible(offer.duplex);
}

void DocumentSettingsEditor::showChoices()
{
    if (!m_row)
        return;
    const DocumentSettings& settings = m_row->settings();
    markChoice(m_controls.black, settings.color == 0);
    markChoice(m_controls.color, settings.color == 1);
    markChoice(m_controls.single, settings.duplex == 0);
    markChoice(m_controls.doubleLong, settings.duplex == 1);
    markChoice(m_controls.doubleShort, settings.duplex == 2);
}

void DocumentSettingsEditor::on_led_begin_textChanged(const QString& text)
{
    if (m_loading || !m_row)
        return;
    const OnlineOrder::Edit edit = OnlineOrder::editStart(text, m_row->settings());
    if (!edit.message.isNull())
        infoBox(edit.message);
    if (!edit.shown.isNull())
        setText(m_controls.begin, edit.shown);
    if (m_row && edit.changed)
        m_row->setStartPage(edit.value);
}

void DocumentSettingsEditor::on_led_end_textChanged(const QString& text)
{
    if (m_loading || !m_row)
        return;
    const OnlineOrder::Edit edit = OnlineOrder::editEnd(text, m_row->settings());
    if (!edit.message.isNull())
        infoBox(edit.message);
    if (!edit.shown.isNull())
        setText(m_controls.end, edit.shown);
    if (m_row && edit.changed)
        m_row->setEndPage(edit.value);
}

void DocumentSettingsEditor::on_led_copies_textChanged(const QString& text)
{
    if (m_loading || !m_row)
        return;
    const OnlineOrder::Edit edit = OnlineOrder::editCopies(text, m_row->settings());
    if (!edit.shown.isNull())
        setText(m_controls.copies, edit.shown);
    if (edit.changed)
        m_row->setCopies(edit.value);
}

void DocumentSettingsEditor::on_btn_copies_sub_clicked()
{
    if (!m_row)
        return;
    m_row->setCopies(qMax(1, m_row->settings().copies - 1));
    setText(m_controls.copies, QString::number(m_row->settings().copies));
}

void DocumentSettingsEditor::on_btn_copies_add_clicked()
{
    if (!m_row)
        return;
    m_row->setCopies(qMin(int(DocumentSettings::kMaxCopies), m_row->settings().copies + 1));
    setText(m_controls.copies, QString::number(m_row->settings().copies));
}

void DocumentSettingsEditor::choose(void (UIFile2::*setter)(int), int value)
{
    if (!m_row)
        return;
    (m_row->*setter)(value);
    showChoices();
}

void DocumentSettingsEditor::on_btn_black_clicked()
{
    choose(&UIFile2::setColor, 0);
}
void DocumentSettingsEditor::on_btn_color_clicked()
{
    choose(&UIFile2::setColor, 1);
}
void DocumentSettingsEditor::on_btn_single_clicked()
{
    choose(&UIFile2::setDuplex, 0);
}
void DocumentSettingsEditor::on_btn_double_long_clicked()
{
    choose(&UIFile2::setDuplex, 1);
}
void DocumentSettingsEditor::on_btn_double_short_clicked()
{
    choose(&UIFile2::setDuplex, 2);
}
