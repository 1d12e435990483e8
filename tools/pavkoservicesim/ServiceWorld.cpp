#include "ServiceWorld.h"

#include "Secrets.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <climits>

namespace {
// Tokens carry a check made with this key, so a login remembered by the client stays good across
// restarts of the stand-in while made-up tokens are refused.
const QByteArray kTokenKey = "pavkoservicesim-token";
// Shared with the client's log uploader.
const QByteArray kLogKey = "Tq4RwL9xNb2VzK7m";
const QString kUserName = QStringLiteral("演示用户");
constexpr qint64 kGrantLifetimeMs = 15 * 60 * 1000;
constexpr qint64 kMaxCopies = 9999;
constexpr qint64 kMaxAmount = 1'000'000'000'000'000; // hundredths

ServiceAnswer ok(const QJsonValue& data = QJsonValue::Undefined, const QString& msg = QStringLiteral("ok"))
{
    ServiceAnswer answer;
    answer.envelope = {{QStringLiteral("code"), 0}, {QStringLiteral("msg"), msg}};
    if (!data.isUndefined())
        answer.envelope.insert(QStringLiteral("data"), data);
    return answer;
}

ServiceAnswer fail(const QString& msg, int code = 1)
{
    ServiceAnswer answer;
    answer.envelope = {{QStringLiteral("code"), code}, {QStringLiteral("msg"), msg}};
    return answer;
}

QString money(qint64 hundredths)
{
    return QString::number(double(hundredths) / 100.0, 'f', 2);
}

int intField(const QMap<QString, QString>& fields, const char* key, int fallback = -1)
{
    bool isNumber = false;
    const int value = fields.value(QLatin1String(key)).trimmed().toInt(&isNumber);
    return isNumber ? value : fallback;
}

// Price per page in hundredths: 0.20 for black-and-white A4 on one side; both sides 0.16 a page;
// colour five times, A3 twice that.
qint64 pricePerPage(bool color, bool a3, bool duplex)
{
    return (duplex ? 16 : 20) * (color ? 5 : 1) * (a3 ? 2 : 1);
}

QString priceKey(bool color, const QString& size, bool duplex)
{
    return (color ? QStringLiteral("color_") : QStringLiteral("mono_")) + size.toLower() +
           (duplex ? QStringLiteral("_d") : QStringLiteral("_s"));
}

QString printKind(bool color, bool a3, bool duplex)
{
    return (color ? QStringLiteral("彩色") : QStringLiteral("黑白")) +
           (a3 ? QStringLiteral("A3") : QStringLiteral("A4")) +
           (duplex ? QStringLiteral("双面") : QStringLiteral("单面"));
}

QString undoByteChars(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() > 0xff)
            return text;
    const QByteArray bytes = text.toLatin1();
    const QString decoded = QString::fromUtf8(bytes);
    return decoded.toUtf8() == bytes ? decoded : text;
}

QJsonValue undoByteChars(const QJsonValue& value)
{
    if (value.isString())
        return undoByteChars(value.toString());
    if (value.isArray()) {
        QJsonArray array;
        for (const QJsonValue& item : value.toArray())
            array.append(undoByteChars(item));
        return array;
    }
    if (value.isObject()) {
        QJsonObject object;
        const QJsonObject source = value.toObject();
        for (auto it = source.begin(); it != source.end(); ++it)
            object.insert(undoByteChars(it.key()), undoByteChars(it.value()));
        return object;
    }
    return value;
}
} // namespace

QJsonObject ServiceDevice::toJson() const
{
    return {{QStringLiteral("device_id"), id},
            {QStringLiteral("device_code"), code},
            {QStringLiteral("device_nickname"), nickname},
            {QStringLiteral("device_ip"), ip},
            {QStringLiteral("device_status"), status},
            {QStringLiteral("brand"), brand},
            {QStringLiteral("model"), model},
            {QStringLiteral("color"), color},
            {QStringLiteral("size"), size},
            {QStringLiteral("device_username"), username},
            {QStringLiteral("device_password"), password},
            {QStringLiteral("company"), company}};
}

bool ServiceDevice::fromJson(const QJsonObject& object, ServiceDevice& device, QString* error)
{
    const auto bad = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    static const QSet<QString> texts{
        QStringLiteral("device_code"), QStringLiteral("device_nickname"), QStringLiteral("device_ip"),
        QStringLiteral("brand"),       QStringLiteral("model"),           QStringLiteral("color"),
        QStringLiteral("size"),        QStringLiteral("device_username"), QStringLiteral("device_password"),
        QStringLiteral("company")};
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        if (key == QLatin1String("device_status") || key == QLatin1String("device_id")) {
            if (!it.value().isDouble())
                return bad(QStringLiteral("\"%1\" must be a number").arg(key));
        } else if (!texts.contains(key)) {
            return bad(QStringLiteral("unknown member \"%1\"").arg(key));
        } else if (!it.value().isString()) {
            return bad(QStringLiteral("\"%1\" must be a text").arg(key));
        }
    }
    const auto text = [&object](const char* key, const QString& fallback) {
        return object.value(QLatin1String(key)).toString(fallback);
    };
    device.id = object.value(QLatin1String("device_id")).toInt(device.id);
    device.code = text("device_code", device.code);
    device.nickname = text("device_nickname", device.nickname);
    device.ip = text("device_ip", device.ip);
    device.status = object.value(QLatin1String("device_status")).toInt(device.status);
    device.brand = text("brand", device.brand);
    device.model = text("model", device.model);
    device.color = text("color", device.color);
    device.size = text("size", device.size);
    device.username = text("device_username", device.username);
    device.password = text("device_password", device.password);
    device.company = text("company", device.company);
    if (device.code.isEmpty())
        return bad(QStringLiteral("\"device_code\" is missing"));
    const QHostAddress address(device.ip);
    if (!device.ip.isEmpty() && (address.isNull() || !address.isLoopback()))
        return bad(QStringLiteral("device_ip %1 is not a loopback address").arg(device.ip));
    return true;
}

