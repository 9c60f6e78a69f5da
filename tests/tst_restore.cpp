// Backups as snapshots and Restore Backup: a backup holds every setting the editor can send
// back, a restore puts back exactly those words and settings, and is called done only when the
// pedal reports them again.
#include "support/Finish.h"
#include "EditorRig.h"
#include "pedal/BackupRestore.h"
#include "pedal/DialMath.h"
#include "pedal/EditHistory.h"
#include "windows/WidgetPrompts.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

namespace {
using Result = BackupRestore::Result;

struct RestoreRig : EditorRig {
    explicit RestoreRig(const QString &documents, const std::function<void(SimulatedPedal *)> &setUp = {})
        : EditorRig(documents, 0, setUp)
    {
        link();
        prompts.messages.clear();
        prompts.questions.clear();
    }
    BackupRestore &backups() { return service().backups(); }
    SimulatedPedalState &pedalState() { return pedal()->state; }

    // A mix of everything a backup holds: dial steps, a word between two steps, a switch, the
    // harmonic pitch item, and every setting command.
    void setEverything(int variant)
    {
        PedalService &s = service();
        const bool a = variant == 0;
        s.sendControl(Parameter::Dry, DialMath::positionToAngle(a ? 224 : 10));
        s.useValue(Parameter::SubMix, a ? 0x00258123 : 0x00700001); // between two dial steps
        s.sendControl(Parameter::Wave, a ? 1 : 0);
        s.sendControl(Parameter::LowPass, DialMath::positionToAngle(a ? 200 : 30)); // on the pedal's own scale
        s.sendControl(Parameter::Range, DialMath::positionToAngle(a ? 60 : 250));
        s.sendControl(Parameter::FirstHarmonicPitch, a ? 17 : 3);
        s.sendControl(Parameter::InputLevel, DialMath::positionToAngle(a ? 150 : 40));
        s.useValue(Parameter::DryHPF, a ? 0x00382000 : 0x00001000);
        s.sendControl(Parameter::Attack, a ? 1 : 0);
        s.chooseTuning(a ? 3 : 1);
        s.chooseSemitoneVariation(a ? 3 : 6);
        finished(s.setTuning());
        s.chooseAssignment(0, a ? 1 : 4);
        s.chooseAssignment(2, a ? 3 : 0);
        s.chooseAssignment(4, a ? 1 : 2);
        finished(s.assign());
        s.chooseFootswitch(a, a);
        s.setFootswitchMode();
        s.chooseMidiChannel(a ? 5 : 0);
        s.chooseBypassStatus(a);
        finished(s.chooseInstrumentRange(a ? 0xBA : 0xFF));
        finished(s.saveNoteFilters(a ? QList<int>{0x02, 0x06} : QList<int>{}));
        s.chooseRangeLimit(a);
        flushAndSettle();
    }
    void flushAndSettle()
    {
        service().flushDialWrites();
        clock.advance(200);
    }
    PedalService::Backup backUp()
    {
        const PedalService::Backup b = service().backUp(QString());
        received();
        return b;
    }
    // What the pedal holds that a restore puts back.
    struct Held {
        std::array<quint32, 20> parameters;
        std::array<quint8, 5> flags;
        std::array<quint16, 5> addresses;
        quint8 footswitch, tuning, semitones, midi, bypassStore, range, rangeLimit, note1, note2;
        bool operator==(const Held &) const = default;
    };
    Held held()
    {
        const SimulatedPedalState &p = pedalState();
        return Held{p.parameters, p.assignFlags, p.assignAddresses, p.footswitchMode, p.tuning, p.semitones,
                    p.midiChannel, p.bypassStore, p.instrumentRange, p.rangeLimit, p.noteFilter1, p.noteFilter2};
    }
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray edited(const QByteArray &json, const std::function<void(QJsonObject &)> &edit)
{
    QJsonObject o = QJsonDocument::fromJson(json).object();
    edit(o);
    return QJsonDocument(o).toJson();
}
} // namespace

class TestRestore : public QObject {
    Q_OBJECT
    QTemporaryDir m_documents;
    int m_rigs = 0;
    QString folder() { return m_documents.path() + "/" + QString::number(++m_rigs); }

private slots:
    // Set everything, back up, change everything, restore: the pedal holds exactly what it held,
    // assignable values are saved, and the two settings it never reports are said to be unchecked.
    void restorePutsBackEverySetting()
    {
        RestoreRig rig(folder());
        rig.setEverything(0);
        const RestoreRig::Held before = rig.held();
        const PedalService::Backup backup = rig.backUp();
        QVERIFY2(backup.made, qPrintable(backup.problem));
        QVERIFY(backup.files.snapshot.endsWith(" snapshot.json"));

        rig.setEverything(1);
        QVERIFY(!(rig.held() == before));
        const int steps = EditHistory::of(rig.service()).count();
        rig.prompts.questions.clear();
        const BackupRestore::Outcome o = finished(rig.backups().restore(backup.files.snapshot));
        QVERIFY2(o.result == Result::Done, qPrintable(o.mismatches.join("\n") + o.problem));
        QVERIFY(rig.held() == before);
        // The exact words, not the nearest dial step.
        QCOMPARE(rig.pedalState().parameters[Parameter::SubMix], quint32(0x00258123));
        QCOMPARE(rig.pedalState().parameters[Parameter::DryHPF], quint32(0x00382000));
        // Saved, since assignable values changed: the store message holds the backup's ten values.
        for (int i = 0; i < 10; ++i)
            QCOMPARE(rig.pedalState().storedAssignable[size_t(i)], before.parameters[size_t(Parameter::InputLevel + i)]);
        QCOMPARE(o.notChecked, (QStringList{"Note Cut", "Limit Range"}));
        QCOMPARE(rig.prompts.questions.size(), 1);
        QVERIFY(rig.prompts.questions[0].contains("Sub Mix: 00700001 -> 00258123"));
        QVERIFY(rig.prompts.questions[0].contains("Control I: Dry HPF -> Input Level"));
        QVERIFY(rig.prompts.questions[0].endsWith("Send these settings to the pedal?"));
        QVERIFY(rig.prompts.messages.last().contains("the pedal reports every setting the backup holds"));
        QVERIFY(rig.prompts.messages.last().contains("Sent but not checked, since the pedal never reports them: Note Cut, "
                                                     "Limit Range."));

        // One step of the history: undo sends the settings the pedal held before the restore.
        QCOMPARE(EditHistory::of(rig.service()).count(), steps + 1);
        QCOMPARE(EditHistory::of(rig.service()).undoText(), QString("Restore Backup"));
        rig.setEverything(1);
        const RestoreRig::Held changed = rig.held();
        finished(rig.backups().restore(backup.files.snapshot));
        QVERIFY(rig.held() == before);
        QVERIFY(rig.service().undo());
        rig.flushAndSettle();
        QVERIFY(rig.held() == changed);
        QVERIFY(rig.service().redo());
        rig.flushAndSettle();
        QVERIFY(rig.held() == before);
    }

