// pavkodevice: checks a shared print device and sends a job to it the way the client does, for the
// people who set up and support devices. See deviceCommandUsage().
#include "DeviceCommand.h"

#include <QCoreApplication>
#include <QTextStream>
#include <atomic>
#include <csignal>
#include <cstdio>

namespace {
std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int)
{
    g_interrupted = true;
}

// The sender's log is for --verbose; warnings always show.
bool g_verbose = false;
void logHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (g_verbose || type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    g_verbose = arguments.removeAll(QStringLiteral("--verbose")) > 0;
    qInstallMessageHandler(logHandler);
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    QTextStream out(stdout);
    QTextStream err(stderr);
    DeviceCommandIo io;
    io.out = [&out](const QString& line) { out << line << Qt::endl; };
    io.err = [&err](const QString& line) { err << line << Qt::endl; };
    io.interrupted = [] { return g_interrupted.load(); };
    return runDeviceCommand(arguments, io);
}
