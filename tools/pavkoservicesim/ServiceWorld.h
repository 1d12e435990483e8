#pragma once

#include "ServiceDelivery.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <functional>

// One print device as the service lists it.
struct ServiceDevice
{
    int id = 0;
    QString code;
    QString nickname;
    QString ip;
    int status = 1; // 1 online, 2 busy, 3 powered off, 4 offline, 5 disabled
    QString brand = QStringLiteral("HP");
    QString model = QStringLiteral("M427dw");
    QString color = QStringLiteral("0"); // "1": prints colour
    QString size = QStringLiteral("A4"); // "A3" or "A4,A3": takes A3
    QString username;
    QString password;
    QString company = QStringLiteral("演示公司"); // the company account that may use it; empty: none, the
                                                  // device is known only to discovery on its network

    bool colorCapable() const { return !color.isEmpty() && color != QLatin1String("0"); }
    bool a3Capable() const { return size.contains(QLatin1String("A3")); }
    QJsonObject toJson() const;

    // The members of a devices file entry; missing ones keep their defaults, ids count from 1.
    static bool fromJson(const QJsonObject& object, ServiceDevice& device, QString* error);
    // COUNT boxes of the device simulator from FIRST on: codes SIM0001..., consecutive addresses.
    static QList<ServiceDevice> boxes(const QHostAddress& first, int count);
};

// One request of the client as the service reads it.
struct ServiceCall
{
    QString method; // "GET" or "POST"
    QString path;
    QMap<QString, QString> query;
    QJsonObject body; // POST bodies, their texts already decoded
};

// A message for the push channel of one user, sent delayMs after the call that caused it.
struct ServicePush
{
    qint64 delayMs = 0;
    QString userId;
    QJsonObject message;
};

struct ServiceAnswer
{
    QJsonObject envelope; // {"code", "msg", "data"}
    QList<ServicePush> pushes;
    int httpStatus = 200; // 404 for a path the service does not have
    QString note;         // what the call did, for the request log ("order ... charged ...")

    int code() const { return envelope.value(QLatin1String("code")).toInt(-1); }
};

struct ServiceWorldOptions
{
    QList<ServiceDevice> devices;
    qint64 payDelayMs = 3000;  // a payment counts as paid this long after its QR code was handed out
    qint64 scanDelayMs = 3000; // a login QR code counts as scanned this long after it was handed out
    qint64 pushDelayMs = 1500; // conversions, splits and print results arrive this much later
    QString apiBase;           // "http://127.0.0.1:8089": QR codes and callbacks point here
    DeliveryWorld delivery = DeliveryWorld::builtIn(); // addresses and print-and-deliver providers
    QString publishedVersion; // the version check's answer; empty: the client's own version
    int packageType = 1;
    std::function<qint64()> clockMs; // empty: the system clock
};

// The service's little world kept in memory: one user with a balance, company accounts, devices,
// prices, orders, payments, QR logins and documents. Pure logic: the front only carries calls in and
// answers out, so tests drive it without sockets.
class ServiceWorld
{
public:
    static constexpr int kUserId = 10001;
    static constexpr qint64 kInitialBalance = 10000;        // 100.00
    static constexpr qint64 kInitialCompanyBalance = 50000; // 500.00
    static constexpr int kFirstCompanyId = 20001;
    static constexpr char kCompanyMobile[] = "13800000000";

    // What the storage needs to check an upload against the credentials handed out for it.
    struct UploadGrant
    {
        QString userId;
        QString bucket;
        QString accessKeyId;
        QString accessKeySecret;
        QString securityToken;
        QString objectPrefix; // dir + file_name_new; the file's extension may follow
        QString callbackUrl;
        QString fileName; // as the credentials were asked for; the upload must name the same
        qint64 expiresMs = 0;
    };

    struct Document
    {
        QString id;
        QString userId;
        QString hash; // MD5 of the stored bytes, lower-case hex
        QString name;
        QString objectName;
        qint64 size = 0;
        int pages = 1;
        qint64 convertedAtMs = 0;
    };

    struct Order
    {
        QString id;
        QString userId;
        int companyId = 0;
        int deviceId = 0;
        qint64 amount = 0;
        bool paid = false;
        QString outTradeNo; // of the last QR payment asked for it
        int merchantId = 0; // print-and-deliver orders: the provider, and the body as it arrived
        QJsonObject body;
    };

    explicit ServiceWorld(ServiceWorldOptions options);

    ServiceAnswer answer(const ServiceCall& call);

    // A PUT the storage accepted: registers the document and answers as the service answers the
    // storage's upload callback. form holds the callback body's fields.
    ServiceAnswer uploadCallback(const QMap<QString, QString>& form, const UploadGrant& grant,
                                 const QString& md5Hex, int pages);
    const UploadGrant* grant(const QString& securityToken) const;

