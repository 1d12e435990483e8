#include "ASingleton.h"
#include "AStatus.h"
#include "AddressDetailWidget.h"
#include "AddressListWidget.h"
#include "BadNetWidget.h"
#include "CloudSuccess.h"
#include "CloudWidget1.h"
#include "CloudWidget2.h"
#include "FakeAddressBook.h"
#include "FakeCloudService.h"
#include "FakeOnlineService.h"
#include "FitCheck.h"
#include "JobStatusTexts.h"
#include "JobStatusWidget.h"
#include "LoginWidget.h"
#include "MainCloudWidget.h"
#include "MainOnlineWidget.h"
#include "MainShareWidget.h"
#include "MainWidget.h"
#include "OnlineWidget1.h"
#include "OnlineWidget2.h"
#include "PayWidget.h"
#include "TestSupport.h"
#include "UIDeviceList.h"
#include "UIFile.h"
#include "UIFile2.h"
#include "UIFileList.h"
#include "UIFileList2.h"
#include "UIInfomation.h"
#include "UIWait.h"
#include "UiResources.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QLabel>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

namespace {
const QHostAddress kAddress(QStringLiteral("127.0.87.2"));

// The object names of the widgets Tab visits from first, in order, until it comes back to first.
QStringList tabCycle(QWidget* first)
{
    QStringList names{first->objectName()};
    first->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* now = QApplication::focusWidget();
        if (!now || now == first || now == first->window()) // the window takes focus itself
            break;
        names << now->objectName();
    }
    return names;
}
} // namespace

// Every text fits its widget; icon-only buttons say what they do, Tab follows the reading order, Enter
// starts the main action.
class TestLooks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void textsFit_data();
    void textsFit();
    void iconButtonsAreNamed_data();
    void iconButtonsAreNamed();
    void tabFollowsReadingOrder_data();
    void tabFollowsReadingOrder();
    void imagesHaveDoubleSizeTwins();
    void picturesAreSharp_data();
    void picturesAreSharp();
    void addressMarkStandsAlone();
    // Last: saving the settings quits the application, and no nested event loop runs after that.
    void enterClicksMainAction_data();
    void enterClicksMainAction();

private:
    // A shown window in the state name says.
    std::unique_ptr<QWidget> make(const QString& name);
    QString file(const QString& name)
    {
        m_dir.writeFile(name, "%PDF-1.4 " + name.toUtf8());
        return m_dir.file(name);
    }
    // The share page's price (2.50 unless told) against the user's balance.
    void budget(int userAmount, int printAmount = 250)
    {
        m_world.service.setDefault(
            "GET", "/w1/Printing/budget",
            FakeResponse::envelope(0,
                                   QJsonObject{{QStringLiteral("user_amount"), userAmount},
                                               {QStringLiteral("print_amount"), printAmount},
                                               {QStringLiteral("amount_explain"), QStringLiteral("1页×1份")},
                                               {QStringLiteral("order_id"), 9001}}));
    }
    // The next device list: one account with a device in every status, more than the list shows at once.
    void everyDeviceStatus();
    // The next document check says the document is known and converted.
    void knownDocument()
    {
        m_world.service.enqueue("GET", "/c2/document/checkDocument",
                                FakeResponse::json(R"({"code":0,"data":{"check":1,"user_document_id":77}})"));
    }
    // Waits until what the service sends for the window in state name is shown.
    void settle(const QString& name, QWidget* shown);
    static AStatus* status() { return ASingleton<AStatus>::instance(); }
    static QWidget* child(QWidget* window, const QString& name)
    {
        auto* found = window->findChild<QWidget*>(name);
        if (!found)
            qWarning() << "no" << name;
        return found;
    }

    TestAppDir m_dir;
    FakeOnlineWorld m_world;
    FakeAddressBook m_book{m_world.service};
    FakeCloudService m_cloud{m_world.service};
    SUser m_user{QStringLiteral("tok"), QStringLiteral("5"), QStringLiteral("李雷")};
    SJob m_job;
    QString m_outTradeNo, m_payUrl;
};

void TestLooks::initTestCase()
{
    initUiResources();
    QVERIFY(m_world.start(kAddress, m_dir.path(), m_user.userId));
    QVERIFY(
        QFile::copy(QStringLiteral(PAVKO_PROVINCE_FILE), m_dir.file(QStringLiteral("config/province.json"))));
}