QList<ServiceDevice> ServiceDevice::boxes(const QHostAddress& first, int count)
{
    QList<ServiceDevice> devices;
    for (int i = 0; i < count; ++i) {
        ServiceDevice device;
        device.id = i + 1;
        device.code = QStringLiteral("SIM%1").arg(i + 1, 4, 10, QLatin1Char('0'));
        device.nickname = QStringLiteral("演示打印机%1").arg(i + 1);
        device.ip = QHostAddress(first.toIPv4Address() + quint32(i)).toString();
        devices.append(device);
    }
    return devices;
}

ServiceWorld::ServiceWorld(ServiceWorldOptions options) : m_options(std::move(options))
{
    QStringList names;
    for (int i = 0; i < m_options.devices.size(); ++i) {
        ServiceDevice& device = m_options.devices[i];
        if (device.id <= 0)
            device.id = i + 1;
        if (!device.company.isEmpty() && !names.contains(device.company))
            names.append(device.company);
    }
    if (names.isEmpty())
        names.append(QStringLiteral("演示公司"));
    for (int i = 0; i < names.size(); ++i)
        m_companies.append({kFirstCompanyId + i, names.at(i), kInitialCompanyBalance});
    for (QJsonObject fields : qAsConst(m_options.delivery.addresses)) {
        const bool isDefault = fields.take(QStringLiteral("default")).toString() == QLatin1String("1");
        m_addresses.append({m_nextAddressId++, fields, isDefault});
    }
}

qint64 ServiceWorld::nowMs() const
{
    return m_options.clockMs ? m_options.clockMs() : QDateTime::currentMSecsSinceEpoch();
}

QString ServiceWorld::newId(const char* prefix)
{
    return QLatin1String(prefix) +
           QDateTime::fromMSecsSinceEpoch(nowMs()).toString(QStringLiteral("yyyyMMdd")) +
           QStringLiteral("%1").arg(m_nextNumber++, 4, 10, QLatin1Char('0'));
}

QJsonObject ServiceWorld::bodyFromBytes(const QByteArray& bytes)
{
    return undoByteChars(QJsonValue(QJsonDocument::fromJson(bytes).object())).toObject();
}

QString ServiceWorld::tokenUser(const QString& token)
{
    const QStringList parts = token.split(QLatin1Char('-'));
    if (parts.size() != 3 || parts.at(1).size() != 16)
        return {};
    const QByteArray check = QCryptographicHash::hash(parts.at(0).toUtf8() + parts.at(1).toUtf8() + kTokenKey,
                                                      QCryptographicHash::Md5)
                                 .toHex()
                                 .left(12);
    return parts.at(2).toLatin1() == check ? parts.at(0) : QString();
}

ServiceAnswer ServiceWorld::answer(const ServiceCall& call)
{
    struct Route
    {
        const char* method;
        Handler handler;
        bool needsLogin;
    };
    static const QMap<QString, Route> routes{
        {QStringLiteral("/w1/Login/scanLogin"), {"GET", &ServiceWorld::scanLogin, false}},
        {QStringLiteral("/w1/Login/seeLogin"), {"GET", &ServiceWorld::seeLogin, false}},
        {QStringLiteral("/w1/Printing/authRunModeBymobile"), {"GET", &ServiceWorld::authRunMode, false}},
        {QStringLiteral("/w1/upgrade/getLastVersionInfo"), {"GET", &ServiceWorld::lastVersion, false}},
        {QStringLiteral("/c2/upload/winOssGet"), {"GET", &ServiceWorld::ossGet, true}},
        {QStringLiteral("/w1/printing/thirdPay"), {"GET", &ServiceWorld::thirdPay, true}},
        {QStringLiteral("/w1/Printing/paySee"), {"GET", &ServiceWorld::paySee, true}},
        {QStringLiteral("/w1/Device/deviceList"), {"GET", &ServiceWorld::deviceListCall, true}},
        {QStringLiteral("/w1/Printing/budget"), {"GET", &ServiceWorld::budget, true}},
        {QStringLiteral("/w1/Printing/confirmPrint"), {"GET", &ServiceWorld::confirmPrint, true}},
        {QStringLiteral("/w1/printing/printConfig"), {"GET", &ServiceWorld::printConfig, true}},
        {QStringLiteral("/w1/printing/printingFile"), {"GET", &ServiceWorld::printingFile, true}},
        {QStringLiteral("/w1/printing/assignDocument"), {"GET", &ServiceWorld::assignDocument, true}},
        {QStringLiteral("/c2/document/checkDocument"), {"GET", &ServiceWorld::checkDocument, true}},
        {QStringLiteral("/c2/upload/yunPan"), {"GET", &ServiceWorld::yunPan, true}},
        {QStringLiteral("/c2/company/cloudCompanyList"), {"GET", &ServiceWorld::cloudCompanyList, true}},
        {QStringLiteral("/c3/print_config/getMerchantList"), {"GET", &ServiceWorld::merchantList, true}},
        {QStringLiteral("/c3/print_config/getConfig"), {"GET", &ServiceWorld::merchantConfig, true}},
        {QStringLiteral("/c3/shapping_address/addressList"), {"GET", &ServiceWorld::addressList, true}},
        {QStringLiteral("/c3/shapping_address/addAddress"), {"POST", &ServiceWorld::saveAddress, true}},
        {QStringLiteral("/c3/shapping_address/modifyAddress"), {"POST", &ServiceWorld::saveAddress, true}},
        {QStringLiteral("/c3/shapping_address/removeAddress"), {"POST", &ServiceWorld::removeAddress, true}},
        {QStringLiteral("/c3/cloud_order/creatOrderwithfiles"), {"POST", &ServiceWorld::cloudOrder, true}},
        {QStringLiteral("/log/asyn_log_record"), {"POST", &ServiceWorld::logRecord, false}},
    };
    const auto route = routes.constFind(call.path);
    if (route == routes.constEnd()) {
        ServiceAnswer missing = fail(QStringLiteral("接口不存在"), 404);
        missing.httpStatus = 404;
        return missing;
    }
    if (call.method != QLatin1String(route->method))
        return fail(QStringLiteral("请求方式错误"));
    creditPaidTopUps();
    QString userId;
    if (route->needsLogin) {
        userId = tokenUser(call.query.value(QStringLiteral("token")));
        if (userId.isEmpty())
            return fail(QStringLiteral("登录已失效，请重新登录"));
    }
    // An order whose key ("only") came before places nothing and is answered as the first one was: a
    // client that lost that answer and sends the order again is not charged twice.
    const bool order = call.path == QLatin1String("/w1/printing/printingFile") ||
                       call.path == QLatin1String("/c3/cloud_order/creatOrderwithfiles");
    const QString only = call.method == QLatin1String("POST")
                             ? jsonText(call.body.value(QLatin1String("only")))
                             : call.query.value(QStringLiteral("only"));
    if (!order || only.isEmpty())
        return (this->*(route->handler))(call, userId);
    const QString key = call.path + QLatin1Char('\n') + userId + QLatin1Char('\n') + only;
    if (const auto seen = m_answersByOrderKey.constFind(key); seen != m_answersByOrderKey.constEnd()) {
        ServiceAnswer again = *seen;
        again.note = QStringLiteral("order key %1 seen before: answered as then").arg(only);
        return again;
    }
    const ServiceAnswer answer = (this->*(route->handler))(call, userId);
    m_answersByOrderKey.insert(key, answer);
    return answer;
}

