#include "support/Finish.h"
#include "CoreRig.h"
#include "algorithms/StandInImages.h"
#include "algorithms/Tunings.h"
#include "pedal/Uploads.h"
#include "pedal/PedalService.h"
#include "algorithms/FilterCalculator.h"
#include "device/HexCodec.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// The uploads on the linked simulated pedal (one that looks real when asked), with every
// status they show and when, and files to upload made to order.
struct UploadRig : CoreRig {
    explicit UploadRig(bool real = false)
    {
        simulated.looksReal = real;
        finished(service.linkSimulated()); // selects the pedal's effect, "Quarnelo MK3 0015"
        pedal()->record.clear();
        QObject::connect(uploads, &Uploads::statusChanged, uploads,
                         [this](const QString &s) { statuses << qMakePair(clock.nowMs() - startMs, s); });
    }
    // The pedal answers an algorithm image only after ms; everything else at once.
    void delayUploadAnswer(int ms)
    {
        SimulatedPedal *p = pedal();
        p->onMessage = [p, ms](const SimulatedPedal::Message &m) {
            p->faults.answerDelayMs = !m.bytes.isEmpty() && m.bytes[0] == 0x00 ? ms : 0;
        };
    }
    QString writeFile(const QByteArray &bytes)
    {
        const QString path = dir.filePath(QStringLiteral("f%1.dat").arg(++files));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }
    Uploads *uploads = &service.uploads();
    QList<QPair<qint64, QString>> statuses;
    qint64 startMs = clock.nowMs();
    QTemporaryDir dir;
    int files = 0;
};
} // namespace

class TestUploads : public QObject {
    Q_OBJECT
private slots:
    void carriedImage()
    {
        UploadRig rig;
        rig.pedal()->state.algorithm = 14;
        QCOMPARE(finished(rig.service.uploadSelectedAlgorithm()), Uploads::Result::Done);
        const QList<QByteArray> sent = rig.received();
        QCOMPARE(sent.value(0), QByteArray::fromHex("0D01")); // bypass first
        QCOMPARE(sent.value(1).size(), 4256);
        QVERIFY(sent.value(1).startsWith(QByteArray::fromHex("0010A0")));
        QCOMPARE(sent.value(1), StandInImages::algorithmImage(15));
        QCOMPARE(sent.value(2), QByteArray::fromHex("0200")); // the request after the upload
        QVERIFY(rig.logged("size: 4256") && rig.logged("num of bytes: 4256") && rig.logged("write to device"));
        QVERIFY(rig.logged("received: Algorithm 0015 OK"));
        QCOMPARE(rig.uploads->status, QString("Algorithm 0015 OK"));
        QCOMPARE(rig.service.deviceAlgorithmText(), QString("0015"));
        QVERIFY(rig.core.d2xx->ReportDeviceErrors);
        QVERIFY(!rig.uploads->checkTimer->isActive());
        QVERIFY(rig.core.comm.pollRunning());
        QVERIFY(rig.clock.pauses.contains(40));
    }

    void lateAnswerShowsUploadFailedFirst()
    {
        UploadRig rig;
        rig.delayUploadAnswer(7000);
        rig.startMs = rig.clock.nowMs();
        QCOMPARE(finished(rig.service.uploadSelectedAlgorithm()), Uploads::Result::Done);
        QStringList seen;
        for (const auto &s : rig.statuses)
            seen << s.second;
        QCOMPARE(seen.mid(0, 3), QStringList({"Uploading...", "Upload Failed", "Algorithm 0015 OK"}));
        QVERIFY(rig.statuses[1].first >= 5000 && rig.statuses[1].first < 5100);
        QVERIFY(rig.statuses[2].first >= 7000);
    }

    // The answer shown is this upload's: bytes already waiting are not taken for it, and the
    // 5 s check does not mark it failed while the request after it runs.
    void theAnswerIsThisUploads_data()
    {
        QTest::addColumn<QByteArray>("waiting");
        QTest::addColumn<int>("answerAfterMs");
        QTest::newRow("a late answer already queued") << QByteArray("LATE ANSWER 12345") << 0;
        QTest::newRow("answered just before the 5 s check") << QByteArray() << 4850;
    }
    void theAnswerIsThisUploads()
    {
        QFETCH(QByteArray, waiting);
        QFETCH(int, answerAfterMs);
        UploadRig rig;
        rig.delayUploadAnswer(answerAfterMs);
        if (!waiting.isEmpty())
            rig.pedal()->inject(waiting);
        QCOMPARE(finished(rig.service.uploadSelectedAlgorithm()), Uploads::Result::Done);
        QCOMPARE(rig.uploads->status, QString("Algorithm 0015 OK"));
        QCOMPARE(rig.statuses.last().second, QString("Algorithm 0015 OK"));
        for (const auto &st : rig.statuses)
            QVERIFY2(!st.second.startsWith("LATE"), qPrintable(st.second));
    }

