#include "Backend.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// The print backend's own steps; tests/cups/cups-journey runs it under a real CUPS.
class TestBackend : public QObject
{
    Q_OBJECT

private slots:
    void keepStream_data();
    void keepStream();
    void listenerUid();
    void trustedUser_data();
    void trustedUser();
    void prepareFolders_data();
    void prepareFolders();
    void run_data();
    void run();
    void copyLines_data();
    void copyLines();
    void copiesHandedOver_data();
    void copiesHandedOver();
    void documentsKept_data();
    void documentsKept();

private:
    // Makes what lies at the user's folder's name before the job: "", "earlier" (the backend's own from
    // an earlier job, with a file of the user's), "another's" (another user's folder), "another's file"
    // (the user's folder holding a file of another user), "open" (the user's, mode 0755), "link", "file".
    static bool makeBefore(const QString& before, const QString& folder, uid_t uid, uid_t other);
};

namespace {
// A user and another user for folders: ids of no account when the test runs as root, which may give
// anything to anyone; otherwise the test's own user and no other.
const uid_t kUser = geteuid() == 0 ? 4242 : geteuid();
const uid_t kOther = 4243;

uid_t ownerOf(const QString& path)
{
    struct stat info;
    return lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_uid : uid_t(-1);
}

bool makeFile(const QString& path, uid_t owner)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1 &&
           (owner == geteuid() || chown(QFile::encodeName(path).constData(), owner, owner) == 0);
}

bool makeFolder(const QString& path, uid_t owner, mode_t mode)
{
    const QByteArray name = QFile::encodeName(path);
    return mkdir(name.constData(), mode) == 0 && chmod(name.constData(), mode) == 0 &&
           (owner == geteuid() || chown(name.constData(), owner, owner) == 0);
}
} // namespace

void TestBackend::keepStream_data()
{
    QTest::addColumn<QString>("before"); // what lies at the job file's name: "", "file", "link", "part link"
    QTest::addColumn<bool>("kept");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("first try") << "" << true << QByteArray("stream");
    QTest::newRow("a retry keeps the earlier stream") << "file" << true << QByteArray("earlier");
    QTest::newRow("a link in its place") << "link" << false << QByteArray("outside");
    QTest::newRow("a link at the temporary name") << "part link" << false << QByteArray();
}

void TestBackend::keepStream()
{
    QFETCH(QString, before);
    QFETCH(bool, kept);
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString outside = dir.filePath(QStringLiteral("outside"));
    {
        QFile file(outside);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("outside");
    }
    const QString job = dir.filePath(QStringLiteral("PavkoPort.7"));
    if (before == QLatin1String("file")) {
        QFile file(job);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("earlier");
    } else if (before == QLatin1String("link")) {
        QVERIFY(QFile::link(outside, job));
    } else if (before == QLatin1String("part link")) {
        QVERIFY(QFile::link(outside, dir.filePath(QStringLiteral(".PavkoPort.7.part"))));
    }
    int pipe[2];
    QVERIFY(::pipe(pipe) == 0);
    QCOMPARE(write(pipe[1], "stream", 6), ssize_t(6));
    close(pipe[1]);

    QCOMPARE(Backend::keepStream(pipe[0], dir.path().toStdString(), "PavkoPort.7"), kept);
    char rest;
    QCOMPARE(read(pipe[0], &rest, 1), ssize_t(0)); // read to the end, so the filter before it ends well
    close(pipe[0]);
    QFile result(job);
    QCOMPARE(result.open(QIODevice::ReadOnly) ? result.readAll() : QByteArray(), content);
    QFile untouched(outside);
    QVERIFY(untouched.open(QIODevice::ReadOnly));
    QCOMPARE(untouched.readAll(), QByteArray("outside"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral(".PavkoPort.7.part"))) ||
            before == QLatin1String("part link"));
}