void TestLooks::init()
{
    budget(10000);
    m_world.online.companyAmount = 1000;
    m_book.addresses.clear();
    m_book.addresses.append(
        QJsonObject{{QStringLiteral("id"), 7},
                    {QStringLiteral("name"), QStringLiteral("欧阳娜娜")},
                    {QStringLiteral("mobile"), QStringLiteral("13800000000")},
                    {QStringLiteral("province"), QStringLiteral("黑龙江省")},
                    {QStringLiteral("city"), QStringLiteral("哈尔滨市")},
                    {QStringLiteral("area"), QStringLiteral("松北区")},
                    {QStringLiteral("address"), QStringLiteral("世茂大道松北街道办事处旁99号楼3单元1201室")},
                    {QStringLiteral("default"), 1}});
    status()->setInt(QStringLiteral("software_mode"), 0);
    status()->setInt(QStringLiteral("run_mode"), 1);
    m_job = SJob();
    m_job.pages = 1;
    m_job.copies = 1;
}

void TestLooks::everyDeviceStatus()
{
    struct Device
    {
        const char *code, *name, *model;
        int status;
    };
    const Device devices[] = {
        {"SIM0004", "彩色复印机", "bizhub C226", 1},     {"SIM0001", "前台打印机", "M427dw", 1},
        {"SIM0003", "财务室打印机", "RICOH 5002", 2},    {"SIM0005", "会议室打印机", "HP LaserJet M203dn", 3},
        {"SIM0006", "仓库打印机", "workcentre 7855", 4}, {"SIM0007", "维修中的打印机", "HL-5585D", 5}};
    QJsonArray list;
    for (const Device& device : devices)
        list.append(QJsonObject{{QStringLiteral("device_id"), list.size() + 40},
                                {QStringLiteral("device_code"), QString::fromUtf8(device.code)},
                                {QStringLiteral("device_nickname"), QString::fromUtf8(device.name)},
                                {QStringLiteral("device_ip"), QStringLiteral("127.0.70.9")},
                                {QStringLiteral("model"), QString::fromUtf8(device.model)},
                                {QStringLiteral("device_status"), device.status}});
    m_world.service.enqueue(
        "GET", "/w1/Device/deviceList",
        FakeResponse::envelope(0, QJsonArray{QJsonObject{{QStringLiteral("id"), 7},
                                                         {QStringLiteral("name"), QStringLiteral("演示公司")},
                                                         {QStringLiteral("device_list"), list}}}));
}

