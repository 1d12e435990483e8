#include "APlatform.h"

#include <QDir>
#include <QProcess>
#include <QSharedMemory>
#include <QStringList>
// shellapi.h needs the declarations of windows.h before it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

InstanceGuard takeInstanceGuard(const QString& name, QString* failure)
{
    // Windows frees the section with the last handle, so a crashed instance never blocks the next. The
    // name is the user's, in the session's namespace: another user's instance is never this user's.
    static QSharedMemory guard;
    guard.setNativeKey(QStringLiteral("Local\\pavko-%1-%2").arg(name, qEnvironmentVariable("USERNAME")));
    if (guard.create(8, QSharedMemory::ReadWrite))
        return InstanceGuard::Taken;
    if (guard.error() == QSharedMemory::AlreadyExists)
        return InstanceGuard::HeldElsewhere;
    *failure = guard.nativeKey() + QStringLiteral(": ") + guard.errorString();
    return InstanceGuard::Unavailable;
}

bool startDetachedProgram(const ProgramCall& call, const QString& workingDir)
{
    // Through the shell: an installer that asks for elevation cannot be started by CreateProcess.
    const QString parameters = windowsCommandLine(call.arguments);
    const QString program = QDir::toNativeSeparators(call.program);
    const QString folder = QDir::toNativeSeparators(workingDir);
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(
        nullptr, L"open", reinterpret_cast<const wchar_t*>(program.utf16()),
        reinterpret_cast<const wchar_t*>(parameters.utf16()),
        folder.isEmpty() ? nullptr : reinterpret_cast<const wchar_t*>(folder.utf16()), SW_SHOWNORMAL));
    return result > 32;
}

void killProcess(const QString& name)
{
    QProcess::startDetached(QStringLiteral("taskkill"),
                            {QStringLiteral("/im"), name + QStringLiteral(".exe"), QStringLiteral("/f")});
}

namespace {
QString deviceIdFromWmic()
{
    QProcess wmic;
    wmic.start(QStringLiteral("wmic"),
               {QStringLiteral("csproduct"), QStringLiteral("get"), QStringLiteral("uuid")});
    if (!wmic.waitForFinished(30000))
        return {};
    return deviceIdFromWmicOutput(wmic.readAllStandardOutput());
}

// Recent Windows releases drop wmic; the firmware table holds the same UUID.
QString deviceIdFromFirmware()
{
    const DWORD signature = ('R' << 24) | ('S' << 16) | ('M' << 8) | 'B'; // provider 'RSMB'
    const UINT size = GetSystemFirmwareTable(signature, 0, nullptr, 0);
    constexpr UINT rawHeader = 8; // calling method, major, minor, DMI revision, table length
    if (size <= rawHeader)
        return {};
    QByteArray raw(int(size), '\0');
    if (GetSystemFirmwareTable(signature, 0, raw.data(), size) != size)
        return {};
    const QString uuid = smbiosSystemUuid(raw.mid(rawHeader));
    return uuid.isEmpty() ? QString() : QStringLiteral("Q1") + uuid;
}
} // namespace

QString deviceId()
{
    const QString id = deviceIdFromWmic();
    return id.isEmpty() ? deviceIdFromFirmware() : id;
}

bool renameOver(const QString& from, const QString& to)
{
    return MoveFileExW(reinterpret_cast<const wchar_t*>(from.utf16()),
                       reinterpret_cast<const wchar_t*>(to.utf16()), MOVEFILE_REPLACE_EXISTING) != 0;
}

uint currentUserId()
{
    return 0;
}

QString makeUserFolder(const QString& path, uint)
{
    return QDir().mkpath(path) ? QString() : path + QStringLiteral(" cannot be made");
}

bool convertToPdf(const QString& converter, const QString& input, const QString& output, int timeoutMs)
{
    const ProgramCall call = converterCall(converter, input, output);
    QProcess process;
    process.start(call.program, call.arguments);
    const bool ended = process.waitForFinished(timeoutMs);
    if (!ended) {
        // cmd's child, Ghostscript, goes with it: the whole tree.
        const qint64 pid = process.processId();
        if (pid > 0)
            QProcess::execute(QStringLiteral("taskkill"), {QStringLiteral("/pid"), QString::number(pid),
                                                           QStringLiteral("/t"), QStringLiteral("/f")});
        process.kill();
        process.waitForFinished(-1);
    }
    const bool converted = ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!converted)
        removeConversionLeftovers(output);
    return converted;
}

ProgramCall converterCall(const QString& converter, const QString& input, const QString& output)
{
    return {QStringLiteral("cmd"),
            {QStringLiteral("/c"), converter, input, output, QStringLiteral("silent")}};
}
