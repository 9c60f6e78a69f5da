// Decoding the device information answer: only the answer's own bytes are converted.
#include "device/ReplyDecoder.h"

#include <QtTest>

class BenchDecoder : public QObject {
    Q_OBJECT
private slots:
    void decodeFullAnswer()
    {
        QByteArray answer;
        for (int i = 0; i < 106; ++i)
            answer += "\n" + QByteArray::number(i * 7 % 256) + "\r";
        QBENCHMARK {
            const DecodedReply r = decodeReplyBytes(answer);
            QCOMPARE(r.values.size(), 106);
        }
    }
};

QTEST_GUILESS_MAIN(BenchDecoder)
#include "bench_decoder.moc"