    // An answered upload that the request after it cannot confirm is not done.
    void unconfirmedUpload()
    {
        UploadRig rig;
        SimulatedPedal *p = rig.pedal();
        p->onMessage = [p](const SimulatedPedal::Message &m) {
            if (!m.bytes.isEmpty() && m.bytes[0] == 0x00)
                p->faults.shortAnswerValues = 30; // answers the image, then only part of its settings
        };
        QCOMPARE(finished(rig.service.uploadSelectedAlgorithm()), Uploads::Result::Unconfirmed);
        QCOMPARE(rig.uploads->status, QString("Algorithm 0015 OK"));
        QVERIFY(!rig.service.state().valuesKnown);
    }

    void silentPedalEndsTheWait()
    {
        UploadRig rig;
        rig.pedal()->faults.silent = true;
        QCOMPARE(finished(rig.service.uploadSelectedAlgorithm()), Uploads::Result::NoAnswer);
        QCOMPARE(rig.uploads->status, QString("Upload Failed"));
        QCOMPARE(rig.prompts.messages.size(), 1);
        QVERIFY(rig.prompts.messages[0].startsWith("The pedal did not answer the upload within 20 seconds"));
        QVERIFY(!rig.uploads->uploading());
        QVERIFY(!rig.uploads->checkTimer->isActive());
        QVERIFY(rig.core.comm.pollRunning());
        QVERIFY(rig.clock.eventPasses <= rig.clock.activityWaits + 5); // waited, never spun
        rig.pedal()->faults.silent = false;
        QCOMPARE(finished(rig.service.uploadSelectedAlgorithm()), Uploads::Result::Done); // usable again
    }

    void noSecondUploadWhileOneWaits()
    {
        UploadRig rig;
        rig.delayUploadAnswer(6000);
        Uploads::Result nested = Uploads::Result::Done;
        QObject::connect(rig.uploads->checkTimer, &ClockTimer::timeout, rig.uploads,
                         [&] { nested = finished(rig.service.uploadSelectedAlgorithm()); });
        QCOMPARE(finished(rig.service.uploadSelectedAlgorithm()), Uploads::Result::Done);
        QCOMPARE(nested, Uploads::Result::Refused);
        QVERIFY(rig.logged("upload ignored: an exchange with the pedal is under way"));
        int images = 0;
        for (const QByteArray &m : rig.received())
            images += m.size() == 4256;
        QCOMPARE(images, 1);
    }

    void noRequestWhileTheAnswerIsAwaited()
    {
        UploadRig rig;
        rig.delayUploadAnswer(6000);
        QObject::connect(rig.uploads->checkTimer, &ClockTimer::timeout, rig.uploads,
                         [&] { finished(rig.service.requestDeviceInformation()); });
        QCOMPARE(finished(rig.service.uploadSelectedAlgorithm()), Uploads::Result::Done);
        QVERIFY(rig.logged("request ignored: an exchange with the pedal is under way"));
        QCOMPARE(rig.uploads->status, QString("Algorithm 0015 OK"));
        QCOMPARE(rig.received().mid(2), QList<QByteArray>{QByteArray::fromHex("0200")}); // only the one after the upload
    }

    void answeringNoSendsNothing()
    {
        UploadRig rig;
        rig.prompts.answers = {false};
        QCOMPARE(finished(rig.service.uploadSelectedAlgorithm()), Uploads::Result::Cancelled);
        QVERIFY(rig.received().isEmpty());
        QVERIFY(rig.core.comm.pollRunning());
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("effect");
        QTest::addColumn<bool>("real");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing image") << "Quarnelo MK3 0099" << false << "Error loading resource: ";
        QTest::newRow("no effect chosen") << "" << false << "Error loading resource: no effect is selected";
        QTest::newRow("stand-in into a real pedal") << "Quarnelo MK3 0015" << true << "This algorithm image is a stand-in";
    }
    void refusals()
    {
        QFETCH(QString, effect);
        QFETCH(bool, real);
        QFETCH(QString, message);
        UploadRig rig(real);
        const QStringList before = rig.service.resourceLines();
        QStringList lines = before;
        QCOMPARE(finished(rig.uploads->uploadCarriedImage(effect, &lines, {})), Uploads::Result::Refused);
        QVERIFY(rig.received().isEmpty());
        QCOMPARE(rig.prompts.messages.size(), 1);
        QVERIFY2(rig.prompts.messages[0].startsWith(message), qPrintable(rig.prompts.messages[0]));
        QCOMPARE(lines, before);
        QVERIFY(rig.core.comm.pollRunning());
    }

    void datFile()
    {
        UploadRig rig;
        const QString path = rig.writeFile(StandInImages::algorithmImage(14));
        QCOMPARE(finished(rig.service.uploadAlgorithmFile(path)), Uploads::Result::Done);
        QCOMPARE(rig.received().value(0), QByteArray::fromHex("0D01"));
        QCOMPARE(rig.received().value(1), StandInImages::algorithmImage(14));
        QCOMPARE(rig.received().value(2), QByteArray::fromHex("0200")); // the pedal is asked what it now runs
        QCOMPARE(rig.received().size(), 3);
        QVERIFY(rig.logged("4352 Bytes Sent ..."));
        QVERIFY(rig.logged("Opening - " + QFileInfo(path).absoluteFilePath()));
        QVERIFY(rig.logged("num of bytes received from device: 17"));
        QVERIFY(rig.logged("num of bytes received from device: 0"));
        QVERIFY(rig.clock.pauses.contains(400));
        QCOMPARE(rig.uploads->lastFolder, QFileInfo(path).absolutePath());
        // The dialog opens there next time; cancelling it sends nothing.
        QCOMPARE(finished(rig.service.uploadAlgorithmFile()), Uploads::Result::Cancelled);
    }

