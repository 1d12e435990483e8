#include "CloudJobRun.h"

#include "AMessageBox.h"

#include <QDialog>

CloudJobRun::CloudJobRun(QObject* parent) : QObject(parent)
{
    QDialog window;
    window.setWindowTitle(windowTitle());
    window.exec();
}
