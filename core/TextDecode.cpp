#include "TextDecode.h"

#include <QTextCodec>

QString decodeText(const QByteArray& bytes)
{
    const int end = bytes.indexOf('\0');
    const QByteArray text = end < 0 ? bytes : bytes.left(end);
    QTextCodec::ConverterState state;
    const QString utf8 = QTextCodec::codecForName("UTF-8")->toUnicode(text.constData(), text.size(), &state);
    // A sequence cut off at the end is as invalid as a wrong one, though the decoder only holds it back.
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return utf8;
    return QTextCodec::codecForName("GBK")->toUnicode(text);
}
