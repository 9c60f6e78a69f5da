// The golden record: a fixed set of scenarios whose every observable outcome is kept in
// tests/golden/ and compared line by line. Each scenario keeps two records, compared apart: the
// wire (NAME.wire.txt: every message the pedal received, in order) and the words (NAME.words.txt:
// what a person reads). For the editor (in process, on the simulated pedal) the wire gives each
// message's time on the tests' clock and the words are the log lines, the questions and messages
// and each step's result. For the command-line tool against the pseudo-terminal pedal (with and
// without its faults) the words are the exit code and what it printed; the pedal runs on the
// real clock there, so its wire gives no times. Both records name each step, so a difference is
// found by its step; a difference on the wire is reported on its own, before any in the words,
// so that new wording never hides a changed byte.
//
// The records change only on purpose: QUARNELO_GOLDEN_WRITE=1 makes this test write them anew
// instead of comparing, and the commit that changes a record says why.
#include "support/Finish.h"
#include "support/ResultWords.h"
#include "EditorRig.h"
#include "PedalProcess.h"
#include "pedal/BackupRestore.h"
#include "pedal/DialMath.h"
#include "pedal/FirmwareUpgrade.h"
#include "pedal/ParameterCatalogue.h"
#include "pedal/SettingsMemory.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {
bool writing() { return qEnvironmentVariableIntValue("QUARNELO_GOLDEN_WRITE") == 1; }

// A message as the record shows it: its hex, or for a long one (a firmware block, an image) its
// length and the start of its SHA-1.
QString messageText(const QByteArray &bytes)
{
    if (bytes.size() <= 48)
        return QString::fromLatin1(bytes.toHex().toUpper());
    return QStringLiteral("%1 bytes %2…%3 sha1 %4")
        .arg(bytes.size())
        .arg(QString::fromLatin1(bytes.left(4).toHex().toUpper()))
        .arg(QString::fromLatin1(bytes.right(2).toHex().toUpper()))
        .arg(QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(12)));
}

// Compares a record with its golden file (or writes it): empty when they agree, else the first
// line that differs.
QString difference(const QString &file, const QString &record)
{
    const QString path = QStringLiteral(GOLDEN_DIR "/") + file;
    if (writing()) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(record.toUtf8()) < 0)
            return QStringLiteral("%1 could not be written").arg(path);
        return QString();
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("no golden record %1").arg(path);
    const QStringList want = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    const QStringList got = record.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < std::max(want.size(), got.size()); ++i) {
        if (want.value(i) != got.value(i))
            return QStringLiteral("%1 line %2:\n  kept: %3\n  now:  %4")
                .arg(file)
                .arg(i + 1)
                .arg(i < want.size() ? want[i] : QStringLiteral("<end>"))
                .arg(i < got.size() ? got[i] : QStringLiteral("<end>"));
    }
    return QString();
}

// A scenario's two records.
struct Records {
    QString wire;
    QString words;
};

// Compares both records of a scenario (kind/name.wire.txt, kind/name.words.txt) and fails with
// every difference: the wire's first and on its own, then the words'.
void compareWithGolden(const QString &kind, const QString &name, const Records &records)
{
    const QString base = kind + QLatin1Char('/') + name;
    const QString wire = difference(base + QStringLiteral(".wire.txt"), records.wire);
    const QString words = difference(base + QStringLiteral(".words.txt"), records.words);
    QStringList failures;
    if (!wire.isEmpty())
        failures << QStringLiteral("%1: the wire differs: %2").arg(name, wire);
    if (!words.isEmpty())
        failures << QStringLiteral("%1: the words differ: %2").arg(name, words);
    if (!failures.isEmpty())
        QFAIL(qPrintable(failures.join(QLatin1Char('\n'))));
}

// ---- The editor, in process --------------------------------------------------------------

