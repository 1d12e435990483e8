#include "AddressDetailWidget.h"
#include "AddressListWidget.h"
#include "AppDir.h"
#include "FakeAddressBook.h"
#include "TestSupport.h"
#include "UiResources.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

namespace {
const QByteArray kAdd = "/c3/shapping_address/addAddress";

template <typename T> T* child(QWidget* parent, const char* name)
{
    return parent->findChild<T*>(QLatin1String(name));
}

void choose(QWidget* dialog, const char* combo, const QString& text)
{
    auto* box = child<QComboBox>(dialog, combo);
    box->setCurrentIndex(box->findText(text));
}

// Fills a new address in 广东省 深圳市 南山区 and returns the areas that 深圳市 offered.
QStringList fillIn(QWidget* dialog, const QString& name)
{
    child<QLineEdit>(dialog, "led_name")->setText(name);
    child<QLineEdit>(dialog, "led_phone")->setText(QStringLiteral("13900000000"));
    child<QLineEdit>(dialog, "led_addr")->setText(QStringLiteral("科技园1号"));
    choose(dialog, "cbx_province", QStringLiteral("广东省"));
    choose(dialog, "cbx_city", QStringLiteral("深圳市"));
    auto* areas = child<QComboBox>(dialog, "cbx_area");
    QStringList offered;
    for (int i = 0; i < areas->count(); ++i)
        offered.append(areas->itemText(i));
    choose(dialog, "cbx_area", QStringLiteral("南山区"));
    return offered;
}

QToolButton* rowButton(AddressListWidget& list, int row, int column)
{
    auto* tree = child<QTreeWidget>(&list, "addr_list");
    return qobject_cast<QToolButton*>(tree->itemWidget(tree->topLevelItem(row), column));
}
} // namespace

// The address dialogs against the address book of a fake service on 127.0.84.2.
class TestAddressDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void rowsAndChoice();
    void addWithProvinceCombos();
    void changeShowsTheAddress();
    void removeAsksFirst_data();
    void removeAsksFirst();
    void failedSaveKeepsDialogOpen_data();
    void failedSaveKeepsDialogOpen();

private:
    TestAppDir m_dir;
    FakeHttpServer m_service;
    FakeAddressBook m_book{m_service};
    SUser m_user{QStringLiteral("tok"), QStringLiteral("5"), QStringLiteral("李雷")};
};

void TestAddressDialogs::initTestCase()
{
    initUiResources();
    QVERIFY(m_service.start(QHostAddress(QStringLiteral("127.0.84.2"))));
    m_dir.writeConfig(QStringLiteral(R"({"https_server":"%1"})").arg(m_service.baseUrl()).toUtf8());
    QVERIFY(
        QFile::copy(QStringLiteral(PAVKO_PROVINCE_FILE), m_dir.file(QStringLiteral("config/province.json"))));
    setAppDir(m_dir.path());
}

void TestAddressDialogs::init()
{
    m_book.addresses = {FakeAddressBook::address(7, QStringLiteral("李雷"), QStringLiteral("13800000000"),
                                                 QStringLiteral("北京市"), QStringLiteral("市辖区"),
                                                 QStringLiteral("海淀区"), QStringLiteral("中关村1号")),
                        FakeAddressBook::address(8, QStringLiteral("王芳"), QStringLiteral("13700000000"),
                                                 QStringLiteral("四川省"), QStringLiteral("成都市"),
                                                 QStringLiteral("武侯区"), QStringLiteral("人民南路2号"),
                                                 true)};
}

void TestAddressDialogs::rowsAndChoice()
{
    AddressListWidget list(m_user);
    auto* tree = child<QTreeWidget>(&list, "addr_list");
    QCOMPARE(tree->topLevelItemCount(), 2);
    QVERIFY(tree->topLevelItem(0)->icon(AddressListWidget::MarkColumn).isNull());
    QVERIFY(!tree->topLevelItem(1)->icon(AddressListWidget::MarkColumn).isNull());
    QCOMPARE(tree->topLevelItem(1)->text(AddressListWidget::TextColumn),
             QStringLiteral("王芳  13700000000\n四川省 成都市 武侯区 人民南路2号"));
    list.show();
    QCOMPARE(list.chosenIndex(), -1);
    const QRect row = tree->visualItemRect(tree->topLevelItem(1));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, row.center());
    QCOMPARE(list.chosenIndex(), 1);
    QCOMPARE(list.result(), int(QDialog::Accepted));
    QCOMPARE(list.addresses().at(1).id, 8);
}