    void badDatFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QByteArray big(70000, '\0');
        QByteArray truncated = StandInImages::algorithmImage(15).left(3000);
        QByteArray padded = StandInImages::algorithmImage(15) + QByteArray(100, '\0');
        QTest::newRow("longer than 65,536 bytes") << big << "is 70000 bytes long; an algorithm image is at most 65536";
        QTest::newRow("truncated") << truncated << "is not a complete algorithm image: it holds 3000 bytes, its header says 4256";
        QTest::newRow("longer than its header") << padded << "it holds 4356 bytes, its header says 4256";
        QTest::newRow("empty") << QByteArray() << "it holds 0 bytes, its header says nothing";
    }
    void badDatFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        UploadRig rig;
        QCOMPARE(finished(rig.service.uploadAlgorithmFile(rig.writeFile(bytes))), Uploads::Result::Refused);
        QVERIFY(rig.received().isEmpty());
        QVERIFY2(rig.prompts.messages.value(0).contains(message), qPrintable(rig.prompts.messages.value(0)));
        QVERIFY(rig.prompts.messages.value(0).endsWith("Nothing was sent."));
    }

    void standInFileRefusedForARealPedal()
    {
        UploadRig rig(true);
        QCOMPARE(finished(rig.service.uploadAlgorithmFile(rig.writeFile(StandInImages::algorithmImage(15)))), Uploads::Result::Refused);
        QVERIFY(rig.received().isEmpty());
        // A file that is not a stand-in goes to a real pedal.
        QByteArray image = StandInImages::algorithmImage(15);
        image.replace(47, int(StandInImages::marker().size()), QByteArray(StandInImages::marker().size(), 'x'));
        QCOMPARE(finished(rig.service.uploadAlgorithmFile(rig.writeFile(image))), Uploads::Result::Done);
    }

    void tuningData()
    {
        UploadRig rig;
        rig.prompts.answers = {false};
        QCOMPARE(finished(rig.service.uploadTuningData()), Uploads::Result::Cancelled);
        QVERIFY(rig.received().isEmpty());
        QVERIFY(rig.core.log.lines().last().startsWith("tuning data: 007FF5ECFF002B70"));
        QCOMPARE(finished(rig.service.uploadTuningData()), Uploads::Result::Done);
        const QList<QByteArray> sent = rig.received();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent[0], QByteArray::fromHex("0D01"));
        QCOMPARE(sent[1].size(), 641);
        QCOMPARE(sent[1].left(21), QByteArray::fromHex("0E007FF5ECFF002B70007FE1AB00FFD490FF80286A"));
        QVERIFY(rig.logged("num_of_bytes: 641"));
        QCOMPARE(rig.clock.pauses.mid(rig.clock.pauses.size() - 2), QList<int>({400, 100}));
        QCOMPARE(rig.pedal()->state.tuningTable.size(), 640);
    }

    // The carried table is exactly what the rule gives.
    void tuningTableFollowsItsRule()
    {
        const char *const first[] = {"D2", "D#2", "E2", "F2", "F#2", "G2", "G#2", "A2", "A#2",
                                     "B2", "C3", "C#3", "D3", "D#3", "E3", "F3", "F#3", "G3"};
        const char *const second[] = {"C3", "C#3", "D3", "D#3", "E3", "F3", "F#3", "G3", "G#3", "A3", "A#3", "B3", "C4", "C#4"};
        const QStringList names = FilterCalculator::noteNames(); // A1 is index 0, A2 (110 Hz) index 12
        QString expected;
        auto add = [&](const char *note, double gain, double q) {
            const double f0 = FilterCalculator::noteFrequency(int(names.indexOf(QLatin1String(note))) - 12);
            std::array<qint32, 5> fixed{};
            QVERIFY(FilterCalculator::toFixed(FilterCalculator::peaking(f0, q, gain), &fixed));
            for (qint32 v : fixed)
                expected += HexCodec::hexNumber(quint32(v), 8);
        };
        for (const char *n : first)
            add(n, -6, 11);
        for (const char *n : second)
            add(n, -20, 12);
        QCOMPARE(Tunings::buildTuningData(nullptr), expected);
        QVERIFY(expected.contains("007FE51FFF00814D007FAF1C00FF7EB3FF806BC4")); // record 17, G3
        QVERIFY(expected.endsWith("007F73B6FF0162AE007F548A00FE9D52FF8137C0")); // record 31, C#4
    }
};

QTEST_GUILESS_MAIN(TestUploads)
#include "tst_uploads.moc"
