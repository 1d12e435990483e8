#pragma once

#include <QList>

class QAbstractButton;
class QWidget;

// Enter or Return pressed anywhere on page, and not taken by the focused control itself, clicks the
// first of buttons that is shown and enabled: the page's main action, as in a dialog.
void clickOnEnter(QWidget* page, const QList<QAbstractButton*>& buttons);
