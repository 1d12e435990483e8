// pavkodevsim: simulated print-device boxes on loopback addresses (see SimCommandLine::helpText()).
#include "QuitOnSignals.h"
#include "SimFleet.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pavkodevsim"));
    const SimCommandLine command = SimCommandLine::parse(app.arguments().mid(1));
    if (command.outcome == SimCommandLine::Outcome::Help) {
        std::fputs(SimCommandLine::helpText().toUtf8().constData(), stdout);
        return 0;
    }
    if (command.outcome == SimCommandLine::Outcome::Error) {
        std::fprintf(stderr, "pavkodevsim: %s\nTry pavkodevsim --help.\n",
                     command.error.toUtf8().constData());
        return 2;
    }

    SimFleet fleet(command.options, [](const QByteArray& line) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    QString error;
    if (!fleet.start(&error)) {
        std::fprintf(stderr, "pavkodevsim: %s\n", error.toUtf8().constData());
        return 1;
    }
    quitOnSignals(app);
    app.exec();
    return fleet.writeRecord() ? 0 : 1;
}
