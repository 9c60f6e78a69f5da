// Values through preset files and back, against the in-process simulated pedal: what the editor
// set comes back from a saved file word for word, and undoing a load sends the earlier words.
#include "support/Finish.h"
#include "CoreRig.h"
#include "device/PedalMessages.h"
#include "pedal/DialMath.h"
#include "pedal/EditHistory.h"
#include "pedal/EditorCore.h"
#include "presets/PresetFile.h"
#include "simulator/SimBackend.h"
#include "support/Clock.h"
#include "support/Prompts.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

using DialMath::positionToAngle;

namespace {
struct Rig : CoreRig {
    explicit Rig(const std::function<void(SimulatedPedal *)> &setUp = {})
    {
        if (setUp)
            setUp(pedal());
        EditHistory::of(service); // the editor's undo history, as its window gives the service
        finished(service.linkSimulated());
    }
    quint32 onPedal(int parameter) { return pedal()->state.parameters[size_t(parameter)]; }
};

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QString presetWith(const QTemporaryDir &dir, const PresetFile::PresetValues &values)
{
    const QString path = dir.filePath("loaded.txt");
    QString error;
    return PresetFile::write(path, values, &error) ? path : QString();
}

// Fifteen parameters as a user sets them: every dial on a step whose formula angle is another
// step's, and three switches and lists.
struct Setting {
    int parameter;
    int state; // a dial's travel position, or the control's state
};
const Setting Settings[] = {
    {Parameter::Dry, 224},          {Parameter::SubMix, 134},      {Parameter::Minus1Oct, 3},
    {Parameter::Minus2Oct, 268},    {Parameter::LowPass, 200},     {Parameter::HighPass, 57},
    {Parameter::FirstHarmonic, 32}, {Parameter::Range, 100},       {Parameter::InputLevel, 250},
    {Parameter::WaveClip, 7},       {Parameter::DryHPF, 118},      {Parameter::NoiseGateThreshold, 180},
    {Parameter::Wave, 1},           {Parameter::FirstHarmonicPitch, 15}, {Parameter::Attack, 1},
};
bool isDial(int parameter) { return ParameterCatalogue::all()[size_t(parameter)].control == ControlKind::Dial; }
} // namespace

class TestPresetRoundTrip : public QObject {
    Q_OBJECT
private slots:
    // Set, keep in a file, change, load the file: the pedal holds what it held when the file was
    // written, and a preset saved again is the same bytes.
    void whatTheEditorSetComesBack_data()
    {
        QTest::addColumn<bool>("backup");
        QTest::newRow("Save Local Preset") << false;
        QTest::newRow("a backup, after a request") << true;
    }
    void whatTheEditorSetComesBack()
    {
        QFETCH(bool, backup);
        Rig rig;
        for (const Setting &s : Settings)
            QCOMPARE(rig.service.sendControl(s.parameter, isDial(s.parameter) ? positionToAngle(s.state) : s.state),
                     PedalService::Result::Done);
        const auto pedalHeld = rig.pedal()->state.parameters;
        QString first = rig.docs.filePath("first.txt");
        if (backup) {
            // As the tool's backup command makes it: the pedal is asked first.
            QCOMPARE(finished(rig.service.requestDeviceInformation()), PedalService::Result::Done);
            const PedalService::Backup made = rig.service.backUp(QString(), rig.docs.filePath("backups"));
            QVERIFY2(made.made, qPrintable(made.problem));
            first = made.files.preset;
        } else {
            QCOMPARE(finished(rig.service.savePreset(first)), PedalService::Result::Done);
        }
        const QByteArray kept = bytesOf(first);
        QVERIFY(kept.mid(3, 8) == "006A8000"); // Dry as set: level 852
        for (const Setting &s : Settings)
            rig.service.sendControl(s.parameter, isDial(s.parameter) ? positionToAngle(269 - s.state) : 1 - s.state % 2);

        QCOMPARE(finished(rig.service.loadPreset(first)), PedalService::Result::Done);
        QVERIFY(rig.logged("Send Dry string (standard par): 010027006A8000"));
        for (int i = 0; i < PresetFile::Values; ++i)
            QVERIFY2(rig.onPedal(i) == pedalHeld[size_t(i)], qPrintable(ParameterCatalogue::name(i)));
        const QString second = rig.docs.filePath("second.txt");
        QCOMPARE(finished(rig.service.savePreset(second)), PedalService::Result::Done);
        QCOMPARE(bytesOf(second), kept);
    }

