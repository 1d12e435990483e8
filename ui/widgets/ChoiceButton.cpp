#include "ChoiceButton.h"

#include <QAbstractButton>

void markChoice(QAbstractButton* button, bool chosen)
{
    static const auto kChosen =
        QStringLiteral("QPushButton{ background-color: rgb(0, 168, 255); border:1px solid "
                       "white; color:white; }QPushButton:hover{ "
                       "background-color: rgb(6, 130, 204);}");
    static const auto kOther = QStringLiteral(
        "QPushButton{ background-color: rgb(255, 255, 255); border:1px solid rgb(220,220,220); color:black; "
        "}QPushButton:hover{ background-color: rgb(6, 130, 204);}");
    button->setStyleSheet(chosen ? kChosen : kOther);
}