void TestAddressDialogs::addWithProvinceCombos()
{
    AddressListWidget list(m_user);
    QStringList areas;
    onNextModal<AddressDetailWidget>([&areas](AddressDetailWidget* detail) {
        areas = fillIn(detail, QStringLiteral("韩梅梅"));
        child<QCheckBox>(detail, "cb_default")->setChecked(true);
        child<QPushButton>(detail, "btnSave")->click();
    });
    child<QToolButton>(&list, "btn_add")->click();
    QVERIFY(areas.contains(QStringLiteral("南山区")));
    QCOMPARE(m_book.addresses.size(), 3);
    const QJsonObject added = m_book.addresses.last();
    QCOMPARE(added.value(QLatin1String("name")).toString(), QStringLiteral("韩梅梅"));
    QCOMPARE(added.value(QLatin1String("area")).toString(), QStringLiteral("南山区"));
    // Reloaded: the new row, and the default mark moved to it.
    auto* tree = child<QTreeWidget>(&list, "addr_list");
    QCOMPARE(tree->topLevelItemCount(), 3);
    QVERIFY(tree->topLevelItem(1)->icon(AddressListWidget::MarkColumn).isNull());
    QVERIFY(!tree->topLevelItem(2)->icon(AddressListWidget::MarkColumn).isNull());
}

void TestAddressDialogs::changeShowsTheAddress()
{
    AddressListWidget list(m_user);
    QStringList shown;
    onNextModal<AddressDetailWidget>([&shown](AddressDetailWidget* detail) {
        for (const char* combo : {"cbx_province", "cbx_city", "cbx_area"})
            shown.append(child<QComboBox>(detail, combo)->currentText());
        shown.append(child<QLineEdit>(detail, "led_addr")->text());
        child<QLineEdit>(detail, "led_name")->setText(QStringLiteral("李明"));
        child<QPushButton>(detail, "btnSave")->click();
    });
    rowButton(list, 0, AddressListWidget::ModifyColumn)->click();
    QCOMPARE(shown, QStringLiteral("北京市 市辖区 海淀区 中关村1号").split(QLatin1Char(' ')));
    QCOMPARE(m_book.addresses.size(), 2);
    QCOMPARE(m_book.addresses.first().value(QLatin1String("id")).toInt(), 7);
    QCOMPARE(m_book.addresses.first().value(QLatin1String("name")).toString(), QStringLiteral("李明"));
    QCOMPARE(list.addresses().first().name, QStringLiteral("李明"));
}

void TestAddressDialogs::removeAsksFirst_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("left");
    QTest::newRow("confirmed") << int(QMessageBox::Yes) << 1;
    QTest::newRow("declined") << int(QMessageBox::No) << 2;
}

void TestAddressDialogs::removeAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(int, left);
    AddressListWidget list(m_user);
    answerNextMessageBox(QMessageBox::StandardButton(answer));
    rowButton(list, 0, AddressListWidget::DeleteColumn)->click();
    QCOMPARE(lastMessageBox().text, QStringLiteral("确定删除?"));
    QCOMPARE(m_book.addresses.size(), left);
    QCOMPARE(child<QTreeWidget>(&list, "addr_list")->topLevelItemCount(), left);
    QCOMPARE(list.addresses().last().id, 8);
}

void TestAddressDialogs::failedSaveKeepsDialogOpen_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("refuseWith"); // by the service
    QTest::addColumn<bool>("unreachable");   // the service answers 502
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("sent");
    QTest::newRow("refused by the service") << "韩梅梅"
                                            << "超出配送范围" << false << "超出配送范围" << 1;
    QTest::newRow("no answer from the service") << "韩梅梅"
                                                << "" << true << "联网失败，请检查当前电脑是否联网正常" << 1;
    QTest::newRow("no name: nothing sent") << ""
                                           << "" << false << "请填写收件人" << 0;
}

void TestAddressDialogs::failedSaveKeepsDialogOpen()
{
    QFETCH(QString, name);
    QFETCH(QString, refuseWith);
    QFETCH(bool, unreachable);
    QFETCH(QString, message);
    QFETCH(int, sent);
    m_book.refuseWith = refuseWith;
    if (unreachable)
        m_service.enqueue("POST", kAdd, FakeResponse::text("", 502));
    const int before = m_service.requestsTo(kAdd).size();
    AddressDetailWidget detail(m_user, CloudAddress());
    detail.show();
    fillIn(&detail, name);
    answerNextMessageBox(QMessageBox::Ok);
    child<QPushButton>(&detail, "btnSave")->click();
    QCOMPARE(lastMessageBox().text, message);
    QCOMPARE(m_service.requestsTo(kAdd).size() - before, sent);
    QVERIFY(detail.isVisible());
    QCOMPARE(m_book.addresses.size(), 2);
    // Put right, the same dialog saves.
    child<QLineEdit>(&detail, "led_name")->setText(QStringLiteral("韩梅梅"));
    child<QPushButton>(&detail, "btnSave")->click();
    QCOMPARE(detail.result(), int(QDialog::Accepted));
    QCOMPARE(m_book.addresses.size(), 3);
}

QTEST_MAIN(TestAddressDialogs)
#include "TestAddressDialogs.moc"