// QR login ------------------------------------------------------------------------------------------

ServiceAnswer ServiceWorld::scanLogin(const ServiceCall& call, const QString&)
{
    const QString code = call.query.value(QStringLiteral("code"));
    if (code.isEmpty() || code.size() > 64)
        return fail(QStringLiteral("二维码参数错误"));
    m_loginShownAtMs.insert(code, nowMs());
    return ok(QJsonObject{
        {QStringLiteral("login_url"), QString(m_options.apiBase + QStringLiteral("/sim/scan?code=") +
                                              QString::fromLatin1(QUrl::toPercentEncoding(code)))}});
}

bool ServiceWorld::scanNow(const QString& code)
{
    if (!m_loginShownAtMs.contains(code))
        return false;
    m_loginShownAtMs[code] = nowMs() - m_options.scanDelayMs;
    return true;
}

ServiceAnswer ServiceWorld::seeLogin(const ServiceCall& call, const QString&)
{
    const QString code = call.query.value(QStringLiteral("code"));
    const auto shown = m_loginShownAtMs.constFind(code);
    if (shown == m_loginShownAtMs.constEnd())
        return fail(QStringLiteral("二维码已失效，请刷新"));
    if (nowMs() < shown.value() + m_options.scanDelayMs)
        return fail(QStringLiteral("等待扫码"));
    m_loginShownAtMs.remove(code); // one login per code
    const QByteArray user = QByteArray::number(kUserId);
    const QByteArray nonce = randomString(16).toLatin1();
    const QByteArray check =
        QCryptographicHash::hash(user + nonce + kTokenKey, QCryptographicHash::Md5).toHex().left(12);
    return ok(QJsonObject{{QStringLiteral("token"), QString::fromLatin1(user + '-' + nonce + '-' + check)},
                          {QStringLiteral("user_id"), kUserId},
                          {QStringLiteral("username"), kUserName}});
}

ServiceAnswer ServiceWorld::authRunMode(const ServiceCall& call, const QString&)
{
    const int mode = intField(call.query, "run_mode");
    if (mode == 1)
        return ok();
    if (mode != 2 && mode != 3)
        return fail(QStringLiteral("运行模式错误"));
    if (!company(intField(call.query, "agency_id")) ||
        call.query.value(QStringLiteral("mobile")) != QLatin1String(kCompanyMobile))
        return fail(QStringLiteral("企业ID或手机号不正确"));
    return ok();
}

// Unless told to publish one, never a newer version: the version the client already runs.
ServiceAnswer ServiceWorld::lastVersion(const ServiceCall& call, const QString&)
{
    QString version = m_options.publishedVersion;
    if (version.isEmpty())
        version = call.query.value(QStringLiteral("client_version"));
    if (version.isEmpty())
        version = QStringLiteral("1.0.0");
    const QString base = m_options.apiBase + QStringLiteral("/sim/pkg/pavko-") + version;
    return ok(QJsonObject{{QStringLiteral("package_version"), version},
                          {QStringLiteral("package_type"), m_options.packageType},
                          {QStringLiteral("package_url"), QString(base + QStringLiteral(".exe"))},
                          {QStringLiteral("patch_url"), QString(base + QStringLiteral("-patch.exe"))},
                          {QStringLiteral("patch_min_supported_ver"), version}});
}

// Payments ------------------------------------------------------------------------------------------

bool ServiceWorld::paymentPaid(const Payment& payment) const
{
    return payment.paidNow || nowMs() >= payment.shownAtMs + m_options.payDelayMs;
}

// A QR payment asked by itself (online print and print-and-deliver pay before they order) is money
// paid into the personal balance: the order that follows charges the balance as any other.
void ServiceWorld::creditPaidTopUps()
{
    for (Payment& payment : m_payments) {
        if (payment.orderId.isEmpty() && !payment.credited && paymentPaid(payment)) {
            payment.credited = true;
            m_balance += payment.amount;
        }
    }
}

bool ServiceWorld::payNow(const QString& outTradeNo)
{
    if (!m_payments.contains(outTradeNo))
        return false;
    m_payments[outTradeNo].paidNow = true;
    return true;
}

