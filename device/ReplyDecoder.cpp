#include "device/ReplyDecoder.h"

#include "device/HexCodec.h"

DecodedReply decodeReplyBytes(const QByteArray &answer)
{
    DecodedReply r;
    const QString h = HexCodec::bytesToHexText(answer);
    qsizetype start = 0;
    int value = 0; // persists from one section to the next
    for (qsizetype j = 0; j < h.size(); ++j) {
        const QChar c = h[j];
        if (c == QLatin1Char('A')) {
            start = j + 1;
        } else if (c == QLatin1Char('D')) {
            QString section = h.mid(start, j - start);
            if (!section.isEmpty())
                section.chop(1); // the "0" of the byte 0x0D
            QString digits;
            if (section.size() == 2)
                digits = section.mid(1, 1);
            else if (section.size() == 4)
                digits = QString(section[1]) + section[3];
            else if (section.size() == 6)
                digits = QString(section[1]) + section[3] + section[5];
            if (!digits.isEmpty()) {
                bool ok = false;
                const int v = digits.toInt(&ok, 10);
                if (!ok) {
                    r.ok = false;
                    r.error = HexCodec::conversionError(digits);
                    return r;
                }
                value = v & 0xFF;
            }
            r.values.append(char(value));
            start = j + 1;
        }
    }
    return r;
}

int countClosedValues(const QByteArray &answer) { return int(answer.count('\r')); }
