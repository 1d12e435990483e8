#include "UIDevice.h"
#include "UIDeviceList.h"
#include "UiResources.h"

#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

class TestDeviceList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initUiResources(); }

    void modelLook_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Xerox mono A3") << "workcentre 6856"
                                       << "device_xerox_7958"
                                       << "黑白A3";
        QTest::newRow("Xerox colour A3") << "XEROX CZEX -V 7958"
                                         << "device_xerox_7958"
                                         << "彩色A3";
        QTest::newRow("Ricoh colour") << "RICOH 3503"
                                      << "device_richo_5002"
                                      << "彩色A3";
        QTest::newRow("Brother") << "MFC-8540DN"
                                 << "device_brother_8530"
                                 << "黑白A4";
        QTest::newRow("Konica mono") << "bizhub 754"
                                     << "device_km_226"
                                     << "黑白A3";
        QTest::newRow("Epson keeps the default picture") << "Epson C869R"
                                                         << "device_default"
                                                         << "彩色A3";
        QTest::newRow("Canon") << "G5080"
                               << "device_canon_5080"
                               << "彩色A4";
        QTest::newRow("case matters") << "g5080"
                                      << "device_default"
                                      << " ";
        QTest::newRow("whole name only") << "RICOH 3503 SP"
                                         << "device_default"
                                         << " ";
    }
    void modelLook()
    {
        QFETCH(QString, model);
        QFETCH(QString, picture);
        const UIDevice::Look look = UIDevice::modelLook(model);
        QCOMPARE(look.picture, QStringLiteral(":/img/device/") + picture + QStringLiteral(".png"));
        QTEST(look.text, "caption");
        QVERIFY(!QPixmap(look.picture).isNull());
    }

    void statusLook()
    {
        const QStringList texts{QStringLiteral("在线"), QStringLiteral("忙碌"), QStringLiteral("关机"),
                                QStringLiteral("离线"), QStringLiteral("禁停")};
        for (int status = 1; status <= 5; ++status) {
            QCOMPARE(UIDevice::statusLook(status).text, texts[status - 1]);
            QVERIFY(!QPixmap(UIDevice::statusLook(status).picture).isNull());
        }
    }

    // A click selects its row alone and is announced after the selection; rows stack without overlap.
    void clickSelects()
    {
        UIDeviceList list;
        list.resize(520, 200);
        list.show();
        for (int i = 0; i < 4; ++i) {
            DeviceEntry device;
            device.deviceId = 10 + i;
            device.deviceCode = QStringLiteral("P%1").arg(i);
            device.deviceStatus = DeviceEntry::Online;
            device.isLocal = i == 2;
            list.addDevice(device);
        }
        QVERIFY(!list.selectedEntry());
        QCOMPARE(list.rows()[3]->y(), 3 * (list.rows()[0]->height() + 1));
        QVERIFY(
            list.rows()[2]->findChild<QLabel*>(QStringLiteral("label_local"))->isVisibleTo(list.rows()[2]));
        QVERIFY(
            !list.rows()[1]->findChild<QLabel*>(QStringLiteral("label_local"))->isVisibleTo(list.rows()[1]));
        list.selectIndex(1);
        QSignalSpy clicks(&list, &UIDeviceList::click);
        connect(&list, &UIDeviceList::click, this,
                [&list](int index) { QCOMPARE(list.selectedEntry()->deviceId, 10 + index); });
        QTest::mouseClick(list.rows()[3], Qt::LeftButton);
        QCOMPARE(clicks.size(), 1);
        QCOMPARE(clicks.first().first().toInt(), 3);
        QVERIFY(!list.rows()[1]->isSelected());
        QCOMPARE(list.selectedEntry()->deviceCode, QStringLiteral("P3"));
        list.clear();
        QCOMPARE(list.count(), 0);
        QVERIFY(!list.selectedEntry());
    }
};

QTEST_MAIN(TestDeviceList)
#include "TestDeviceList.moc"