ServiceAnswer ServiceWorld::thirdPay(const ServiceCall& call, const QString& userId)
{
    const int payType = intField(call.query, "pay_type");
    const int amount = intField(call.query, "amount");
    if (payType != 2 && payType != 3)
        return fail(QStringLiteral("支付方式错误"));
    if (amount <= 0)
        return fail(QStringLiteral("支付金额错误"));
    Payment payment{newId("PAY"), userId, payType, amount, QString(), nowMs(), false, false};
    m_payments.insert(payment.outTradeNo, payment);
    return ok(QJsonObject{
        {QStringLiteral("out_trade_no"), payment.outTradeNo},
        {QStringLiteral("pay_code_url"),
         QString(m_options.apiBase + QStringLiteral("/sim/pay?out_trade_no=") + payment.outTradeNo)}});
}

ServiceAnswer ServiceWorld::paySee(const ServiceCall& call, const QString& userId)
{
    const auto payment = m_payments.constFind(call.query.value(QStringLiteral("out_trade_no")));
    if (payment == m_payments.constEnd() || payment->userId != userId)
        return fail(QStringLiteral("支付单不存在"), 2);
    if (!paymentPaid(*payment))
        return fail(payment->payType == 2 ? QStringLiteral("等待微信支付…")
                                          : QStringLiteral("等待支付宝支付…"));
    return ok(QJsonObject{{QStringLiteral("out_trade_no"), payment->outTradeNo},
                          {QStringLiteral("amount"), payment->amount}});
}

// Devices, prices and share printing ----------------------------------------------------------------

const ServiceDevice* ServiceWorld::device(int id) const
{
    for (const ServiceDevice& device : m_options.devices)
        if (device.id == id)
            return &device;
    return nullptr;
}

const ServiceDevice* ServiceWorld::deviceByCode(const QString& code) const
{
    for (const ServiceDevice& device : m_options.devices)
        if (device.code == code)
            return &device;
    return nullptr;
}

ServiceWorld::Company* ServiceWorld::company(int id)
{
    for (Company& company : m_companies)
        if (company.id == id)
            return &company;
    return nullptr;
}

qint64 ServiceWorld::companyBalance(int companyId) const
{
    for (const Company& company : m_companies)
        if (company.id == companyId)
            return company.amount;
    return -1;
}

QJsonArray ServiceWorld::deviceList(const QString& companyName) const
{
    QJsonArray list;
    for (const ServiceDevice& device : m_options.devices)
        if (companyName.isNull() || device.company == companyName)
            list.append(device.toJson());
    return list;
}

QJsonArray ServiceWorld::companiesJson(int onlyId) const
{
    QJsonArray companies;
    for (const Company& company : m_companies)
        if (onlyId < 0 || company.id == onlyId)
            companies.append(QJsonObject{{QStringLiteral("id"), company.id},
                                         {QStringLiteral("name"), company.name},
                                         {QStringLiteral("device_list"), deviceList(company.name)}});
    return companies;
}

ServiceAnswer ServiceWorld::deviceListCall(const ServiceCall& call, const QString&)
{
    switch (intField(call.query, "run_mode")) {
    case 0: {
        const QStringList codes = call.query.value(QStringLiteral("local_device")).split(QLatin1Char(','));
        QJsonArray list;
        for (const ServiceDevice& device : m_options.devices)
            if (codes.contains(device.code))
                list.append(device.toJson());
        return ok(QJsonObject{{QStringLiteral("device_list"), list}});
    }
    case 1:
        return ok(companiesJson(-1));
    case 2:
        return ok(companiesJson(intField(call.query, "company_id")));
    case 3: {
        const Company* merchant = company(intField(call.query, "agency_id"));
        if (!merchant)
            return fail(QStringLiteral("商家不存在"));
        return ok(QJsonObject{{QStringLiteral("device_list"), deviceList(merchant->name)}});
    }
    default:
        return fail(QStringLiteral("运行模式错误"));
    }
}

ServiceAnswer ServiceWorld::budget(const ServiceCall& call, const QString& userId)
{
    const bool merchant = intField(call.query, "company_type") == 1;
    const int accountId = intField(call.query, merchant ? "agency_id" : "company_id");
    const ServiceDevice* printer = device(intField(call.query, "device_id"));
    if (!printer)
        return fail(QStringLiteral("设备不存在"));
    const Company* paying = accountId == 0 ? nullptr : company(accountId);
    if (accountId != 0 && (!paying || paying->name != printer->company))
        return fail(QStringLiteral("该账户不能使用此设备"));
    const int pages = intField(call.query, "page");
    const int copies = intField(call.query, "num", 1);
    if (pages < 1 || copies < 1)
        return fail(QStringLiteral("页数或份数无效"));
    // A black-and-white device prints a colour job in grey, at the black-and-white price.
    const bool color = intField(call.query, "color", 0) == 1 && printer->colorCapable();
    const bool a3 = intField(call.query, "size", 1) == 2;
    const bool duplex = intField(call.query, "double", 0) == 1;
    if (a3 && !printer->a3Capable())
        return fail(QStringLiteral("该设备不支持A3纸张"));
    const qint64 perPage = pricePerPage(color, a3, duplex);
    const qint64 amount = perPage * pages * copies;
    const Order order{newId("SO"), userId, accountId, printer->id, amount, false, {}, 0, {}};
    m_orders.insert(order.id, order);
    const QString explain = QStringLiteral("%1 %2印币/页 * %3页 * %4份 = %5印币")
                                .arg(printKind(color, a3, duplex), money(perPage))
                                .arg(pages)
                                .arg(copies)
                                .arg(money(amount));
    return ok(QJsonObject{{QStringLiteral("user_amount"), paying ? paying->amount : m_balance},
                          {QStringLiteral("print_amount"), amount},
                          {QStringLiteral("amount_explain"), explain},
                          {QStringLiteral("order_id"), order.id}});
}

const ServiceWorld::Order* ServiceWorld::order(const QString& id) const
{
    const auto found = m_orders.constFind(id);
    return found == m_orders.constEnd() ? nullptr : &found.value();
}

