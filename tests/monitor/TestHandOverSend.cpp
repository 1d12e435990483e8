#include "HandOverSend.h"

#include <QElapsedTimer>
#include <QtTest>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

Q_DECLARE_METATYPE(HandOver::SendResult)

namespace {
// A listener on a free loopback port that behaves as the row says.
enum class Listener
{
    None,        // the port is closed
    QueueFull,   // listens, never accepts, and its queue is full: connections are never completed
    Silent,      // connections complete in its queue, but it never reads or answers
    AnswerTaken, // reads the path up to its zero byte and answers
    AnswerRefused,
    ClosesEarly // reads the path and closes without an answer
};

struct Peer
{
    int listener = -1;
    std::vector<int> fillers;
    std::thread answering;
    std::string received;
    unsigned short port = 0;

    explicit Peer(Listener kind)
    {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        if (kind == Listener::None) {
            close(listener); // the port stays free long enough for the row
            listener = -1;
            return;
        }
        listen(listener, 0);
        if (kind == Listener::QueueFull) {
            // Connections that complete until the queue is full; the next ones hang in the handshake.
            for (int i = 0; i < 8; ++i) {
                const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
                fillers.push_back(filler);
            }
        }
        if (kind == Listener::AnswerTaken || kind == Listener::AnswerRefused ||
            kind == Listener::ClosesEarly) {
            answering = std::thread([this, kind] {
                const int connection = accept(listener, nullptr, nullptr);
                char byte = 0;
                while (recv(connection, &byte, 1, 0) == 1 && byte != '\0')
                    received += byte;
                if (kind != Listener::ClosesEarly) {
                    const char answer =
                        kind == Listener::AnswerTaken ? HandOver::kAnswerTaken : HandOver::kAnswerRefused;
                    send(connection, &answer, 1, MSG_NOSIGNAL);
                }
                close(connection);
            });
        }
    }
    ~Peer()
    {
        if (answering.joinable())
            answering.join();
        for (int filler : fillers)
            close(filler);
        if (listener >= 0)
            close(listener);
    }
};
} // namespace
Q_DECLARE_METATYPE(Listener)

class TestHandOverSend : public QObject
{
    Q_OBJECT

private slots:
    // Whatever the listener does, one try costs the sender at most its limits, and only a listener that
    // answered that it took the job has it.
    void boundedTries_data()
    {
        QTest::addColumn<Listener>("listener");
        QTest::addColumn<HandOver::SendResult>("result");
        QTest::newRow("closed port") << Listener::None << HandOver::SendResult::NoClient;
        QTest::newRow("never accepts, queue full") << Listener::QueueFull << HandOver::SendResult::NoClient;
        QTest::newRow("never answers") << Listener::Silent << HandOver::SendResult::Failed;
        QTest::newRow("closes without an answer") << Listener::ClosesEarly << HandOver::SendResult::Failed;
        QTest::newRow("refuses") << Listener::AnswerRefused << HandOver::SendResult::Refused;
        QTest::newRow("takes it") << Listener::AnswerTaken << HandOver::SendResult::Taken;
    }
    void boundedTries()
    {
        QFETCH(Listener, listener);
        QFETCH(HandOver::SendResult, result);
        Peer peer(listener);
        HandOver::SendLimits limits;
        limits.connectMs = 300;
        limits.sendMs = 300;
        limits.answerMs = 300;
        QElapsedTimer clock;
        clock.start();
        const HandOver::SendResult sent =
            HandOver::sendPath("/tmp/pavkodriver/PavkoPort.5", peer.port, nullptr, limits);
        const qint64 took = clock.elapsed();
        QCOMPARE(int(sent), int(result));
        // The three limits and scheduling slack on a loaded machine; unbounded steps take minutes.
        QVERIFY2(took < 900 + 4000, QByteArray::number(took));
        if (peer.answering.joinable())
            peer.answering.join();
        if (listener == Listener::AnswerTaken || listener == Listener::AnswerRefused)
            QCOMPARE(QByteArray::fromStdString(peer.received), QByteArray("/tmp/pavkodriver/PavkoPort.5"));
    }
};

QTEST_GUILESS_MAIN(TestHandOverSend)
#include "TestHandOverSend.moc"
