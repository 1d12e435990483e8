#include "ASingleton.h"
#include "AStatus.h"
#include "AppDir.h"
#include "MainSettingWidget.h"
#include "ServiceSim.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

// The settings page against the service stand-in on 127.0.82.3 (company 20001 with its main phone).
class TestMainSettingWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void saveRunMode_data();
    void saveRunMode();

private:
    std::unique_ptr<ServiceSim> m_sim;
    TestAppDir m_dir;
};

void TestMainSettingWidget::initTestCase()
{
    ServiceSimOptions options;
    options.listen = QHostAddress(QStringLiteral("127.0.82.3"));
    options.port = options.storagePort = options.wsPort = 0;
    options.quiet = true;
    m_sim = std::make_unique<ServiceSim>(options, [](const QString&) {});
    QString error;
    QVERIFY2(m_sim->start(&error), qPrintable(error));
    m_dir.writeConfig(QJsonDocument(m_sim->clientConfig()).toJson());
    setAppDir(m_dir.path());
}

void TestMainSettingWidget::saveRunMode_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("outcome"); // the message shown | run_mode company_id login (7 and kept before)
    const QString kMobile = QString::fromLatin1(ServiceWorld::kCompanyMobile);
    const QString kCompany = QString::number(ServiceWorld::kFirstCompanyId);
    const auto row = [](const char* name, int stored, int index, const QString& id, const QString& phone,
                        const char* outcome) {
        QTest::newRow(name) << stored << index << id << phone << QString::fromUtf8(outcome);
    };
    row("basic to enterprise", 1, 1, kCompany, kMobile, "|2 20001 cleared");
    row("same mode keeps the login", 3, 2, kCompany, kMobile, "|3 20001 kept");
    row("basic takes the hidden id", 2, 0, QStringLiteral("42"), {}, "|1 42 cleared");
    row("enterprise without id", 1, 1, {}, kMobile, "请输入企业ID|1 7 kept");
    row("without phone", 1, 1, kCompany, {}, "请输入主要联系人电话|1 7 kept");
    row("merchant rejected", 1, 2, kCompany, QStringLiteral("13900000000"), "校验失败.|1 7 kept");
    row("id with letters is no id", 1, 1, kCompany + QStringLiteral("abc"), kMobile, "请输入企业ID|1 7 kept");
    row("typed & adds nothing", 1, 1, kCompany, kMobile + QStringLiteral("&run_mode=1"),
        "校验失败.|1 7 kept");
}

void TestMainSettingWidget::saveRunMode()
{
    QFETCH(int, stored);
    QFETCH(int, index);
    QFETCH(QString, id);
    QFETCH(QString, phone);
    QFETCH(QString, outcome);
    AStatus* status = ASingleton<AStatus>::instance();
    status->setInt(QStringLiteral("run_mode"), stored);
    status->setInt(QStringLiteral("company_id"), 7);
    status->setString(QStringLiteral("login_token"), QStringLiteral("ab-cd"));
    status->save();
    MainSettingWidget page(false);
    auto* mode = page.findChild<QComboBox*>(QStringLiteral("cbx_mode"));
    QCOMPARE(mode->currentIndex(), stored - 1);
    mode->setCurrentIndex(index);
    auto* idEdit = page.findChild<QLineEdit*>(QStringLiteral("edt_company_id"));
    QCOMPARE(idEdit->isVisibleTo(&page), index != 0);
    idEdit->setText(id);
    page.findChild<QLineEdit*>(QStringLiteral("edt_phone"))->setText(phone);
    QSignalSpy finished(&page, &MainSettingWidget::finished);
    const bool shows = !outcome.startsWith(QLatin1Char('|'));
    if (shows)
        answerNextMessageBox(QMessageBox::Ok);
    QTest::mouseClick(page.findChild<QPushButton*>(QStringLiteral("btn_ok")), Qt::LeftButton);

    QCOMPARE(finished.count(), shows ? 0 : 1);
    const AStatus saved(m_dir.path());
    QCOMPARE(QStringLiteral("%1|%2 %3 %4")
                 .arg(shows ? lastMessageBox().text : QString())
                 .arg(saved.runMode())
                 .arg(saved.getInt(QStringLiteral("company_id")))
                 .arg(saved.getString(QStringLiteral("login_token")).isEmpty() ? QLatin1String("cleared")
                                                                               : QLatin1String("kept")),
             outcome);
}

QTEST_MAIN(TestMainSettingWidget)
#include "TestMainSettingWidget.moc"
