#pragma once

#include <QList>

class QWidget;

// Puts widgets, in the order given, right behind after in their window's Tab chain.
void tabAfter(QWidget* after, const QList<QWidget*>& widgets);

// The last of container's descendants that take focus in their window's Tab chain, counted from
// container (container itself when none does). Widgets that take no focus cannot be ordered.
QWidget* lastInTabChain(QWidget* container);
