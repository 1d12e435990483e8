#pragma once

#include <QMutex>
#include <QThread>
#include <QWaitCondition>
#include <list>

// A pipeline stage with its own worker thread that handles queued jobs one at a time, oldest first.
// The concrete stage starts the thread in its constructor and calls stop() in its destructor.
template <typename Job> class AThreadQueue : public QThread
{
public:
    explicit AThreadQueue(QObject* parent = nullptr) : QThread(parent) {}

    // Dropped when the worker is not running.
    void push(const Job& job)
    {
        if (!isRunning())
            return;
        QMutexLocker lock(&m_mutex);
        m_jobs.push_back(job);
        m_condition.wakeOne();
    }

    // Ends the worker once its current job (if any) is done, and waits for it; queued jobs are dropped.
    void stop()
    {
        {
            QMutexLocker lock(&m_mutex);
            m_stopRequested = true;
            m_condition.wakeAll();
        }
        wait();
    }

protected:
    // Called on the worker thread with the front job, which stays queued meanwhile.
    virtual bool handleJob(Job& job) = 0;

    void run() override
    {
        for (;;) {
            Job* front = nullptr;
            {
                QMutexLocker lock(&m_mutex);
                while (m_jobs.empty() && !m_stopRequested)
                    m_condition.wait(&m_mutex);
                if (m_stopRequested)
                    return;
                front = &m_jobs.front();
            }
            handleJob(*front);
            QMutexLocker lock(&m_mutex);
            m_jobs.pop_front();
        }
    }

private:
    QWaitCondition m_condition;
    QMutex m_mutex;
    std::list<Job> m_jobs; // nodes never move, so the handler's reference survives later pushes
    bool m_stopRequested = false;
};
