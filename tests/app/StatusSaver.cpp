// Saves a large status store over and over until it is killed; announces the first save on stdout.
#include "AStatus.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    AStatus status(app.arguments().value(1));
    status.setString(QStringLiteral("filler"), QString(200000, QLatin1Char('x')));
    for (int i = 0;; ++i) {
        status.setInt(QStringLiteral("round"), i);
        status.save();
        if (i == 0) {
            std::puts("saved");
            std::fflush(stdout);
        }
    }
}
