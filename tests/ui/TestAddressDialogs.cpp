#include "AddressDetailWidget.h"
#include "AddressListWidget.h"
#include "AppDir.h"
#include "FakeAddressBook.h"
#include "TestSupport.h"
#include "UiResources.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <array>

namespace {
template <typename T> T* child(QWidget* parent, const char* name)
{
    return parent->findChild<T*>(QLatin1String(name));
}

// Fills in an address in 广东省 深圳市 南山区 through the combos; returns the areas 深圳市 offered.
QStringList fillIn(QWidget* dialog, const QString& name, const QString& phone = QStringLiteral("13900000000"))
{
    child<QLineEdit>(dialog, "led_name")->setText(name);
    child<QLineEdit>(dialog, "led_phone")->setText(phone);
    child<QLineEdit>(dialog, "led_addr")->setText(QStringLiteral("科技园1号"));
    const QStringList place = QStringLiteral("广东省 深圳市 南山区").split(QLatin1Char(' '));
    QStringList offered;
    for (int level = 0; level < 3; ++level) {
        auto* box = child<QComboBox>(dialog, std::array{"cbx_province", "cbx_city", "cbx_area"}[level]);
        offered.clear();
        for (int item = 0; item < box->count(); ++item)
            offered.append(box->itemText(item));
        box->setCurrentIndex(box->findText(place.at(level)));
    }
    return offered;
}

QTreeWidgetItem* row(AddressListWidget& list, int index)
{
    return child<QTreeWidget>(&list, "addr_list")->topLevelItem(index);
}

QToolButton* rowButton(AddressListWidget& list, int index, int column)
{
    return qobject_cast<QToolButton*>(
        child<QTreeWidget>(&list, "addr_list")->itemWidget(row(list, index), column));
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
    void addAndChange();
    void removeAsksFirst();
    void failedSaveKeepsDialogOpen_data();
    void failedSaveKeepsDialogOpen();
    void secondClickWhileSavingSendsNothing();

private:
    QString stored(int index, const char* key) const
    {
        return m_book.addresses.at(index).value(QLatin1String(key)).toVariant().toString();
    }

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
    m_service.clearRequests();
    m_book.addresses.clear();
    for (const QJsonValue& address : QJsonDocument::fromJson(R"([
            {"id":7,"name":"李雷","mobile":"13800000000","province":"北京市","city":"市辖区","area":"海淀区",
             "address":"中关村1号","default":0},
            {"id":8,"name":"王芳","mobile":"13700000000","province":"四川省","city":"成都市","area":"武侯区",
             "address":"人民南路2号","default":1}])")
                                         .array())
        m_book.addresses.append(address.toObject());
}

void TestAddressDialogs::rowsAndChoice()
{
    AddressListWidget list(m_user);
    QCOMPARE(child<QTreeWidget>(&list, "addr_list")->topLevelItemCount(), 2);
    QVERIFY(row(list, 0)->icon(AddressListWidget::MarkColumn).isNull());
    QVERIFY(!row(list, 1)->icon(AddressListWidget::MarkColumn).isNull());
    QCOMPARE(row(list, 1)->text(AddressListWidget::TextColumn),
             QStringLiteral("王芳  13700000000\n四川省 成都市 武侯区 人民南路2号"));
    list.show();
    QCOMPARE(list.chosenIndex(), -1);
    QWidget* viewport = child<QTreeWidget>(&list, "addr_list")->viewport();
    const QPoint point = child<QTreeWidget>(&list, "addr_list")->visualItemRect(row(list, 1)).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, point);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, point);
    QCOMPARE(list.chosenIndex(), 1);
    QCOMPARE(list.result(), int(QDialog::Accepted));
}