// Who accepted a connection, as the kernel's table of TCP sockets shows it.
void TestBackend::listenerUid()
{
    const char table[] =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
        "   0: 0100007F:2396 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 1 1\n"
        "   1: 0100007F:2396 0100007F:D431 01 00000000:00000000 00:00000000 00000000  1001        0 2 1\n"
        "   2: 0100007F:D431 0100007F:2396 01 00000000:00000000 00:00000000 00000000     0        0 3 1\n"
        "   3: 0200007F:2396 0100007F:D432 01 00000000:00000000 00:00000000 00000000  1002        0 4 1\n";
    QCOMPARE(Backend::listenerUid(table, 9110, 0xD431), 1001L);
    QCOMPARE(Backend::listenerUid(table, 9110, 0xD432), -1L); // another address
    QCOMPARE(Backend::listenerUid(table, 9111, 0xD431), -1L);
    QCOMPARE(Backend::listenerUid("", 9110, 0xD431), -1L);
}

// What CUPS tells the backend of the job's submitter decides whether the job's user can be believed.
void TestBackend::trustedUser_data()
{
    QTest::addColumn<QString>("authUser");         // AUTH_USERNAME
    QTest::addColumn<QString>("authUid");          // AUTH_UID
    QTest::addColumn<QString>("authInfoRequired"); // AUTH_INFO_REQUIRED
    QTest::addColumn<bool>("trusted");
    // The job's user is "pvkb", user id 1001.
    QTest::newRow("authenticated on the local socket") << "pvkb"
                                                       << "1001"
                                                       << "none" << true;
    QTest::newRow("authenticated by password") << "pvkb"
                                               << ""
                                               << "none" << true;
    QTest::newRow("no AUTH_INFO_REQUIRED") << "pvkb"
                                           << "1001"
                                           << "" << true;
    QTest::newRow("not authenticated (lp -U pvkb)") << ""
                                                    << ""
                                                    << "none" << false;
    QTest::newRow("authenticated as another user") << "pvka"
                                                   << "1000"
                                                   << "none" << false;
    QTest::newRow("a process of another user") << "pvkb"
                                               << "1000"
                                               << "none" << false;
    QTest::newRow("a user id that is no number") << "pvkb"
                                                 << "1001x"
                                                 << "none" << false;
    QTest::newRow("credentials the user typed for the queue") << "pvkb"
                                                              << ""
                                                              << "username,password" << false;
}

void TestBackend::trustedUser()
{
    QFETCH(QString, authUser);
    QFETCH(QString, authUid);
    QFETCH(QString, authInfoRequired);
    QFETCH(bool, trusted);
    Backend::Job job;
    job.id = "5";
    job.user = "pvkb";
    job.authUser = authUser.toStdString();
    job.authUid = authUid.toStdString();
    job.authInfoRequired = authInfoRequired.toStdString();
    QCOMPARE(Backend::trustedUser(job, 1001), trusted);
}

bool TestBackend::makeBefore(const QString& before, const QString& folder, uid_t uid, uid_t other)
{
    if (before.isEmpty())
        return true;
    if (before == QLatin1String("earlier"))
        return makeFolder(folder, uid, 0700) && makeFile(folder + QStringLiteral("/PavkoPort.1"), uid);
    if (before == QLatin1String("another's"))
        return makeFolder(folder, other, 0700) && makeFile(folder + QStringLiteral("/PavkoPort.500"), other);
    if (before == QLatin1String("another's file")) // given to the user with its contents, as before
        return makeFolder(folder, geteuid(), 0700) &&
               makeFile(folder + QStringLiteral("/PavkoPort.500"), other) &&
               chown(QFile::encodeName(folder).constData(), uid, uid) == 0;
    if (before == QLatin1String("open"))
        return makeFolder(folder, uid, 0755);
    if (before == QLatin1String("link")) {
        const QString elsewhere = folder + QStringLiteral(".elsewhere");
        return makeFolder(elsewhere, uid, 0700) && QFile::link(elsewhere, folder);
    }
    return before == QLatin1String("file") && makeFile(folder, uid);
}

// The user's spool folder is taken only as the backend makes it.
void TestBackend::prepareFolders_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("otherUser"); // needs another user (root only)
    QTest::addColumn<bool>("taken");
    QTest::newRow("made for the first job") << "" << false << true;
    QTest::newRow("made for an earlier job") << "earlier" << false << true;
    QTest::newRow("made in advance by another user") << "another's" << true << false;
    QTest::newRow("holding another user's file") << "another's file" << true << false;
    QTest::newRow("open to others") << "open" << false << false;
    QTest::newRow("a link to a folder") << "link" << false << false;
    QTest::newRow("a file") << "file" << false << false;
}