QString resultText(PedalService::Result r) { return resultWord(r); }
QString resultText(bool ok) { return ok ? QStringLiteral("true") : QStringLiteral("false"); }
QString resultText(Uploads::Result r) { return QStringLiteral("upload %1").arg(int(r)); }
QString resultText(FirmwareUpgrade::Outcome o) { return QStringLiteral("firmware %1").arg(int(o)); }
QString resultText(SettingsMemory::Outcome o) { return QStringLiteral("memory %1").arg(int(o)); }

// One editor on the simulated pedal, writing down what each step did.
struct GoldenEditor : EditorRig {
    explicit GoldenEditor(const QString &documents)
        : EditorRig(documents), m_documents(documents), m_startMs(clock.nowMs())
    {
    }

    // Runs one step, then writes down what reached the pedal (on the wire) and the log, the
    // questions and messages since the last step, and the step's result (in the words).
    template <typename Action>
    void step(const QString &name, Action action)
    {
        QString result = QStringLiteral("-");
        if constexpr (std::is_void_v<std::invoke_result_t<Action>>)
            action();
        else
            result = action();
        m_wire << QStringLiteral("== %1").arg(name);
        m_words << QStringLiteral("== %1 -> %2").arg(name, result);
        collect();
    }
    // Time passing with nothing done (timers fire).
    void wait(int ms)
    {
        clock.advance(ms);
        QCoreApplication::processEvents();
        m_wire << QStringLiteral("== %1 ms later").arg(ms);
        m_words << QStringLiteral("== %1 ms later").arg(ms);
        collect();
    }
    Records records() const
    {
        return {m_wire.join(QLatin1Char('\n')) + QLatin1Char('\n'), m_words.join(QLatin1Char('\n')) + QLatin1Char('\n')};
    }

private:
    void collect()
    {
        // Each message with the time it arrived whole, in ms since the editor started.
        for (int i = m_wireSeen; i < pedal()->record.size(); ++i)
            m_wire << QStringLiteral("wire @%1 ms: %2")
                                .arg(pedal()->record[i].atMs - m_startMs)
                                .arg(messageText(pedal()->record[i].bytes));
        m_wireSeen = int(pedal()->record.size());
        // A long run of numbered byte lines ("12:    FF", a dump or an answer shown byte by byte)
        // is kept as its count, its ends and a hash of its exact text.
        static const QRegularExpression byteLine(QStringLiteral("^\\d+: +[0-9A-F]{2}$"));
        const QStringList &lines = ctx.log.lines();
        for (qsizetype i = m_log; i < lines.size();) {
            qsizetype end = i;
            while (end < lines.size() && byteLine.match(lines[end]).hasMatch())
                ++end;
            if (end - i >= 32) {
                QCryptographicHash hash(QCryptographicHash::Sha1);
                for (qsizetype k = i; k < end; ++k)
                    hash.addData(lines[k].toUtf8() + '\n');
                m_words << QStringLiteral("log: <%1 byte lines, \"%2\" .. \"%3\", sha1 %4>")
                                .arg(end - i)
                                .arg(lines[i], lines[end - 1], QString::fromLatin1(hash.result().toHex().left(12)));
                i = end;
                continue;
            }
            m_words << QStringLiteral("log: ") + normalised(lines[i]);
            ++i;
        }
        m_log = lines.size();
        for (const QString &q : prompts.questions)
            m_words << QStringLiteral("asked: ") + normalised(q);
        for (const QString &m : prompts.messages)
            m_words << QStringLiteral("told: ") + normalised(m);
        prompts.questions.clear();
        prompts.messages.clear();
    }
    QString normalised(QString text) const
    {
        text.replace(m_documents, QStringLiteral("$DOCS"));
        return text;
    }
    QString m_documents;
    qint64 m_startMs;
    QStringList m_wire;  // the wire's record
    QStringList m_words; // the words' record
    int m_wireSeen = 0;  // the pedal's messages written down so far
    qsizetype m_log = 0;
};

using Scenario = std::function<void(GoldenEditor &, const QString &dir)>;

