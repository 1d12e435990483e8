#include "Secrets.h"

#include <QRandomGenerator>
#include <QRegularExpression>

QString randomString(int length)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890";
    constexpr int alphabetSize = sizeof(alphabet) - 1;
    QString result;
    for (int i = 0; i < length; ++i)
        result += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(alphabetSize)]);
    return result;
}

QString maskedSecret(const QString& secret)
{
    return secret.left(4) + QStringLiteral("…");
}

namespace {

// Each form a secret takes in a logged line: its name (one that holds passw, pwd, secret or token),
// what leads to the value (group 1) and the value (group 2).
const QRegularExpression& secretForms()
{
    static const QString name = QStringLiteral(R"re([^\\"&?=:\s]*(?:passw|pwd|secret|token)[^\\"&?=:\s]*)re");
    static const QRegularExpression forms(
        // JSON member, its quotes escaped too when the JSON was logged as a quoted text
        QStringLiteral(R"re((\\?")re") + name +
            QStringLiteral(R"re(\\?"\s*:\s*\\?")((?:[^"\\]|\\[^"])*))re") +
            // query or form field
            QStringLiteral(R"re(|((?:^|[?&\s]))re") + name + QStringLiteral(R"re(=)([^&\s"]*))re") +
            // header line of a signed request, its line breaks escaped when logged as a quoted text
            QStringLiteral(R"re(|((?:^|\n|\\n))re") + name +
            QStringLiteral(R"re(:)((?:[^\n\\"]|\\[^n"])*))re"),
        QRegularExpression::CaseInsensitiveOption);
    return forms;
}

} // namespace

QString maskSecretsInText(const QString& text)
{
    static const QRegularExpression quick(QStringLiteral("passw|pwd|secret|token"),
                                          QRegularExpression::CaseInsensitiveOption);
    if (!text.contains(quick))
        return text;
    QString masked;
    int from = 0;
    QRegularExpressionMatchIterator it = secretForms().globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        int lead = 1;
        while (match.capturedStart(lead) < 0)
            lead += 2;
        masked += text.mid(from, match.capturedEnd(lead) - from) + maskedSecret(match.captured(lead + 1));
        from = match.capturedEnd(lead + 1);
    }
    return masked + text.mid(from);
}