    // File > Restore Backup... in the editor: the file chosen, the one question, and the
    // controls and the history follow.
    void restoreFromTheMenu()
    {
        RestoreRig rig(folder());
        rig.setEverything(0);
        const PedalService::Backup backup = rig.backUp();
        rig.setEverything(1);
        QVERIFY(rig.main()->menuRestoreBackup->isEnabled());
        rig.prompts.files = {backup.files.snapshot};
        rig.prompts.questions.clear();
        rig.main()->menuRestoreBackup->trigger();
        QCOMPARE(rig.backups().lastOutcome().result, Result::Done);
        QCOMPARE(rig.prompts.questions.size(), 1);
        QCOMPARE(rig.param(Parameter::SubMix).value, quint32(0x00258123));
        QCOMPARE(rig.state().assignItems[0], 1);
        QCOMPARE(rig.main()->menuUndo->text(), QString("Undo Restore Backup"));
        rig.service().unlink();
        QVERIFY(!rig.main()->menuRestoreBackup->isEnabled());
    }

    // Restoring what the pedal already holds sends nothing but the request.
    void nothingToRestore()
    {
        RestoreRig rig(folder());
        rig.setEverything(0);
        const PedalService::Backup backup = rig.backUp();
        finished(rig.service().requestDeviceInformation());
        rig.received();
        rig.prompts.questions.clear();
        // The editor knows the note filters and range limit it sent: they are the same too.
        const BackupRestore::Outcome o = finished(rig.backups().restore(backup.files.snapshot));
        QCOMPARE(o.result, Result::Done);
        QVERIFY2(o.changes.isEmpty(), qPrintable(o.changes.join("\n")));
        QCOMPARE(rig.received(), QList<QByteArray>{hex("0200")});
        QVERIFY(rig.prompts.questions.isEmpty());
    }

