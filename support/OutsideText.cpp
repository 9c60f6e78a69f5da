#include "support/OutsideText.h"

namespace {
void escapeInto(QString &out, QChar c)
{
    out += QStringLiteral("\\x") + QStringLiteral("%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
}
} // namespace

bool OutsideText::isControl(QChar c)
{
    const ushort u = c.unicode();
    return u < 0x20 || u == 0x7F || (u >= 0x80 && u <= 0x9F);
}

QString OutsideText::shown(const QString &text, int maxChars)
{
    const bool cut = maxChars >= 0 && text.size() > maxChars;
    const QStringView kept = cut ? QStringView(text).left(maxChars) : QStringView(text);
    QString out;
    out.reserve(kept.size());
    for (const QChar c : kept) {
        if (isControl(c))
            escapeInto(out, c);
        else
            out += c;
    }
    if (cut)
        out += QStringLiteral("... (%1 characters)").arg(text.size());
    return out;
}

QString OutsideText::shown(const QByteArray &bytes, int maxChars) { return shown(QString::fromUtf8(bytes), maxChars); }

QString OutsideText::forTerminal(const QString &text)
{
    bool clean = true;
    for (const QChar c : text) {
        if (isControl(c) && c != QLatin1Char('\n') && c != QLatin1Char('\r') && c != QLatin1Char('\t')) {
            clean = false;
            break;
        }
    }
    if (clean)
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (isControl(c) && c != QLatin1Char('\n') && c != QLatin1Char('\r') && c != QLatin1Char('\t'))
            escapeInto(out, c);
        else
            out += c;
    }
    return out;
}
