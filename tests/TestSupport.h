#pragma once

#include <QByteArray>
#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>

// An application directory for one test: config/config.json and whatever the test puts beside it.
class TestAppDir
{
public:
    TestAppDir();
    // The directory, ending with "/".
    QString path() const;
    QString file(const QString& name) const;
    void writeFile(const QString& name, const QByteArray& content) const;
    void writeConfig(const QByteArray& json) const;
    QByteArray readFile(const QString& name) const;
    // Copies the pavkodriver executable in, so that it takes this folder as its application directory.
    QString installDriver() const;

private:
    QTemporaryDir m_dir;
};

// Presses the given button of the next message box that opens (within a few seconds).
void answerNextMessageBox(QMessageBox::StandardButton button);
// The last message box answered through answerNextMessageBox().
struct AnsweredBox
{
    QString text;
    QString title;
    Qt::WindowFlags flags;
};
AnsweredBox lastMessageBox();