ServiceAnswer ServiceWorld::confirmPrint(const ServiceCall& call, const QString& userId)
{
    const auto found = m_orders.find(call.query.value(QStringLiteral("order_id")));
    if (found == m_orders.end() || found->userId != userId)
        return fail(QStringLiteral("订单不存在，请重新选择设备后再打印"));
    Order& order = found.value();
    const int printType = intField(call.query, "print_type", 1);
    if ((printType == 2 || printType == 3) &&
        !m_documents.contains(call.query.value(QStringLiteral("document_id"))))
        return fail(QStringLiteral("文档不存在"));
    const auto paid = [&order] {
        return ok(QJsonObject{{QStringLiteral("pay_type"), 1}, {QStringLiteral("order_id"), order.id}});
    };
    // A QR payment that has arrived pays the order; confirming a paid order again charges nothing.
    const auto payment = m_payments.constFind(order.outTradeNo);
    if (!order.paid && payment != m_payments.constEnd() && paymentPaid(*payment))
        order.paid = true;
    if (order.paid)
        return paid();
    const int payType = intField(call.query, "pay_type");
    if (payType == 1) {
        Company* paying = order.companyId == 0 ? nullptr : company(order.companyId);
        qint64& balance = paying ? paying->amount : m_balance;
        if (balance < order.amount)
            return fail(QStringLiteral("余额不足，请先充值后，再打印"));
        balance -= order.amount;
        order.paid = true;
        return paid();
    }
    if (payType != 2 && payType != 3)
        return fail(QStringLiteral("支付方式错误"));
    if (order.companyId != 0)
        return fail(QStringLiteral("企业账户只能余额支付"));
    Payment qr{newId("PAY"), userId, payType, order.amount, order.id, nowMs(), false, false};
    m_payments.insert(qr.outTradeNo, qr);
    order.outTradeNo = qr.outTradeNo;
    return ok(
        QJsonObject{{QStringLiteral("pay_type"), payType},
                    {QStringLiteral("order_id"), order.id},
                    {QStringLiteral("out_trade_no"), qr.outTradeNo},
                    {QStringLiteral("pay_code_url"),
                     QString(m_options.apiBase + QStringLiteral("/sim/pay?out_trade_no=") + qr.outTradeNo)}});
}

// Online printing -----------------------------------------------------------------------------------

ServiceAnswer ServiceWorld::printConfig(const ServiceCall& call, const QString&)
{
    const ServiceDevice* printer = deviceByCode(call.query.value(QStringLiteral("device_code")));
    if (!printer)
        return fail(QStringLiteral("设备不存在"));
    const int accountId =
        intField(call.query, call.query.contains(QStringLiteral("agency_id")) ? "agency_id" : "company_id");
    const Company* paying = accountId == 0 ? nullptr : company(accountId);
    if (accountId != 0 && !paying)
        return fail(QStringLiteral("账户不存在"));
    QJsonObject rule{{QStringLiteral("id"), 1}, {QStringLiteral("price_rule_id"), 1}};
    QJsonArray sizes{QStringLiteral("A4")};
    if (printer->a3Capable())
        sizes.append(QStringLiteral("A3"));
    for (const QJsonValue& size : qAsConst(sizes))
        for (const bool color : {false, true})
            for (const bool duplex : {false, true})
                if (!color || printer->colorCapable())
                    rule.insert(QStringLiteral("price_doc_") + priceKey(color, size.toString(), duplex),
                                pricePerPage(color, size.toString() == QLatin1String("A3"), duplex));
    const qint64 amount = paying ? paying->amount : m_balance;
    return ok(QJsonObject{
        {QStringLiteral("device"), QJsonObject{{QStringLiteral("color"), printer->colorCapable() ? 1 : 0},
                                               {QStringLiteral("paper_size_2"), sizes}}},
        {QStringLiteral("print_price_rule"), rule},
        {QStringLiteral("price_rule_id"), 1},
        {QStringLiteral("company_info"),
         QJsonObject{{QStringLiteral("company_id"), accountId},
                     {QStringLiteral("company_name"), paying ? paying->name : QStringLiteral("个人账户")},
                     {QStringLiteral("company_amount"), amount}}},
        {QStringLiteral("company_amount"), amount}});
}

ServiceAnswer ServiceWorld::printingFile(const ServiceCall& call, const QString& userId)
{
    const ServiceDevice* printer = device(intField(call.query, "device_id"));
    if (!printer)
        return fail(QStringLiteral("设备不存在"));
    if (printer->status != 1 && printer->status != 2)
        return fail(QStringLiteral("打印机不可用，请重新选择"));
    const int accountId = intField(call.query, "company_id", 0);
    Company* paying = accountId == 0 ? nullptr : company(accountId);
    if (accountId != 0 && !paying)
        return fail(QStringLiteral("账户不存在"));
    const QJsonArray rows =
        QJsonDocument::fromJson(call.query.value(QStringLiteral("print_data")).toUtf8()).array();
    if (rows.isEmpty())
        return fail(QStringLiteral("没有要打印的文档"));
    qint64 amount = 0;
    for (const QJsonValue& value : rows) {
        QMap<QString, QString> row;
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            row.insert(it.key(), it.value().isString() ? it.value().toString()
                                                       : QString::number(it.value().toDouble()));
        const auto document = m_documents.constFind(row.value(QStringLiteral("document_id")));
        if (document == m_documents.constEnd() || document->userId != userId)
            return fail(QStringLiteral("文档不存在"));
        const int first = intField(row, "split_start_page", 1);
        const int last = intField(row, "split_end_page", document->pages);
        const int copies = intField(row, "num", 1);
        if (first < 1 || last < first || last > document->pages || copies < 1)
            return fail(QStringLiteral("打印范围或份数无效"));
        amount += pricePerPage(intField(row, "color", 0) == 1, intField(row, "size", 1) == 2,
                               intField(row, "double", 0) == 1) *
                  (last - first + 1) * copies;
    }
    qint64& balance = paying ? paying->amount : m_balance;
    if (balance < amount)
        return fail(QStringLiteral("余额不足，请先充值后，再打印"));
    balance -= amount;
    const Order order{newId("OP"), userId, accountId, printer->id, amount, true, {}, 0, {}};
    m_orders.insert(order.id, order);
    ServiceAnswer answer = ok(order.id);
    answer.pushes.append({m_options.pushDelayMs, userId,
                          QJsonObject{{QStringLiteral("type"), QStringLiteral("print_v4_result")},
                                      {QStringLiteral("order_id"), order.id},
                                      {QStringLiteral("return_code"), QStringLiteral("0")},
                                      {QStringLiteral("return_msg"), QStringLiteral("打印成功")},
                                      {QStringLiteral("return_data"), QString()}}});
    return answer;
}

