#include "JobRow.h"
#include "PjlRewrite.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QByteArray kEnter("\n@PJL ENTER LANGUAGE=PCLXL\n");
const QByteArray kCustomA3("\xd1\x9a\x0b\x68\x10\xf8\x2f\xc0\x02\xf8\x30", 11);
const QByteArray kNamedA3Enum("\xc0\x05\xf8\x25", 4);
const QByteArray kHorizontal("\xc0\x00\xf8\x35", 4);
const QByteArray kVertical("\xc0\x01\xf8\x35", 4);
} // namespace

class TestPjlRewrite : public QObject
{
    Q_OBJECT

private slots:
    void replacesLikeOnePassOverTheOriginal_data();
    void replacesLikeOnePassOverTheOriginal();
    void refusalsLeaveTheFileAlone();
    void brandRules_data();
    void brandRules();

private:
    QString writeSpool(const QByteArray& content)
    {
        const QString path = m_dir.filePath(QStringLiteral("PavkoPort.%1").arg(++m_lastId));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return QString();
        return path;
    }
    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    int m_lastId = 0;
};

void TestPjlRewrite::replacesLikeOnePassOverTheOriginal_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    const QByteArray filler(1020, 'x');
    QTest::newRow("no occurrence") << QByteArray("abcdef") << QByteArray("zz") << QByteArray("y");
    QTest::newRow("empty file") << QByteArray() << QByteArray("zz") << QByteArray("y");
    QTest::newRow("across the 1024 boundary")
        << filler + "ABCDEFGH" + filler << QByteArray("ABCDEFGH") << QByteArray("-");
    QTest::newRow("at both ends") << QByteArray("ABxxxAB") << QByteArray("AB") << QByteArray("C");
    QTest::newRow("overlapping candidates") << QByteArray("aaaaa") << QByteArray("aa") << QByteArray("b");
    QTest::newRow("longer text that contains from") << QByteArray("head") + kEnter + "body" + kEnter << kEnter
                                                    << kEnter + "@PJL SET KMDRIVER=ON\n" + kEnter.mid(1);
    QTest::newRow("shorter, at the boundary")
        << filler + "zz" + kCustomA3 + filler << kCustomA3 << kNamedA3Enum;
    QTest::newRow("zero bytes") << QByteArray("a\0\0b\0", 5) << QByteArray("\0", 1) << QByteArray("\0\0", 2);
}

// Whatever the read size, the file ends as QByteArray::replace (left to right, no overlaps) makes it,
// with nothing left beside it.
void TestPjlRewrite::replacesLikeOnePassOverTheOriginal()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    const QByteArray expected = QByteArray(content).replace(from, to);
    QList<int> readSizes{kReplaceReadSize, 1024};
    for (int size = 1; size <= content.size() + 1 && size <= 80; ++size)
        readSizes.append(size);
    for (int size : readSizes) {
        const QString path = writeSpool(content);
        QVERIFY(replace_file_content(path, from, to, size));
        QCOMPARE(read(path), expected);
        QVERIFY(QFile::remove(path));
    }
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestPjlRewrite::refusalsLeaveTheFileAlone()
{
    const QString path = writeSpool("abc");
    QVERIFY(!replace_file_content(path, QByteArray(), "x"));
    QVERIFY(!replace_file_content(QString(), "a", "x"));
    QVERIFY(!replace_file_content(m_dir.filePath(QStringLiteral("missing")), "a", "x"));
    QVERIFY(!replace_file_content(m_dir.path(), "a", "x")); // a folder
    QCOMPARE(read(path), QByteArray("abc"));
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QFileInfo(path).fileName()});
    QFile::remove(path);
}

void TestPjlRewrite::brandRules_data()
{
    QTest::addColumn<QString>("device"); // "brand|model|user|password"
    QTest::addColumn<QString>("job");    // "copies size duplex analysed" and the document name
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArray>("expected");
    // The rules' main cases arrive byte for byte at a simulated device in TestJobSend; these are the
    // conditions around them.

    const QByteArray pjl = "\x1b%-12345X@PJL JOB\n@PJL SET QTY=3\n@PJL SET COPIES=3" + kEnter;
    const QByteArray a3 = QByteArray("\xc0\x00\xf8\x35", 4) + kCustomA3 + "<page>";
    const QByteArray stream = pjl + a3;
    const QByteArray a3Vertical = QByteArray(a3).replace(kHorizontal, kVertical);

    QTest::newRow("Konica of another model") << "KONICA MIN|bizhub 999|a|b"
                                             << "1 1 0 1" << stream << stream;
    const QByteArray sharpAccount = QByteArray(stream).replace(
        kEnter, "\n@PJL SET ACCOUNTNUMBER=\"48151623\"\n@PJL ENTER LANGUAGE=PCLXL \n");
    QTest::newRow("Sharp 4081 A3 duplex: account only") << "Sharp|Sharp 4081||"
                                                        << "1 2 1 1" << stream << sharpAccount;
    QTest::newRow("Sharp 365 A3 single-sided")
        << "Sharp|Sharp 365||"
        << "1 2 0 1" << stream << QByteArray(sharpAccount).replace(kCustomA3, kNamedA3Enum);
    QTest::newRow("Fuji Xerox duplex 2") << "Fuji Xerox|workcentre 7855||"
                                         << "1 2 2 1" << pjl + a3Vertical << stream;
    QTest::newRow("Fuji Xerox not A3") << "Fuji Xerox|workcentre 7855||"
                                       << "1 1 1 1" << stream << stream;
    QTest::newRow("Ricoh A4") << "Ricoh|any||"
                              << "1 1 0 1" << stream << stream;
    QTest::newRow("Brother 1 copy") << "Brother|MFC-8540DN||"
                                    << "1 1 0 1" << stream << stream;
    QTest::newRow("Brother not analysed")
        << "Brother|MFC-8530DN||"
        << "3 1 0 0" << stream << QByteArray(stream).replace("SET QTY", "SET COPIES");
    QTest::newRow("Toshiba not analysed")
        << "Toshiba|any||"
        << "2 1 0 0" << stream << QByteArray(stream).replace("SET COPIES", "SET QTY");
    QTest::newRow("brand texts are case-sensitive") << "ricoh|any||"
                                                    << "1 2 0 1" << stream << stream;
}

void TestPjlRewrite::brandRules()
{
    QFETCH(QString, device);
    QFETCH(QString, job);
    QFETCH(QByteArray, stream);
    SJob spooled = jobFromRow(device, job);
    spooled.filePath = writeSpool(stream);
    QVERIFY(add_user_password(spooled));
    rewrite_for_device(spooled);
    QTEST(read(spooled.filePath), "expected");
    QFile::remove(spooled.filePath);
}

QTEST_GUILESS_MAIN(TestPjlRewrite)
#include "TestPjlRewrite.moc"
