#pragma once

#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <functional>

// An application directory for one test: config/config.json and whatever the test puts beside it.
class TestAppDir
{
public:
    TestAppDir() { QDir(m_dir.path()).mkpath(QStringLiteral("config")); }
    // The directory, ending with "/".
    QString path() const { return m_dir.path() + QLatin1Char('/'); }
    QString file(const QString& name) const { return path() + name; }
    void writeFile(const QString& name, const QByteArray& content) const;
    void writeConfig(const QByteArray& json) const { writeFile(QStringLiteral("config/config.json"), json); }
    QByteArray readFile(const QString& name) const; // empty when missing
    // Copies the pavkodriver executable in (into folder below it when given, which must exist), so that
    // it takes that folder as its application directory.
    QString installDriver(const QString& folder = QString()) const;

private:
    QTemporaryDir m_dir;
};

// Runs action on the next modal window that accept() takes (within a few seconds), from the event
// loop that window runs. Gives up quietly when none opens.
void onNextModalMatching(std::function<bool(QWidget*)> accept, std::function<void(QWidget*)> action);

// The same for the next modal window of type Window.
template <typename Window> void onNextModal(std::function<void(Window*)> action)
{
    onNextModalMatching([](QWidget* modal) { return qobject_cast<Window*>(modal) != nullptr; },
                        [action](QWidget* modal) { action(qobject_cast<Window*>(modal)); });
}

// Presses the given button of the next message box that opens (within a few seconds).
void answerNextMessageBox(QMessageBox::StandardButton button);
// The last message box answered through answerNextMessageBox().
struct AnsweredBox
{
    QString text, title;
    Qt::WindowFlags flags;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton; // what Enter would have pressed
};
AnsweredBox lastMessageBox();

// A one-page PCL XL stream that Ghostscript makes from a line of text, from its ") HP-PCL XL" line on
// (without Ghostscript's own PJL header); empty when gs is not installed or fails.
QByteArray ghostscriptPage();

// While it lives, no file of this process grows past room bytes: a write beyond fails as on a full disk
// (the kernel's file size limit, which holds for root too). Windows has no such limit: there it does
// nothing, and tests that need it skip.
class DiskFull
{
public:
    static constexpr bool available()
    {
#ifdef Q_OS_WIN
        return false;
#else
        return true;
#endif
    }
    explicit DiskFull(qint64 room = 0);
    ~DiskFull();
    DiskFull(const DiskFull&) = delete;
    DiskFull& operator=(const DiskFull&) = delete;

private:
    quint64 m_limit = 0; // the limit before, restored
    void (*m_handler)(int) = nullptr;
};
