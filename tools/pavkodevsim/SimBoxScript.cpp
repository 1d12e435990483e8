#include "SimBoxScript.h"

#include <QJsonArray>
#include <climits>
#include <limits>
#include <type_traits>

namespace {
const QList<SimBoxScript::GreetingMode> kGreetingModes{
    SimBoxScript::GreetingMode::Json, SimBoxScript::GreetingMode::Silent, SimBoxScript::GreetingMode::Garbage,
    SimBoxScript::GreetingMode::Off};

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

// Whole numbers only: a script saying 2.5 busy polls is a mistake worth reporting.
bool readInt(const QJsonValue& value, qint64& out)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (number != double(qint64(number)))
        return false;
    out = qint64(number);
    return true;
}
} // namespace

QString SimProgressStep::percentText() const
{
    return text.isEmpty() ? QString::number(percent) + QStringLiteral("/100") : text;
}

QString SimBoxScript::greetingModeName(GreetingMode mode)
{
    switch (mode) {
    case GreetingMode::Json:
        return QStringLiteral("json");
    case GreetingMode::Silent:
        return QStringLiteral("silent");
    case GreetingMode::Garbage:
        return QStringLiteral("garbage");
    case GreetingMode::Off:
        return QStringLiteral("off");
    }
    return {};
}

bool SimBoxScript::fromJson(const QJsonObject& object, SimBoxScript& script, QString* error)
{
    SimBoxScript read = script;
    const auto intMember = [&](const QString& key, auto& member, qint64 minimum) {
        qint64 value = 0;
        using Member = std::remove_reference_t<decltype(member)>;
        if (!readInt(object.value(key), value) || value < minimum ||
            value > std::numeric_limits<Member>::max())
            return fail(error,
                        QStringLiteral("\"%1\" must be a whole number of at least %2").arg(key).arg(minimum));
        member = Member(value);
        return true;
    };
    const auto textMember = [&](const QString& key, QString& member) {
        if (!object.value(key).isString())
            return fail(error, QStringLiteral("\"%1\" must be a text").arg(key));
        member = object.value(key).toString();
        return true;
    };
    const auto boolMember = [&](const QString& key, bool& member) {
        if (!object.value(key).isBool())
            return fail(error, QStringLiteral("\"%1\" must be true or false").arg(key));
        member = object.value(key).toBool();
        return true;
    };

    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        bool ok = true;
        if (key == QLatin1String("code"))
            ok = textMember(key, read.code);
        else if (key == QLatin1String("runMode"))
            ok = textMember(key, read.runMode);
        else if (key == QLatin1String("printerAddress"))
            ok = textMember(key, read.printerAddress);
        else if (key == QLatin1String("busyPolls"))
            ok = intMember(key, read.busyPolls, 0);
        else if (key == QLatin1String("paperOutPolls"))
            ok = intMember(key, read.paperOutPolls, 0);
        else if (key == QLatin1String("jamPolls"))
            ok = intMember(key, read.jamPolls, 0);
        else if (key == QLatin1String("portControlResult"))
            ok = intMember(key, read.portControlResult, INT_MIN);
        else if (key == QLatin1String("controlSilent"))
            ok = boolMember(key, read.controlSilent);
        else if (key == QLatin1String("rawRefused"))
            ok = boolMember(key, read.rawRefused);
        else if (key == QLatin1String("rawDropAfter"))
            ok = intMember(key, read.rawDropAfter, -1);
        else if (key == QLatin1String("rawReadDelayMs"))
            ok = intMember(key, read.rawReadDelayMs, 0);
        else if (key == QLatin1String("greetingDelayMs"))
            ok = intMember(key, read.greetingDelayMs, 0);
        else if (key == QLatin1String("greeting")) {
            const QString name = it.value().toString();
            ok = false;
            for (GreetingMode mode : kGreetingModes)
                if (greetingModeName(mode) == name) {
                    read.greeting = mode;
                    ok = true;
                }
            if (!ok)
                return fail(error, QStringLiteral("\"greeting\" must be json, silent, garbage or off"));
        } else if (key == QLatin1String("progress")) {
            const QJsonArray steps = it.value().toArray();
            if (!it.value().isArray() || steps.isEmpty())
                return fail(error, QStringLiteral("\"progress\" must be a list of at least one step"));
            read.progress.clear();
            for (const QJsonValue& value : steps) {
                const QJsonObject step = value.toObject();
                SimProgressStep made;
                qint64 number = 0;
                if (!value.isObject() || !readInt(step.value(QLatin1String("status")), number))
                    return fail(error, QStringLiteral("each progress step needs a whole \"status\""));
                made.status = int(number);
                if (!readInt(step.value(QLatin1String("percent")), number))
                    return fail(error, QStringLiteral("each progress step needs a whole \"percent\""));
                made.percent = int(number);
                made.text = step.value(QLatin1String("text")).toString();
                read.progress.append(made);
            }
        } else {
            return fail(error, QStringLiteral("unknown member \"%1\"").arg(key));
        }
        if (!ok)
            return false;
    }
    if (read.runMode != QStringLiteral("正式") && read.runMode != QStringLiteral("开发"))
        return fail(error, QStringLiteral("\"runMode\" must be 正式 or 开发"));
    script = read;
    return true;
}

QJsonObject SimBoxScript::toJson() const
{
    QJsonArray steps;
    for (const SimProgressStep& step : progress) {
        QJsonObject made{{QStringLiteral("status"), step.status}, {QStringLiteral("percent"), step.percent}};
        if (!step.text.isEmpty())
            made.insert(QStringLiteral("text"), step.text);
        steps.append(made);
    }
    return {{QStringLiteral("code"), code},
            {QStringLiteral("runMode"), runMode},
            {QStringLiteral("printerAddress"), printerAddress},
            {QStringLiteral("busyPolls"), busyPolls},
            {QStringLiteral("paperOutPolls"), paperOutPolls},
            {QStringLiteral("jamPolls"), jamPolls},
            {QStringLiteral("portControlResult"), portControlResult},
            {QStringLiteral("controlSilent"), controlSilent},
            {QStringLiteral("progress"), steps},
            {QStringLiteral("rawRefused"), rawRefused},
            {QStringLiteral("rawDropAfter"), rawDropAfter},
            {QStringLiteral("rawReadDelayMs"), rawReadDelayMs},
            {QStringLiteral("greeting"), greetingModeName(greeting)},
            {QStringLiteral("greetingDelayMs"), greetingDelayMs}};
}