void TestBackend::prepareFolders()
{
    QFETCH(QString, before);
    QFETCH(bool, otherUser);
    QFETCH(bool, taken);
    if (otherUser && geteuid() != 0)
        QSKIP("needs root, to make another user's files");
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("spool"));
    const QString folder = root + QStringLiteral("/") + QString::number(kUser);
    QVERIFY(makeFolder(root, geteuid(), 0755));
    QVERIFY(makeBefore(before, folder, kUser, kOther));
    const uid_t ownerBefore = ownerOf(folder);

    QCOMPARE(Backend::prepareFolders(root.toStdString(), kUser, kUser), taken);
    if (!taken) {
        QCOMPARE(ownerOf(folder), ownerBefore); // never given to the user
        return;
    }
    struct stat info;
    QVERIFY(lstat(QFile::encodeName(folder).constData(), &info) == 0);
    QVERIFY(S_ISDIR(info.st_mode));
    QCOMPARE(info.st_uid, kUser);
    QCOMPARE(info.st_mode & 07777, mode_t(0700));
}

// A job the backend cannot give to its user stays held in the queue, its stream unwritten.
void TestBackend::run_data()
{
    QTest::addColumn<bool>("authenticated");
    QTest::addColumn<QString>("before");
    QTest::newRow("user not authenticated") << false << "";
    QTest::newRow("folder made in advance by another user") << true << "another's";
    QTest::newRow("folder open to others") << true << "open";
}

void TestBackend::run()
{
    QFETCH(bool, authenticated);
    QFETCH(QString, before);
    if (before == QLatin1String("another's") && geteuid() != 0)
        QSKIP("needs root, to make another user's files");
    const passwd* self = getpwuid(geteuid());
    QVERIFY(self);
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("spool"));
    const QString folder = root + QStringLiteral("/") + QString::number(self->pw_uid);
    QVERIFY(makeFolder(root, geteuid(), 0755));
    QVERIFY(makeBefore(before, folder, self->pw_uid, kOther));
    qputenv("PAVKO_SPOOL_ROOT", QFile::encodeName(root));
    int pipe[2];
    QVERIFY(::pipe(pipe) == 0);
    QCOMPARE(write(pipe[1], "stream", 6), ssize_t(6));
    close(pipe[1]);
    Backend::Job job;
    job.id = "9";
    job.user = self->pw_name;
    job.input = pipe[0];
    if (authenticated) {
        job.authUser = job.user;
        job.authUid = std::to_string(self->pw_uid);
    }

    QCOMPARE(Backend::run(job, 9), Backend::kHold);
    close(pipe[0]);
    qunsetenv("PAVKO_SPOOL_ROOT");
    QVERIFY(!QFile::exists(folder + QStringLiteral("/PavkoPort.9")));
    if (before.isEmpty())
        QVERIFY(!QFile::exists(folder));
}

namespace {
const QByteArray kUel = "\x1b%-12345X";
// The stream of one document as the queue's filters write it (Ghostscript's pxlcolor device).
QByteArray filtered(const QByteArray& copyLine = QByteArray())
{
    return kUel + "@PJL SET RENDERMODE=COLOR\n@PJL SET RESOLUTION=600\n" + copyLine +
           "@PJL ENTER LANGUAGE = PCLXL\n) HP-PCL XL;1;1;Comment\r\n\xd1\x58\x02" + kUel;
}
} // namespace

