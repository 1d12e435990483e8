#include "AMessageBox.h"
#include "TestSupport.h"

#include <QtTest>

class TestMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void boxesAnswerAndCarryTheProgramTitle()
    {
        answerNextMessageBox(QMessageBox::Yes);
        QCOMPARE(askBox(QStringLiteral("继续？")), QMessageBox::Yes);
        onNextModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
        QCOMPARE(askBox(QStringLiteral("继续？")), QMessageBox::No);

        answerNextMessageBox(QMessageBox::Ok);
        warnBox(QStringLiteral("注意"));
        const AnsweredBox box = lastMessageBox();
        QCOMPARE(box.text, QStringLiteral("注意"));
        QCOMPARE(box.title, appWindowTitle()); // TestMainWidget checks the title's wording
        QVERIFY(box.flags & Qt::WindowStaysOnTopHint);
    }
};

QTEST_MAIN(TestMessageBox)
#include "TestMessageBox.moc"