ServiceAnswer ServiceWorld::assignDocument(const ServiceCall& call, const QString& userId)
{
    const QString id = call.query.value(QStringLiteral("document_id"));
    const auto document = m_documents.constFind(id);
    if (document == m_documents.constEnd() || document->userId != userId)
        return fail(QStringLiteral("文档不存在"));
    if (nowMs() < document->convertedAtMs)
        return fail(QStringLiteral("文档正在转码，请稍后"));
    const int first = intField(call.query, "split_start_page", 1);
    const int last = intField(call.query, "split_end_page", document->pages);
    const bool valid = first >= 1 && first <= last && last <= document->pages;
    ServiceAnswer answer = ok();
    answer.pushes.append(
        {m_options.pushDelayMs, userId,
         QJsonObject{{QStringLiteral("type"), QStringLiteral("document_assign")},
                     {QStringLiteral("return_code"), valid ? QStringLiteral("1") : QStringLiteral("0")},
                     {QStringLiteral("data"), QJsonObject{{QStringLiteral("document_id"), id}}}}});
    return answer;
}

// Documents -----------------------------------------------------------------------------------------

const ServiceWorld::Document* ServiceWorld::documentByHash(const QString& userId, const QString& hash) const
{
    for (const Document& document : m_documents)
        if (document.userId == userId && document.hash == hash.toLower())
            return &document;
    return nullptr;
}

ServiceAnswer ServiceWorld::checkDocument(const ServiceCall& call, const QString& userId)
{
    const Document* document = documentByHash(userId, call.query.value(QStringLiteral("hash")));
    if (!document)
        return ok(QJsonObject{{QStringLiteral("check"), 0}});
    return ok(QJsonObject{{QStringLiteral("check"), nowMs() >= document->convertedAtMs ? 1 : 2},
                          {QStringLiteral("user_document_id"), document->id.toInt()}});
}

ServiceAnswer ServiceWorld::yunPan(const ServiceCall& call, const QString& userId)
{
    const auto document = m_documents.constFind(call.query.value(QStringLiteral("document_id")));
    if (document == m_documents.constEnd() || document->userId != userId)
        return fail(QStringLiteral("文档不存在"));
    return ok(
        QJsonObject{{QStringLiteral("document_id"), document->id.toInt()},
                    {QStringLiteral("file_name"), document->name},
                    {QStringLiteral("filepage"), nowMs() >= document->convertedAtMs ? document->pages : 0}});
}

ServiceAnswer ServiceWorld::ossGet(const ServiceCall& call, const QString& userId)
{
    const QString hash = call.query.value(QStringLiteral("hash")).toLower();
    if (hash.size() != 32 || call.query.value(QStringLiteral("filename")).isEmpty())
        return fail(QStringLiteral("文件参数错误"));
    // Fresh short-lived credentials for every file, as the storage's token service hands them out.
    UploadGrant grant;
    grant.userId = userId;
    grant.bucket = QStringLiteral("pavko-docs");
    grant.accessKeyId = QStringLiteral("STS.") + randomString(20);
    grant.accessKeySecret = randomString(32);
    grant.securityToken = randomString(48);
    const QString dir = QStringLiteral("doc/%1/").arg(userId);
    const QString newName = newId("F") + randomString(6);
    grant.objectPrefix = dir + newName;
    grant.callbackUrl = m_options.apiBase + QStringLiteral("/c2/upload/ossCallback");
    grant.fileName = call.query.value(QStringLiteral("filename"));
    grant.expiresMs = nowMs() + kGrantLifetimeMs;
    m_grants.insert(grant.securityToken, grant);
    return ok(QJsonObject{{QStringLiteral("buketName"), grant.bucket},
                          {QStringLiteral("AccessKeyId"), grant.accessKeyId},
                          {QStringLiteral("AccessKeySecret"), grant.accessKeySecret},
                          {QStringLiteral("SecurityToken"), grant.securityToken},
                          {QStringLiteral("callbackUrl"), grant.callbackUrl},
                          {QStringLiteral("dir"), dir},
                          {QStringLiteral("file_name_new"), newName}});
}

const ServiceWorld::UploadGrant* ServiceWorld::grant(const QString& securityToken) const
{
    const auto found = m_grants.constFind(securityToken);
    return found == m_grants.constEnd() || nowMs() > found->expiresMs ? nullptr : &found.value();
}

ServiceAnswer ServiceWorld::uploadCallback(const QMap<QString, QString>& form, const UploadGrant& grant,
                                           const QString& md5Hex, int pages)
{
    if (form.value(QStringLiteral("user_id")) != grant.userId)
        return fail(QStringLiteral("用户不一致"));
    // A name that lost a part on its way (an unencoded "#" or "&") is not the document asked for.
    if (form.value(QStringLiteral("name")) != grant.fileName)
        return fail(QStringLiteral("文件名不一致"));
    ServicePush converted{m_options.pushDelayMs, grant.userId, {}};
    // The same content uploaded again keeps its document.
    if (const Document* known = documentByHash(grant.userId, md5Hex))
        return ok(QJsonObject{{QStringLiteral("document_id"), known->id.toInt()}});
    Document document;
    document.id = QString::number(60000 + m_nextNumber++);
    document.userId = grant.userId;
    document.hash = md5Hex.toLower();
    document.name = form.value(QStringLiteral("name"));
    document.objectName = form.value(QStringLiteral("object"));
    document.size = form.value(QStringLiteral("size")).toLongLong();
    document.pages = qMax(1, pages);
    document.convertedAtMs = nowMs() + m_options.pushDelayMs;
    m_documents.insert(document.id, document);
    ServiceAnswer answer = ok(QJsonObject{{QStringLiteral("document_id"), document.id.toInt()}});
    converted.message = {
        {QStringLiteral("type"), QStringLiteral("pdf_convert")},
        {QStringLiteral("data"), QJsonObject{{QStringLiteral("user_document_id"), document.id},
                                             {QStringLiteral("status"), QStringLiteral("5")},
                                             {QStringLiteral("filepage"), document.pages}}}};
    answer.pushes.append(converted);
    return answer;
}

