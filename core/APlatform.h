#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Host and process services whose implementation differs between Windows and the other platforms.

enum class InstanceGuard
{
    Taken,         // this process holds it until it ends, however it ends
    HeldElsewhere, // another instance of this user runs
    Unavailable    // no guard could be made; the failure says what failed, naming the folder
};
// Takes the instance guard of this name for this user; call once per process.
InstanceGuard takeInstanceGuard(const QString& name, QString* failure);

// Runs the converter that turns a spooled job into a PDF (for printing later from object storage) and
// waits at most timeoutMs for it: through "cmd /c" on Windows, directly elsewhere. True when it ended
// in time with exit code 0. Past the time it is ended with every program it started (Ghostscript), and
// whatever a failed conversion wrote is removed.
bool convertToPdf(const QString& converter, const QString& input, const QString& output, int timeoutMs);
// Removes what a failed conversion may leave: output itself (Ghostscript writes it as it goes) and the
// converter's partial output + ".part".
void removeConversionLeftovers(const QString& output);
// How the converter is started on this platform.
struct ProgramCall
{
    QString program;
    QStringList arguments;
};
ProgramCall converterCall(const QString& converter, const QString& input, const QString& output);

// This process's user: the numeric user id; 0 on Windows, which gives each user folders of their own.
uint currentUserId();
// Makes path (absolute, no trailing separator) a folder for userId alone unless it is one already:
// missing parents and the folder are made with mode 0700, a wider mode of the user's own folder is
// narrowed to 0700. Refused, with the reason as the result, when the folder is a link, belongs to
// someone else, or lies in a folder that someone else may rename it in. Empty when the folder is fit.
QString makeUserFolder(const QString& path, uint userId);

#ifndef Q_OS_WIN
// Where the instance guards' lock files live: the user's runtime folder (XDG_RUNTIME_DIR) when it is the
// user's own, else "~/.pavko", created for the user alone; empty when neither can be had, and then
// failure says why, naming both.
QString instanceLockFolder(QString* failure = nullptr);
#endif

// Renames from to to, replacing a file already there in one step: to holds either its old or its new
// content whatever happens meanwhile.
bool renameOver(const QString& from, const QString& to);

// The arguments as one Windows command line that the program's C runtime splits back into exactly
// these arguments: blanks, tabs and quotes make an argument quoted, backslashes before a quote (and
// before the closing quote) are doubled, quotes are escaped, and an empty argument is "".
QString windowsCommandLine(const QStringList& arguments);

// Starts the program on its own, outliving this process, in workingDir (empty: this process's own).
// False when it could not be started. Downloaded installers are started through here.
bool startDetachedProgram(const ProgramCall& call, const QString& workingDir);

// Ends every process of that name (without extension); does not wait and reports nothing.
void killProcess(const QString& name);

// The host identifier: "Q1" followed by the machine's SMBIOS UUID, or empty when it cannot be read.
QString deviceId();

// wmic csproduct get uuid output → identifier ("Q1" + UUID), empty when the output has another shape.
QString deviceIdFromWmicOutput(const QByteArray& output);

// The system UUID (type 1 structure) of a raw SMBIOS structure table, in wmic's text form; empty if absent.
QString smbiosSystemUuid(const QByteArray& table);
