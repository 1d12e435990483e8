// pavkoservicesim: the stand-in service on loopback (see ServiceSimCommandLine::helpText()).
#include "ServiceSim.h"

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

// SIGINT and SIGTERM quit the event loop, so the servers close on the way out.
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