// The copy line goes into each header of the stream that does not ask for copies itself, wherever the
// stream's pieces happen to end.
void TestBackend::copyLines_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray qty = "@PJL SET QTY=3\n";
    QTest::newRow("filtered document") << filtered() << filtered(qty);
    QTest::newRow("two documents in one job") << filtered() + filtered() << filtered(qty) + filtered(qty);
    QTest::newRow("its own copy line again") << filtered(qty) << filtered(qty);
    QTest::newRow("QTY of its own") << filtered("@PJL SET QTY=2\n") << filtered("@PJL SET QTY=2\n");
    QTest::newRow("COPIES of its own, lower case, blanks")
        << filtered("@pjl set copies = 2\r\n") << filtered("@pjl set copies = 2\r\n");
    QTest::newRow("ENTER LANGUAGE named in a comment")
        << filtered("@PJL COMMENT ENTER LANGUAGE SET QTY=9\n")
        << filtered("@PJL COMMENT ENTER LANGUAGE SET QTY=9\n" + qty);
    QTest::newRow("ENTER LANGUAGE right after the UEL")
        << kUel + "@PJL ENTER LANGUAGE=PCLXL\n) HP-PCL XL;2;0\r\n"
        << kUel + "@PJL\n" + qty + "@PJL ENTER LANGUAGE=PCLXL\n) HP-PCL XL;2;0\r\n";
    QTest::newRow("PCL XL without a header")
        << QByteArray(") HP-PCL XL;2;0\r\n\xd1")
        << kUel + "@PJL\n" + qty + "@PJL ENTER LANGUAGE=PCLXL\n) HP-PCL XL;2;0\r\n\xd1";
    QTest::newRow("no PCL XL, no header") << QByteArray("%PDF-1.7\n") << QByteArray("%PDF-1.7\n");
    QTest::newRow("binary after a UEL") << kUel + "\xc8\x01@PJL ENTER LANGUAGE=PCLXL\n"
                                        << kUel + "\xc8\x01@PJL ENTER LANGUAGE=PCLXL\n";
    QTest::newRow("a line longer than PJL's")
        << kUel + QByteArray(5000, 'A') + "\n@PJL ENTER LANGUAGE=PCLXL\n"
        << kUel + QByteArray(5000, 'A') + "\n@PJL ENTER LANGUAGE=PCLXL\n";
    QTest::newRow("ends in a header") << kUel + "@PJL SET RESOLUTION=600" << kUel + "@PJL SET RESOLUTION=600";
}

void TestBackend::copyLines()
{
    QFETCH(QByteArray, stream);
    QFETCH(QByteArray, expected);
    for (int piece = 1; piece <= stream.size(); ++piece) {
        Backend::CopyLines lines(3);
        std::string out;
        for (int at = 0; at < stream.size(); at += piece)
            out += lines.pass(stream.constData() + at, size_t(qMin(piece, stream.size() - at)));
        out += lines.finish();
        QCOMPARE(QByteArray::fromStdString(out), expected);
    }
}

// CUPS's copies argument reaches the stream the client is handed, once; a count that is none prints one.
void TestBackend::copiesHandedOver_data()
{
    QTest::addColumn<QString>("copies"); // the backend's copies argument
    QTest::addColumn<int>("runs");       // CUPS tries the job again when the client did not take it
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("3") << "3" << 1 << filtered("@PJL SET QTY=3\n");
    QTest::newRow("3, tried again") << "3" << 2 << filtered("@PJL SET QTY=3\n");
    QTest::newRow("999") << "999" << 1 << filtered("@PJL SET QTY=999\n");
    QTest::newRow("1") << "1" << 1 << filtered();
    QTest::newRow("1000") << "1000" << 1 << filtered();
    QTest::newRow("0") << "0" << 1 << filtered();
    QTest::newRow("-3") << "-3" << 1 << filtered();
    QTest::newRow("3x") << "3x" << 1 << filtered();
    QTest::newRow("blank before") << " 3" << 1 << filtered();
    QTest::newRow("beyond every integer") << "99999999999999999999" << 1 << filtered();
}

