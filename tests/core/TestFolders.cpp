#include "AppDir.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(FolderRule)

namespace {
// The permission bits of a folder, -1 when there is none.
int modeOf(const QString& path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

bool makeFile(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("{}") == 2;
}
} // namespace

// Where the client's files go, for each platform's rule, tried in temporary prefixes.
class TestFolders : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        QVERIFY(makeFile(path("P/share/pavko/config/config.json")));
        QVERIFY(QDir().mkpath(path("P/bin")) && QDir().mkpath(path("build/app")) &&
                QDir().mkpath(path("home")) && QDir().mkpath(path("bare/bin")));
    }

    // Paths below are relative to the test's root; "-" for empty.
    void folders_data()
    {
        QTest::addColumn<FolderRule>("rule");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("dataHome"); // XDG_DATA_HOME; "<unset>" leaves it out
        QTest::addColumn<QString>("expected"); // data state temp converter packaged
        const auto onLinux = FolderRule::Linux;
        // The installed layout of Windows is the application folder for everything.
        QTest::newRow("Windows, installed-looking prefix") << FolderRule::Windows << "P/bin"
                                                           << "xdg"
                                                           << "P/bin/ P/bin/ - P/bin/gs.exe no";
        QTest::newRow("Windows, any folder") << FolderRule::Windows << "build/app"
                                             << "<unset>"
                                             << "build/app/ build/app/ - build/app/gs.exe no";
        // Build folders, the demo and the tests run as they always did.
        QTest::newRow("Linux, build folder") << onLinux << "build/app"
                                             << "xdg"
                                             << "build/app/ build/app/ - build/app/pavko-convert no";
        QTest::newRow("Linux, bin without the installation's data")
            << onLinux << "bare/bin"
            << "xdg"
            << "bare/bin/ bare/bin/ - bare/bin/pavko-convert no";
        QTest::newRow("Linux, installed, XDG_DATA_HOME")
            << onLinux << "P/bin"
            << "xdg"
            << "P/share/pavko/ xdg/pavko/ xdg/pavko/tmp P/libexec/pavko/pavko-convert yes";
        QTest::newRow("Linux, installed, the folder named with ..")
            << onLinux << "P/bin/../bin"
            << "xdg/../xdg"
            << "P/share/pavko/ xdg/pavko/ xdg/pavko/tmp P/libexec/pavko/pavko-convert yes";
        const QString home = QStringLiteral("P/share/pavko/ home/.local/share/pavko/ "
                                            "home/.local/share/pavko/tmp P/libexec/pavko/pavko-convert yes");
        QTest::newRow("Linux, installed, XDG_DATA_HOME unset") << onLinux << "P/bin"
                                                               << "<unset>" << home;
        // The XDG rules: a relative or empty value is ignored.
        QTest::newRow("Linux, installed, XDG_DATA_HOME relative") << onLinux << "P/bin"
                                                                  << "<relative>" << home;
        QTest::newRow("Linux, installed, XDG_DATA_HOME empty") << onLinux << "P/bin"
                                                               << "" << home;
    }
    void folders()
    {
        QFETCH(FolderRule, rule);
        QFETCH(QString, program);
        QFETCH(QString, dataHome);
        QProcessEnvironment env;
        env.insert(QStringLiteral("HOME"), path("home"));
        if (dataHome == QLatin1String("<relative>"))
            env.insert(QStringLiteral("XDG_DATA_HOME"), QStringLiteral("xdg"));
        else if (dataHome != QLatin1String("<unset>"))
            env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome.isEmpty() ? dataHome : path(dataHome));
        const ClientFolders folders = clientFolders(rule, path(program), env, ::getuid());
        QCOMPARE(folders.failure, QString());
        const QStringList got{relative(folders.data), relative(folders.state), relative(folders.temp),
                              relative(folders.converter), QLatin1String(folders.packaged ? "yes" : "no")};
        QTEST(got.join(QLatin1Char(' ')), "expected");
        if (folders.packaged) {
            // Made for the user alone, parents missing before included.
            QCOMPARE(modeOf(folders.state), 0700);
            QCOMPARE(modeOf(folders.temp), 0700);
            QCOMPARE(modeOf(QFileInfo(folders.state + QStringLiteral("..")).absoluteFilePath()), 0700);
        } else {
            // Nothing is made for a client that keeps everything beside the program.
            QVERIFY(!QFileInfo::exists(path("xdg")));
            QVERIFY(!QFileInfo::exists(path("home/.local")));
        }
    }

    // A state folder that is someone else's, or that someone else could swap, is refused: job files and
    // settings there would be theirs. A folder of the user's own is narrowed to the user alone.
    void stateFolderOfOthersRefused_data()
    {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QString>("failure"); // empty: accepted
        QTest::newRow("a link to a folder elsewhere") << "link"
                                                      << "xdg/pavko is a link";
        QTest::newRow("another user's folder") << "foreign"
                                               << "xdg/pavko belongs to another user";
        QTest::newRow("a file") << "file"
                                << "xdg/pavko is not a folder";
        QTest::newRow("in a folder anyone may change")
            << "open parent"
            << "xdg/pavko lies in a folder that others may change: xdg";
        QTest::newRow("its tmp a link") << "tmp link"
                                        << "xdg/pavko/tmp is a link";
        QTest::newRow("the user's own, open to all: narrowed") << "open own"
                                                               << "";
        QTest::newRow("in a shared folder with the sticky bit") << "sticky parent"
                                                                << "";
    }
    void stateFolderOfOthersRefused()
    {
        QFETCH(QString, setUp);
        const QString state = path("xdg/pavko");
        const QString elsewhere = path("elsewhere");
        QVERIFY(QDir().mkpath(path("xdg")) && QDir().mkpath(elsewhere));
        uint user = ::getuid();
        if (setUp == QLatin1String("link")) {
            QVERIFY(QFile::link(elsewhere, state));
        } else if (setUp == QLatin1String("foreign")) {
            QVERIFY(QDir().mkpath(state));
            user += 1; // the folder is then someone else's
        } else if (setUp == QLatin1String("file")) {
            QVERIFY(makeFile(state));
        } else if (setUp == QLatin1String("open parent")) {
            QCOMPARE(::chmod(QFile::encodeName(path("xdg")).constData(), 0777), 0);
        } else if (setUp == QLatin1String("sticky parent")) {
            QCOMPARE(::chmod(QFile::encodeName(path("xdg")).constData(), 01777), 0);
        } else if (setUp == QLatin1String("tmp link")) {
            QVERIFY(QDir().mkpath(state));
            QVERIFY(QFile::link(elsewhere, state + QStringLiteral("/tmp")));
        } else if (setUp == QLatin1String("open own")) {
            QVERIFY(QDir().mkpath(state));
            QCOMPARE(::chmod(QFile::encodeName(state).constData(), 0777), 0);
        }
        QProcessEnvironment env;
        env.insert(QStringLiteral("HOME"), path("home"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path("xdg"));
        const ClientFolders folders = clientFolders(FolderRule::Linux, path("P/bin"), env, user);
        QTEST(QString(folders.failure).replace(path(QString()), QString()), "failure");
        if (folders.failure.isEmpty()) {
            QCOMPARE(folders.state, state + QLatin1Char('/'));
            QCOMPARE(modeOf(state), 0700);
        } else {
            QCOMPARE(folders.state, QString());
            QCOMPARE(folders.temp, QString());
            QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        }
    }

    void noHomeAtAllIsRefused()
    {
        const ClientFolders folders =
            clientFolders(FolderRule::Linux, path("P/bin"), QProcessEnvironment(), ::getuid());
        QVERIFY(folders.failure.contains(QLatin1String("XDG_DATA_HOME")));
        QCOMPARE(folders.state, QString());
    }

private:
    QString path(const QString& name) const { return m_root->path() + QLatin1Char('/') + name; }
    QString path(const char* name) const { return path(QString::fromUtf8(name)); }
    // name below the root, "-" when empty, as it is otherwise.
    QString relative(const QString& name) const
    {
        if (name.isEmpty())
            return QStringLiteral("-");
        return name.startsWith(path(QString())) ? name.mid(path(QString()).size()) : name;
    }

    std::unique_ptr<QTemporaryDir> m_root;
};

QTEST_GUILESS_MAIN(TestFolders)
#include "TestFolders.moc"