    // The pedal that does not take a value: the restore says which, and is not done.
    void aValueNotTakenIsAFailure()
    {
        RestoreRig rig(folder());
        rig.setEverything(0);
        const PedalService::Backup backup = rig.backUp();
        rig.setEverything(1);
        rig.pedal()->onMessage = [&](const SimulatedPedal::Message &m) {
            if (quint8(m.bytes[0]) == 0x03)
                rig.pedalState().parameters[Parameter::Dry] = 0x00123000; // lost after the writes
        };
        const BackupRestore::Outcome o = finished(rig.backups().restore(backup.files.snapshot));
        QCOMPARE(o.result, Result::Failed);
        QCOMPARE(o.mismatches.size(), 1);
        QVERIFY2(o.mismatches[0].startsWith("Dry: the pedal reports 00123000, the backup holds "), qPrintable(o.mismatches[0]));
        QVERIFY(rig.prompts.messages.last().contains("was sent, but the pedal reports 1 setting differently: Dry"));
    }

    // What the backup holds that no message of the editor sends (an assignment to an address
    // outside the lists, the bypass) is named before the question and in the result; the restore
    // is done only when the pedal holds it all the same.
    void whatCannotBeSentIsNamed_data()
    {
        QTest::addColumn<QByteArray>("beforeBackup"); // raw messages that make the backup's state
        QTest::addColumn<QByteArray>("afterBackup");
        QTest::addColumn<bool>("dryDiffers");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("notRestored");
        const QByteArray offList = hex("040000010100FFFFFFFF01230123FFFF"); // Control III and IV at 0123
        const QByteArray noneAssigned = hex("04000000000000FFFFFFFFFFFFFFFFFFFF");
        const QStringList controls{"Control III (address 0123)", "Control IV (address 0123)"};
        QTest::newRow("assignments off the lists lost, Dry differs")
            << offList << noneAssigned << true << int(Result::Failed) << controls;
        QTest::newRow("assignments off the lists lost, nothing else differs")
            << offList << noneAssigned << false << int(Result::Failed) << controls;
        QTest::newRow("assignments off the lists kept, Dry differs")
            << offList << QByteArray() << true << int(Result::Done) << QStringList();
        QTest::newRow("bypassed in the backup, not now") << hex("0D01") << hex("0D00") << true << int(Result::Failed)
                                                        << QStringList{"Bypass (on)"};
    }
    void whatCannotBeSentIsNamed()
    {
        QFETCH(QByteArray, beforeBackup);
        QFETCH(QByteArray, afterBackup);
        QFETCH(bool, dryDiffers);
        QFETCH(int, result);
        QFETCH(QStringList, notRestored);
        RestoreRig rig(folder());
        rig.ctx.comm.sendMessage(beforeBackup);
        finished(rig.service().requestDeviceInformation());
        const PedalService::Backup backup = rig.backUp();
        QVERIFY2(backup.made, qPrintable(backup.problem));
        const quint32 dryBefore = rig.pedalState().parameters[Parameter::Dry];
        if (!afterBackup.isEmpty())
            rig.ctx.comm.sendMessage(afterBackup);
        if (dryDiffers) {
            rig.service().sendControl(Parameter::Dry, DialMath::positionToAngle(10));
            rig.flushAndSettle();
        }
        rig.prompts.questions.clear();
        rig.prompts.messages.clear();
        const BackupRestore::Outcome o = finished(rig.backups().restore(backup.files.snapshot));
        QCOMPARE(int(o.result), result);
        QCOMPARE(o.notRestored, notRestored);
        QCOMPARE(rig.prompts.questions.size(), dryDiffers ? 1 : 0);
        const QString named = "no message of the editor sends them: " + notRestored.join(", ") + ".";
        if (dryDiffers)
            QCOMPARE(rig.prompts.questions[0].contains(named), !notRestored.isEmpty());
        if (!notRestored.isEmpty()) {
            QVERIFY2(rig.prompts.messages.last().contains("not restored, since no message of the editor sends it: " +
                                                          notRestored.join(", ")),
                     qPrintable(rig.prompts.messages.last()));
            QVERIFY(!rig.prompts.messages.last().contains("reports every setting"));
        }
        QCOMPARE(rig.pedalState().parameters[Parameter::Dry], dryBefore); // what can be sent was sent
    }

