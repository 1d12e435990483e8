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
    auto* work = new UIWaitWork(m_task);
    connect(work, &QThread::finished, work, &QObject::deleteLater);
    connect(work, &QThread::finished, &loop, &QEventLoop::quit);
    work->start(QThread::InheritPriority);
    loop.exec();
}
