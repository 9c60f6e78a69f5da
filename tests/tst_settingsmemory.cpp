// The settings memory: Erase Settings, the console's tools, the dump check, and the backups
// made before anything that can lose what the pedal holds.
#include "support/Finish.h"
#include "EditorRig.h"
#include "FullDisk.h"
#include "pedal/BackupSnapshot.h"
#include "pedal/DialMath.h"
#include "pedal/FirmwareUpgrade.h"
#include "pedal/PedalBackup.h"
#include "pedal/SettingsMemory.h"
#include "windows/DebugConsoleWindow.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
struct MemoryRig : EditorRig {
    explicit MemoryRig(const QString &documents) : EditorRig(documents)
    {
        link();
        prompts.messages.clear();
        prompts.questions.clear();
    }
    SettingsMemory &memory() { return service().memory(); }
    DebugConsoleWindow *console() { return editor->console(); }
    QStringList backups() const
    {
        return QDir(ctx.files.userFile(QStringLiteral("Backups"))).entryList(QDir::Files, QDir::Name);
    }
    // The lines written to the log since mark.
    QStringList logSince(int mark) const { return ctx.log.lines().mid(mark); }
    QStringList readCounts(int mark) const
    {
        return logSince(mark).filter(QRegularExpression(QStringLiteral("^num of bytes read: ")));
    }
    // Lets the background poll run for ms.
    void run(int ms)
    {
        for (int t = 0; t < ms; t += 10)
            clock.advance(10);
    }
};

QByteArray dumpOf(const QByteArray &memory) { return QByteArray(1, char(0xAB)) + memory; }

QString questionLine(const QString &question, int line) { return question.split(QStringLiteral("\r\n")).value(line); }
} // namespace

class TestSettingsMemory : public QObject {
    Q_OBJECT
    QTemporaryDir m_documents;

private slots:
    void noToTheFirstQuestionSendsAndLogsNothing()
    {
        MemoryRig rig(m_documents.path() + "/no");
        const int mark = rig.ctx.log.lineCount();
        rig.prompts.answers = {false};
        QCOMPARE(finished(rig.memory().eraseSettings()), SettingsMemory::Outcome::Cancelled);
        QVERIFY(rig.received().isEmpty());
        QCOMPARE(rig.ctx.log.lineCount(), mark);
        QCOMPARE(rig.prompts.questions.size(), 1);
        const QString q = rig.prompts.questions[0];
        QCOMPARE(questionLine(q, 0), QString("Are you sure you want to delete all settings?"));
        QCOMPARE(questionLine(q, 6),
                 QString("- uploading the Quarnelo MK3 algorithm once again from \"Upload Selected\" button"));
        QCOMPARE(questionLine(q, 9), QString("- click Save Parameters, Set Tuning, Assign"));
        QVERIFY2(questionLine(q, 11).startsWith("A backup of the pedal's settings was saved in "), qPrintable(q));
    }

