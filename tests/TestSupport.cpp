#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {
AnsweredBox g_lastBox;
}

TestAppDir::TestAppDir()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("config"));
}

QString TestAppDir::path() const
{
    return m_dir.path() + QLatin1Char('/');
}

QString TestAppDir::file(const QString& name) const
{
    return path() + name;
}

void TestAppDir::writeFile(const QString& name, const QByteArray& content) const
{
    QFile out(file(name));
    QVERIFY2(out.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(out.fileName()));
    out.write(content);
}

void TestAppDir::writeConfig(const QByteArray& json) const
{
    writeFile(QStringLiteral("config/config.json"), json);
}

QByteArray TestAppDir::readFile(const QString& name) const
{
    QFile in(file(name));
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

QString TestAppDir::installDriver() const
{
    const QString target = file(QStringLiteral("pavkodriver"));
    QFile::remove(target);
    if (!QFile::copy(QStringLiteral(PAVKODRIVER_PATH), target))
        return {};
    QFile::setPermissions(target, QFile::permissions(target) | QFile::ExeOwner);
    return target;
}

void onNextModalMatching(std::function<bool(QWidget*)> accept, std::function<void(QWidget*)> action)
{
    auto* poll = new QTimer;
    auto deadline = std::make_shared<QDeadlineTimer>(10000);
    QObject::connect(poll, &QTimer::timeout, [poll, accept, action, deadline] {
        QWidget* modal = QApplication::activeModalWidget();
        const bool found = modal && accept(modal);
        if (!found && !deadline->hasExpired())
            return;
        poll->deleteLater();
        if (found)
            action(modal);
    });
    poll->start(20);
}

void answerNextMessageBox(QMessageBox::StandardButton button)
{
    onNextModal<QMessageBox>([button](QMessageBox* box) {
        g_lastBox = {box->text(), box->windowTitle(), box->windowFlags()};
        if (QAbstractButton* target = box->button(button))
            target->click();
        else
            box->reject();
    });
}

AnsweredBox lastMessageBox()
{
    return g_lastBox;
}