    // A restore whose read after sending is incomplete cannot say the pedal took anything.
    void incompleteReadAfterSendingIsAFailure()
    {
        RestoreRig rig(folder());
        rig.setEverything(0);
        const PedalService::Backup backup = rig.backUp();
        rig.setEverything(1);
        rig.prompts.onQuestion = [&](const QString &) { rig.pedal()->faults.shortAnswerValues = 50; };
        const BackupRestore::Outcome o = finished(rig.backups().restore(backup.files.snapshot));
        QCOMPARE(o.result, Result::Failed);
        QVERIFY2(o.problem.contains("did not answer completely"), qPrintable(o.problem));
        QVERIFY(!rig.prompts.messages.last().contains("reports every setting"));
    }

    // Whatever goes wrong before the question sends nothing (the request aside).
    void refusedOrCancelledSendsNothing_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("result");
        QTest::newRow("No to the question") << "no" << int(Result::Cancelled);
        QTest::newRow("another pedal, No") << "other pedal" << int(Result::Cancelled);
        QTest::newRow("not linked") << "unlinked" << int(Result::Refused);
        QTest::newRow("old algorithm") << "old algorithm" << int(Result::Refused);
        QTest::newRow("incomplete answer") << "short answer" << int(Result::Refused);
        QTest::newRow("file chooser cancelled") << "cancel" << int(Result::Cancelled);
    }
    void refusedOrCancelledSendsNothing()
    {
        QFETCH(QString, situation);
        QFETCH(int, result);
        RestoreRig rig(folder());
        rig.setEverything(0);
        PedalService::Backup backup = rig.backUp();
        rig.setEverything(1);
        rig.received();
        QString path = backup.files.snapshot;
        if (situation == "no")
            rig.prompts.answers = {false};
        if (situation == "other pedal") {
            path = QFileInfo(path).dir().filePath("other snapshot.json");
            writeFile(path, edited(fileBytes(backup.files.snapshot), [](QJsonObject &o) { o["serialNumber"] = "QMK3OTHER"; }));
            rig.prompts.answers = {false};
        }
        if (situation == "unlinked")
            rig.service().unlink();
        if (situation == "old algorithm")
            rig.pedalState().algorithm = 14;
        if (situation == "short answer")
            rig.pedal()->faults.shortAnswerValues = 105;
        if (situation == "cancel")
            path.clear(); // and no file is chosen
        rig.prompts.questions.clear();
        const BackupRestore::Outcome o = finished(rig.backups().restore(path));
        QCOMPARE(int(o.result), result);
        for (const QByteArray &m : rig.received())
            QCOMPARE(m, hex("0200"));
        if (situation == "other pedal")
            QVERIFY(rig.prompts.questions.value(0).startsWith(
                "other snapshot.json was saved from the pedal QMK3OTHER; the linked pedal is QMK3SIM01."));
    }

