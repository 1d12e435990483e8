#include "AppDir.h"

#include "APlatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
QString withSlash(const QString& dir)
{
    return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

QString converterName(FolderRule rule)
{
    return rule == FolderRule::Windows ? QStringLiteral("gs.exe") : QStringLiteral("pavko-convert");
}

ClientFolders allIn(FolderRule rule, const QString& dir)
{
    ClientFolders folders;
    folders.data = folders.state = withSlash(dir);
    folders.converter = folders.data + converterName(rule);
    return folders;
}

// $XDG_DATA_HOME, or ~/.local/share when it is unset, empty or relative (which the XDG rules say to
// ignore); empty when neither is an absolute folder.
QString userDataHome(const QProcessEnvironment& env)
{
    const QString given = env.value(QStringLiteral("XDG_DATA_HOME"));
    if (QDir::isAbsolutePath(given))
        return QDir::cleanPath(given);
    const QString home = env.value(QStringLiteral("HOME"));
    if (QDir::isAbsolutePath(home))
        return QDir::cleanPath(home + QStringLiteral("/.local/share"));
    return {};
}

FolderRule runningRule()
{
#ifdef Q_OS_WIN
    return FolderRule::Windows;
#else
    return FolderRule::Linux;
#endif
}

ClientFolders g_folders;
bool g_settled = false;
} // namespace

ClientFolders clientFolders(FolderRule rule, const QString& programDir, const QProcessEnvironment& env,
                            uint userId)
{
    const QString program = QDir::cleanPath(programDir);
    const QString prefix = QDir::cleanPath(program + QStringLiteral("/.."));
    const QString data = prefix + QStringLiteral("/share/pavko/");
    if (rule == FolderRule::Windows || QFileInfo(program).fileName() != QLatin1String("bin") ||
        !QFileInfo::exists(data + QStringLiteral("config/config.json")))
        return allIn(rule, program);

    ClientFolders folders;
    folders.packaged = true;
    folders.data = data;
    folders.converter = prefix + QStringLiteral("/libexec/pavko/") + converterName(rule);
    const QString dataHome = userDataHome(env);
    if (dataHome.isEmpty()) {
        folders.failure = QStringLiteral("no folder for the user's state: neither XDG_DATA_HOME nor HOME "
                                         "names an absolute folder");
        return folders;
    }
    const QString state = dataHome + QStringLiteral("/pavko");
    const QString temp = state + QStringLiteral("/tmp");
    // Job files and the user's settings live here: a folder someone else made or can reach is refused.
    folders.failure = makeUserFolder(state, userId);
    if (folders.failure.isEmpty())
        folders.failure = makeUserFolder(temp, userId);
    if (folders.failure.isEmpty()) {
        folders.state = state + QLatin1Char('/');
        folders.temp = temp;
    }
    return folders;
}

bool initClientFolders(QString* failure)
{
    const ClientFolders folders = clientFolders(runningRule(), QCoreApplication::applicationDirPath(),
                                                QProcessEnvironment::systemEnvironment(), currentUserId());
    if (!folders.failure.isEmpty()) {
        *failure = folders.failure;
        return false;
    }
    g_folders = folders;
    g_settled = true;
    // Files the client makes for a while (downloads on their way, converted documents) stay the user's.
    if (!folders.temp.isEmpty())
        qputenv("TMPDIR", QFile::encodeName(folders.temp));
    return true;
}

ClientFolders currentFolders()
{
    return g_settled ? g_folders : allIn(runningRule(), QCoreApplication::applicationDirPath());
}

QString dataDir()
{
    return currentFolders().data;
}

QString stateDir()
{
    return currentFolders().state;
}

void setAppDir(const QString& dir)
{
    g_folders = allIn(runningRule(), dir);
    g_settled = true;
}
