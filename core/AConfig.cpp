#include "AConfig.h"

#include "AppDir.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace {
const auto kDefaultServer = QStringLiteral("https://api.pavkoprint.com");
const auto kDefaultLogServer = QStringLiteral("https://log.pavkoprint.com");
const auto kDefaultVersion = QStringLiteral("9.9.9");
const int kDefaultScanMaxProbes = 256;

const char* typeName(QJsonValue::Type type)
{
    switch (type) {
    case QJsonValue::Bool:
        return "a boolean";
    case QJsonValue::Double:
        return "a number";
    case QJsonValue::String:
        return "a string";
    case QJsonValue::Array:
        return "an array";
    case QJsonValue::Object:
        return "an object";
    default:
        return "null";
    }
}

bool isInteger(const QJsonValue& value)
{
    return value.isDouble() && double(value.toInt(0)) == value.toDouble();
}

// True when the file holds a JSON object, which goes to values; otherwise problem says what is wrong.
bool readConfig(const QString& path, QJsonObject& values, QString& problem)
{
    QFile file(path);
    if (!file.exists()) {
        problem = QStringLiteral("config : no file");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("config : cannot read it : ") + file.errorString();
        return false;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError) {
        problem = QStringLiteral("config : not JSON : \"%1\" at offset %2")
                      .arg(error.errorString())
                      .arg(error.offset);
        return false;
    }
    if (!document.isObject()) {
        problem = QStringLiteral("config : holds %1 instead of an object")
                      .arg(QLatin1String(document.isArray() ? "an array" : "no value"));
        return false;
    }
    values = document.object();
    if (values.isEmpty())
        problem = QStringLiteral("config : holds no keys");
    return true;
}

// Keys of a wrong type read as empty or 0 rather than as their defaults; each is named in a warning.
void warnAboutTypes(const QJsonObject& values)
{
    static const char* const kStrings[] = {"https_server",      "version",           "log_server",
                                           "oss_address",       "ws_server",         "converter",
                                           "autopilot",         "autopilot_receipt", "autopilot_screenshots",
                                           "after_sales_phone", "autopilot_flow",    "autopilot_documents"};
    static const char* const kIntegers[] = {"wait_s", "wait_l", "scan_max_probes", "device_control_port",
                                            "device_raw_port"};
    for (const char* key : kStrings) {
        const QJsonValue value = values.value(QLatin1String(key));
        if (!value.isUndefined() && !value.isNull() && !value.isString())
            qWarning() << "config : key" << key << "should be a string but is" << typeName(value.type());
    }
    for (const char* key : kIntegers) {
        const QJsonValue value = values.value(QLatin1String(key));
        if (value.isDouble() && !isInteger(value))
            qWarning() << "config : key" << key << "should be a whole number but is" << value.toDouble();
        else if (!value.isUndefined() && !value.isNull() && !value.isDouble())
            qWarning() << "config : key" << key << "should be a whole number but is"
                       << typeName(value.type());
    }
    const QJsonValue tls = values.value(QLatin1String("tls_verify_disabled"));
    if (!tls.isUndefined() && !tls.isNull() && !tls.isBool())
        qWarning() << "config : key tls_verify_disabled should be a boolean but is" << typeName(tls.type());
}

} // namespace

AConfig::AConfig() : AConfig(dataDir(), stateDir()) {}

AConfig::AConfig(const QString& dir) : AConfig(dir, dir) {}

AConfig::AConfig(const QString& dataDir, const QString& stateDir)
    : AConfig(FilePath{dataDir + QStringLiteral("config/config.json")})
{
    if (stateDir == dataDir)
        return;
    const QString path = stateDir + QStringLiteral("config/config.json");
    if (!QFileInfo::exists(path))
        return;
    QString problem;
    QJsonObject own;
    // The file stays as the user left it, to be mended; meanwhile the installation's settings hold.
    if (!readConfig(path, own, problem)) {
        qWarning() << "config : the user's settings" << path << "are not used, the installation's are";
        qWarning().noquote() << problem;
        return;
    }
    // The installed program's version, which the upgrade check reports; the settings an older
    // installation copied into the user's folder carry their own.
    if (own.contains(QLatin1String("version"))) {
        qWarning() << "config : version in the user's settings" << path
                   << "is left out: it is the installation's";
        own.remove(QLatin1String("version"));
    }
    warnAboutTypes(own);
    for (auto it = own.begin(); it != own.end(); ++it)
        if (!it.value().isNull())
            m_values.insert(it.key(), it.value());
}

