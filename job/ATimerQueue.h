#pragma once

#include <QMutex>
#include <QTimer>
#include <list>

// A pipeline stage that handles queued jobs on the GUI thread, driven by a timer, so that its handler
// may open modal windows. The timer ticks every idleInterval while the queue is empty and every
// busyInterval from a push until the queue has been emptied.
template <typename Job> class ATimerQueue : public QTimer
{
public:
    static constexpr int busyInterval = 1000;
    static constexpr int idleInterval = 30000;

    explicit ATimerQueue(QObject* parent = nullptr) : QTimer(parent)
    {
        connect(this, &QTimer::timeout, this, &ATimerQueue::onTimeout);
    }

    void push(const Job& job)
    {
        QMutexLocker lock(&m_listMutex);
        m_jobs.push_back(job);
        setInterval(busyInterval);
    }

    void setBusy(bool busy)
    {
        QMutexLocker lock(&m_stateMutex);
        m_busy = busy;
    }

    // One tick: handles the front job unless the queue is empty or a handler is still running
    // (a modal window's nested event loop keeps the timer ticking).
    void onTimeout()
    {
        Job* front = nullptr;
        {
            QMutexLocker lock(&m_listMutex);
            if (m_jobs.empty())
                return;
            front = &m_jobs.front();
        }
        {
            QMutexLocker lock(&m_stateMutex);
            if (m_busy)
                return;
            m_busy = true;
        }
        handleJob(*front);
        {
            QMutexLocker lock(&m_listMutex);
            m_jobs.pop_front();
            if (m_jobs.empty())
                setInterval(idleInterval);
        }
        setBusy(false);
    }

protected:
    virtual bool handleJob(Job& job) = 0;

private:
    QMutex m_listMutex;
    std::list<Job> m_jobs;
    QMutex m_stateMutex;
    bool m_busy = false;
};