const int Dry = ParameterCatalogue::indexOf(QStringLiteral("Dry"));
const int SubMix = ParameterCatalogue::indexOf(QStringLiteral("Sub Mix"));
const int LowPass = ParameterCatalogue::indexOf(QStringLiteral("Low Pass"));

void linkAndSettle(GoldenEditor &e)
{
    e.step(QStringLiteral("Link Simulated"), [&] { e.main()->menuLinkSimulated->trigger(); });
    e.wait(2000);
}

const std::pair<const char *, Scenario> EditorScenarios[] = {
    {"link-request-unlink",
     [](GoldenEditor &e, const QString &) {
         e.step(QStringLiteral("Request before linking"), [&] { return resultText(finished(e.service().requestDeviceInformation())); });
         linkAndSettle(e);
         e.step(QStringLiteral("Request"), [&] { return resultText(finished(e.service().requestDeviceInformation())); });
         e.step(QStringLiteral("Read report"), [&] { return resultText(finished(e.service().readPedalReport())); });
         e.step(QStringLiteral("Unlink"), [&] { return resultText(e.service().unlink()); });
         e.step(QStringLiteral("Save Parameters unlinked"), [&] { return resultText(finished(e.service().saveParameters())); });
     }},
    {"live-edits-and-history",
     [](GoldenEditor &e, const QString &) {
         linkAndSettle(e);
         e.step(QStringLiteral("Dry dial, five quick moves"), [&] {
             for (int p : {10, 30, 50, 70, 90})
                 e.service().setControl(Dry, DialMath::positionToAngle(p));
         });
         e.wait(1500);
         e.step(QStringLiteral("Low Pass dial"),
                [&] { return resultText(e.service().setControl(LowPass, DialMath::positionToAngle(200))); });
         e.wait(1500);
         e.step(QStringLiteral("Sub Mix use value"), [&] { return resultText(e.service().useValue(SubMix, 0x00200000)); });
         e.step(QStringLiteral("Bypass on"), [&] { return resultText(e.service().setBypass(true)); });
         e.step(QStringLiteral("Tuning 3"), [&] { e.service().chooseTuning(3); });
         e.step(QStringLiteral("Semitones 2"), [&] { e.service().chooseSemitoneVariation(2); });
         e.step(QStringLiteral("Control I item 2"), [&] { return resultText(e.service().chooseAssignment(0, 2)); });
         e.step(QStringLiteral("Footswitch"), [&] { e.service().chooseFootswitch(true, false); });
         e.wait(1000);
         for (int i = 0; i < 4; ++i) {
             e.step(QStringLiteral("Undo"), [&] { return resultText(e.service().undo()); });
             e.wait(300);
         }
         for (int i = 0; i < 2; ++i) {
             e.step(QStringLiteral("Redo"), [&] { return resultText(e.service().redo()); });
             e.wait(300);
         }
     }},
    {"settings-commands",
     [](GoldenEditor &e, const QString &) {
         linkAndSettle(e);
         e.step(QStringLiteral("Save Parameters"), [&] { return resultText(finished(e.service().saveParameters())); });
         e.step(QStringLiteral("Defaults"), [&] { return resultText(finished(e.service().resetAssignableParameters(true))); });
         e.step(QStringLiteral("Instrument range 1"), [&] { return resultText(finished(e.service().chooseInstrumentRange(1))); });
         e.step(QStringLiteral("Store bypass"), [&] { return resultText(e.service().chooseBypassStatus(true)); });
         e.step(QStringLiteral("Range limit on"), [&] { return resultText(e.service().chooseRangeLimit(true)); });
         e.step(QStringLiteral("MIDI channel 3"), [&] { return resultText(e.service().chooseMidiChannel(3)); });
         e.step(QStringLiteral("Note filters"), [&] { return resultText(finished(e.service().saveNoteFilters({40, 45, 52}))); });
         e.step(QStringLiteral("Set Tuning"), [&] { return resultText(finished(e.service().setTuning())); });
         e.step(QStringLiteral("Assign"), [&] { return resultText(finished(e.service().assign())); });
         e.step(QStringLiteral("Footswitch mode"), [&] { return resultText(e.service().setFootswitchMode()); });
     }},
    {"presets",
     [](GoldenEditor &e, const QString &dir) {
         linkAndSettle(e);
         const QString path = dir + QStringLiteral("/golden preset.txt");
         e.step(QStringLiteral("Save preset"), [&] { return resultText(finished(e.service().savePreset(path))); });
         e.step(QStringLiteral("Dry to 0"), [&] { return resultText(e.service().useValue(Dry, 0)); });
         e.step(QStringLiteral("Load preset"), [&] { return resultText(finished(e.service().loadPreset(path))); });
         e.step(QStringLiteral("Undo the load"), [&] { return resultText(e.service().undo()); });
         e.wait(300);
         e.step(QStringLiteral("Load a missing preset"),
                [&] { return resultText(finished(e.service().loadPreset(dir + QStringLiteral("/missing.txt")))); });
     }},
    {"backup-and-restore",
     [](GoldenEditor &e, const QString &dir) {
         linkAndSettle(e);
         QString snapshot;
         e.step(QStringLiteral("Back up"), [&] {
             const auto b = e.service().backUp(QStringLiteral("golden"), dir + QStringLiteral("/backups"));
             snapshot = b.files.snapshot;
             return b.made ? QStringLiteral("made") : QStringLiteral("not made: ") + b.problem;
         });
         e.step(QStringLiteral("Dry to 0"), [&] { return resultText(e.service().useValue(Dry, 0)); });
         e.step(QStringLiteral("Tuning 2"), [&] { e.service().chooseTuning(2); });
         e.step(QStringLiteral("Restore"), [&] {
             const auto o = finished(e.service().backups().restore(snapshot));
             return QStringLiteral("restore %1 changes %2 mismatches %3")
                 .arg(int(o.result))
                 .arg(o.changes.join(QStringLiteral("; ")), o.mismatches.join(QStringLiteral("; ")));
         });
     }},
    {"uploads",
     [](GoldenEditor &e, const QString &) {
         linkAndSettle(e);
         e.step(QStringLiteral("Upload algorithm"), [&] { return resultText(finished(e.service().uploadSelectedAlgorithm())); });
         e.wait(3000);
         e.step(QStringLiteral("Upload tuning data"), [&] { return resultText(finished(e.service().uploadTuningData())); });
         e.wait(3000);
     }},
    {"settings-memory",
     [](GoldenEditor &e, const QString &) {
         linkAndSettle(e);
         e.step(QStringLiteral("Read E2P 50"), [&] { return resultText(finished(e.service().memory().read(QStringLiteral("50")))); });
         e.step(QStringLiteral("Erase Settings"), [&] { return resultText(finished(e.service().memory().eraseSettings())); });
         e.wait(2000);
     }},
    {"firmware-upgrade",
     [](GoldenEditor &e, const QString &) {
         e.pedal()->state.firmware = 12;
         linkAndSettle(e);
         FirmwareUpgrade &f = e.service().firmware();
         e.step(QStringLiteral("Upgrade Mode"), [&] { finished(f.chooseUpgradeMode()); });
         e.step(QStringLiteral("Choose Firmware_15"), [&] { f.selectImage(QStringLiteral("Firmware_15")); });
         e.step(QStringLiteral("Upgrade"), [&] { return resultText(finished(f.upgrade())); });
         e.wait(2000);
     }},
    {"unplug-and-back",
     [](GoldenEditor &e, const QString &) {
         linkAndSettle(e);
         e.step(QStringLiteral("Dry dial"), [&] { e.service().setControl(Dry, DialMath::positionToAngle(40)); });
         e.wait(1500);
         e.step(QStringLiteral("Unplug"), [&] { e.pedal()->unplug(); });
         e.wait(100);
         e.wait(3000);
         e.step(QStringLiteral("Save Parameters while away"), [&] { return resultText(finished(e.service().saveParameters())); });
         e.step(QStringLiteral("Plug in"), [&] { e.pedal()->plugIn(false); });
         e.wait(3000);
     }},
};