AConfig::AConfig(const FilePath& file)
{
    QString problem;
    readConfig(file.path, m_values, problem);
    // With an unusable file the client talks to the production service, which must not go unnoticed:
    // administrators search the logs for this line, and the next one says what is wrong.
    if (m_values.isEmpty()) {
        qWarning() << QStringLiteral("找不到文件 ") + file.path;
        qWarning().noquote() << problem;
    }
    warnAboutTypes(m_values);
}

AConfig AConfig::fromFile(const QString& path)
{
    return AConfig(FilePath{path});
}

QString AConfig::stringValue(const QString& key, const QString& fallback) const
{
    const QJsonValue value = m_values.value(key);
    if (value.isUndefined() || value.isNull())
        return fallback;
    return value.toString();
}

int AConfig::intValue(const QString& key, int fallback) const
{
    const QJsonValue value = m_values.value(key);
    if (value.isUndefined() || value.isNull())
        return fallback;
    return value.toInt(0);
}

QString AConfig::https_server() const
{
    return stringValue(QStringLiteral("https_server"), kDefaultServer);
}
QString AConfig::version() const
{
    return stringValue(QStringLiteral("version"), kDefaultVersion);
}
QString AConfig::log_server() const
{
    return stringValue(QStringLiteral("log_server"), kDefaultLogServer);
}
QString AConfig::after_sales_phone() const
{
    return stringValue(QStringLiteral("after_sales_phone"), QString());
}
int AConfig::wait_s() const
{
    return intValue(QStringLiteral("wait_s"), 0);
}
int AConfig::wait_l() const
{
    return intValue(QStringLiteral("wait_l"), 5);
}

int AConfig::device_control_port() const
{
    return intValue(QStringLiteral("device_control_port"), 80);
}
int AConfig::device_raw_port() const
{
    return intValue(QStringLiteral("device_raw_port"), 9100);
}

bool AConfig::isDev() const
{
    return m_values.value(QStringLiteral("https_server")).toString().contains(QLatin1String("dev"));
}

QString AConfig::converter() const
{
    return stringValue(QStringLiteral("converter"), currentFolders().converter);
}

QString AConfig::autopilot() const
{
    return stringValue(QStringLiteral("autopilot"), QString());
}

QString AConfig::autopilot_flow() const
{
    return stringValue(QStringLiteral("autopilot_flow"), QString());
}

QString AConfig::autopilot_documents() const
{
    return stringValue(QStringLiteral("autopilot_documents"), QString());
}

QString AConfig::autopilot_receipt() const
{
    return stringValue(QStringLiteral("autopilot_receipt"), stateDir() + QStringLiteral("receipt.json"));
}

QString AConfig::autopilot_screenshots() const
{
    return stringValue(QStringLiteral("autopilot_screenshots"), QString());
}

QString AConfig::oss_address() const
{
    return stringValue(QStringLiteral("oss_address"), QString());
}

QString AConfig::ws_server() const
{
    return stringValue(QStringLiteral("ws_server"), QString());
}

bool AConfig::tls_verify_disabled() const
{
    return m_values.value(QStringLiteral("tls_verify_disabled")).toBool(false);
}

QStringList AConfig::scan_networks(bool* networksGiven) const
{
    const QJsonValue value = m_values.value(QStringLiteral("scan_networks"));
    const bool given = !value.isUndefined() && !value.isNull();
    if (networksGiven)
        *networksGiven = given;
    QStringList networks;
    if (!given)
        return networks;
    if (!value.isArray()) {
        qWarning() << "scan_networks is not a list: nothing is scanned";
        return networks;
    }
    const QJsonArray items = value.toArray();
    for (const QJsonValue& item : items) {
        if (item.isString())
            networks.append(item.toString());
        else
            qWarning() << "scan_networks: an entry that is not a text is left out";
    }
    return networks;
}

int AConfig::scan_max_probes() const
{
    const int probes = intValue(QStringLiteral("scan_max_probes"), kDefaultScanMaxProbes);
    return probes > 0 ? probes : kDefaultScanMaxProbes;
}
