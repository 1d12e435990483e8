#include "UIFileConfig.h"

#include "UIFile.h"
#include "ui_UIFileConfig.h"

#include <QSignalBlocker>

namespace {
bool offers(const QStringList& options, const QString& choice)
{
    for (const QString& option : options)
        if (option.contains(choice))
            return true;
    return false;
}
} // namespace

UIFileConfig::UIFileConfig(QWidget* parent)
    : DocumentSettingsEditor(parent), m_ui(std::make_unique<Ui::UIFileConfig>())
{
    m_ui->setupUi(this);
    useControls({m_ui->led_begin, m_ui->led_end, m_ui->led_copies, m_ui->btn_black, m_ui->btn_color,
                 m_ui->btn_single, m_ui->btn_double_long, m_ui->btn_double_short});
    const QSignalBlocker blocker(m_ui->cbx_material);
    for (int material = CloudDocument::CopyPaper; material <= CloudDocument::PhotoPaper; ++material)
        m_ui->cbx_material->addItem(CloudOrder::materialName(material));
}

UIFileConfig::~UIFileConfig() = default;

UIFile* UIFileConfig::cloudRow() const
{
    return qobject_cast<UIFile*>(row());
}

void UIFileConfig::setProvider(const CloudProvider& provider)
{
    offer({offers(provider.colors, QStringLiteral("彩色")), offers(provider.duplexes, QStringLiteral("双面")),
           true});
    {
        const QSignalBlocker sizes(m_ui->cbx_size);
        const QSignalBlocker bindings(m_ui->cbx_bind);
        m_ui->cbx_size->clear();
        m_ui->cbx_size->addItems(provider.sizes);
        m_ui->cbx_bind->clear();
        m_ui->cbx_bind->addItems(provider.bindings);
    }
    load(row());
}

void UIFileConfig::load(UIFile2* row)
{
    DocumentSettingsEditor::load(row);
    showCombos();
}

void UIFileConfig::showCombos()
{
    const UIFile* row = cloudRow();
    if (!row)
        return;
    const QSignalBlocker sizes(m_ui->cbx_size);
    const QSignalBlocker materials(m_ui->cbx_material);
    const QSignalBlocker bindings(m_ui->cbx_bind);
    m_ui->cbx_size->setCurrentIndex(m_ui->cbx_size->findText(OnlineOrder::sizeName(row->settings().size)));
    m_ui->cbx_material->setCurrentIndex(row->material() - 1);
    m_ui->cbx_bind->setCurrentIndex(row->binding() < m_ui->cbx_bind->count() ? row->binding() : -1);
}

void UIFileConfig::on_cbx_size_currentIndexChanged(int index)
{
    const int size = CloudOrder::sizeFromName(m_ui->cbx_size->itemText(index));
    if (UIFile* row = cloudRow(); row && size != 0)
        row->setSize(size);
}

void UIFileConfig::on_cbx_material_currentIndexChanged(int index)
{
    if (UIFile* row = cloudRow(); row && index >= 0)
        row->setMaterial(index + 1);
}

void UIFileConfig::on_cbx_bind_currentIndexChanged(int index)
{
    if (UIFile* row = cloudRow(); row && index >= 0)
        row->setBinding(index);
}
