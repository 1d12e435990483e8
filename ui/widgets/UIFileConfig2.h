#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

class QPushButton;
class UIFile2;

namespace Ui {
class UIFileConfig2;
}

// The print settings of the selected document row: page range, copies, colour, sides and paper. What
// the current device cannot do is not offered.
class UIFileConfig2 : public QWidget
{
    Q_OBJECT

public:
    explicit UIFileConfig2(QWidget* parent = nullptr);
    ~UIFileConfig2() override;

    // Shows row's values; loading them is no change of the row. Null: nothing to edit.
    void load(UIFile2* row);
    UIFile2* row() const { return m_row; }
    void setCapabilities(bool color, bool a3);

private slots:
    void on_led_begin_textChanged(const QString& text);
    void on_led_end_textChanged(const QString& text);
    void on_led_copies_textChanged(const QString& text);
    void on_btn_copies_sub_clicked();
    void on_btn_copies_add_clicked();
    void on_btn_black_clicked();
    void on_btn_color_clicked();
    void on_btn_single_clicked();
    void on_btn_double_long_clicked();
    void on_btn_double_short_clicked();
    void on_btn_A4_clicked();
    void on_btn_A3_clicked();

private:
    void showChoices();
    void choose(void (UIFile2::*setter)(int), int value);
    void setText(class QLineEdit* editor, const QString& text);

    std::unique_ptr<Ui::UIFileConfig2> m_ui;
    QPointer<UIFile2> m_row;
    bool m_loading = false;
};
