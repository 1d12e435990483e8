#pragma once

#include "DocumentSettingsEditor.h"

#include <memory>

namespace Ui {
class UIFileConfig2;
}

// The online-print settings of the selected document row: the shared ones, and the paper as A4 or A3.
class UIFileConfig2 : public DocumentSettingsEditor
{
    Q_OBJECT

public:
    explicit UIFileConfig2(QWidget* parent = nullptr);
    ~UIFileConfig2() override;

    void offer(const Offer& offer) override;

protected:
    void showChoices() override;

private slots:
    void on_btn_A4_clicked();
    void on_btn_A3_clicked();

private:
    std::unique_ptr<Ui::UIFileConfig2> m_ui;
};
