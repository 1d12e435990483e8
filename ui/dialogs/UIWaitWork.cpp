#include "UIWaitWork.h"

UIWaitWork::UIWaitWork(std::function<void()> task, QObject* parent) : QThread(parent), m_task(std::move(task))
{
}

void UIWaitWork::run()
{
    m_task();
}