    void eraseSettingsWithAndWithoutTheMemoryCheck_data()
    {
        QTest::addColumn<bool>("check");
        QTest::newRow("no memory check") << false;
        QTest::newRow("memory check") << true;
    }
    void eraseSettingsWithAndWithoutTheMemoryCheck()
    {
        QFETCH(bool, check);
        MemoryRig rig(m_documents.path() + "/erase-" + QString::number(check));
        const int mark = rig.ctx.log.lineCount();
        rig.prompts.answers = {true, check};
        rig.clock.pauses.clear();
        const auto r = finished(rig.memory().eraseSettings());
        QCOMPARE(r, SettingsMemory::Outcome::Done);
        QCOMPARE(rig.prompts.questions.value(1), QString("Memory has been erased, do you want to make a memory check now?"));
        // The settings memory is read into the backup's snapshot first, then erased.
        const QList<QByteArray> sent = rig.received();
        QCOMPARE(sent.value(0), hex("0C5000000000"));
        QCOMPARE(sent.value(1), hex("0B50000000"));
        QCOMPARE(sent.size(), check ? 3 : 2);
        if (check)
            QCOMPARE(sent.value(2), hex("0C5000000000"));
        QVERIFY(rig.pedal()->state.settingsMemory == QByteArray(16384, char(0xFF)));
        const QList<int> pauses = [&] {
            QList<int> p = rig.clock.pauses;
            p.removeAll(50); // the waits for the dump read into the backup
            return p;
        }();
        QVERIFY(pauses.mid(0, 2) == (QList<int>{100, 4000}));

        const QStringList lines = rig.logSince(mark);
        QCOMPARE(lines.value(0), QString("********************ERASE EEPROM 1********************"));
        QCOMPARE(lines.value(1), QString("Read message: 0C5000000000"));
        const int read = int(lines.indexOf(QRegularExpression("^settings memory read for the backup: 16384 bytes$")));
        QVERIFY(read > 1);
        const int positionLines = int(lines.indexOf(QRegularExpression("^0: ")));
        QVERIFY(positionLines < 0 || positionLines > read); // the backup's read writes no position lines
        QVERIFY(lines.value(read + 1).startsWith("backup saved: "));
        QVERIFY(lines.value(read + 2).startsWith("backup snapshot saved: "));
        QCOMPARE(lines.value(read + 3), QString("erase message: 0B50000000"));
        if (check) {
            QCOMPARE(lines.value(read + 4), QString("Read message: 0C5000000000"));
            QCOMPARE(lines.value(read + 5), QString("num of bytes read: 16385"));
            QCOMPARE(lines.value(read + 6), QString("0: FF"));
            QCOMPARE(lines.value(read + 6 + 16383), QString("16383: FF"));
            QVERIFY(lines.value(read + 6 + 16384).startsWith("memory dump saved: "));
            QCOMPARE(rig.prompts.messages, QStringList{"Memory is empty"});
        } else {
            QCOMPARE(lines.size(), read + 4);
            QVERIFY(rig.prompts.messages.isEmpty());
        }
        // The snapshot keeps the memory as it was before the erase.
        const QStringList snapshots = rig.backups().filter(QRegularExpression(" snapshot\\.json$"));
        QCOMPARE(snapshots.size(), 1);
        BackupSnapshot snapshot;
        QString error;
        QVERIFY2(BackupSnapshot::load(rig.user("Backups/" + snapshots[0]), &snapshot, &error), qPrintable(error));
        QVERIFY(snapshot.settingsMemory);
        QCOMPARE(snapshot.settingsMemory->address, QString("50"));
        QCOMPARE(snapshot.settingsMemory->bytes.size(), 16384);
        QVERIFY(snapshot.settingsMemory->bytes != QByteArray(16384, char(0xFF))); // the memory in use, not the erased one
    }