std::unique_ptr<QWidget> TestLooks::make(const QString& name)
{
    // What the service answers in that state.
    if (name.endsWith(QLatin1String(", short balance")))
        budget(99999, 100000); // 999.99 left, 1000.00 to pay
    if (name.endsWith(QLatin1String(", every device status")))
        everyDeviceStatus();
    if (name.endsWith(QLatin1String(", converted")))
        knownDocument();
    if (name.endsWith(QLatin1String(", large balance")))
        m_world.online.companyAmount = 99999999; // 999999.99
    std::unique_ptr<QWidget> window;
    if (name == QLatin1String("address list")) {
        window = std::make_unique<AddressListWidget>(m_user);
    } else if (name == QLatin1String("address detail")) {
        window = std::make_unique<AddressDetailWidget>(m_user, CloudAddress());
    } else if (name == QLatin1String("cloud success")) {
        window = std::make_unique<CloudSuccess>();
    } else if (name == QLatin1String("address detail, filled")) {
        CloudAddress address;
        address.name = QStringLiteral("欧阳娜娜");
        address.mobile = QStringLiteral("13800000000");
        address.province = QStringLiteral("黑龙江省");
        address.city = QStringLiteral("哈尔滨市");
        address.area = QStringLiteral("松北区");
        address.address = QStringLiteral("世茂大道松北街道办事处旁99号楼3单元1201室");
        window = std::make_unique<AddressDetailWidget>(m_user, address);
    } else if (name == QLatin1String("login")) {
        window = std::make_unique<LoginWidget>();
    } else if (name == QLatin1String("payment")) {
        window =
            std::make_unique<PayWidget>(m_user.token, PayWidget::kWeChatPay, m_outTradeNo, m_payUrl, 12345);
    } else if (name == QLatin1String("bad network")) {
        window = std::make_unique<BadNetWidget>(QStringLiteral("网络连接失败，请检查网络后重试"));
    } else if (name == QLatin1String("information")) {
        auto info = std::make_unique<UIInfomation>();
        info->setText(QStringLiteral("文件已添加到打印队列，请到打印机处取件"));
        window = std::move(info);
    } else if (name == QLatin1String("wait")) {
        window = std::make_unique<UIWait>();
    } else if (name == QLatin1String("status window")) {
        auto jobs = std::make_unique<JobStatusWidget>();
        const QStringList texts{JobStatusTexts::waiting(), JobStatusTexts::sending(), JobStatusTexts::sent(),
                                JobStatusTexts::failed()};
        for (int id = 0; id < texts.size(); ++id)
            emit jobs->job_msg(id + 1, QStringLiteral("KM0001"),
                               QStringLiteral("彩色复印机（三楼东侧打印室）"),
                               QStringLiteral("Pavko演示文档——第二季度销售报告与下半年计划（定稿）.docx"),
                               texts.at(id), 128);
        window = std::move(jobs);
    } else if (name == QLatin1String("status window, demo job")) {
        auto jobs = std::make_unique<JobStatusWidget>();
        emit jobs->job_msg(1, QStringLiteral("SIM0004"), QStringLiteral("彩色复印机"),
                           QStringLiteral("Pavko演示文档.pdf"), JobStatusTexts::waiting(), 2);
        emit jobs->job_msg(1, QStringLiteral("SIM0004"), QStringLiteral("彩色复印机"),
                           QStringLiteral("Pavko演示文档.pdf"), JobStatusTexts::sent(), 2);
        window = std::move(jobs);
    } else if (name == QLatin1String("print-and-deliver step 2")) {
        auto page = std::make_unique<MainCloudWidget>(m_user, nullptr);
        page->step1()->hide();
        page->step2()->show();
        window = std::move(page);
    } else if (name.startsWith(QLatin1String("online step 2"))) {
        auto page = std::make_unique<MainOnlineWidget>(m_user, nullptr);
        page->step1()->hide();
        page->step2()->show();
        page->findChild<QWidget*>(QStringLiteral("btn_next"))->hide(); // as the way to step 2 leaves them
        page->findChild<QWidget*>(QStringLiteral("btn_prev"))->show();
        window = std::move(page);
    } else {
        auto main = std::make_unique<MainWidget>(m_user, &m_job);
        main->show();
        // Longer than a document row shows.
        const bool longName = name.endsWith(QLatin1String(", long name"));
        const QString longer = QStringLiteral("Pavko演示文档——第二季度销售报告与下半年计划（定稿）");
        if (name.startsWith(QLatin1String("online step 1"))) {
            emit main->findChild<MainShareWidget*>()->goto_online();
            UIFileList2* list = main->findChild<OnlineWidget1*>()->fileList();
            list->addFile(file(longName ? longer + QStringLiteral(".pdf") : QStringLiteral("a.pdf")));
            list->selectRow(0);
        } else if (name.startsWith(QLatin1String("print-and-deliver step 1"))) {
            QTest::mouseClick(main->findChild<QAbstractButton*>(QStringLiteral("btn_cloud")), Qt::LeftButton);
            UIFileList* list = main->findChild<CloudWidget1*>()->fileList();
            list->addFile(file(longName ? longer + QStringLiteral("-寄送.pdf") : QStringLiteral("b.pdf")));
            list->selectRow(0);
        } else if (name == QLatin1String("settings")) {
            QTest::mouseClick(main->findChild<QAbstractButton*>(QStringLiteral("btn_setting")),
                              Qt::LeftButton);
        }
        window = std::move(main);
    }
    window->show();
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get()))
        qWarning() << name << "did not become active";
    return window;
}

void TestLooks::iconButtonsAreNamed_data()
{
    QTest::addColumn<QString>("window");
    for (const char* window : {"share page", "online step 1", "online step 2", "print-and-deliver step 1",
                               "address list", "settings"})
        QTest::newRow(window) << QString::fromUtf8(window);
}

