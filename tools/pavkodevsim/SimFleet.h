#pragma once

#include "DeviceBox.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// One box the fleet will run.
struct SimFleetBox
{
    QHostAddress address;
    SimBoxScript script;
};

// What the pavkodevsim command line asks for, already turned into boxes.
struct SimFleetOptions
{
    QList<SimFleetBox> boxes;
    SimPorts ports;
    QString recordFile; // "" for none
    QString rawDir;     // "" keeps raw bytes in memory
    bool rawCountOnly = false;
};

// Reads the command line (arguments without the program name). Errors are usage errors: the tool
// exits 2 on them, having run nothing.
struct SimCommandLine
{
    enum class Outcome
    {
        Run,
        Help,
        Error
    };
    Outcome outcome = Outcome::Error;
    SimFleetOptions options;
    QString error;

    static SimCommandLine parse(const QStringList& arguments);
    static QString helpText();
};

// The boxes of one pavkodevsim run: starts them, reports every request, raw job and probe as one
// JSON line, and keeps the record file up to date.
class SimFleet : public QObject
{
    Q_OBJECT

public:
    using LineSink = std::function<void(const QByteArray& line)>; // without the line end

    SimFleet(const SimFleetOptions& options, LineSink out, QObject* parent = nullptr);
    ~SimFleet() override;

    // Starts every box and reports one line per box ("SIM0001 127.0.0.2 control 80 raw 9100,19879
    // greeting 20417"). False with error set when one cannot start; none is left running then.
    bool start(QString* error);
    // {"devices": [DeviceBox::record(), ...]}
    QJsonObject record() const;
    // Writes the record file now (when one was asked for). False when it cannot be written.
    bool writeRecord();
    const std::vector<std::unique_ptr<DeviceBox>>& boxes() const { return m_boxes; }

private:
    void report(const QString& event, const DeviceBox* box, const QJsonObject& what);
    void recordChanged();

    SimFleetOptions m_options;
    LineSink m_out;
    std::vector<std::unique_ptr<DeviceBox>> m_boxes;
    bool m_writePending = false;
    bool m_writeFailed = false;
};