    // The backup is on disk before the erase message reaches the pedal, and its preset file
    // puts the pedal's earlier values back.
    void backupBeforeTheEraseRestoresTheValues()
    {
        MemoryRig rig(m_documents.path() + "/restore");
        rig.service().sendControl(Parameter::Dry, 200); // a value the editor set since the request
        const std::array<quint32, 20> before = rig.pedal()->state.parameters;
        QStringList backupsAtErase;
        rig.pedal()->onMessage = [&](const SimulatedPedal::Message &m) {
            if (quint8(m.bytes[0]) == 0x0B)
                backupsAtErase = rig.backups();
        };
        rig.prompts.answers = {true, false};
        QCOMPARE(finished(rig.memory().eraseSettings()), SettingsMemory::Outcome::Done);
        QCOMPARE(backupsAtErase.size(), 3);
        QVERIFY(backupsAtErase[0].endsWith(" QMK3SIM01 preset.txt"));
        QVERIFY(backupsAtErase[1].endsWith(" QMK3SIM01 report.txt"));
        QVERIFY(backupsAtErase[2].endsWith(" QMK3SIM01 snapshot.json"));
        PresetFile::PresetValues saved{};
        QString error;
        QVERIFY(PresetFile::parse(fileBytes(rig.user("Backups/" + backupsAtErase[0])), &saved, &error));
        QVERIFY(saved == before);
        const QString report = QString::fromUtf8(fileBytes(rig.user("Backups/" + backupsAtErase[1])));
        QVERIFY(report.contains("before Erase Settings"));
        QVERIFY(report.contains("Firmware: 15\n"));
        QVERIFY(report.contains("Device information answer (106 values, hex):\n0F 00 15 00"));

        // The pedal comes back with other values; the backup's preset restores the earlier ones.
        rig.pedal()->state.parameters[Parameter::Dry] = 0x00100000;
        rig.pedal()->state.parameters[Parameter::SubMix] = 0x00700000;
        QVERIFY(rig.pedal()->state.parameters != before);
        QCOMPARE(finished(rig.service().requestDeviceInformation()), PedalService::Result::Done);
        QCOMPARE(finished(rig.service().loadPreset(rig.user("Backups/" + backupsAtErase[0]))), PedalService::Result::Done);
        rig.service().flushDialWrites();
        // A dial sends the word of one of its 270 steps: a dial's value comes back to within a
        // step (4 of 1023 levels), every other value exactly.
        for (int i = 0; i < 20; ++i) {
            const ParameterInfo &info = ParameterCatalogue::all()[size_t(i)];
            const quint32 now = rig.pedal()->state.parameters[size_t(i)], was = before[size_t(i)];
            if (info.control == ControlKind::Dial)
                QVERIFY2(qAbs(DialMath::wordToLevel(now, info.fullScale) - DialMath::wordToLevel(was, info.fullScale)) <= 4,
                         qPrintable(ParameterCatalogue::name(i)));
            else
                QVERIFY2(now == was, qPrintable(ParameterCatalogue::name(i)));
        }
        QCOMPARE(rig.pedal()->state.parameters[Parameter::Dry], before[Parameter::Dry]);
    }

    void unknownStateAsksWhetherToEraseAnyway()
    {
        QTemporaryDir dir;
        EditorRig rig(dir.path(), 0, [](SimulatedPedal *p) { p->faults.shortAnswerValues = 40; });
        rig.link();
        rig.prompts.questions.clear();
        rig.prompts.answers = {false};
        QCOMPARE(finished(rig.service().memory().eraseSettings()), SettingsMemory::Outcome::Cancelled);
        QVERIFY(questionLine(rig.prompts.questions.value(0), 11)
                    .startsWith("No backup of the pedal's settings could be made: the pedal's state is not known"));
        QVERIFY(questionLine(rig.prompts.questions.value(0), 11).endsWith(". Erase them anyway?"));
        QVERIFY(!QDir(rig.user("Backups")).exists());
        QVERIFY(rig.received().isEmpty());
    }

    void dumpCheck_data()
    {
        QTest::addColumn<int>("position"); // of the one byte that is not FF; -1: none
        QTest::addColumn<QString>("verdict");
        QTest::newRow("all FF") << -1 << "Memory is empty";
        QTest::newRow("first byte") << 0 << "Memory is not empty";
        QTest::newRow("middle byte") << 8191 << "Memory is not empty";
        QTest::newRow("last byte") << 16383 << "Memory is not empty";
    }
    void dumpCheck()
    {
        QFETCH(int, position);
        QFETCH(QString, verdict);
        MemoryRig rig(m_documents.path() + "/check" + QString::number(position));
        QByteArray memory(16384, char(0xFF));
        if (position >= 0)
            memory[position] = char(0xFE);
        rig.pedal()->state.settingsMemory = memory;
        const int mark = rig.ctx.log.lineCount();
        QCOMPARE(finished(rig.memory().read("50")), SettingsMemory::Outcome::Done);
        QCOMPARE(rig.prompts.messages, QStringList{verdict});
        const QStringList lines = rig.logSince(mark);
        QCOMPARE(lines.value(1), QString("num of bytes read: 16385"));
        for (int p : {0, 8191, 16383})
            QCOMPARE(lines.value(2 + p), QString("%1: %2").arg(p).arg(p == position ? "FE" : "FF"));
        // The dump is kept as a 16,384-byte file beside the backups.
        const QString saved = rig.memory().lastCheck().savedPath;
        QVERIFY(saved.startsWith(rig.user("Backups/")) && saved.endsWith(" QMK3SIM01 memory 50.bin"));
        QCOMPARE(fileBytes(saved), memory);
    }

