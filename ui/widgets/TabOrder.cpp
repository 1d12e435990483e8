#include "TabOrder.h"

#include <QWidget>

void tabAfter(QWidget* after, const QList<QWidget*>& widgets)
{
    for (QWidget* widget : widgets) {
        QWidget::setTabOrder(after, widget);
        after = widget;
    }
}

QWidget* lastInTabChain(QWidget* container)
{
    QWidget* last = container;
    for (QWidget* widget = container->nextInFocusChain(); widget != container;
         widget = widget->nextInFocusChain()) {
        if (container->isAncestorOf(widget) && widget->focusPolicy() != Qt::NoFocus)
            last = widget;
    }
    return last;
}
