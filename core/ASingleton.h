#pragma once

#include <QMutex>
#include <atomic>

// One lazily created, never destroyed instance per type and process.
template <typename T> class ASingleton
{
public:
    static T* instance()
    {
        T* object = s_instance.load(std::memory_order_acquire);
        if (!object) {
            static QMutex mutex;
            QMutexLocker lock(&mutex);
            object = s_instance.load(std::memory_order_relaxed);
            if (!object) {
                object = new T;
                s_instance.store(object, std::memory_order_release);
            }
        }
        return object;
    }

private:
    static inline std::atomic<T*> s_instance{nullptr};
};
