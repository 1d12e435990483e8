// pavkoservicesim: the stand-in service on loopback (see ServiceSimCommandLine::helpText()).
#include "QuitOnSignals.h"
#include "ServiceSim.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pavkoservicesim"));
    const ServiceSimCommandLine command = ServiceSimCommandLine::parse(app.arguments().mid(1));
    if (command.outcome == ServiceSimCommandLine::Outcome::Help) {
        std::fputs(ServiceSimCommandLine::helpText().toUtf8().constData(), stdout);
        return 0;
    }
    if (command.outcome == ServiceSimCommandLine::Outcome::Error) {
        std::fprintf(stderr, "pavkoservicesim: %s\nTry pavkoservicesim --help.\n",
                     command.error.toUtf8().constData());
        return 2;
    }
    const auto print = [](const QString& line) {
        const QByteArray bytes = line.toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    };
    ServiceSim sim(command.options, print);
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "pavkoservicesim: %s\n", error.toUtf8().constData());
        return 1;
    }
    print(sim.readyLine());
    quitOnSignals(app);
    const int status = app.exec();
    print(QStringLiteral("pavkoservicesim stopped"));
    return status;
}