    // A file that is not a whole, valid snapshot is refused before anything is sent.
    void badFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("edit"); // what to do to a good snapshot
        QTest::addColumn<QString>("reason");
        QTest::newRow("not JSON") << QByteArray("text") << "it is not JSON";
        QTest::newRow("a preset file") << QByteArray("preset") << "it is not JSON";
        QTest::newRow("another format") << QByteArray("format") << "it is not a Quarnelo MK3 settings backup";
        QTest::newRow("newer format") << QByteArray("version") << "it was written by a newer editor (format 2; this editor reads 1)";
        QTest::newRow("19 parameters") << QByteArray("parameters") << "it holds 19 parameters, not 20";
        QTest::newRow("word not hex") << QByteArray("word") << "\"word\" is not 4 bytes of hex digits";
        QTest::newRow("assign item too large") << QByteArray("item") << "\"item\" is not a number from 0 to 5";
        QTest::newRow("tuning out of range") << QByteArray("tuning") << "\"tuning\" is not a number from 0 to 8";
        QTest::newRow("tuning not whole") << QByteArray("fraction") << "\"tuning\" is not a number from 0 to 8";
        QTest::newRow("short answer") << QByteArray("answer") << "\"deviceInformationAnswer\" is not 106 bytes of hex digits";
        QTest::newRow("a folder") << QByteArray("folder") << "is a folder, not a backup";
        QTest::newRow("too large") << QByteArray("large") << "is larger than 1048576 bytes";
    }
    void badFilesAreRefused()
    {
        QFETCH(QByteArray, edit);
        QFETCH(QString, reason);
        RestoreRig rig(folder());
        const PedalService::Backup backup = rig.backUp();
        const QByteArray good = fileBytes(backup.files.snapshot);
        const QString path = QFileInfo(backup.files.snapshot).dir().filePath("bad snapshot.json");
        if (edit == "text")
            writeFile(path, "text");
        else if (edit == "preset")
            writeFile(path, fileBytes(backup.files.preset));
        else if (edit == "folder")
            QVERIFY(QDir().mkpath(path));
        else if (edit == "large")
            writeFile(path, QByteArray(1024 * 1024 + 1, ' '));
        else
            writeFile(path, edited(good, [&](QJsonObject &o) {
                          if (edit == "format")
                              o["format"] = "Something else";
                          if (edit == "version")
                              o["formatVersion"] = 2;
                          if (edit == "tuning")
                              o["tuning"] = 9;
                          if (edit == "fraction")
                              o["tuning"] = 2.5;
                          if (edit == "answer")
                              o["deviceInformationAnswer"] = o["deviceInformationAnswer"].toString().chopped(2);
                          QJsonArray parameters = o["parameters"].toArray(), assignments = o["assignments"].toArray();
                          if (edit == "parameters")
                              parameters.removeLast();
                          if (edit == "word") {
                              QJsonObject p = parameters[3].toObject();
                              p["word"] = "0012345G";
                              parameters[3] = p;
                          }
                          if (edit == "item") {
                              QJsonObject a = assignments[1].toObject();
                              a["item"] = 6;
                              assignments[1] = a;
                          }
                          o["parameters"] = parameters;
                          o["assignments"] = assignments;
                      }));
        const BackupRestore::Outcome o = finished(rig.backups().restore(path));
        QCOMPARE(o.result, Result::Failed);
        QVERIFY2(o.problem.contains(reason), qPrintable(o.problem));
        QVERIFY(rig.received().isEmpty());
        QVERIFY(rig.prompts.messages.last().endsWith(". Nothing was sent."));
    }

    // The editor's question to go on without a backup defaults to No: Enter keeps the pedal as it is.
    void goingOnWithoutABackupDefaultsToNo()
    {
        WidgetPrompts prompts;
        SystemClock clock;
        prompts.attach(clock);
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            defaultButton = box->standardButton(box->defaultButton());
            QTest::keyClick(box, Qt::Key_Return);
        });
        QVERIFY(!finished(prompts.askGoOnWithoutBackup("No backup could be made.")));
        QCOMPARE(defaultButton, QMessageBox::No);
    }

    // A snapshot read back is the snapshot written, the settings memory included.
    void snapshotRoundTrip()
    {
        BackupSnapshot s;
        s.saved = QDateTime(QDate(2026, 12, 10), QTime(14, 3, 27));
        s.occasion = "Erase Settings";
        s.serialNumber = "QMK3SIM01";
        s.firmware = 15;
        s.algorithm = "0015";
        s.effect = "00";
        for (int i = 0; i < 20; ++i)
            s.settings.words[size_t(i)] = quint32(0x01010101 * quint32(i + 1));
        s.settings.assignItems = {1, 5, 0, std::nullopt, 2};
        s.settings.shortPressChangesPreset = true;
        s.settings.longPressBypasses = false;
        s.settings.tuningItem = 8;
        s.settings.semitoneVariation = -5;
        s.settings.instrumentRange = 0xBA;
        s.settings.midiChannelItem = 16;
        s.settings.noteFilters = QList<int>{0x28, 0x2B};
        s.answerValues = QByteArray(106, char(0x5A));
        QByteArray memory(16384, char(0xFF));
        memory[0] = 0x12;
        memory[16383] = 0x34;
        s.settingsMemory = BackupSnapshot::Memory{"50", memory, QString()};
        BackupSnapshot back;
        QString error;
        QVERIFY2(BackupSnapshot::parse(s.toJson(), &back, &error), qPrintable(error));
        QCOMPARE(back.toJson(), s.toJson());
        QCOMPARE(back.settingsMemory->bytes, memory);
        QVERIFY(!back.settings.assignItems[3]);
        QVERIFY(!back.settings.rangeLimitOn);
        QVERIFY(!back.settings.storeBypassStatus);
    }
};

QTEST_MAIN(TestRestore)
#include "tst_restore.moc"