void TestAddressDialogs::addAndChange()
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
    QCOMPARE(stored(2, "name") + stored(2, "area") + stored(2, "id"), QStringLiteral("韩梅梅南山区100"));
    // Reloaded: the new row, and the default mark moved to it.
    QVERIFY(row(list, 1)->icon(AddressListWidget::MarkColumn).isNull());
    QVERIFY(!row(list, 2)->icon(AddressListWidget::MarkColumn).isNull());

    QStringList shown;
    onNextModal<AddressDetailWidget>([&shown](AddressDetailWidget* detail) {
        for (const char* combo : {"cbx_province", "cbx_city", "cbx_area"})
            shown.append(child<QComboBox>(detail, combo)->currentText());
        child<QLineEdit>(detail, "led_name")->setText(QStringLiteral("李明"));
        child<QPushButton>(detail, "btnSave")->click();
    });
    rowButton(list, 0, AddressListWidget::ModifyColumn)->click();
    QCOMPARE(shown.join(QLatin1Char(' ')), QStringLiteral("北京市 市辖区 海淀区"));
    QCOMPARE(stored(0, "id") + stored(0, "name") + stored(0, "address"), QStringLiteral("7李明中关村1号"));
    QCOMPARE(list.addresses().first().name, QStringLiteral("李明"));
}

void TestAddressDialogs::removeAsksFirst()
{
    AddressListWidget list(m_user);
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        answerNextMessageBox(answer);
        rowButton(list, 0, AddressListWidget::DeleteColumn)->click();
        QCOMPARE(lastMessageBox().text, QStringLiteral("确定删除?"));
    }
    // Declined, then confirmed: one address gone, and the list reloaded.
    QCOMPARE(m_book.addresses.size(), 1);
    QCOMPARE(list.addresses().size(), 1);
    QCOMPARE(child<QTreeWidget>(&list, "addr_list")->topLevelItemCount(), 1);
}

void TestAddressDialogs::failedSaveKeepsDialogOpen_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("refuseWith"); // by the service
    QTest::addColumn<int>("status");         // of the service's answer
    QTest::addColumn<QString>("message");
    QTest::newRow("refused by the service") << "韩梅梅"
                                            << "139"
                                            << "超出配送范围" << 200 << "超出配送范围";
    QTest::newRow("no answer from the service") << "韩梅梅"
                                                << "139"
                                                << "" << 502 << "联网失败，请检查当前电脑是否联网正常";
    QTest::newRow("no name: nothing sent") << ""
                                           << "139"
                                           << "" << 200 << "请填写收件人";
    QTest::newRow("letters for a telephone: nothing sent") << "韩梅梅"
                                                           << "abc"
                                                           << "" << 200 << "请填写正确的联系电话";
}

void TestAddressDialogs::failedSaveKeepsDialogOpen()
{
    QFETCH(QString, name);
    QFETCH(QString, phone);
    QFETCH(QString, refuseWith);
    QFETCH(int, status);
    QFETCH(QString, message);
    const QByteArray add = "/c3/shapping_address/addAddress";
    m_book.refuseWith = refuseWith;
    if (status != 200)
        m_service.enqueue("POST", add, FakeResponse::text("", status));
    AddressDetailWidget detail(m_user, CloudAddress());
    detail.show();
    fillIn(&detail, name, phone + QStringLiteral("12345678"));
    answerNextMessageBox(QMessageBox::Ok);
    child<QPushButton>(&detail, "btnSave")->click();
    QCOMPARE(lastMessageBox().text, message);
    QCOMPARE(m_service.requestsTo(add).size(), refuseWith.isEmpty() && status == 200 ? 0 : 1);
    QVERIFY(detail.isVisible());
    QCOMPARE(m_book.addresses.size(), 2);
    // Put right, the same dialog saves.
    fillIn(&detail, QStringLiteral("韩梅梅"));
    child<QPushButton>(&detail, "btnSave")->click();
    QCOMPARE(detail.result(), int(QDialog::Accepted));
    QCOMPARE(m_book.addresses.size(), 3);
}

void TestAddressDialogs::secondClickWhileSavingSendsNothing()
{
    AddressDetailWidget detail(m_user, CloudAddress());
    fillIn(&detail, QStringLiteral("韩梅梅"));
    auto* save = child<QPushButton>(&detail, "btnSave");
    // The save request waits in a nested event loop, where the user's next click arrives.
    QTimer::singleShot(0, &detail, [save] { save->click(); });
    save->click();
    QCOMPARE(m_service.requestsTo("/c3/shapping_address/addAddress").size(), 1);
    QCOMPARE(m_book.addresses.size(), 3);
}

QTEST_MAIN(TestAddressDialogs)
#include "TestAddressDialogs.moc"
