#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class UIInfomation;
}

// A notice in the bottom-right corner of the screen that closes itself after its display time.
class UIInfomation : public QWidget
{
    Q_OBJECT

public:
    explicit UIInfomation(QWidget* parent = nullptr);
    ~UIInfomation() override;

    void setText(const QString& text);
    void setDisplayTime(int seconds);
    // Shows the notice and closes it once the display time has passed.
    void start();

private:
    std::unique_ptr<Ui::UIInfomation> m_ui;
    int m_displaySeconds = 5;
};