    // The pages behind the QR codes, for trying it out with a browser: count as scanned or paid now.
    bool scanNow(const QString& code);
    bool payNow(const QString& outTradeNo);

    qint64 balance() const { return m_balance; }
    qint64 companyBalance(int companyId) const;
    const Order* order(const QString& id) const;
    QList<const Order*> ordersOfMerchant(int merchantId) const;
    const Document* documentByHash(const QString& userId, const QString& hash) const;
    const QList<ServiceDevice>& devices() const { return m_options.devices; }
    // The records of every batch the log collector accepted, in arrival order, and how many batches.
    const QJsonArray& logRecords() const { return m_logRecords; }
    int logBatches() const { return m_logBatches; }
    qint64 nowMs() const;

    // POST bodies: the client sends every byte of a text's UTF-8 form as a character of its own.
    static QJsonObject bodyFromBytes(const QByteArray& bytes);
    // "10001-<nonce>-<check>": the user id, or empty when the token is not one this service signs.
    static QString tokenUser(const QString& token);

private:
    struct Company
    {
        int id = 0;
        QString name;
        qint64 amount = 0;
    };
    struct Payment
    {
        QString outTradeNo;
        QString userId;
        int payType = 2;
        qint64 amount = 0;
        QString orderId; // empty for a payment asked by itself
        qint64 shownAtMs = 0;
        bool paidNow = false;
        bool credited = false; // asked by itself: paid into the personal balance once it arrived
    };
    struct Address
    {
        int id = 0;
        QJsonObject fields; // name, mobile, province, city, area, address
        bool isDefault = false;
    };
    using Handler = ServiceAnswer (ServiceWorld::*)(const ServiceCall&, const QString& userId);

    bool paymentPaid(const Payment& payment) const;
    void creditPaidTopUps();
    const ServiceDevice* device(int id) const;
    const ServiceDevice* deviceByCode(const QString& code) const;
    Company* company(int id);
    QJsonArray companiesJson(int onlyId) const;
    QJsonArray deviceList(const QString& companyName) const;
    QString newId(const char* prefix);

    ServiceAnswer scanLogin(const ServiceCall& call, const QString& userId);
    ServiceAnswer seeLogin(const ServiceCall& call, const QString& userId);
    ServiceAnswer authRunMode(const ServiceCall& call, const QString& userId);
    ServiceAnswer lastVersion(const ServiceCall& call, const QString& userId);
    ServiceAnswer ossGet(const ServiceCall& call, const QString& userId);
    ServiceAnswer thirdPay(const ServiceCall& call, const QString& userId);
    ServiceAnswer paySee(const ServiceCall& call, const QString& userId);
    ServiceAnswer deviceListCall(const ServiceCall& call, const QString& userId);
    ServiceAnswer budget(const ServiceCall& call, const QString& userId);
    ServiceAnswer confirmPrint(const ServiceCall& call, const QString& userId);
    ServiceAnswer printConfig(const ServiceCall& call, const QString& userId);
    ServiceAnswer printingFile(const ServiceCall& call, const QString& userId);
    ServiceAnswer assignDocument(const ServiceCall& call, const QString& userId);
    ServiceAnswer checkDocument(const ServiceCall& call, const QString& userId);
    ServiceAnswer yunPan(const ServiceCall& call, const QString& userId);
    ServiceAnswer cloudCompanyList(const ServiceCall& call, const QString& userId);
    ServiceAnswer merchantList(const ServiceCall& call, const QString& userId);
    ServiceAnswer merchantConfig(const ServiceCall& call, const QString& userId);
    ServiceAnswer addressList(const ServiceCall& call, const QString& userId);
    ServiceAnswer saveAddress(const ServiceCall& call, const QString& userId);
    ServiceAnswer removeAddress(const ServiceCall& call, const QString& userId);
    ServiceAnswer cloudOrder(const ServiceCall& call, const QString& userId);
    ServiceAnswer logRecord(const ServiceCall& call, const QString& userId);

    ServiceWorldOptions m_options;
    qint64 m_balance = kInitialBalance;
    QList<Company> m_companies;
    QMap<QString, qint64> m_loginShownAtMs; // by request code
    QMap<QString, UploadGrant> m_grants;    // by security token
    QMap<QString, Document> m_documents;    // by id
    QMap<QString, Order> m_orders;
    QMap<QString, ServiceAnswer> m_answersByOrderKey; // by path, user and the order's "only"
    QMap<QString, Payment> m_payments;                // by out_trade_no
    QList<Address> m_addresses;
    int m_nextAddressId = 1; // never reused: a removed address's id must not name a new one
    int m_nextNumber = 1;
    QJsonArray m_logRecords;
    int m_logBatches = 0;
};