    void dumpSplitOverThreeReadsIsGathered()
    {
        MemoryRig rig(m_documents.path() + "/split");
        QByteArray memory(16384, char(0xFF));
        memory[12000] = 0x00;
        const QByteArray dump = dumpOf(memory);
        const int mark = rig.ctx.log.lineCount();
        rig.pedal()->inject(dump.left(5001), 0);
        rig.pedal()->inject(dump.mid(5001, 6000), 120);
        rig.pedal()->inject(dump.mid(11001), 240);
        rig.run(500);
        QCOMPARE(rig.readCounts(mark),
                 (QStringList{"num of bytes read: 5001", "num of bytes read: 6000", "num of bytes read: 5384"}));
        QCOMPARE(rig.prompts.messages, QStringList{"Memory is not empty"});
        QCOMPARE(rig.memory().lastCheck().memory, memory);
        QVERIFY(rig.logged("12000: 00"));
    }

    // Bytes after a whole dump, in its own read or a later one, are not the memory's: the check
    // and the saved dump hold exactly its 16,384 bytes, and nothing more is checked.
    void bytesAfterAWholeDump_data()
    {
        QTest::addColumn<int>("trailing");
        QTest::addColumn<int>("afterMs"); // -1: in the dump's own read
        QTest::addColumn<QStringList>("reads");
        QTest::newRow("one byte, same read") << 1 << -1 << QStringList{"num of bytes read: 16386"};
        QTest::newRow("a hundred bytes, same read") << 100 << -1 << QStringList{"num of bytes read: 16485"};
        QTest::newRow("a hundred bytes, a later read")
            << 100 << 200 << QStringList{"num of bytes read: 16385", "num of bytes read: 100"};
    }
    void bytesAfterAWholeDump()
    {
        QFETCH(int, trailing);
        QFETCH(int, afterMs);
        QFETCH(QStringList, reads);
        MemoryRig rig(m_documents.path() + "/trailing-" + QTest::currentDataTag());
        QByteArray memory(16384, char(0xFF));
        memory[16383] = 0x42; // the last byte is the memory's
        rig.pedal()->state.settingsMemory = memory;
        rig.pedal()->faults.dumpTrailingBytes = trailing;
        rig.pedal()->faults.dumpTrailingAfterMs = afterMs;
        const int mark = rig.ctx.log.lineCount();
        QCOMPARE(finished(rig.memory().read("50")), SettingsMemory::Outcome::Done);
        rig.run(1000); // the later bytes arrive, and the line falls quiet
        QCOMPARE(rig.readCounts(mark), reads);
        QCOMPARE(rig.prompts.messages, QStringList{"Memory is not empty"});
        const SettingsMemory::Check &check = rig.memory().lastCheck();
        QCOMPARE(check.kind, SettingsMemory::Check::Kind::Complete);
        QCOMPARE(check.bytes, 16384);
        QCOMPARE(check.memory, memory);
        QCOMPARE(fileBytes(check.savedPath), memory);
        QCOMPARE(rig.backups().filter(" memory 50").size(), 1);
        QVERIFY(rig.logged("16383: 42") && !rig.logged("16384: 00"));
        QCOMPARE(finished(rig.service().requestDeviceInformation()), PedalService::Result::Done);
    }

