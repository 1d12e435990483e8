#include "AMessageBox.h"
#include "TestSupport.h"

#include <QApplication>
#include <QtTest>

class TestMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void askBoxAnswers_data();
    void askBoxAnswers();
    void boxesCarryTheProgramTitle();
};

void TestMessageBox::askBoxAnswers_data()
{
    QTest::addColumn<int>("key"); // 0: click Yes
    QTest::addColumn<int>("answer");
    QTest::newRow("yes") << 0 << int(QMessageBox::Yes);
    QTest::newRow("escape") << int(Qt::Key_Escape) << int(QMessageBox::No);
}

void TestMessageBox::askBoxAnswers()
{
    QFETCH(int, key);
    if (key == 0) {
        answerNextMessageBox(QMessageBox::Yes);
    } else {
        QTimer::singleShot(50, [key] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key(key)); });
    }
    QTEST(int(askBox(QStringLiteral("继续？"))), "answer");
}

void TestMessageBox::boxesCarryTheProgramTitle()
{
    answerNextMessageBox(QMessageBox::Ok);
    warnBox(QStringLiteral("注意"));
    const AnsweredBox box = lastMessageBox();
    QCOMPARE(box.text, QStringLiteral("注意"));
    QCOMPARE(box.title, appWindowTitle());
    QVERIFY(box.title.startsWith(QStringLiteral("Pavko智能云打印机 ")));
    QVERIFY(box.flags & Qt::WindowStaysOnTopHint);
}

QTEST_MAIN(TestMessageBox)
#include "TestMessageBox.moc"
