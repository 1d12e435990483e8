#pragma once

#include <QProcessEnvironment>
#include <QString>

// Which platform's habits place the client's files.
enum class FolderRule
{
    Windows, // everything in the application folder, where the installer put the program
    Linux    // a packaged program's state where Linux keeps a user's data; a build folder as on Windows
};

// Where the client's files are. Folders end with "/".
struct ClientFolders
{
    // Read-only data: the default config/config.json and config/province.json.
    QString data;
    // The user's writable state: status.db, the log files, kept_jobs/, receipt.json, the user's own
    // config/config.json, downloaded upgrades.
    QString state;
    // The client's temporary folder; empty to keep the platform's own.
    QString temp;
    // The print-later converter unless the configuration names another.
    QString converter;
    // The program and data belong to a package manager, which alone updates them.
    bool packaged = false;
    // Why the state folder cannot be used; the client then does not start. Empty when all is well.
    QString failure;
};

// The folders of a client whose program lies in programDir, for the given user id. Under the Linux rule
// a program in "P/bin" with "P/share/pavko/config/config.json" beside it is an installed package: data
// from P/share/pavko, the converter P/libexec/pavko/pavko-convert, state in $XDG_DATA_HOME/pavko (or
// ~/.local/share/pavko), which is made for the user alone, with "tmp" inside as temporary folder.
// Anything else (Windows, a build folder) keeps everything in programDir and touches nothing.
ClientFolders clientFolders(FolderRule rule, const QString& programDir, const QProcessEnvironment& env,
                            uint userId);

// Settles the running client's folders from its own program folder and environment, making its
// temporary folder the process's. False with the reason when the state folder cannot be used.
bool initClientFolders(QString* failure);
// The running client's folders: those of initClientFolders() or setAppDir(); before either, everything
// in the program's folder.
ClientFolders currentFolders();
QString dataDir();
QString stateDir();
// Makes dir every folder of the client, for the whole process (tests run from build folders).
void setAppDir(const QString& dir);
