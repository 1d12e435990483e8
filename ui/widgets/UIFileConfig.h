#pragma once

#include "CloudOrder.h"
#include "DocumentSettingsEditor.h"

#include <memory>

class UIFile;

namespace Ui {
class UIFileConfig;
}

// The print-and-deliver settings of the selected document row: the shared ones, and the paper size,
// paper material and binding among what the chosen provider offers.
class UIFileConfig : public DocumentSettingsEditor
{
    Q_OBJECT

public:
    explicit UIFileConfig(QWidget* parent = nullptr);
    ~UIFileConfig() override;

    void load(UIFile2* row) override;
    // Offers what the provider offers; the selected row's values are shown again.
    void setProvider(const CloudProvider& provider);

private slots:
    void on_cbx_size_currentIndexChanged(int index);
    void on_cbx_material_currentIndexChanged(int index);
    void on_cbx_bind_currentIndexChanged(int index);

private:
    UIFile* cloudRow() const;
    void showCombos();

    std::unique_ptr<Ui::UIFileConfig> m_ui;
};