// Print and deliver ---------------------------------------------------------------------------------

ServiceAnswer ServiceWorld::cloudCompanyList(const ServiceCall& call, const QString& userId)
{
    if (call.query.value(QStringLiteral("user_id")) != userId)
        return fail(QStringLiteral("用户信息不一致"));
    QJsonArray accounts{QJsonObject{{QStringLiteral("company_id"), 0},
                                    {QStringLiteral("company_name"), QStringLiteral("个人账户")},
                                    {QStringLiteral("amount"), m_balance}}};
    for (const Company& company : qAsConst(m_companies))
        accounts.append(QJsonObject{{QStringLiteral("company_id"), company.id},
                                    {QStringLiteral("company_name"), company.name},
                                    {QStringLiteral("amount"), company.amount}});
    return ok(QJsonObject{{QStringLiteral("company_info"), accounts}});
}

ServiceAnswer ServiceWorld::merchantList(const ServiceCall& call, const QString&)
{
    const QString province = call.query.value(QStringLiteral("province"));
    const QString city = call.query.value(QStringLiteral("city"));
    if (province.isEmpty() || city.isEmpty())
        return fail(QStringLiteral("请先选择收货地址"));
    QJsonArray list;
    for (const DeliveryProvider& provider : m_options.delivery.providers)
        if (provider.serves(province, city))
            list.append(provider.info);
    return ok(list);
}

ServiceAnswer ServiceWorld::merchantConfig(const ServiceCall& call, const QString& userId)
{
    if (call.query.value(QStringLiteral("user_id")) != userId)
        return fail(QStringLiteral("用户信息不一致"));
    const DeliveryProvider* provider =
        m_options.delivery.provider(jsonInteger(call.query.value(QStringLiteral("merchant_id"))));
    if (!provider)
        return fail(QStringLiteral("服务商不存在"));
    return ok(QJsonObject{{QStringLiteral("merchant_info"), provider->info},
                          {QStringLiteral("print_config"), provider->printConfig},
                          {QStringLiteral("price_rule"), provider->priceRule},
                          {QStringLiteral("freight_price"), provider->freightPrice}});
}

ServiceAnswer ServiceWorld::addressList(const ServiceCall&, const QString&)
{
    QJsonArray list;
    for (const Address& address : qAsConst(m_addresses)) {
        QJsonObject entry = address.fields;
        entry.insert(QStringLiteral("id"), address.id);
        entry.insert(QStringLiteral("default"), address.isDefault ? 1 : 0);
        list.append(entry);
    }
    return ok(list);
}

// Bodies carry texts; a number where an id or the default flag is expected is read as the service's
// PHP reads it. Anything missing or malformed is refused before the list changes.
ServiceAnswer ServiceWorld::saveAddress(const ServiceCall& call, const QString&)
{
    Address address;
    for (const char* key : {"name", "mobile", "province", "city", "area", "address"}) {
        const QString value = jsonText(call.body.value(QLatin1String(key))).trimmed();
        if (value.isEmpty())
            return fail(QStringLiteral("请填写完整的收货地址"));
        address.fields.insert(QLatin1String(key), value);
    }
    static const QRegularExpression mobile(QStringLiteral("^1[0-9]{10}$"));
    if (!mobile.match(address.fields.value(QLatin1String("mobile")).toString()).hasMatch())
        return fail(QStringLiteral("手机号码格式不正确"));
    const QString flag = jsonText(call.body.value(QLatin1String("default")));
    if (flag != QLatin1String("1") && flag != QLatin1String("0"))
        return fail(QStringLiteral("默认地址参数错误"));
    address.isDefault = flag == QLatin1String("1");
    const bool modify = call.path.endsWith(QLatin1String("modifyAddress"));
    int index = -1;
    if (modify) {
        const qint64 id = jsonInteger(call.body.value(QLatin1String("id")));
        for (int i = 0; i < m_addresses.size(); ++i)
            if (m_addresses.at(i).id == id)
                index = i;
        if (index < 0)
            return fail(QStringLiteral("地址不存在"));
        address.id = int(id);
    } else {
        address.id = m_nextAddressId++;
    }
    if (address.isDefault)
        for (Address& other : m_addresses)
            other.isDefault = false;
    if (modify)
        m_addresses[index] = address;
    else
        m_addresses.append(address);
    return ok();
}

ServiceAnswer ServiceWorld::removeAddress(const ServiceCall& call, const QString&)
{
    const qint64 id = jsonInteger(call.body.value(QLatin1String("id")));
    for (int i = 0; i < m_addresses.size(); ++i) {
        if (m_addresses.at(i).id == id) {
            m_addresses.removeAt(i);
            return ok();
        }
    }
    return fail(QStringLiteral("地址不存在"));
}

