#include "AThreadQueue.h"
#include "ATimerQueue.h"

#include <QMutex>
#include <QSemaphore>
#include <QtTest>

namespace {
// Records every job it handles, after running the test's hook on it.
template <typename Queue> class Recording : public Queue
{
public:
    ~Recording() override { this->stop(); }

    QList<int> handled() const
    {
        QMutexLocker lock(&m_mutex);
        return m_handled;
    }
    std::function<void(int)> onHandle;

protected:
    bool handleJob(int& job) override
    {
        if (onHandle)
            onHandle(job);
        QMutexLocker lock(&m_mutex);
        m_handled.append(job);
        return true;
    }

private:
    mutable QMutex m_mutex;
    QList<int> m_handled;
};
using ThreadQueue = Recording<AThreadQueue<int>>;
using TimerQueue = Recording<ATimerQueue<int>>;
} // namespace

class TestQueues : public QObject
{
    Q_OBJECT

private slots:
    void threadQueuesKeepArrivalOrderAndStopWhileIdle();
    void threadQueueStopsAfterTheCurrentJob();
    void timerQueueRunsOneHandlerAtATime();
};

void TestQueues::threadQueuesKeepArrivalOrderAndStopWhileIdle()
{
    ThreadQueue sweep;
    ThreadQueue sender;
    sender.onHandle = [&sweep](int job) { sweep.push(job * 10); };
    sweep.push(-1); // dropped: the worker is not running yet
    sweep.start();
    sender.start();
    QList<int> expected;
    for (int i = 1; i <= 100; ++i) {
        sender.push(i);
        expected.append(i * 10);
    }
    QTRY_COMPARE(sweep.handled(), expected);
    sweep.stop(); // while idle
    QVERIFY(sweep.isFinished());
}

void TestQueues::threadQueueStopsAfterTheCurrentJob()
{
    ThreadQueue busy;
    QSemaphore entered;
    busy.onHandle = [&entered](int job) {
        if (job == 1) {
            entered.release();
            QThread::msleep(50);
        }
    };
    busy.start();
    busy.push(1);
    busy.push(2);
    entered.acquire();
    busy.stop(); // returns only once the job in hand is done
    QVERIFY(busy.isFinished());
    QCOMPARE(busy.handled().value(0), 1);
}

void TestQueues::timerQueueRunsOneHandlerAtATime()
{
    TimerQueue queue;
    QList<int> nestedTicks;
    bool nested = false;
    queue.onHandle = [&](int job) {
        // Ticks that arrive while a modal window runs must not start another handler.
        if (job == 1 && !std::exchange(nested, true)) {
            queue.onTimeout();
            queue.push(3);
            queue.onTimeout();
            nestedTicks = queue.handled();
        }
    };
    queue.push(1);
    queue.push(2);
    QCOMPARE(queue.interval(), 1000); // fast while jobs wait
    queue.onTimeout();
    QCOMPARE(nestedTicks, QList<int>{});
    QCOMPARE(queue.handled(), QList<int>{1});
    QCOMPARE(queue.interval(), 1000);
    queue.onTimeout();
    queue.onTimeout();
    QCOMPARE(queue.handled(), (QList<int>{1, 2, 3}));
    QCOMPARE(queue.interval(), 30000); // slow once the queue is empty
}

QTEST_GUILESS_MAIN(TestQueues)
#include "TestQueues.moc"
