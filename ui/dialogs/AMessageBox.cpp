#include "AMessageBox.h"

#include "AConfig.h"
#include "ASingleton.h"

#include <QDialog>
#include <QIcon>

QString appWindowTitle()
{
    const AConfig* config = ASingleton<AConfig>::instance();
    return QStringLiteral("Pavko智能云打印机 ") + config->version() +
           (config->isDev() ? QStringLiteral(" - dev") : QString());
}

namespace {
QMessageBox::StandardButton runBox(QMessageBox::Icon icon, const QString& text,
                                   QMessageBox::StandardButtons buttons,
                                   QMessageBox::StandardButton escapeButton,
                                   QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
{
    QMessageBox box(icon, appWindowTitle(), text, buttons);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    box.setWindowIcon(QIcon(QStringLiteral(":/img/main.ico")));
    box.setWindowFlags(box.windowFlags() | Qt::WindowStaysOnTopHint);
    box.setEscapeButton(escapeButton);
    return QMessageBox::StandardButton(box.exec());
}
} // namespace

void infoBox(const QString& text)
{
    runBox(QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

void warnBox(const QString& text)
{
    runBox(QMessageBox::Warning, text, QMessageBox::Ok, QMessageBox::Ok);
}

QMessageBox::StandardButton askBox(const QString& text, QMessageBox::StandardButton defaultButton)
{
    return runBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
                  defaultButton);
}

void setUpDialogFrame(QDialog* dialog)
{
    dialog->setWindowTitle(appWindowTitle());
    dialog->setWindowIcon(QIcon(QStringLiteral(":/img/main.ico")));
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint |
                           Qt::WindowStaysOnTopHint);
    dialog->setMinimumSize(dialog->size());
    dialog->setMaximumSize(dialog->size());
}
