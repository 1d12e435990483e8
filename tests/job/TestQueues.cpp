#include "AThreadQueue.h"
#include "ATimerQueue.h"

#include <QMutex>
#include <QSemaphore>
#include <QtTest>

namespace {
// Records every job it handles; optionally blocks in the handler until released.
class RecordingThreadQueue : public AThreadQueue<int>
{
public:
    explicit RecordingThreadQueue(AThreadQueue<int>* next = nullptr) : m_next(next) {}
    ~RecordingThreadQueue() override { stop(); }

    QList<int> handled() const
    {
        QMutexLocker lock(&m_mutex);
        return m_handled;
    }
    QSemaphore entered;
    QSemaphore release;
    bool blockFirst = false;

protected:
    bool handleJob(int& job) override
    {
        entered.release();
        if (blockFirst && job == 1)
            release.acquire();
        if (m_next)
            m_next->push(job * 10);
        QMutexLocker lock(&m_mutex);
        m_handled.append(job);
        return true;
    }

private:
    AThreadQueue<int>* m_next;
    mutable QMutex m_mutex;
    QList<int> m_handled;
};

class RecordingTimerQueue : public ATimerQueue<int>
{
public:
    QList<int> handled;
    std::function<void(int)> onHandle;

protected:
    bool handleJob(int& job) override
    {
        if (onHandle)
            onHandle(job);
        handled.append(job);
        return true;
    }
};
} // namespace

class TestQueues : public QObject
{
    Q_OBJECT

private slots:
    void threadQueueDropsJobsWhileNotRunning();
    void threadQueueHandlesInArrivalOrderAcrossQueues();
    void threadQueueStopsWhileIdleAndAfterTheCurrentJob();
    void timerQueueTicksFastOnlyWhileJobsWait();
    void timerQueueRunsOneHandlerAtATime();
};

void TestQueues::threadQueueDropsJobsWhileNotRunning()
{
    RecordingThreadQueue queue;
    queue.push(1);
    queue.start();
    queue.push(2);
    QTRY_COMPARE(queue.handled(), QList<int>{2});
    queue.stop();
    queue.push(3);
    QCOMPARE(queue.handled(), QList<int>{2});
}

void TestQueues::threadQueueHandlesInArrivalOrderAcrossQueues()
{
    RecordingThreadQueue sweep;
    RecordingThreadQueue sender(&sweep);
    sweep.start();
    sender.start();
    for (int i = 1; i <= 100; ++i)
        sender.push(i);
    QList<int> expected;
    for (int i = 1; i <= 100; ++i)
        expected.append(i * 10);
    QTRY_COMPARE(sweep.handled(), expected);
}

void TestQueues::threadQueueStopsWhileIdleAndAfterTheCurrentJob()
{
    {
        RecordingThreadQueue idle;
        idle.start();
        idle.stop();
        QVERIFY(idle.isFinished());
    }
    RecordingThreadQueue busy;
    busy.blockFirst = true;
    busy.start();
    busy.push(1);
    busy.push(2);
    busy.entered.acquire();
    std::unique_ptr<QThread> releaser(QThread::create([&busy] {
        QThread::msleep(20);
        busy.release.release();
    }));
    releaser->start();
    busy.stop(); // returns only once the job in hand is done
    QVERIFY(busy.isFinished());
    QCOMPARE(busy.handled().value(0), 1);
    releaser->wait();
}

void TestQueues::timerQueueTicksFastOnlyWhileJobsWait()
{
    RecordingTimerQueue queue;
    queue.start(queue.idleInterval);
    queue.onTimeout();
    QCOMPARE(queue.interval(), queue.idleInterval);

    queue.push(1);
    queue.push(2);
    QCOMPARE(queue.interval(), queue.busyInterval);
    queue.onTimeout();
    QCOMPARE(queue.handled, QList<int>{1});
    QCOMPARE(queue.interval(), queue.busyInterval);
    queue.onTimeout();
    QCOMPARE(queue.handled, (QList<int>{1, 2}));
    QCOMPARE(queue.interval(), queue.idleInterval);
}

void TestQueues::timerQueueRunsOneHandlerAtATime()
{
    RecordingTimerQueue queue;
    queue.push(1);
    queue.push(2);
    QList<int> nestedTicks;
    queue.onHandle = [&](int job) {
        // Ticks that arrive while a modal window runs must not start the next job.
        if (job == 1) {
            queue.onTimeout();
            queue.push(3);
            queue.onTimeout();
            nestedTicks = queue.handled;
        }
    };
    queue.onTimeout();
    QCOMPARE(nestedTicks, QList<int>{});
    QCOMPARE(queue.handled, QList<int>{1});
    queue.onTimeout();
    queue.onTimeout();
    QCOMPARE(queue.handled, (QList<int>{1, 2, 3}));
    QCOMPARE(queue.interval(), queue.idleInterval);
}

QTEST_GUILESS_MAIN(TestQueues)
#include "TestQueues.moc"
