#include "UIFileConfig2.h"

#include "ChoiceButton.h"
#include "OnlineOrder.h"
#include "UIFile2.h"
#include "ui_UIFileConfig2.h"

UIFileConfig2::UIFileConfig2(QWidget* parent)
    : DocumentSettingsEditor(parent), m_ui(std::make_unique<Ui::UIFileConfig2>())
{
    m_ui->setupUi(this);
    useControls({m_ui->led_begin, m_ui->led_end, m_ui->led_copies, m_ui->btn_black, m_ui->btn_color,
                 m_ui->btn_single, m_ui->btn_double_long, m_ui->btn_double_short});
}

UIFileConfig2::~UIFileConfig2() = default;

void UIFileConfig2::offer(const Offer& offer)
{
    DocumentSettingsEditor::offer(offer);
    m_ui->btn_A3->setVisible(offer.a3);
}

void UIFileConfig2::showChoices()
{
    DocumentSettingsEditor::showChoices();
    if (!row())
        return;
    markChoice(m_ui->btn_A4, row()->settings().size == DocumentSettings::A4);
    markChoice(m_ui->btn_A3, row()->settings().size == DocumentSettings::A3);
}

void UIFileConfig2::on_btn_A4_clicked()
{
    choose(&UIFile2::setSize, DocumentSettings::A4);
}
void UIFileConfig2::on_btn_A3_clicked()
{
    choose(&UIFile2::setSize, DocumentSettings::A3);
}