// A button that shows only a picture tells screen readers and the mouse pointer what it does.
void TestLooks::iconButtonsAreNamed()
{
    QFETCH(QString, window);
    const std::unique_ptr<QWidget> shown = make(window);
    int seen = 0;
    for (QAbstractButton* button : shown->findChildren<QAbstractButton*>()) {
        if (!button->isVisible() || !button->text().trimmed().isEmpty() || button->icon().isNull())
            continue;
        ++seen;
        QVERIFY2(!button->accessibleName().isEmpty(), qPrintable(button->objectName()));
        QCOMPARE(button->toolTip(), button->accessibleName());
    }
    QVERIFY(seen > 0);
}

void TestLooks::tabFollowsReadingOrder_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("names"); // in order
    const QString side = QStringLiteral("btn_share btn_cloud btn_helper btn_setting btn_logout ");
    QTest::newRow("share page") << QStringLiteral("share page")
                                << side + QStringLiteral(
                                              "cbx_account btn_flush scrollArea btn_detail btn_balance "
                                              "btn_print btn_print_later");
    QTest::newRow("settings") << QStringLiteral("settings")
                              << side + QStringLiteral("cbx_mode btn_ok btn_upgrade");
    QTest::newRow("print-and-deliver step 2")
        << QStringLiteral("print-and-deliver step 2")
        << QStringLiteral(
               "cbx_account btn_mail btn_self ted_mark btn_detail btn_blance btn_wxpay btn_alipay btn_next");
    const QString settings = QStringLiteral(
        "scrollArea_filelist btn_view btn_del btn_add scrollArea_fileconfig led_begin led_end btn_copies_sub "
        "led_copies btn_copies_add btn_black btn_color btn_single btn_double_long btn_double_short ");
    QTest::newRow("online step 1") << QStringLiteral("online step 1, converted")
                                   << side + settings + QStringLiteral("btn_A4 btn_A3 btn_next");
    QTest::newRow("online step 2") << QStringLiteral("online step 2")
                                   << QStringLiteral(
                                          "cbx_account btn_flush scrollArea btn_detail btn_balance btn_print "
                                          "btn_prev");
    QTest::newRow("print-and-deliver step 1")
        << QStringLiteral("print-and-deliver step 1, converted")
        << side + QStringLiteral("cbx_addr btn_modify_addr cbx_servicer ") + settings +
               QStringLiteral("cbx_size cbx_material cbx_bind btn_next");
    QTest::newRow("address list") << QStringLiteral("address list")
                                  << QStringLiteral("addr_list btn_modify btn_delete btn_add");
    QTest::newRow("address detail")
        << QStringLiteral("address detail")
        << QStringLiteral("led_name led_phone cbx_province cbx_city cbx_area led_addr cb_default btnSave");
}

void TestLooks::tabFollowsReadingOrder()
{
    QFETCH(QString, window);
    QFETCH(QString, names);
    const QStringList order = names.split(QLatin1Char(' '));
    const std::unique_ptr<QWidget> shown = make(window);
    settle(window, shown.get());
    if (QTest::currentTestFailed())
        return;
    const QString cycle = tabCycle(child(shown.get(), order.first())).join(QLatin1Char(' '));
    QVERIFY2(cycle == names, qPrintable(cycle)); // the whole cycle when it differs
}

void TestLooks::enterClicksMainAction_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("focus");  // where the user is when pressing Enter
    QTest::addColumn<QString>("action"); // the button Enter clicks
    QTest::newRow("share page, on the account")
        << QStringLiteral("share page") << QStringLiteral("cbx_account") << QStringLiteral("btn_print");
    QTest::newRow("online step 1, on the copies")
        << QStringLiteral("online step 1") << QStringLiteral("led_copies") << QStringLiteral("btn_next");
    QTest::newRow("online step 2, on the account")
        << QStringLiteral("online step 2") << QStringLiteral("cbx_account") << QStringLiteral("btn_print");
    QTest::newRow("print-and-deliver, on the copies")
        << QStringLiteral("print-and-deliver step 1") << QStringLiteral("led_copies")
        << QStringLiteral("btn_next");
    QTest::newRow("settings, on the phone")
        << QStringLiteral("settings") << QStringLiteral("edt_phone") << QStringLiteral("btn_ok");
    QTest::newRow("address detail, on the name")
        << QStringLiteral("address detail") << QStringLiteral("led_name") << QStringLiteral("btnSave");
    QTest::newRow("cloud success") << QStringLiteral("cloud success") << QStringLiteral("pushButton")
                                   << QStringLiteral("pushButton");
}

