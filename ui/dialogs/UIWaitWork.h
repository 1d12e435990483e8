#pragma once

#include <QThread>
#include <functional>

// Runs one task once on its own thread.
class UIWaitWork : public QThread
{
public:
    explicit UIWaitWork(std::function<void()> task, QObject* parent = nullptr);

protected:
    void run() override;

private:
    std::function<void()> m_task;
};