// ---- The command-line tool against the pseudo-terminal pedal -------------------------------

struct CliScenario {
    const char *name;
    QStringList pedalArgs;
    QList<QStringList> commands; // run one after the other against the same pedal
};

const QStringList NoFault;
const CliScenario CliScenarios[] = {
    {"usage", NoFault, {{}, {"--help"}, {"frobnicate"}, {"--port", "/dev/null", "info"}, {"set", "Dry"}}},
    {"info-get", NoFault, {{"info"}, {"get"}}},
    {"set-send", NoFault, {{"set", "Dry", "510"}, {"set", "Bypass", "on"}, {"set", "Low Pass", "300"}, {"send", "0200"}}},
    {"presets-diff", NoFault, {{"preset", "save", "DIR/saved"}, {"set", "Dry", "0"}, {"diff", "DIR/saved.txt"},
                               {"preset", "load", "DIR/saved.txt"}, {"diff", "DIR/saved.txt"}}},
    {"uploads", NoFault, {{"upload-tuning"}, {"--yes", "upload-tuning"}, {"--yes", "upload-algorithm"}}},
    {"backup-restore", NoFault, {{"backup", "DIR/b"}, {"set", "Dry", "0"}, {"--yes", "restore", "DIR/b/*snapshot.json"}}},
    {"memory", NoFault, {{"memory", "dump", "DIR/dump.bin"}, {"--yes", "memory", "erase"}, {"--yes", "send", "0B50000000"}}},
    {"firmware-verify-go", {"--start-in-bootloader"}, {{"firmware", "verify"}, {"--yes", "firmware", "go"}, {"info"}}},
    {"firmware-upgrade", {"--firmware", "12"}, {{"--yes", "firmware", "upgrade"}, {"info"}}},
    {"silent", {"--silent"}, {{"info"}, {"set", "Dry", "510"}, {"backup", "DIR/b"}, {"--yes", "memory", "erase"}}},
    {"garbled", {"--garbled"}, {{"info"}, {"diff", "DIR/none.txt"}}},
    {"short-105", {"--short-answer", "105"}, {{"get"}, {"backup", "DIR/b"}}},
    {"unplug-after-0", {"--unplug-after", "0"}, {{"set", "Dry", "510"}}},
    {"bootloader", {"--start-in-bootloader", "--bootloader-synchronised"}, {{"info"}, {"get"}}},
};

