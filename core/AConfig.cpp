#include "AConfig.h"

#include "AJson.h"
#include "APlatform.h"
#include "AppDir.h"

#include <QDebug>

namespace {
const auto kDefaultServer = QStringLiteral("https://api.pavkoprint.com");
const auto kDefaultLogServer = QStringLiteral("https://log.pavkoprint.com");
const auto kDefaultVersion = QStringLiteral("9.9.9");
} // namespace

AConfig::AConfig() : AConfig(appDir()) {}

AConfig::AConfig(const QString& dir) : m_dir(dir)
{
    const QString path = dir + QStringLiteral("config/config.json");
    m_values = readJsonObjectFile(path);
    if (m_values.isEmpty())
        qWarning() << QStringLiteral("找不到文件 ") + path;
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
int AConfig::wait_s() const
{
    return intValue(QStringLiteral("wait_s"), 0);
}
int AConfig::wait_l() const
{
    return intValue(QStringLiteral("wait_l"), 5);
}

bool AConfig::isDev() const
{
    return m_values.value(QStringLiteral("https_server")).toString().contains(QLatin1String("dev"));
}

QString AConfig::converter() const
{
    return stringValue(QStringLiteral("converter"), m_dir + defaultConverterName());
}

QString AConfig::oss_address() const
{
    return stringValue(QStringLiteral("oss_address"), QString());
}

bool AConfig::tls_verify_disabled() const
{
    return m_values.value(QStringLiteral("tls_verify_disabled")).toBool(false);
}
