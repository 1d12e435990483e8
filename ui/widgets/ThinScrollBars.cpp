#include "ThinScrollBars.h"

#include <QAbstractScrollArea>
#include <QScrollBar>

void useThinScrollBars(QAbstractScrollArea* area)
{
    static const QString style = QStringLiteral(
        "QScrollBar:vertical{width:8px;background:transparent;border-radius:4px;}"
        "QScrollBar::handle:vertical{background:rgb(200,200,200);border-radius:4px;min-height:20px;}"
        "QScrollBar::add-line:vertical,QScrollBar::sub-line:vertical{height:0px;}"
        "QScrollBar::add-page:vertical,QScrollBar::sub-page:vertical{background:transparent;}"
        "QScrollBar:horizontal{height:8px;background:transparent;border-radius:4px;}"
        "QScrollBar::handle:horizontal{background:rgb(200,200,200);border-radius:4px;min-width:20px;}"
        "QScrollBar::add-line:horizontal,QScrollBar::sub-line:horizontal{width:0px;}"
        "QScrollBar::add-page:horizontal,QScrollBar::sub-page:horizontal{background:transparent;}");
    area->verticalScrollBar()->setStyleSheet(style);
    area->horizontalScrollBar()->setStyleSheet(style);
}
