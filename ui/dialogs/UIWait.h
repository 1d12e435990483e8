#pragma once

#include <QWidget>
#include <functional>
#include <memory>

namespace Ui {
class UIWait;
}

// A small animated window shown while a task runs on a worker thread; the caller waits in a local
// event loop, so the interface stays alive. The task must not touch widgets.
class UIWait : public QWidget
{
    Q_OBJECT

public:
    explicit UIWait(QWidget* parent = nullptr);
    ~UIWait() override;

    void setTask(std::function<void()> task);
    // Returns once the task has finished.
    void runTask();

private:
    std::unique_ptr<Ui::UIWait> m_ui;
    std::function<void()> m_task;
};
