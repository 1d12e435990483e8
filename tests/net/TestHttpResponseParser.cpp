#include "HttpResponseParser.h"

#include <QtTest>

using Failure = HttpResponseParser::Failure;
Q_DECLARE_METATYPE(Failure)

namespace {
struct Result
{
    Failure failure = Failure::None;
    bool done = false;
    QByteArray body;
};

// Feeds the answer in two pieces split at split (and then, unless open, the connection's end).
Result parse(const QByteArray& answer, int split, qint64 limit = 64, bool closeAfter = true)
{
    HttpResponseParser parser({limit, 32, 4, 256});
    Result result;
    parser.feed(answer.constData(), split, result.body);
    parser.feed(answer.constData() + split, answer.size() - split, result.body);
    if (closeAfter)
        parser.closed();
    result.failure = parser.failure();
    result.done = parser.done();
    return result;
}
} // namespace

class TestHttpResponseParser : public QObject
{
    Q_OBJECT

private slots:
    void everySplit_data();
    void everySplit();
    void everyTruncation();
};

void TestHttpResponseParser::everySplit_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QByteArray>("body"); // null: whatever came before the failure
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    QTest::newRow("length") << ok + "Content-Length: 3\r\n\r\nabcEXTRA" << Failure::None << QByteArray("abc");
    QTest::newRow("chunked")
        << ok + "Transfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2 ; x=y\r\nde\r\n0\r\nT: 1\r\n\r\n"
        << Failure::None << QByteArray("abcde");
    QTest::newRow("interim") << "HTTP/1.1 100 Continue\r\n\r\n" + ok + "\r\nuntil closed" << Failure::None
                             << QByteArray("until closed");
    QTest::newRow("no content") << QByteArray("HTTP/1.1 204 No Content\r\nContent-Length: 9\r\n\r\n")
                                << Failure::None << QByteArray("");
    QTest::newRow("line at its bound") << ok + "X: " + QByteArray(29, 'a') + "\r\nContent-Length: 0\r\n\r\n"
                                       << Failure::None << QByteArray("");
    QTest::newRow("line past its bound") << ok + "X: " + QByteArray(30, 'a') + "\r\n\r\n"
                                         << Failure::HeadTooLarge << QByteArray();
    QTest::newRow("too many headers") << ok + "A: 1\r\nB: 1\r\nC: 1\r\nD: 1\r\nE: 1\r\n\r\n"
                                      << Failure::HeadTooLarge << QByteArray();
    QTest::newRow("head past its size")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\n").repeated(11) << Failure::HeadTooLarge << QByteArray();
    QTest::newRow("announced past the limit") << ok + "Content-Length: 65\r\n\r\n"
                                              << Failure::BodyTooLarge << QByteArray();
    QTest::newRow("received past the limit")
        << ok + "\r\n" + QByteArray(65, 'b') << Failure::BodyTooLarge << QByteArray();
    QTest::newRow("gzip") << ok + "Content-Encoding: gzip\r\nContent-Length: 2\r\n\r\nab" << Failure::Encoded
                          << QByteArray();
    QTest::newRow("gzip transfer") << ok + "Transfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n"
                                   << Failure::Encoded << QByteArray();
    QTest::newRow("signed length") << ok + "Content-Length: +2\r\n\r\nab" << Failure::Malformed
                                   << QByteArray();
    QTest::newRow("folded header") << ok + "X: a\r\n b\r\n\r\n" << Failure::Malformed << QByteArray();
    QTest::newRow("bad chunk size") << ok + "Transfer-Encoding: chunked\r\n\r\nzz\r\n"
                                    << Failure::Malformed << QByteArray();
    QTest::newRow("switching protocols")
        << QByteArray("HTTP/1.1 101 Switching\r\n\r\n") << Failure::Malformed << QByteArray();
    QTest::newRow("cut body") << ok + "Content-Length: 5\r\n\r\nabc" << Failure::Truncated
                              << QByteArray("abc");
}

// Wherever the connection splits the answer, the outcome is the same.
void TestHttpResponseParser::everySplit()
{
    QFETCH(QByteArray, answer);
    QFETCH(Failure, failure);
    QFETCH(QByteArray, body);
    for (int split = 0; split <= answer.size(); ++split) {
        const Result result = parse(answer, split);
        QCOMPARE(result.failure, failure);
        QCOMPARE(result.done, failure == Failure::None);
        if (!body.isNull())
            QCOMPARE(result.body, body);
    }
}

// A connection that closes anywhere before a framed answer's end fails it.
void TestHttpResponseParser::everyTruncation()
{
    const QByteArray answer = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n";
    for (int size = 0; size < answer.size(); ++size)
        QCOMPARE(parse(answer.left(size), size).failure, Failure::Truncated);
    QCOMPARE(parse(answer, 0).failure, Failure::None);
}

QTEST_GUILESS_MAIN(TestHttpResponseParser)
#include "TestHttpResponseParser.moc"
