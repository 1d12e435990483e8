#pragma once

#include <QMessageBox>
#include <QString>

// "Pavko智能云打印机 " + version, and " - dev" against a development service.
QString appWindowTitle();

// Modal, parentless and on top of every window; they return when the user has answered.
void infoBox(const QString& text);
void warnBox(const QString& text);
// Yes or No; No also when the box is closed another way. defaultButton is what Enter answers (NoButton:
// Qt's choice, Yes).
QMessageBox::StandardButton askBox(const QString& text,
                                   QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

class QDialog;
// The frame of the client's dialogs: the title above, the client's icon, only a close button, on top of
// every window, and fixed at the size of its form.
void setUpDialogFrame(QDialog* dialog);