    void shortOrMissingDumpGivesNoVerdict_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("bytes"); // the data bytes the pedal sends
        QTest::addColumn<QString>("message");
        const QString unknown = "The memory check got %1 of 16,384 bytes; the memory's state is unknown.";
        QTest::newRow("only the marker") << "50" << 0 << unknown.arg("0");
        QTest::newRow("a third") << "50" << 5000 << unknown.arg("5,000");
        QTest::newRow("one byte short") << "50" << 16383 << unknown.arg("16,383");
        QTest::newRow("no memory at 51")
            << "51" << -1 << "The pedal sent no memory dump within 4 s; the memory's state is unknown.";
    }
    void shortOrMissingDumpGivesNoVerdict()
    {
        QFETCH(QString, address);
        QFETCH(int, bytes);
        QFETCH(QString, message);
        MemoryRig rig(m_documents.path() + "/short" + QString::number(bytes));
        rig.pedal()->faults.dumpBytes = bytes;
        QCOMPARE(finished(rig.memory().read(address)), SettingsMemory::Outcome::Failed);
        QCOMPARE(rig.prompts.messages, QStringList{message});
        QVERIFY(!rig.logged("0: FF"));
        QVERIFY(rig.backups().isEmpty());
        // The line is free again: the next request works.
        QCOMPARE(finished(rig.service().requestDeviceInformation()), PedalService::Result::Done);
    }

    void readWithoutTheMarkerLogsOnlyItsCount()
    {
        MemoryRig rig(m_documents.path() + "/nomarker");
        const int mark = rig.ctx.log.lineCount();
        rig.pedal()->inject(QByteArray(16385, char(0xFF)));
        rig.run(60);
        QCOMPARE(rig.logSince(mark), QStringList{"num of bytes read: 16385"});
        QVERIFY(rig.prompts.messages.isEmpty());
    }

    // The request's receive purge would cut an arriving dump in two; the dump is gathered first.
    void requestWaitsForAnArrivingDump_data()
    {
        QTest::addColumn<bool>("begunBeforeTheRequest"); // the poll has read the dump's first part
        QTest::newRow("dump arriving") << true;
        QTest::newRow("dump waiting in the queue") << false;
    }
    void requestWaitsForAnArrivingDump()
    {
        QFETCH(bool, begunBeforeTheRequest);
        MemoryRig rig(m_documents.path() + "/purge" + QString::number(begunBeforeTheRequest));
        QByteArray memory(16384, char(0x5A));
        const QByteArray dump = dumpOf(memory);
        rig.pedal()->inject(dump.left(3000), 0);
        rig.pedal()->inject(dump.mid(3000), begunBeforeTheRequest ? 200 : 0);
        if (begunBeforeTheRequest) {
            rig.run(60);
            QVERIFY(rig.ctx.comm.dumpArriving());
        }
        QCOMPARE(finished(rig.service().requestDeviceInformation()), PedalService::Result::Done);
        QCOMPARE(rig.memory().lastCheck().memory, memory);
        QCOMPARE(rig.prompts.messages, QStringList{"Memory is not empty"});
    }

    // Erase E2P keeps the memory it erases: the memory at the address is read into the backup
    // first, then erased. There is no memory at 51: no backup can keep it, and the erase goes on
    // only when the user says so.
    void consoleTools_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("addressItem");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<QList<QByteArray>>("written");
        QTest::addColumn<QStringList>("questions");
        const QString withoutBackup =
            "No backup of the pedal's settings could be made before erasing the settings memory: the settings memory "
            "could not be read into the backup: the pedal sent no memory dump within 4 s. Go on without a backup?";
        QTest::newRow("erase at 51, going on without a backup")
            << "btnEraseEeprom" << 1 << QList<bool>{true, true} << "erase message: 0B51000000"
            << QList<QByteArray>{hex("0C5100000000"), hex("0B51000000")} << QStringList{"Erase EEPROM now?", withoutBackup};
        QTest::newRow("erase at 51, not without a backup")
            << "btnEraseEeprom" << 1 << QList<bool>{true, false} << "refused without a backup: erasing the settings memory"
            << QList<QByteArray>{hex("0C5100000000")} << QStringList{"Erase EEPROM now?", withoutBackup};
        QTest::newRow("erase at 50") << "btnEraseEeprom" << 0 << QList<bool>{true} << "erase message: 0B50000000"
                                     << QList<QByteArray>{hex("0C5000000000"), hex("0B50000000")}
                                     << QStringList{"Erase EEPROM now?"};
        QTest::newRow("erase, No") << "btnEraseEeprom" << 1 << QList<bool>{false} << "" << QList<QByteArray>{}
                                   << QStringList{"Erase EEPROM now?"};
        QTest::newRow("read at 50") << "btnReadEEPROM" << 0 << QList<bool>{true} << "Read message: 0C5000000000"
                                    << QList<QByteArray>{hex("0C5000000000")} << QStringList{};
    }
    void consoleTools()
    {
        QFETCH(QString, button);
        QFETCH(int, addressItem);
        QFETCH(QList<bool>, answers);
        QFETCH(QString, logLine);
        QFETCH(QList<QByteArray>, written);
        QFETCH(QStringList, questions);
        MemoryRig rig(m_documents.path() + "/console-" + QTest::currentDataTag());
        rig.console()->cmbI2Caddr->setCurrentIndex(addressItem);
        rig.prompts.answers = std::deque<bool>(answers.begin(), answers.end());
        const int mark = rig.ctx.log.lineCount();
        rig.console()->findChild<QPushButton *>(button)->click();
        QCOMPARE(rig.received(), written);
        QCOMPARE(rig.prompts.questions, questions);
        if (logLine.isEmpty())
            QCOMPARE(rig.ctx.log.lineCount(), mark);
        else
            QVERIFY(rig.logSince(mark).contains(logLine));
        // A backup that kept the memory has it in its snapshot; one that could not has no files.
        const QStringList files = rig.backups();
        QCOMPARE(files.filter(" snapshot.json").size(), addressItem == 0 && !written.isEmpty() && button == "btnEraseEeprom" ? 1 : 0);
        QCOMPARE(files.filter(" preset.txt").size(), files.filter(" snapshot.json").size());
    }

    void sendChecksItsFields_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QByteArray>("written"); // empty: refused
        QTest::newRow("the fields as shown") << "addr" << "data" << QByteArray();
        QTest::newRow("short address") << "027" << "003FC000" << QByteArray();
        QTest::newRow("long data") << "0027" << "003FC0001" << QByteArray();
        QTest::newRow("not hex") << "0027" << "003FC00G" << QByteArray();
        QTest::newRow("blank inside") << "00 7" << "003FC000" << QByteArray();
        QTest::newRow("empty") << "" << "" << QByteArray();
        QTest::newRow("a parameter write") << "0027" << "003fC000" << hex("010027003FC000");
    }
    void sendChecksItsFields()
    {
        QFETCH(QString, address);
        QFETCH(QString, data);
        QFETCH(QByteArray, written);
        MemoryRig rig(m_documents.path() + "/send");
        rig.ctx.comm.sendHexMessage("0D01", 2); // earlier bytes in the transmit buffer
        rig.received();
        rig.console()->edtAddress->setText(address);
        rig.console()->edtData->setText(data);
        rig.console()->btnSend->click();
        const QList<QByteArray> sent = rig.received();
        if (written.isEmpty()) {
            QVERIFY(sent.isEmpty());
            QCOMPARE(rig.prompts.messages.size(), 1);
            QVERIFY(rig.prompts.messages[0].startsWith("Send was refused: the address must be four hex digits"));
        } else {
            QCOMPARE(sent, QList<QByteArray>{written});
            QVERIFY(rig.logged("01" + address + data));
        }
    }

    void toolsAreRefusedWithoutALink()
    {
        QTemporaryDir dir;
        EditorRig rig(dir.path());
        rig.prompts.answers = {true};
        QCOMPARE(finished(rig.service().memory().eraseWithQuestion("50")), SettingsMemory::Outcome::Refused);
        QCOMPARE(finished(rig.service().memory().read("50")), SettingsMemory::Outcome::Refused);
        QVERIFY(rig.prompts.messages.value(0).startsWith("Erase E2P was refused: no pedal is linked"));
        QVERIFY(rig.pedal()->record.isEmpty());
    }

    // Before an algorithm upload and before the pedal enters its bootloader for a firmware
    // upgrade, a backup is saved and logged; the command's first message follows it.
    void backupsBeforeUploadAndUpgrade_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("occasion");
        QTest::newRow("algorithm upload") << "upload" << "before the algorithm upload";
        QTest::newRow("firmware upgrade") << "upgrade" << "before the firmware upgrade";
    }
    void backupsBeforeUploadAndUpgrade()
    {
        QFETCH(QString, command);
        QFETCH(QString, occasion);
        MemoryRig rig(m_documents.path() + "/before-" + command);
        QStringList backupsAtFirstMessage;
        rig.pedal()->onMessage = [&](const SimulatedPedal::Message &) {
            if (backupsAtFirstMessage.isEmpty())
                backupsAtFirstMessage << "first" << rig.backups();
        };
        if (command == "upload")
            finished(rig.service().uploadSelectedAlgorithm());
        else
            finished(rig.service().firmware().chooseUpgradeMode());
        QCOMPARE(backupsAtFirstMessage.size(), 4); // the preset, the report and the snapshot
        QVERIFY(backupsAtFirstMessage[3].endsWith(" snapshot.json"));
        const QString report = QString::fromUtf8(fileBytes(rig.user("Backups/" + backupsAtFirstMessage[2])));
        QVERIFY2(report.contains(occasion), qPrintable(report.left(200)));
        QVERIFY(!rig.ctx.log.lines().filter(QRegularExpression("^backup saved: .* preset.txt and .* report.txt$")).isEmpty());
    }

    // A name is free only when none of a backup's three files holds it: a lone report or
    // snapshot left from an earlier backup moves the new one to the next number.
    void aNameTakenByAnyFileOfABackup_data()
    {
        QTest::addColumn<QString>("lone");
        QTest::newRow("a lone preset") << " preset.txt";
        QTest::newRow("a lone report") << " report.txt";
        QTest::newRow("a lone snapshot") << " snapshot.json";
    }
    void aNameTakenByAnyFileOfABackup()
    {
        QFETCH(QString, lone);
        QTemporaryDir dir;
        const QDateTime when(QDate(2026, 12, 10), QTime(14, 3, 27));
        const QString taken = dir.filePath("2026-12-10 14-03-27 S" + lone);
        {
            QFile f(taken);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("earlier");
        }
        const DeviceInformation info = *DeviceInformation::fromValues(QByteArray(106, char(1)));
        PedalBackup::Files files;
        QString error;
        QVERIFY(PedalBackup::write(dir.path(), when, "S", "", info, QByteArray(106, char(1)), {}, &files, &error, "{}"));
        QCOMPARE(QFileInfo(files.preset).fileName(), QString("2026-12-10 14-03-27 S (2) preset.txt"));
        QCOMPARE(QFileInfo(files.report).fileName(), QString("2026-12-10 14-03-27 S (2) report.txt"));
        QCOMPARE(QFileInfo(files.snapshot).fileName(), QString("2026-12-10 14-03-27 S (2) snapshot.json"));
        QCOMPARE(fileBytes(taken), QByteArray("earlier"));
    }

    // In the editor, going on without a backup is its own question after the erase question,
    // and No there erases nothing.
    void noBackupIsItsOwnQuestion_data()
    {
        QTest::addColumn<bool>("goOn");
        QTest::newRow("No") << false;
        QTest::newRow("Yes") << true;
    }
    void noBackupIsItsOwnQuestion()
    {
        QFETCH(bool, goOn);
        QTemporaryDir dir;
        EditorRig rig(dir.path(), 0, [](SimulatedPedal *p) { p->faults.shortAnswerValues = 40; });
        rig.link();
        rig.prompts.questions.clear();
        rig.prompts.answers = {true, goOn, false};
        QCOMPARE(finished(rig.service().memory().eraseSettings()), goOn ? SettingsMemory::Outcome::Done : SettingsMemory::Outcome::Cancelled);
        QCOMPARE(rig.prompts.questions.value(1),
                 QString("No backup of the pedal's settings could be made before Erase Settings: the pedal's state is not "
                         "known (its answer held 40 of 106 values). Go on without a backup?"));
        QCOMPARE(rig.received().contains(hex("0B50000000")), goOn);
        QCOMPARE(rig.logged("refused without a backup: Erase Settings"), !goOn);
    }

    // A backup that cannot be written whole (the disk fills up) refuses the erase.
    void aFullDiskRefusesTheErase()
    {
        MemoryRig rig(m_documents.path() + "/full");
        rig.prompts.answers = {false}; // No to going on without a backup
        SettingsMemory::Outcome r;
        {
            FullDisk disk(100);
            r = finished(rig.memory().erase("50"));
        }
        QCOMPARE(r, SettingsMemory::Outcome::Cancelled);
        QVERIFY(rig.received().isEmpty());
        QVERIFY2(rig.prompts.questions.value(0).startsWith("No backup of the pedal's settings could be made before erasing "
                                                           "the settings memory: the backup could not be written: "),
                 qPrintable(rig.prompts.questions.value(0)));
    }

    // Backups are only ever added: the same second and pedal gets a numbered name.
    void backupsAreNeverOverwritten()
    {
        QTemporaryDir dir;
        const QDateTime when(QDate(2026, 12, 10), QTime(14, 3, 27));
        const DeviceInformation info = *DeviceInformation::fromValues(QByteArray(106, char(1)));
        PresetFile::PresetValues first{}, second{};
        second.fill(0x12345678);
        PedalBackup::Files a, b;
        QString error;
        QVERIFY(PedalBackup::write(dir.path(), when, "QMK3/01 x", "", info, QByteArray(106, char(1)), first, &a, &error));
        QVERIFY(PedalBackup::write(dir.path(), when, "QMK3/01 x", "", info, QByteArray(106, char(1)), second, &b, &error));
        QCOMPARE(QFileInfo(a.preset).fileName(), QString("2026-12-10 14-03-27 QMK3_01_x preset.txt"));
        QCOMPARE(QFileInfo(b.preset).fileName(), QString("2026-12-10 14-03-27 QMK3_01_x (2) preset.txt"));
        QCOMPARE(QFileInfo(b.report).fileName(), QString("2026-12-10 14-03-27 QMK3_01_x (2) report.txt"));
        QCOMPARE(fileBytes(a.preset), PresetFile::fileBytes(first));
        QCOMPARE(fileBytes(b.preset), PresetFile::fileBytes(second));
        QString m1, m2;
        QVERIFY(PedalBackup::writeMemory(dir.path(), when, "S", "50", QByteArray(4, 'a'), &m1, &error));
        QVERIFY(PedalBackup::writeMemory(dir.path(), when, "S", "50", QByteArray(4, 'b'), &m2, &error));
        QCOMPARE(fileBytes(m1), QByteArray(4, 'a'));
        QVERIFY(m2.endsWith("S memory 50 (2).bin"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 6); // no temporary left
    }
};

QTEST_MAIN(TestSettingsMemory)
#include "tst_settingsmemory.moc"
