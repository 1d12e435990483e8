#pragma once

// A simulated print-device box on one loopback address, for tests, benchmarks, demos and support.
//
//   SimBoxScript script;              // healthy by default; e.g. script.busyPolls = 2;
//   script.code = QStringLiteral("SIM0001");
//   SimPorts ports;                   // 80, 9100+19879, 20417 by default; tests use high ports
//   ports.control = 18080;
//   ports.raw = {19100, 19879};
//   DeviceBox box(QHostAddress(QStringLiteral("127.0.31.2")), script, ports);
//   box.start(&error);                // false for an address outside 127.0.0.0/8 or a busy port
//   ... client talks to http://127.0.31.2:18080/cgi-bin/win/... and to the raw ports ...
//   QSignalSpy done(&box, &DeviceBox::rawJobFinished);
//   box.requests(), box.requestsTo(SimControlApi::kTaskProcess), box.rawJobs(), box.greetings(),
//   box.rawData(0), box.record()
//
// Control API (HTTP GET, JSON answers with "result-code"): "/cgi-bin/win/portControl",
// "/cgi-bin/win/keepalive", "/cgi-bin/win/printerinfo" (+ "ip"), "/cgi-bin/win/isCanPrint",
// "/cgi-bin/win/taskprocess" (+ "orderid" of the last open, "status", "percent" as "done/total").
// Every request must be signed (SimSignature.h) and carry its path's parameters (portControl: token,
// ts, cmd, port "9100", orderid, vistor and the unsigned pages; isCanPrint and taskprocess: token, ts
// and this box's code; the others token and ts). A refused one gets a SimControlApi::k* result-code
// and a "msg", and is recorded with "signatureOk" false where the signature was the fault.
// isCanPrint plays the script's busy / paper-out / jam counts, then answers 0. Each successful open
// starts the script's progress steps over, one per taskprocess poll, the last one repeating.
//
// Raw ports record per connection the byte count, MD5, port, whether portControl had the printer port
// open (and for which order) when the connection came and when it ended, and the bytes (in memory up
// to a limit, or streamed to a file with setRawStorage(); for throughput runs SimRawStorage::countOnly
// keeps only the count). The greeting port answers discovery probes and logs each one.
//
// Records (QJson, in arrival order):
//   request:  {"path", "target", "params": {...}, "signatureOk", "answered", "resultCode", "msg",
//              "answer": {...}, "peer", "time"}   ("resultCode"/"answer" absent when not answered)
//   raw job:  SimRawJob::toJson()
//   greeting: {"peer", "time", "mode"}
//
// The box lives on the thread that created it and serves from that thread's event loop, so a client
// on the same thread that waits in a nested event loop (BHttpClient, QSignalSpy::wait) is served; one
// that blocks the thread (waitForReadyRead) is not.

#include "LoopbackHttp.h"
#include "SimBoxScript.h"
#include "SimControlApi.h"
#include "SimPorts.h"
#include "SimRawReceiver.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>

class SimGreeter;

class DeviceBox : public QObject
{
    Q_OBJECT

public:
    DeviceBox(const QHostAddress& address, const SimBoxScript& script, const SimPorts& ports = SimPorts(),
              QObject* parent = nullptr);
    ~DeviceBox() override;

    // True for IPv4 addresses in 127.0.0.0/8, the only ones a box binds.
    static bool isLoopback(const QHostAddress& address);

    // Starts listening on every port the script wants. False with error set (and nothing listening)
    // when the address is not loopback or a port cannot be bound.
    bool start(QString* error = nullptr);
    void stop();
    bool isRunning() const { return m_running; }

    QHostAddress address() const { return m_address; }
    QString code() const { return m_script.code; }
    const SimBoxScript& script() const { return m_script; }
    const SimPorts& ports() const { return m_ports; }
    // Replaces the script: fault counts and progress start over, ports open or close as it says; the
    // printer port's open/closed state and the record stay.
    bool setScript(const SimBoxScript& script, QString* error = nullptr);
    // For raw connections accepted from now on.
    void setRawStorage(const SimRawStorage& storage);

    bool isPortOpen() const { return m_api.portOpen(); }
    QString lastOrder() const { return m_api.lastOrder(); }

    QJsonArray requests() const { return m_requests; }
    // Those of one path, e.g. SimControlApi::kIsCanPrint.
    QJsonArray requestsTo(const QByteArray& path) const;
    QJsonArray rawJobs() const;
    QJsonArray greetings() const;
    // Bytes of one raw job (from memory or its file).
    QByteArray rawData(int index) const;
    // {"code", "address", "ports": {"control", "raw": [...], "greeting"}, "script", "requests",
    //  "rawJobs", "greetings"}
    QJsonObject record() const;
    void clearRecord();

signals:
    // After the answer was written (or, with controlSilent, when the request was read).
    void requestHandled(const QJsonObject& request);
    void rawJobStarted(const QJsonObject& job);
    void rawJobFinished(const QJsonObject& job);
    void greeted(const QJsonObject& connection);
    // Any of the above.
    void recordChanged();

private:
    // Records the request; no answer while the box's control API is silent.
    std::optional<HttpResponse> handle(const HttpRequest& request);
    bool listenAll(QString* error);

    QHostAddress m_address;
    SimBoxScript m_script;
    SimPorts m_ports;
    SimControlApi m_api;
    LoopbackHttpServer* m_control = nullptr;
    SimRawReceiver* m_raw = nullptr;
    SimGreeter* m_greeter = nullptr;
    QJsonArray m_requests;
    bool m_running = false;
};
