#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

// The installation's fixed settings from config/config.json; never written by the program.
class AConfig
{
public:
    // Reads config/config.json under appDir (which ends with "/").
    explicit AConfig(const QString& appDir);
    // The installation's config/config.json under dataDir, each key of which the user's own
    // config/config.json under stateDir (when that is another folder and holds the file) replaces; a null
    // there keeps the installation's value, and version is always the installation's. A user's file that
    // cannot be used is logged and left alone.
    AConfig(const QString& dataDir, const QString& stateDir);
    // The running client's folders.
    AConfig();
    // Reads the given file instead, for tools that are pointed at an installation's configuration.
    static AConfig fromFile(const QString& path);

    QString https_server() const;
    QString version() const;
    QString log_server() const;
    // The after-sales telephone number shown on the settings page; each deployment supplies its own.
    QString after_sales_phone() const;
    int wait_s() const;
    int wait_l() const;
    // Ports of the print devices' control box (HTTP) and of raw printing; the production values unless a
    // test or support set-up points the client at a simulator.
    int device_control_port() const;
    int device_raw_port() const;
    // A test deployment: the service URL mentions "dev".
    bool isDev() const;
    // Only a JSON true turns off TLS certificate verification, for a test service with a self-signed
    // certificate.
    bool tls_verify_disabled() const;
    // Networks that device discovery scans instead of this PC's own ("a.b.c.d/n" texts). networksGiven
    // tells whether the key is there at all: a value that is not a list of texts counts as given and
    // empty, so a mistyped key never widens a scan to the real interfaces.
    QStringList scan_networks(bool* networksGiven = nullptr) const;
    // At most this many discovery probes in flight at once.
    int scan_max_probes() const;
    // Where document uploads go instead of the storage region's public endpoint (a loopback stand-in or
    // a private deployment), e.g. "http://127.0.0.1:9000"; empty for the public endpoint.
    QString oss_address() const;
    // The push channel's URL when it is not where https_server implies (a stand-in on its own port),
    // e.g. "ws://127.0.0.1:8091/wss"; empty to derive it from https_server.
    QString ws_server() const;
    // The program that turns a spooled job into a PDF for printing later; by default the platform's
    // converter of the installation (currentFolders().converter).
    QString converter() const;
    // Demos and end-to-end runs without a person at the screen: "balance" or "wechat" lets the program
    // click through each job's windows itself with that payment; empty (the default) leaves it to the user.
    QString autopilot() const;
    // "online" lets the autopilot of driver mode take the job to online printing and order the documents
    // of autopilot_documents there; empty (the default) prints the job on the share page.
    QString autopilot_flow() const;
    // The folder whose files the autopilot prints online; empty for none.
    QString autopilot_documents() const;
    // Where the autopilot writes what each job went through (JSON); by default "receipt.json" in the
    // state folder.
    QString autopilot_receipt() const;
    // A folder where the autopilot saves pictures of the share page (after a refresh, so that devices
    // found on the local network show), the payment dialog and the job status window; empty for none.
    QString autopilot_screenshots() const;

private:
    struct FilePath
    {
        QString path;
    };
    explicit AConfig(const FilePath& file);

    QString stringValue(const QString& key, const QString& fallback) const;
    int intValue(const QString& key, int fallback) const;

    QJsonObject m_values;
};
