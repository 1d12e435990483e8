#include "SimControlApi.h"

#include "SimSignature.h"

#include <QSet>

const QByteArray SimControlApi::kPortControl = "/cgi-bin/win/portControl";
const QByteArray SimControlApi::kKeepalive = "/cgi-bin/win/keepalive";
const QByteArray SimControlApi::kPrinterInfo = "/cgi-bin/win/printerinfo";
const QByteArray SimControlApi::kIsCanPrint = "/cgi-bin/win/isCanPrint";
const QByteArray SimControlApi::kTaskProcess = "/cgi-bin/win/taskprocess";

namespace {
SimAnswer answer(int resultCode, const QString& msg = QString(), int httpStatus = 200)
{
    SimAnswer made;
    made.httpStatus = httpStatus;
    made.resultCode = resultCode;
    made.body.insert(QStringLiteral("result-code"), resultCode);
    if (!msg.isEmpty())
        made.body.insert(QStringLiteral("msg"), msg);
    return made;
}

QStringList requiredFor(const QByteArray& path)
{
    QStringList keys{QStringLiteral("token"), QStringLiteral("ts")};
    if (path == SimControlApi::kPortControl)
        keys << QStringLiteral("cmd") << QStringLiteral("port") << QStringLiteral("orderid")
             << QStringLiteral("vistor") << QStringLiteral("pages");
    if (path == SimControlApi::kIsCanPrint || path == SimControlApi::kTaskProcess)
        keys << QStringLiteral("code");
    return keys;
}

bool isDecimal(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}
} // namespace

SimControlApi::SimControlApi(const QString& ownAddress, const SimBoxScript& script)
    : m_ownAddress(ownAddress), m_script(script)
{
}

void SimControlApi::setScript(const SimBoxScript& script)
{
    m_script = script;
    m_canPrintPolls = 0;
    m_progressPolls = 0;
}

SimAnswer SimControlApi::handle(const QByteArray& method, const QByteArray& path, const HttpFields& query)
{
    const QList<QByteArray> paths{kPortControl, kKeepalive, kPrinterInfo, kIsCanPrint, kTaskProcess};
    if (!paths.contains(path))
        return answer(kUnknownPath, QStringLiteral("no such path"), 404);
    if (method != "GET")
        return answer(kUnknownPath, QStringLiteral("only GET"), 405);

    QMap<QString, QString> params;
    QSet<QString> twice;
    for (const auto& field : query) {
        if (params.contains(field.first))
            twice.insert(field.first);
        params.insert(field.first, field.second);
    }
    // A key sent twice leaves it open which value was signed; a box cannot trust such a request.
    if (!twice.isEmpty())
        return answer(kParameterBad,
                      QStringLiteral("parameter sent twice: ") + twice.values().join(QLatin1Char(',')));
    if (!SimSignature::verify(params))
        return answer(kSignRefused, params.contains(QStringLiteral("sign")) ? QStringLiteral("sign error")
                                                                            : QStringLiteral("sign missing"));
    for (const QString& key : requiredFor(path))
        if (!params.contains(key)) {
            SimAnswer refused = answer(kParameterMissing, QStringLiteral("missing parameter: ") + key);
            refused.signatureOk = true;
            return refused;
        }

    SimAnswer made;
    if (!isDecimal(params.value(QStringLiteral("ts"))))
        made = answer(kParameterBad, QStringLiteral("ts must be decimal seconds"));
    else if (params.contains(QStringLiteral("code")) && params.value(QStringLiteral("code")) != m_script.code)
        made = answer(kCodeMismatch, QStringLiteral("device code mismatch"));
    else if (path == kPortControl)
        made = portControl(params);
    else if (path == kKeepalive)
        made = answer(0);
    else if (path == kPrinterInfo) {
        made = answer(0);
        made.body.insert(QStringLiteral("ip"),
                         m_script.printerAddress.isEmpty() ? m_ownAddress : m_script.printerAddress);
    } else if (path == kIsCanPrint)
        made = isCanPrint();
    else
        made = taskProcess();
    made.signatureOk = true;
    return made;
}

SimAnswer SimControlApi::portControl(const QMap<QString, QString>& params)
{
    const QString cmd = params.value(QStringLiteral("cmd"));
    if (cmd != QLatin1String("open") && cmd != QLatin1String("close"))
        return answer(kParameterBad, QStringLiteral("cmd must be open or close"));
    if (params.value(QStringLiteral("port")) != QLatin1String("9100"))
        return answer(kParameterBad, QStringLiteral("port must be 9100"));
    if (!isDecimal(params.value(QStringLiteral("pages"))))
        return answer(kParameterBad, QStringLiteral("pages must be a whole number"));
    if (m_script.portControlResult != 0)
        return answer(m_script.portControlResult, QStringLiteral("scripted failure"));
    if (cmd == QLatin1String("open")) {
        m_portOpen = true;
        m_lastOrder = params.value(QStringLiteral("orderid"));
        m_progressPolls = 0;
    } else {
        m_portOpen = false;
    }
    return answer(0);
}

SimAnswer SimControlApi::isCanPrint()
{
    const int poll = m_canPrintPolls++;
    if (poll < m_script.busyPolls)
        return answer(kBusy, QStringLiteral("printer busy"));
    if (poll < m_script.busyPolls + m_script.paperOutPolls)
        return answer(kPaperOut, QStringLiteral("out of paper"));
    if (poll < m_script.busyPolls + m_script.paperOutPolls + m_script.jamPolls)
        return answer(kPaperJam, QStringLiteral("paper jam"));
    m_canPrintPolls = m_script.busyPolls + m_script.paperOutPolls + m_script.jamPolls; // no overflow
    return answer(0);
}

SimAnswer SimControlApi::taskProcess()
{
    const QList<SimProgressStep>& steps = m_script.progress;
    const SimProgressStep step =
        steps.isEmpty() ? SimProgressStep{} : steps.at(qMin(m_progressPolls, steps.size() - 1));
    m_progressPolls = qMin(m_progressPolls + 1, steps.size());
    SimAnswer made = answer(0);
    made.body.insert(QStringLiteral("orderid"), m_lastOrder);
    made.body.insert(QStringLiteral("status"), step.status);
    made.body.insert(QStringLiteral("percent"), step.percentText());
    return made;
}
