#include "device/HexCodec.h"

namespace {
int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}
} // namespace

QString HexCodec::conversionError(const QString &text)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

QString HexCodec::hexNumber(qint64 value, int digits)
{
    const quint32 v = quint32(value);
    return QString::number(v, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

int HexCodec::hexTextToBuffer(const QString &text, unsigned char *dest, int count)
{
    int n = 0;
    for (int i = 0; n < count && i + 1 < text.size(); i += 2) {
        const int hi = hexDigit(text[i]);
        const int lo = hexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            break;
        dest[n++] = static_cast<unsigned char>(hi * 16 + lo);
    }
    return n;
}

QByteArray HexCodec::hexTextToBytes(const QString &text, QString *error)
{
    const int len = int(text.size() / 2);
    QByteArray out(len, '\0');
    for (int i = 0; i < len; ++i) {
        const int hi = hexDigit(text[2 * i]);
        const int lo = hexDigit(text[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            if (error)
                *error = conversionError(QLatin1Char('$') + text.mid(2 * i, 2));
            return QByteArray();
        }
        out[i] = char(hi * 16 + lo);
    }
    if (error)
        error->clear();
    return out;
}

QByteArray HexCodec::hexTextToRaw(const QString &text)
{
    QByteArray out(int(text.size() / 2), '\0');
    hexTextToBuffer(text, reinterpret_cast<unsigned char *>(out.data()), int(out.size()));
    return out;
}

QString HexCodec::bytesToHexText(const unsigned char *bytes, int count)
{
    static const char digits[] = "0123456789ABCDEF";
    QString s(2 * count, Qt::Uninitialized);
    QChar *p = s.data();
    for (int i = 0; i < count; ++i) {
        *p++ = QLatin1Char(digits[bytes[i] >> 4]);
        *p++ = QLatin1Char(digits[bytes[i] & 0xF]);
    }
    return s;
}

QString HexCodec::bytesToHexText(const QByteArray &bytes)
{
    return bytesToHexText(reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()));
}

quint8 HexCodec::xorChecksum(const QString &text, int n, QString *error)
{
    const QByteArray bytes = hexTextToBytes(text.left(2 * n), error);
    quint8 x = 0;
    for (char b : bytes)
        x ^= quint8(b);
    return x;
}

QString HexCodec::effectNameToResourceName(const QString &effectName)
{
    QString s = effectName;
    s.replace(QLatin1Char(' '), QLatin1Char('_'));
    s.replace(QLatin1Char('-'), QLatin1Char('_'));
    s.replace(QLatin1Char('+'), QLatin1String("plus"));
    s.replace(QLatin1Char('X'), QLatin1String("mult"), Qt::CaseSensitive);
    return s;
}