void TestLooks::enterClicksMainAction()
{
    QFETCH(QString, window);
    QFETCH(QString, focus);
    QFETCH(QString, action);
    budget(100); // printing stops at the balance check
    const std::unique_ptr<QWidget> shown = make(window);
    auto* button = qobject_cast<QAbstractButton*>(child(shown.get(), action));
    QVERIFY(button);
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    QWidget* at = child(shown.get(), focus);
    at->setFocus(Qt::TabFocusReason);
    // Whatever the action says (nothing chosen yet, fields empty) is answered.
    answerNextMessageBox(QMessageBox::Ok);
    QTest::keyClick(at, Qt::Key_Return);
    QCOMPARE(clicked.count(), 1);
}

void TestLooks::textsFit_data()
{
    QTest::addColumn<QString>("window");
    for (const char* window : {"address list",
                               "login",
                               "share page",
                               "share page, short balance",
                               "share page, every device status",
                               "payment",
                               "status window",
                               "status window, demo job",
                               "online step 1",
                               "online step 1, converted",
                               "online step 1, long name",
                               "online step 2",
                               "online step 2, large balance",
                               "print-and-deliver step 1",
                               "print-and-deliver step 1, converted",
                               "print-and-deliver step 1, long name",
                               "print-and-deliver step 2",
                               "address detail",
                               "address detail, filled",
                               "settings",
                               "bad network",
                               "cloud success",
                               "information",
                               "wait"})
        QTest::newRow(window) << QString::fromUtf8(window);
}

void TestLooks::settle(const QString& name, QWidget* shown)
{
    if (name == QLatin1String("address list"))
        QVERIFY(shown->findChild<QAbstractButton*>(QStringLiteral("btn_delete")));
    if (name.startsWith(QLatin1String("share page")) || name.startsWith(QLatin1String("online step 2")))
        QTRY_VERIFY(!shown->findChild<QComboBox*>(QStringLiteral("cbx_account"))->currentText().isEmpty());
    if (name.startsWith(QLatin1String("print-and-deliver step 1")))
        QTRY_VERIFY(!shown->findChild<QComboBox*>(QStringLiteral("cbx_addr"))->currentText().isEmpty());
    if (name == QLatin1String("share page, every device status"))
        QTRY_COMPARE(shown->findChild<UIDeviceList*>()->count(), 6);
    // A converted document shows its settings beside the list.
    if (name.startsWith(QLatin1String("online step 1, converted"))) {
        UIFile2* row = shown->findChild<OnlineWidget1*>()->fileList()->rows().first();
        QTRY_COMPARE(row->status(), int(UIFile2::Splitting));
        row->pdf_split(row->settings().documentId, UIFile2::Ready); // as the service's channel says
    }
    if (name.startsWith(QLatin1String("print-and-deliver step 1, converted")))
        QTRY_COMPARE(shown->findChild<CloudWidget1*>()->fileList()->rows().first()->status(),
                     int(UIFile::Converted));
}

// No text is cut, in the states the windows reach with the service's answers in.
void TestLooks::textsFit()
{
    QFETCH(QString, window);
    const std::unique_ptr<QWidget> shown = make(window);
    settle(window, shown.get());
    if (QTest::currentTestFailed())
        return;
    QCoreApplication::processEvents(); // scroll bars come and go as the areas lay out what they got
    const QList<CutText> cuts = cutTexts(shown.get());
    QVERIFY2(cuts.isEmpty(), qPrintable(describe(cuts)));
    if (window.endsWith(QLatin1String(", long name"))) {
        // Cut short where the row ends, whole in the tool tip.
        const auto* name = shown->findChild<UIFile2*>()->findChild<QLabel*>(QStringLiteral("label_name"));
        QVERIFY2(name->text().contains(QChar(0x2026)), qPrintable(name->text()));
        QVERIFY(name->toolTip().endsWith(QStringLiteral("（定稿）.pdf")) ||
                name->toolTip().endsWith(QStringLiteral("（定稿）-寄送.pdf")));
    }
    if (window == QLatin1String("status window, demo job")) {
        // An ordinary job is shown whole, its document name too.
        const auto* table = shown->findChild<QTableWidget*>();
        for (int column = 0; column < table->columnCount(); ++column) {
            const QModelIndex cell = table->model()->index(0, column);
            QVERIFY2(table->sizeHintForIndex(cell).width() <= table->visualRect(cell).width(),
                     qPrintable(cell.data().toString()));
        }
    }
}