void TestBackend::copiesHandedOver()
{
    QFETCH(QString, copies);
    QFETCH(int, runs);
    QFETCH(QByteArray, expected);
    const passwd* self = getpwuid(geteuid());
    QVERIFY(self);
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("spool"));
    qputenv("PAVKO_SPOOL_ROOT", QFile::encodeName(root));
    // The user's client: takes every path it is handed.
    QTcpServer client;
    QVERIFY(client.listen(QHostAddress::LocalHost));
    QStringList handed;
    connect(&client, &QTcpServer::newConnection, this, [&client, &handed] {
        QTcpSocket* connection = client.nextPendingConnection();
        connect(connection, &QTcpSocket::readyRead, connection, [connection, &handed] {
            if (!connection->peek(4096).contains('\0'))
                return;
            handed << QFile::decodeName(connection->readAll().chopped(1));
            connection->write("T");
            connection->disconnectFromHost();
        });
    });
    for (int run = 0; run < runs; ++run) {
        int pipe[2];
        QVERIFY(::pipe(pipe) == 0);
        QCOMPARE(write(pipe[1], filtered().constData(), size_t(filtered().size())),
                 ssize_t(filtered().size()));
        close(pipe[1]);
        Backend::Job job;
        job.id = "12";
        job.user = self->pw_name;
        job.authUser = job.user;
        job.authUid = std::to_string(self->pw_uid);
        job.input = pipe[0];
        job.copies = copies.toStdString();
        std::atomic<int> result{-1};
        std::thread backend([&job, &result, &client] { result = Backend::run(job, client.serverPort()); });
        QTRY_VERIFY(result != -1);
        backend.join();
        close(pipe[0]);
        QCOMPARE(int(result), Backend::kOk);
    }
    qunsetenv("PAVKO_SPOOL_ROOT");
    QCOMPARE(handed.size(), runs);
    QFile stream(handed.first());
    QVERIFY(stream.open(QIODevice::ReadOnly));
    QCOMPARE(stream.readAll(), expected);
}

namespace {
// A document whose pages each show one word: "PostScript" or a PDF that Ghostscript makes of it.
QByteArray document(const QString& type, const QByteArrayList& words)
{
    QByteArray ps = "%!PS\n/Helvetica findfont 30 scalefont setfont\n";
    for (const QByteArray& word : words)
        ps += "72 700 moveto (" + word + ") show showpage\n";
    if (type != QLatin1String("PDF"))
        return ps;
    QProcess gs;
    gs.start(QStringLiteral("gs"),
             QStringLiteral("-q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile=- -")
                 .split(QLatin1Char(' ')));
    gs.write(ps);
    gs.closeWriteChannel();
    gs.waitForFinished(60000);
    return gs.readAllStandardOutput();
}

// The words on a document's pages, as Ghostscript reads them back.
QStringList words(const QString& path)
{
    QProcess gs;
    gs.start(QStringLiteral("gs"),
             QStringLiteral("-q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=txtwrite -sOutputFile=-")
                     .split(QLatin1Char(' '))
                 << path);
    gs.waitForFinished(60000);
    return QString::fromLatin1(gs.readAllStandardOutput())
        .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}
} // namespace

// Printing later has the job's documents, all of them: CUPS filters the documents of "lp a.pdf b.ps" one
// after another into the backend's one stream. The converter takes what is kept in place of the stream.
void TestBackend::documentsKept_data()
{
    QTest::addColumn<QString>("contentType"); // CUPS's, the first document's
    QTest::addColumn<QByteArrayList>("documents");
    QTest::addColumn<QString>("kept"); // the name beside the stream, empty for none
    QTest::addColumn<QStringList>("words");
    const QString pdf = QStringLiteral("application/pdf"), ps = QStringLiteral("application/postscript");
    const QByteArray a = document(QStringLiteral("PDF"), {"A1", "A2"});
    const QByteArray b = document(QStringLiteral("PostScript"), {"B1", "B2", "B3"});
    const QStringList ab = {QStringLiteral("A1"), QStringLiteral("A2"), QStringLiteral("B1"),
                            QStringLiteral("B2"), QStringLiteral("B3")};
    QTest::newRow("one PDF") << pdf << QByteArrayList{a} << ".document.pdf" << QStringList(ab.mid(0, 2));
    QTest::newRow("one PostScript") << ps << QByteArrayList{b} << ".document.ps" << QStringList(ab.mid(2));
    QTest::newRow("PDF and PostScript") << pdf << QByteArrayList{a, b} << ".document.pdf" << ab;
    QTest::newRow("PostScript and PDF")
        << ps << QByteArrayList{b, a} << ".document.pdf" << QStringList(ab.mid(2) + ab.mid(0, 2));
    QTest::newRow("one PDF twice") << pdf << QByteArrayList{a, a} << ".document.pdf"
                                   << QStringList(ab.mid(0, 2) + ab.mid(0, 2));
    // Part of a job would pass for the whole: nothing is kept, and the converter refuses the job.
    QTest::newRow("PDF and text") << pdf << QByteArrayList{a, "B1\n"} << "" << QStringList();
    QTest::newRow("text") << "text/plain" << QByteArrayList{"B1\n"} << "" << QStringList();
}

