#include "UIWait.h"

#include "UIWaitWork.h"
#include "ui_UIWait.h"

#include <QEventLoop>
#include <QMovie>

UIWait::UIWait(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::UIWait>())
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowModality(Qt::WindowModal);
    auto* movie = new QMovie(QStringLiteral(":/img/wait.gif"), QByteArray(), this);
    m_ui->label->setMovie(movie);
    movie->start();
}

UIWait::~UIWait() = default;

void UIWait::setTask(std::function<void()> task)
{
    m_task = std::move(task);
}

void UIWait::runTask()
{
    show();
    QEventLoop loop;
    UIWaitWork work(m_task);
    connect(&work, &QThread::finished, &loop, &QEventLoop::quit);
    work.start(QThread::InheritPriority);
    loop.exec();
    // A quitting application ends every local loop at once, but the task may still be using the
    // caller's data.
    work.wait();
}
