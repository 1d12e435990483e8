#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// One answer of "/cgi-bin/win/taskprocess".
struct SimProgressStep
{
    int status = 3;
    int percent = 100;
    // The "percent" text sent; empty: percent + "/100". Lets a script send malformed texts ("3").
    QString text;

    QString percentText() const;
    bool operator==(const SimProgressStep& other) const
    {
        return status == other.status && percent == other.percent && text == other.text;
    }
};

// How one simulated box behaves. Plain data; every member has a default that makes a healthy box.
// In JSON the members carry the same names; a member left out keeps its default.
struct SimBoxScript
{
    enum class GreetingMode
    {
        Json,    // {"device_code", "ip", "run_mode"}
        Silent,  // accepts, never writes
        Garbage, // writes bytes that are not JSON
        Off      // not listening
    };

    QString code;                             // device code; the fleet numbers boxes when empty
    QString runMode = QStringLiteral("正式"); // "正式" or "开发", as the greeting reports it
    QString printerAddress;                   // "ip" of printerinfo; empty: the box's own address

    // isCanPrint answers, in this order, then 0 for good: busyPolls × 2212, paperOutPolls × 2201,
    // jamPolls × 2208.
    int busyPolls = 0;
    int paperOutPolls = 0;
    int jamPolls = 0;

    int portControlResult = 0;  // result-code of every portControl (-3: the box's clock is off)
    bool controlSilent = false; // HTTP requests are read and recorded but never answered

    // One step per taskprocess poll after an open; the last one repeats.
    QList<SimProgressStep> progress{SimProgressStep{}};

    bool rawRefused = false;  // raw ports do not listen
    qint64 rawDropAfter = -1; // the box closes a raw connection once it has this many bytes; -1: never
    int rawReadDelayMs = 0;   // a slow printer: one small read per this many ms

    GreetingMode greeting = GreetingMode::Json;
    int greetingDelayMs = 0;

    // Members not present in the object keep their defaults. False, with error set, on a wrongly typed
    // or unknown member.
    static bool fromJson(const QJsonObject& object, SimBoxScript& script, QString* error = nullptr);
    QJsonObject toJson() const;

    static QString greetingModeName(GreetingMode mode);
};