QString normalisedCli(QString text, const QString &dir, const QString &port)
{
    text.replace(dir, QStringLiteral("$DIR"));
    if (!port.isEmpty()) {
        text.replace(port, QStringLiteral("$PORT"));
        text.replace(QString(port).replace(QLatin1Char('/'), QLatin1Char('_')), QStringLiteral("$PORT_NAME"));
    }
    text.replace(QDir::homePath(), QStringLiteral("$HOME"));
    // The tool runs on the real clock: dates, times and durations are not part of the record.
    static const QRegularExpression stamp(QStringLiteral(R"(\d{4}-\d\d-\d\d[ T]\d\d[-:]\d\d[-:]\d\d)"));
    text.replace(stamp, QStringLiteral("<date time>"));
    // A second backup within the same second is named " (2)": the seconds decide, not the tool.
    static const QRegularExpression sameSecond(QStringLiteral(R"( \(\d+\)( preset| report| snapshot))"));
    text.replace(sameSecond, QStringLiteral("\\1"));
    static const QRegularExpression rate(QStringLiteral(R"([\d.]+ KB/s, (\?|\d+) s left)"));
    text.replace(rate, QStringLiteral("<rate, time left>"));
    return text;
}

// The tool's words (its exit code, what it printed) and the wire (what the pedal received, without
// times: the pseudo-terminal pedal stamps them on the real clock), each under the command's line.
Records runCliScenario(const CliScenario &s, const QTemporaryDir &dir)
{
    const QString recordFile = dir.filePath(QStringLiteral("wire.txt"));
    PedalProcess pedal(QStringList{QStringLiteral("--record"), recordFile} + s.pedalArgs);
    const QString port = pedal.path();
    QStringList record;
    QStringList wireRecord;
    qsizetype seen = 0;
    for (QStringList args : s.commands) {
        args.replaceInStrings(QRegularExpression(QStringLiteral("^DIR")), dir.path());
        for (QString &a : args) { // DIR/b/*snapshot.json: the one file of that pattern
            if (a.contains(QLatin1Char('*'))) {
                const QFileInfo pattern(a);
                const QStringList found = QDir(pattern.path()).entryList({pattern.fileName()}, QDir::Files);
                if (found.size() == 1)
                    a = pattern.path() + QLatin1Char('/') + found.first();
            }
        }
        const bool ownPort = args.contains(QStringLiteral("--port"));
        const ProgramRun r = runProgram(QStringLiteral(QUARNELO_CLI_PATH),
                                        ownPort ? args : QStringList{QStringLiteral("--port"), port} + args, dir.path());
        QStringList shown = args;
        shown.replaceInStrings(dir.path(), QStringLiteral("$DIR"));
        const QString command = QStringLiteral("$ quarnelo-cli %1").arg(normalisedCli(shown.join(QLatin1Char(' ')), dir.path(), port));
        record << command;
        wireRecord << command;
        record << QStringLiteral("exit %1").arg(r.code);
        for (const QString &line : normalisedCli(r.out, dir.path(), port).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            record << QStringLiteral("out: ") + line;
        for (const QString &line : normalisedCli(r.err, dir.path(), port).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            record << QStringLiteral("err: ") + line;
        QFile f(recordFile);
        QStringList wire;
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray &line : f.readAll().split('\n'))
                if (!line.trimmed().isEmpty())
                    wire << messageText(QByteArray::fromHex(line.split(' ').last()));
        for (qsizetype i = seen; i < wire.size(); ++i)
            wireRecord << QStringLiteral("wire: ") + wire[i];
        seen = wire.size();
    }
    return {wireRecord.join(QLatin1Char('\n')) + QLatin1Char('\n'), record.join(QLatin1Char('\n')) + QLatin1Char('\n')};
}
} // namespace

