#include "TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <csignal>
#ifndef Q_OS_WIN
#include <sys/resource.h>
#endif

static AnsweredBox g_lastBox;

void TestAppDir::writeFile(const QString& name, const QByteArray& content) const
{
    QFile out(file(name));
    QVERIFY2(out.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(out.fileName()));
    out.write(content);
}

QByteArray TestAppDir::readFile(const QString& name) const
{
    QFile in(file(name));
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

QString TestAppDir::installDriver(const QString& folder) const
{
    const QString target =
        file(folder.isEmpty() ? QStringLiteral("pavkodriver") : folder + QStringLiteral("/pavkodriver"));
    if (!QFile::copy(QStringLiteral(PAVKODRIVER_PATH), target))
        return {};
    QFile::setPermissions(target, QFile::permissions(target) | QFile::ExeOwner);
    return target;
}

void onNextModalMatching(std::function<bool(QWidget*)> accept, std::function<void(QWidget*)> action)
{
    auto* poll = new QTimer;
    const QDeadlineTimer deadline(10000);
    QObject::connect(poll, &QTimer::timeout, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        const bool found = modal && accept(modal);
        if (!found && !deadline.hasExpired())
            return;
        // action may run a nested event loop, where the timer would fire again before its deletion.
        poll->stop();
        poll->deleteLater();
        if (found)
            action(modal);
    });
    poll->start(20);
}

void answerNextMessageBox(QMessageBox::StandardButton button)
{
    onNextModal<QMessageBox>([button](QMessageBox* box) {
        g_lastBox = {box->text(), box->windowTitle(), box->windowFlags(),
                     box->defaultButton() ? box->standardButton(box->defaultButton())
                                          : QMessageBox::NoButton};
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

QByteArray ghostscriptPage()
{
    const QString gs = QStandardPaths::findExecutable(QStringLiteral("gs"));
    QTemporaryDir dir;
    if (gs.isEmpty() || !dir.isValid())
        return {};
    QFile ps(dir.filePath(QStringLiteral("page.ps")));
    if (!ps.open(QIODevice::WriteOnly))
        return {};
    ps.write("%!PS\n/Helvetica findfont 20 scalefont setfont 72 720 moveto (Pavko) show showpage\n");
    ps.close();
    const QString out = dir.filePath(QStringLiteral("page.pxl"));
    QProcess process;
    process.start(gs, {QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
                       QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=pxlmono"),
                       QStringLiteral("-sOutputFile=") + out, ps.fileName()});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    QFile pxl(out);
    if (!pxl.open(QIODevice::ReadOnly))
        return {};
    const QByteArray made = pxl.readAll();
    const int body = made.indexOf(") HP-PCL XL");
    return body > 0 ? made.mid(body) : QByteArray();
}

#ifdef Q_OS_WIN
DiskFull::DiskFull(qint64) {}

DiskFull::~DiskFull() = default;
#else
DiskFull::DiskFull(qint64 room)
{
    // A write past the limit would end the process with SIGXFSZ; ignored, it fails with EFBIG instead.
    m_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_limit = quint64(limit.rlim_cur);
    limit.rlim_cur = rlim_t(room);
    setrlimit(RLIMIT_FSIZE, &limit);
}

DiskFull::~DiskFull()
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(m_limit);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_handler);
}
#endif