void TestBackend::documentsKept()
{
    QFETCH(QString, contentType);
    QFETCH(QByteArrayList, documents);
    QFETCH(QString, kept);
    QFETCH(QStringList, words);
    if (QStandardPaths::findExecutable(QStringLiteral("gs")).isEmpty())
        QSKIP("Ghostscript (gs) is not installed");
    const passwd* self = getpwuid(geteuid());
    QVERIFY(self);
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("spool"));
    const QString requests = dir.filePath(QStringLiteral("requests"));
    QVERIFY(QDir().mkpath(requests));
    for (int index = 0; index < documents.size(); ++index) {
        QFile file(requests + QStringLiteral("/d00012-%1").arg(index + 1, 3, 10, QLatin1Char('0')));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(documents[index]), qint64(documents[index].size()));
    }
    qputenv("PAVKO_SPOOL_ROOT", QFile::encodeName(root));
    qputenv("CUPS_REQUESTROOT", QFile::encodeName(requests));
    qputenv("CONTENT_TYPE", contentType.toLatin1());
    QTcpServer client;
    QVERIFY(client.listen(QHostAddress::LocalHost));
    connect(&client, &QTcpServer::newConnection, this, [&client] {
        QTcpSocket* connection = client.nextPendingConnection();
        connect(connection, &QTcpSocket::readyRead, connection, [connection] {
            if (!connection->peek(4096).contains('\0'))
                return;
            connection->readAll();
            connection->write("T");
            connection->disconnectFromHost();
        });
    });
    int pipe[2];
    QVERIFY(::pipe(pipe) == 0);
    QCOMPARE(write(pipe[1], filtered().constData(), size_t(filtered().size())), ssize_t(filtered().size()));
    close(pipe[1]);
    Backend::Job job;
    job.id = "12";
    job.user = self->pw_name;
    job.authUser = job.user;
    job.authUid = std::to_string(self->pw_uid);
    job.input = pipe[0];
    job.copies = "1";
    std::atomic<int> result{-1};
    std::thread backend([&job, &result, &client] { result = Backend::run(job, client.serverPort()); });
    QTRY_VERIFY(result != -1);
    backend.join();
    close(pipe[0]);
    qunsetenv("PAVKO_SPOOL_ROOT");
    qunsetenv("CUPS_REQUESTROOT");
    qunsetenv("CONTENT_TYPE");
    QCOMPARE(int(result), Backend::kOk);

    // Beside the stream: the kept document alone, no temporary file or folder.
    const QDir folder(root + QLatin1Char('/') + QString::number(self->pw_uid));
    const QStringList expected =
        kept.isEmpty() ? QStringList{QStringLiteral("PavkoPort.12")}
                       : QStringList{QStringLiteral("PavkoPort.12"), QStringLiteral("PavkoPort.12") + kept};
    QCOMPARE(folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), expected);
    if (documents.size() == 1 && !kept.isEmpty()) {
        QFile file(folder.filePath(expected.last()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), documents.first()); // as the application printed it
    }
    // What printing later uploads.
    QProcess convert;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PAVKO_GPCL"), QStringLiteral("no-such-reader"));
    convert.setProcessEnvironment(environment);
    convert.start(QStringLiteral(PAVKO_CONVERT_PATH), {folder.filePath(QStringLiteral("PavkoPort.12")),
                                                       dir.filePath(QStringLiteral("later.pdf"))});
    QVERIFY(convert.waitForFinished(60000));
    QCOMPARE(convert.exitCode(), kept.isEmpty() ? 3 : 0);
    if (!kept.isEmpty())
        QCOMPARE(::words(dir.filePath(QStringLiteral("later.pdf"))), words);
}

QTEST_GUILESS_MAIN(TestBackend)
#include "TestBackend.moc"
