#pragma once

#include "LoopbackHttp.h"
#include "SimBoxScript.h"

#include <QJsonObject>

// One answer of the control API, with what the record needs to know about it.
struct SimAnswer
{
    int httpStatus = 200;
    QJsonObject body; // always carries "result-code"
    bool signatureOk = false;
    int resultCode = 0;
};

// The control API's logic, apart from sockets: judges each request (path, signature, parameters) and
// plays the script. Keeps the box's state: whether the printer port is open and for which order, how
// many isCanPrint polls and progress steps have been played.
class SimControlApi
{
public:
    // result-codes of the box's own refusals; none of them means "can print" or "done".
    static constexpr int kSignRefused = 4001;      // "sign" missing or wrong
    static constexpr int kParameterMissing = 4002; // a parameter the path needs is not there
    static constexpr int kCodeMismatch = 4003;     // "code" is not this box's device code
    static constexpr int kParameterBad = 4004;     // a parameter twice, or a value the box does not know
    static constexpr int kUnknownPath = 404;       // with HTTP status 404 (405 for another method)

    static constexpr int kBusy = 2212;
    static constexpr int kPaperOut = 2201;
    static constexpr int kPaperJam = 2208;

    static const QByteArray kPortControl;
    static const QByteArray kKeepalive;
    static const QByteArray kPrinterInfo;
    static const QByteArray kIsCanPrint;
    static const QByteArray kTaskProcess;

    // The device code is the script's.
    SimControlApi(const QString& ownAddress, const SimBoxScript& script);

    SimAnswer handle(const QByteArray& method, const QByteArray& path, const HttpFields& query);

    // Replaces the script and starts its fault counts and progress over; the port state stays.
    void setScript(const SimBoxScript& script);
    bool portOpen() const { return m_portOpen; }
    // Order of the last successful open ("" before any); kept after the close.
    QString lastOrder() const { return m_lastOrder; }

private:
    SimAnswer portControl(const QMap<QString, QString>& params);
    SimAnswer isCanPrint();
    SimAnswer taskProcess();

    QString m_ownAddress;
    SimBoxScript m_script;
    bool m_portOpen = false;
    QString m_lastOrder;
    int m_canPrintPolls = 0;
    int m_progressPolls = 0;
};
