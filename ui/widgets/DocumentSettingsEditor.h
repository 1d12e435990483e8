#pragma once

#include <QPointer>
#include <QWidget>

class QLineEdit;
class QPushButton;
class UIFile2;

// What the settings editors of online printing and of print-and-deliver share: the page range, copies,
// colour and sides of the selected document row, on controls of the same names in each editor's form.
// Each editor builds its form and hands the controls over; the slots connect by name.
class DocumentSettingsEditor : public QWidget
{
    Q_OBJECT

public:
    // What the chosen device or provider can do; what it cannot is not offered.
    struct Offer
    {
        bool color = true;
        bool duplex = true;
        bool a3 = true;
    };

    // Shows row's values; loading them is no change of the row. Null: nothing to edit.
    virtual void load(UIFile2* row);
    UIFile2* row() const { return m_row; }
    virtual void offer(const Offer& offer);

protected:
    struct Controls
    {
        QLineEdit* begin;
        QLineEdit* end;
        QLineEdit* copies;
        QPushButton* black;
        QPushButton* color;
        QPushButton* single;
        QPushButton* doubleLong;
        QPushButton* doubleShort;
    };

    explicit DocumentSettingsEditor(QWidget* parent);
    // Call once the form is set up.
    void useControls(const Controls& controls);
    // Marks the row's choices; editors with more choices mark theirs too.
    virtual void showChoices();
    void choose(void (UIFile2::*setter)(int), int value);
    // Sets an editor's text without it counting as the user's edit.
    void setText(QLineEdit* editor, const QString& text);

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

private:
    Controls m_controls{};
    QPointer<UIFile2> m_row;
    bool m_loading = false;
};