// The default address's mark stands alone in its column: the frame of the row in focus goes round the
// whole row, never round the empty text beside the mark.
void TestLooks::addressMarkStandsAlone()
{
    const std::unique_ptr<QWidget> shown = make(QStringLiteral("address list"));
    auto* list = shown->findChild<QTreeWidget*>(QStringLiteral("addr_list"));
    QVERIFY(list);
    QCOMPARE(list->topLevelItemCount(), 1);
    list->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(list->hasFocus());
    const QModelIndex mark = list->model()->index(0, 0);
    list->selectionModel()->setCurrentIndex(mark, QItemSelectionModel::NoUpdate); // where focus lands
    const QRect cell = list->visualRect(mark);
    const QImage picture = list->viewport()->grab().toImage();
    const qreal ratio = picture.devicePixelRatio();
    const int y = int(cell.center().y() * ratio);
    // Far right in the text column nothing is drawn but the row's background.
    const QRgb background =
        picture.pixel(int((list->visualRect(mark.siblingAtColumn(1)).right() - 5) * ratio), y);
    int x = int(2 * ratio); // past a frame's left edge
    while (x < cell.right() * ratio && picture.pixel(x, y) == background)
        ++x;
    // Right of the mark only the background.
    for (x += int((list->iconSize().width() + 2) * ratio); x <= int(cell.right() * ratio); ++x)
        QVERIFY2(picture.pixel(x, y) == background, qPrintable(QStringLiteral("x %1").arg(x / ratio)));
}

void TestLooks::picturesAreSharp_data()
{
    QTest::addColumn<QString>("window");
    for (const char* window :
         {"share page, every device status", "login", "bad network", "information", "cloud success"})
        QTest::newRow(window) << QString::fromUtf8(window);
}

// A picture has at least as many pixels as the screen gives it: on a scaled screen labels show the
// images' twins, not the small images blown up.
void TestLooks::picturesAreSharp()
{
    QFETCH(QString, window);
    const std::unique_ptr<QWidget> shown = make(window);
    settle(window, shown.get());
    if (QTest::currentTestFailed())
        return;
    const qreal ratio = shown->devicePixelRatioF();
    int seen = 0;
    for (const QLabel* label : shown->findChildren<QLabel*>()) {
        const QPixmap picture = label->pixmap(Qt::ReturnByValue);
        // The QR codes are made at the size the scanners were tried with.
        if (!label->isVisible() || picture.isNull() || label->objectName() == QLatin1String("label_qr") ||
            label->objectName() == QLatin1String("lbQr"))
            continue;
        ++seen;
        const QSize room = label->hasScaledContents() ? label->contentsRect().size()
                                                      : picture.size() / picture.devicePixelRatio();
        QVERIFY2(picture.width() >= qRound(room.width() * ratio) &&
                     picture.height() >= qRound(room.height() * ratio),
                 qPrintable(QStringLiteral("%1: %2x%3 pixels shown on %4x%5")
                                .arg(label->objectName())
                                .arg(picture.width())
                                .arg(picture.height())
                                .arg(qRound(room.width() * ratio))
                                .arg(qRound(room.height() * ratio))));
    }
    QVERIFY(seen > 0);
}

// Every picture has a twin of twice its size, which Qt takes on screens scaled to 150 % and more.
void TestLooks::imagesHaveDoubleSizeTwins()
{
    int seen = 0;
    QDirIterator pictures(QStringLiteral(":/img"), QDir::Files, QDirIterator::Subdirectories);
    while (pictures.hasNext()) {
        const QString path = pictures.next();
        if (path.contains(QLatin1String("@2x")))
            continue;
        ++seen;
        const int dot = path.lastIndexOf(QLatin1Char('.'));
        const QString twin = path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
        const QSize size = QImage(path).size(), twinSize = QImage(twin).size();
        QVERIFY2(!size.isEmpty() && twinSize == size * 2, qPrintable(QStringLiteral("%1 %2x%3, %4 %5x%6")
                                                                         .arg(path)
                                                                         .arg(size.width())
                                                                         .arg(size.height())
                                                                         .arg(twin)
                                                                         .arg(twinSize.width())
                                                                         .arg(twinSize.height())));
    }
    QVERIFY(seen > 30);
}

QTEST_MAIN(TestLooks)
#include "TestLooks.moc"