    // Undo sends each earlier word as it was, also one between two dial steps (a pedal's own
    // knob leaves such words); redo sends the loaded ones again.
    void undoingALoadSendsTheEarlierWords()
    {
        constexpr quint32 dry = 0x006A8001, dryHpf = (449u << 13) + 0x1000;
        Rig rig([](SimulatedPedal *p) {
            p->state.parameters[Parameter::Dry] = dry;
            p->state.parameters[Parameter::DryHPF] = dryHpf;
            p->state.parameters[Parameter::LowPass] = 7; // the pedal's own scale, 0..24
        });
        PresetFile::PresetValues values{};
        for (int i = 0; i < PresetFile::Values; ++i)
            values[size_t(i)] = rig.onPedal(i);
        values[Parameter::Dry] = 0x007FE000;
        values[Parameter::DryHPF] = 0;
        values[Parameter::LowPass] = 20;
        values[Parameter::Wave] = PedalMessages::WaveOnValue;
        const QString file = presetWith(rig.docs, values);
        QCOMPARE(finished(rig.service.loadPreset(file)), PedalService::Result::Done);
        const quint32 lowPassLoaded = rig.onPedal(Parameter::LowPass);
        QCOMPARE(lowPassLoaded, 20u);

        for (int round = 0; round < 2; ++round) {
            QVERIFY(rig.service.undo());
            QCOMPARE(rig.onPedal(Parameter::Dry), dry);
            QCOMPARE(rig.onPedal(Parameter::DryHPF), dryHpf);
            QCOMPARE(rig.onPedal(Parameter::LowPass), 7u);
            QCOMPARE(rig.onPedal(Parameter::Wave), PedalMessages::WaveOffValue);
            QVERIFY(rig.logged("Send Dry string (standard par): 010027006A8001"));
            QCOMPARE(rig.service.state().parameters[Parameter::Dry].value, dry);
            QCOMPARE(rig.service.state().shown[Parameter::Dry], DialMath::valueToDialAngle(dry, DialMath::FullScale));

            QVERIFY(rig.service.redo());
            QCOMPARE(rig.onPedal(Parameter::Dry), 0x007FE000u);
            QCOMPARE(rig.onPedal(Parameter::DryHPF), 0u);
            QCOMPARE(rig.onPedal(Parameter::LowPass), lowPassLoaded);
            QCOMPARE(rig.onPedal(Parameter::Wave), PedalMessages::WaveOnValue);
        }
    }

    // Use (the compare window's) sends a dial's word as it is, but a dial on the pedal's own
    // scale takes only its step's word: 12 sent as it is would be level 0.
    void useOfAPedalWord_data()
    {
        QTest::addColumn<int>("parameter");
        QTest::addColumn<quint32>("word");
        QTest::newRow("Dry between two steps") << int(Parameter::Dry) << 0x006A8001u;
        QTest::newRow("Low Pass 12 of 24") << int(Parameter::LowPass) << 12u;
        QTest::newRow("High Pass 8 of 16") << int(Parameter::HighPass) << 8u;
        QTest::newRow("Range 11 of 22") << int(Parameter::Range) << 11u;
    }
    void useOfAPedalWord()
    {
        QFETCH(int, parameter);
        QFETCH(quint32, word);
        Rig rig;
        rig.service.sendControl(parameter, positionToAngle(3));
        rig.clock.advance(2000); // its own step of the history
        QVERIFY(rig.onPedal(parameter) != word);
        QCOMPARE(rig.service.useValue(parameter, word), PedalService::Result::Done);
        QCOMPARE(rig.onPedal(parameter), word);
        QVERIFY(rig.service.undo());
        QCOMPARE(rig.service.state().shown[size_t(parameter)], positionToAngle(3));
    }
};

QTEST_GUILESS_MAIN(TestPresetRoundTrip)
#include "tst_presetroundtrip.moc"
