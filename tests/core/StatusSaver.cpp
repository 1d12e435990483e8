// Saves a large status store over and over until it is killed; announces the first save on stdout.
#include "AStatus.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    AStatus status(app.arguments().value(1));
    status.setString(QStringLiteral("filler"), QString(200000, QLatin1Char('x')));
    status.save();
    std::puts("saved");
    std::fflush(stdout);
    for (int round = 1;; ++round) {
        status.setInt(QStringLiteral("round"), round);
        status.save();
    }
}