class TestGolden : public QObject {
    Q_OBJECT
private slots:
    void editor_data()
    {
        QTest::addColumn<int>("scenario");
        for (int i = 0; i < int(std::size(EditorScenarios)); ++i)
            QTest::newRow(EditorScenarios[i].first) << i;
    }
    void editor()
    {
        QFETCH(int, scenario);
        QTemporaryDir dir;
        const auto &[name, run] = EditorScenarios[scenario];
        GoldenEditor e(dir.filePath(QStringLiteral("Documents")));
        run(e, dir.path());
        e.step(QStringLiteral("End"), [] {});
        // Whatever the editor writes after the scenario is not part of it; normalise the folder.
        Records records = e.records();
        records.wire.replace(dir.path(), QStringLiteral("$DIR"));
        records.words.replace(dir.path(), QStringLiteral("$DIR"));
        compareWithGolden(QStringLiteral("editor"), QLatin1String(name), records);
    }

    void cli_data()
    {
        QTest::addColumn<int>("scenario");
        for (int i = 0; i < int(std::size(CliScenarios)); ++i)
            QTest::newRow(CliScenarios[i].name) << i;
    }
    void cli()
    {
        QFETCH(int, scenario);
        QTemporaryDir dir;
        compareWithGolden(QStringLiteral("cli"), QLatin1String(CliScenarios[scenario].name),
                          runCliScenario(CliScenarios[scenario], dir));
    }
};

QTEST_MAIN(TestGolden)
#include "tst_golden.moc"
