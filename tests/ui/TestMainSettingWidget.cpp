#include "ASingleton.h"
#include "AStatus.h"
#include "AppDir.h"
#include "MainSettingWidget.h"
#include "ServiceSim.h"
#include "TestSupport.h"
#include "UiResources.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {
const QString kMobile = QString::fromLatin1(ServiceWorld::kCompanyMobile);
const QString kCompany = QString::number(ServiceWorld::kFirstCompanyId);
} // namespace

// The settings page against the service stand-in on 127.0.82.3 (company 20001 with its main phone).
class TestMainSettingWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void saveRunMode_data();
    void saveRunMode();
    void upgradeWhenCurrentKeepsThePage();

private:
    std::unique_ptr<ServiceSim> m_sim;
    TestAppDir m_dir;
};

void TestMainSettingWidget::initTestCase()
{
    initUiResources();
    ServiceSimOptions options;
    options.listen = QHostAddress(QStringLiteral("127.0.82.3"));
    options.port = options.storagePort = options.wsPort = 0;
    options.quiet = true;
    m_sim = std::make_unique<ServiceSim>(options, [](const QString&) {});
    QString error;
    QVERIFY2(m_sim->start(&error), qPrintable(error));
    m_dir.writeConfig(QStringLiteral(R"({"https_server":"%1","after_sales_phone":"400-000-0000"})")
                          .arg(m_sim->apiBase())
                          .toUtf8());
    setAppDir(m_dir.path());
}

void TestMainSettingWidget::saveRunMode_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("message"); // empty: saved and quit
    QTest::addColumn<int>("savedMode");
    QTest::addColumn<qint64>("savedId");
    QTest::addColumn<bool>("loginKept");
    QTest::newRow("basic to enterprise")
        << 1 << 1 << kCompany << kMobile << "" << 2 << qint64(20001) << false;
    QTest::newRow("same mode keeps the login")
        << 3 << 2 << kCompany << kMobile << "" << 3 << qint64(20001) << true;
    QTest::newRow("basic unchecked, empty id") << 1 << 0 << ""
                                               << ""
                                               << "" << 1 << qint64(0) << true;
    QTest::newRow("basic takes the hidden id") << 2 << 0 << "42"
                                               << ""
                                               << "" << 1 << qint64(42) << false;
    QTest::newRow("enterprise without id")
        << 1 << 1 << "" << kMobile << "请输入企业ID" << 1 << qint64(7) << true;
    QTest::newRow("merchant without id")
        << 1 << 2 << "" << kMobile << "请输入商家ID" << 1 << qint64(7) << true;
    QTest::newRow("without phone") << 1 << 1 << kCompany << ""
                                   << "请输入主要联系人电话" << 1 << qint64(7) << true;
    QTest::newRow("rejected") << 1 << 2 << kCompany << "13900000000"
                              << "校验失败." << 1 << qint64(7) << true;
    QTest::newRow("id with letters is no id") << 1 << 1 << QString(kCompany + QStringLiteral("abc"))
                                              << kMobile << "请输入企业ID" << 1 << qint64(7) << true;
    QTest::newRow("typed text cannot add parameters")
        << 1 << 1 << kCompany << QString(kMobile + QStringLiteral("&run_mode=1")) << "校验失败." << 1
        << qint64(7) << true;
}

void TestMainSettingWidget::saveRunMode()
{
    QFETCH(int, stored);
    QFETCH(int, index);
    QFETCH(QString, id);
    QFETCH(QString, phone);
    QFETCH(QString, message);
    QFETCH(int, savedMode);
    QFETCH(qint64, savedId);
    QFETCH(bool, loginKept);
    AStatus* status = ASingleton<AStatus>::instance();
    status->setInt(QStringLiteral("run_mode"), stored);
    status->setInt(QStringLiteral("company_id"), 7);
    status->setString(QStringLiteral("login_token"), QStringLiteral("ab-cd"));
    status->setInt(QStringLiteral("login_time"), 1700000000);
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

    if (!message.isEmpty())
        answerNextMessageBox(QMessageBox::Ok);
    QTest::mouseClick(page.findChild<QPushButton*>(QStringLiteral("btn_ok")), Qt::LeftButton);
    QCOMPARE(finished.count(), message.isEmpty() ? 1 : 0);
    if (!message.isEmpty())
        QCOMPARE(lastMessageBox().text, message);
    const AStatus saved(m_dir.path());
    QCOMPARE(saved.runMode(), savedMode);
    QCOMPARE(saved.getInt(QStringLiteral("company_id")), savedId);
    QCOMPARE(saved.getString(QStringLiteral("login_token")).isEmpty(), !loginKept);
    QCOMPARE(saved.getInt(QStringLiteral("login_time")), loginKept ? 1700000000 : 0);
}

void TestMainSettingWidget::upgradeWhenCurrentKeepsThePage()
{
    MainSettingWidget page(false);
    QSignalSpy finished(&page, &MainSettingWidget::finished);
    auto* upgrade = page.findChild<QPushButton*>(QStringLiteral("btn_upgrade"));
    answerNextMessageBox(QMessageBox::Ok);
    QTest::mouseClick(upgrade, Qt::LeftButton);
    QCOMPARE(lastMessageBox().text, QStringLiteral("当前版本已是最新版本."));
    QVERIFY(upgrade->isEnabled());
    QCOMPARE(finished.count(), 0);
}

QTEST_MAIN(TestMainSettingWidget)
#include "TestMainSettingWidget.moc"
