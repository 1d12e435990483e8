#include "UiResources.h"

#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QtGlobal>

void initUiResources()
{
    Q_INIT_RESOURCE(resources);
}

QPixmap uiPicture(const QString& path)
{
    if (qGuiApp->devicePixelRatio() > 1.0) {
        const int dot = path.lastIndexOf(QLatin1Char('.'));
        const QString twin = path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
        if (QFile::exists(twin))
            return QPixmap(twin); // read with a device pixel ratio of 2, from its name
    }
    return QPixmap(path);
}
