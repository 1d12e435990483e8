#pragma once

#include <QList>
#include <QString>

class QWidget;

// A text that does not fit the room its widget gives it on screen.
struct CutText
{
    QString object; // object name of the widget (with the cell for tables)
    QString text;
    QString why; // "wide 130 > 120", "under the scroll bar", ...
};

// Every shown text of window's labels, buttons, combo boxes, line edits and item views (headers and
// cells) that is wider or taller than its room, after the icons, margins, word wrap and elision the
// widget does itself. A cell elided with its full text in the tool tip fits; a label whose text was cut
// short with "…" fits only with the whole of it in its tool tip.
QList<CutText> cutTexts(const QWidget* window);

// One line per cut text, for a test's failure message.
QString describe(const QList<CutText>& cuts);
