// pavkodevsim: simulated print-device boxes on loopback addresses (see SimCommandLine::helpText()).
#include "SimFleet.h"

#include <QCoreApplication>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM quit the event loop, so the record is written once more on the way out.
void quitOnSignals(QCoreApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}
} // namespace
#else
namespace {
void quitOnSignals(QCoreApplication&) {}
} // namespace
#endif

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
