#pragma once

#include <QJsonObject>
#include <QString>

// The installation's fixed settings from config/config.json; never written by the program.
class AConfig
{
public:
    // Reads config/config.json under appDir (which ends with "/").
    explicit AConfig(const QString& appDir);
    AConfig();

    QString https_server() const;
    QString version() const;
    QString log_server() const;
    int wait_s() const;
    int wait_l() const;
    // A test deployment: the service URL mentions "dev".
    bool isDev() const;
    // Only a JSON true turns off TLS certificate verification, for a test service with a self-signed
    // certificate.
    bool tls_verify_disabled() const;
    // Where document uploads go instead of the storage region's public endpoint (a loopback stand-in or
    // a private deployment), e.g. "http://127.0.0.1:9000"; empty for the public endpoint.
    QString oss_address() const;
    // The program that turns a spooled job into a PDF for printing later; by default the platform's
    // converter in the application folder.
    QString converter() const;

private:
    QString stringValue(const QString& key, const QString& fallback) const;
    int intValue(const QString& key, int fallback) const;

    QString m_dir;
    QJsonObject m_values;
};