// Prices every file by the provider's own price records, as the client shows them, and charges the
// account named. The body names no delivery mode, so no freight is charged here.
ServiceAnswer ServiceWorld::cloudOrder(const ServiceCall& call, const QString& userId)
{
    const QJsonObject& body = call.body;
    const auto text = [&body](const char* key) { return jsonText(body.value(QLatin1String(key))); };
    const auto number = [](const QJsonObject& object, const char* key) {
        return jsonInteger(object.value(QLatin1String(key)));
    };
    const DeliveryProvider* provider = m_options.delivery.provider(number(body, "merchant_id"));
    if (!provider)
        return fail(QStringLiteral("服务商不存在"));
    for (const char* key : {"receive_name", "receive_mobile", "province", "city", "area", "address"})
        if (text(key).trimmed().isEmpty())
            return fail(QStringLiteral("请填写完整的收货地址"));
    const QString accountType = text("decAmountType");
    const qint64 accountId = number(body, "company_id");
    Company* paying = nullptr;
    if (accountType == QLatin1String("company"))
        paying = accountId > 0 && accountId <= INT_MAX ? company(int(accountId)) : nullptr;
    if (accountType == QLatin1String("company") ? !paying
                                                : accountType != QLatin1String("personal") || accountId != 0)
        return fail(QStringLiteral("付款账户不存在"));
    const QJsonArray files = body.value(QLatin1String("print_file")).toArray();
    if (files.isEmpty())
        return fail(QStringLiteral("没有要打印的文档"));
    qint64 amount = 0;
    for (const QJsonValue& value : files) {
        const QJsonObject file = value.toObject();
        const auto document = m_documents.constFind(jsonText(file.value(QLatin1String("document_id"))));
        if (document == m_documents.constEnd() || document->userId != userId)
            return fail(QStringLiteral("文档不存在"));
        if (nowMs() < document->convertedAtMs)
            return fail(QStringLiteral("文档正在转码，请稍后"));
        const qint64 first = number(file, "split_start_page");
        const qint64 last = number(file, "split_end_page");
        const qint64 copies = number(file, "share");
        // Copies are bounded so that no amount can overflow.
        if (first < 1 || last < first || last > document->pages || copies < 1 || copies > kMaxCopies ||
            number(file, "one_page") != last - first + 1)
            return fail(QStringLiteral("打印范围或份数无效"));
        const qint64 material = number(file, "material");
        if (material < 1 || material > INT_MAX || !provider->materials.contains(int(material)))
            return fail(QStringLiteral("该服务商不提供所选纸张"));
        const QString size = jsonText(file.value(QLatin1String("size")));
        const QString color = jsonText(file.value(QLatin1String("color")));
        const qint64 perPage = provider->pricePerPage(
            int(material), priceKey(!color.isEmpty() && color != QLatin1String("0"),
                                    size == QLatin1String("C6") ? QStringLiteral("c6") : size,
                                    jsonText(file.value(QLatin1String("double"))) == QLatin1String("1")));
        if (perPage < 1)
            return fail(QStringLiteral("该服务商不提供所选打印规格"));
        const qint64 binding = number(file, "binding");
        if (binding < 0 || binding >= provider->bindingPrices.size())
            return fail(QStringLiteral("该服务商不提供所选装订方式"));
        // Each file's cost stays far below the overflow (bounded prices, pages and copies); so does the sum.
        amount += perPage * (last - first + 1) * copies + provider->bindingPrices.at(int(binding)) * copies;
        if (amount > kMaxAmount)
            return fail(QStringLiteral("订单金额过大"));
    }
    const qint64 firstMaterial = number(files.first().toObject(), "material");
    if (number(body, "cloudPriceId") != provider->cloudPriceId(int(firstMaterial)))
        return fail(QStringLiteral("价格规则与所选纸张不符"));
    qint64& balance = paying ? paying->amount : m_balance;
    if (balance < amount)
        return fail(QStringLiteral("余额不足"));
    balance -= amount;
    Order order;
    order.id = newId("CO");
    order.userId = userId;
    order.companyId = int(accountId);
    order.amount = amount;
    order.paid = true;
    order.merchantId = provider->id;
    order.body = body;
    m_orders.insert(order.id, order);
    ServiceAnswer answer = ok(QJsonObject{{QStringLiteral("order_id"), order.id}});
    answer.note = QStringLiteral("order %1 at %2: %3 印币 from %4")
                      .arg(order.id, provider->text("name"), money(amount),
                           paying ? paying->name : QStringLiteral("个人账户"));
    return answer;
}

QList<const ServiceWorld::Order*> ServiceWorld::ordersOfMerchant(int merchantId) const
{
    QList<const Order*> orders;
    for (const Order& order : m_orders)
        if (order.merchantId == merchantId)
            orders.append(&order);
    return orders;
}

ServiceAnswer ServiceWorld::logRecord(const ServiceCall& call, const QString&)
{
    const QString timestamp = call.body.value(QLatin1String("timestamp")).toString();
    const QByteArray expected =
        QCryptographicHash::hash("assemble=device&timestamp=" + timestamp.toLatin1() + "&key=" + kLogKey,
                                 QCryptographicHash::Md5)
            .toHex()
            .toUpper();
    const QJsonArray records = call.body.value(QLatin1String("windowsSysLogBos")).toArray();
    if (call.body.value(QLatin1String("sign")).toString().toLatin1() != expected)
        return fail(QStringLiteral("sign error"));
    // The signed timestamp is the first record's: a batch signed for another time is a replay.
    if (records.isEmpty() ||
        QString::number(qint64(records.first().toObject().value(QLatin1String("createDate")).toDouble())) !=
            timestamp)
        return fail(QStringLiteral("timestamp error"));
    for (const QJsonValue& value : records) {
        const QJsonObject record = value.toObject();
        const int level = record.value(QLatin1String("syslogLevel")).toInt(-1);
        if (record.value(QLatin1String("clientId")).toString().isEmpty() ||
            record.value(QLatin1String("source")).toString() != QLatin1String("win") ||
            !record.value(QLatin1String("createDate")).isDouble() || level < 0 || level > 3 ||
            !record.value(QLatin1String("msg")).isString())
            return fail(QStringLiteral("record error"));
    }
    ++m_logBatches;
    for (const QJsonValue& record : records)
        m_logRecords.append(record);
    return ok();
}
