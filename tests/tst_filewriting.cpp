// Files written honestly: only onto a regular file or a new name, every byte on the disk before
// a file counts as written, and a failure leaves the earlier file and nothing else behind.
#include "support/Finish.h"
#include "CoreRig.h"
#include "FullDisk.h"
#include "pedal/EditorCore.h"
#include "pedal/SettingsMemory.h"
#include "presets/PresetFile.h"
#include "simulator/SimBackend.h"
#include "support/Clock.h"
#include "support/FileWriting.h"
#include "support/Prompts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using FileWriting::Target;

namespace {
QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Every name in a folder, the hidden ones (a temporary file) too.
QStringList namesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The reason the kernel gives for a write past the file size limit.
QString tooLarge() { return QString::fromLocal8Bit(std::strerror(EFBIG)); }

// Makes what the rows of a target table name at path (a file of the test's folder); returns the
// path to write to.
QString make(const QString &kind, const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (kind == "a regular file")
        put(path, "earlier");
    else if (kind == "a link to a regular file") {
        put(path + ".real", "earlier");
        QFile::link(path + ".real", path);
    } else if (kind == "a named pipe")
        ::mkfifo(name.constData(), 0600);
    else if (kind == "a folder")
        QDir().mkdir(path);
    else if (kind == "a link to a device")
        QFile::link(QStringLiteral("/dev/full"), path);
    else if (kind == "a link to nothing")
        QFile::link(path + ".gone", path);
    else if (kind == "a socket") {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, name.constData(), sizeof address.sun_path - 1);
        ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::close(fd);
    } else if (kind == "the device /dev/full")
        return QStringLiteral("/dev/full");
    else if (kind == "a name in a missing folder")
        return QFileInfo(path).absolutePath() + QStringLiteral("/missing/") + QFileInfo(path).fileName();
    return path;
}

void targetRows(bool deviceItself)
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("problem"); // what the refusal says after the file's name; empty: written
    QTest::newRow("a new name") << "nothing" << "";
    QTest::newRow("a regular file") << "a regular file" << "";
    QTest::newRow("a link to a regular file") << "a link to a regular file" << "";
    QTest::newRow("a named pipe") << "a named pipe" << "is a named pipe, not a regular file";
    QTest::newRow("a folder") << "a folder" << "is a folder";
    QTest::newRow("a socket") << "a socket" << "is a socket, not a regular file";
    QTest::newRow("a link to a device") << "a link to a device" << "is a device, not a regular file";
    if (deviceItself) // a preset's name ends in .txt
        QTest::newRow("the device /dev/full") << "the device /dev/full" << "full is a device, not a regular file";
    QTest::newRow("a link to nothing") << "a link to nothing" << "is a link to";
    QTest::newRow("a missing folder") << "a name in a missing folder" << "/missing does not exist";
}

// What was at a target is still there as it was: the kind of thing, and an earlier file's bytes.
void sameAsBefore(const QString &kind, const QString &path)
{
    const Target target = FileWriting::checkTarget(path);
    if (kind == "a named pipe")
        QCOMPARE(target, Target::NamedPipe);
    else if (kind == "a folder")
        QVERIFY(target == Target::Folder && namesIn(path).isEmpty());
    else if (kind == "a socket")
        QCOMPARE(target, Target::Socket);
    else if (kind.contains("device"))
        QVERIFY(target == Target::Device && QFileInfo(QStringLiteral("/dev/full")).isFile() == false);
    else if (kind == "a link to nothing")
        QVERIFY(target == Target::BrokenLink && !QFileInfo::exists(path + ".gone"));
    else if (kind == "a name in a missing folder")
        QVERIFY(!QFileInfo::exists(QFileInfo(path).absolutePath()));
}

struct Rig : CoreRig {
    Rig() { finished(service.linkSimulated()); }
};
} // namespace

class TestFileWriting : public QObject {
    Q_OBJECT
private slots:
    // Only a regular file (a link to one is followed) or a new name is written; anything else
    // is refused with what it is, before a byte is written, and stays as it was.
    void targets_data() { targetRows(true); }
    void targets()
    {
        QFETCH(QString, kind);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        const QString path = make(kind, dir.filePath("target.bin"));
        const QString found = FileWriting::targetProblem(path);
        // Checked first: a write onto a device that was not refused would replace it.
        QVERIFY2(problem.isEmpty() ? found.isEmpty() : found.contains(problem), qPrintable(found));
        const QByteArray bytes(300, 'n');
        QString error;
        const bool written = FileWriting::writeWhole(path, bytes, &error);
        if (problem.isEmpty()) {
            QVERIFY2(written, qPrintable(error));
            QCOMPARE(contents(path), bytes);
            if (kind == "a link to a regular file")
                QVERIFY(QFileInfo(path).isSymLink() && contents(path + ".real") == bytes);
            QCOMPARE(namesIn(dir.path()).size(), kind == "a link to a regular file" ? 2 : 1); // no temporary file
        } else {
            QVERIFY(!written);
            QCOMPARE(error, found);
            sameAsBefore(kind, path);
        }
    }

    // The size on the disk is what counts: a file one byte short of what was meant is not
    // written, whatever the writes said.
    void sizeOnTheDiskIsChecked_data()
    {
        QTest::addColumn<int>("onDisk");
        QTest::addColumn<int>("meant");
        QTest::newRow("whole") << 182 << 182;
        QTest::newRow("one byte short") << 181 << 182;
        QTest::newRow("empty") << 0 << 16384;
    }
    void sizeOnTheDiskIsChecked()
    {
        QFETCH(int, onDisk);
        QFETCH(int, meant);
        QTemporaryDir dir;
        QFile file(dir.filePath("file.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(QByteArray(onDisk, 'x')), qint64(onDisk));
        QString error;
        QCOMPARE(FileWriting::checkWritten(file, meant, &error), onDisk == meant);
        QCOMPARE(error, onDisk == meant ? QString() : QStringLiteral("only %1 of %2 bytes reached the disk").arg(onDisk).arg(meant));
    }

    // A disk that takes only 100 bytes: the write fails with the system's reason, an earlier
    // file keeps its bytes and no temporary or partial file is left. Qt's save file reports
    // success for a small file whose bytes sat in its buffer, so the small rows are the ones
    // that matter.
    void fullDisk_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("earlier");
        QTest::newRow("a preset, 182 bytes, new") << 182 << false;
        QTest::newRow("a preset, 182 bytes, over an earlier one") << 182 << true;
        QTest::newRow("a memory dump, 16384 bytes, new") << 16384 << false;
        QTest::newRow("a memory dump, 16384 bytes, over an earlier one") << 16384 << true;
        QTest::newRow("20000 bytes, over an earlier file") << 20000 << true;
    }
    void fullDisk()
    {
        QFETCH(int, size);
        QFETCH(bool, earlier);
        QTemporaryDir dir;
        const QString path = dir.filePath("file.bin");
        if (earlier)
            QVERIFY(put(path, "earlier"));
        const QStringList before = namesIn(dir.path());
        QString error;
        bool written = true;
        {
            FullDisk disk(100);
            written = FileWriting::writeWhole(path, QByteArray(size, 'n'), &error);
        }
        QVERIFY(!written);
        QCOMPARE(error, tooLarge());
        QCOMPARE(namesIn(dir.path()), before);
        QCOMPARE(contents(path), earlier ? QByteArray("earlier") : QByteArray("<missing>"));
    }

    // The memory dump the editor keeps among the backups, on a full disk: the check is shown,
    // the user is told the dump was not saved and why, and nothing is kept, not even the
    // temporary file.
    void dumpOnAFullDisk()
    {
        Rig rig;
        rig.prompts.messages.clear();
        SettingsMemory::Outcome outcome = SettingsMemory::Outcome::Failed;
        {
            FullDisk disk(100);
            outcome = finished(rig.service.memory().read(QStringLiteral("50")));
        }
        QCOMPARE(outcome, SettingsMemory::Outcome::Done);
        QCOMPARE(rig.prompts.messages,
                 (QStringList{"Memory is not empty", "The memory dump could not be saved with the backups: " + tooLarge()}));
        QVERIFY(rig.core.log.lines().contains("memory dump not saved: " + tooLarge()));
        QCOMPARE(namesIn(rig.service.backupFolder()), QStringList());
    }

    // Save Local Preset on a full disk: the user is told why, never "File saved successfully",
    // and an earlier preset of that name is unchanged.
    void presetSaveOnAFullDisk_data()
    {
        QTest::addColumn<bool>("earlier");
        QTest::newRow("a new preset") << false;
        QTest::newRow("over an earlier preset") << true;
    }
    void presetSaveOnAFullDisk()
    {
        QFETCH(bool, earlier);
        Rig rig;
        QTemporaryDir dir;
        const QString path = dir.filePath("kept.txt");
        const QByteArray earlierBytes = PresetFile::fileBytes(PresetFile::PresetValues{});
        if (earlier)
            QVERIFY(put(path, earlierBytes));
        const QStringList before = namesIn(dir.path());
        rig.prompts.messages.clear();
        PedalService::Result result = PedalService::Result::Done;
        {
            FullDisk disk(100);
            result = finished(rig.service.savePreset(path));
        }
        QCOMPARE(result, PedalService::Result::Failed);
        QCOMPARE(rig.prompts.messages, QStringList{"Error saving file: " + tooLarge()});
        QCOMPARE(namesIn(dir.path()), before);
        QCOMPARE(contents(path), earlier ? earlierBytes : QByteArray("<missing>"));
    }

    // Save Local Preset onto each kind of target: a regular file or a link to one takes the
    // preset; anything else is refused with what it is and stays as it was.
    void presetSaveTargets_data() { targetRows(false); }
    void presetSaveTargets()
    {
        QFETCH(QString, kind);
        QFETCH(QString, problem);
        Rig rig;
        QTemporaryDir dir;
        const QString path = make(kind, dir.filePath("target.txt"));
        QVERIFY2(problem.isEmpty() == FileWriting::targetProblem(path).isEmpty(), qPrintable(path));
        rig.prompts.messages.clear();
        const PedalService::Result result = finished(rig.service.savePreset(path));
        if (problem.isEmpty()) {
            QCOMPARE(result, PedalService::Result::Done);
            QCOMPARE(rig.prompts.messages, QStringList{"File saved successfully: " + path});
            QCOMPARE(contents(path).size(), PresetFile::FileBytes);
        } else {
            QCOMPARE(result, PedalService::Result::Failed);
            QCOMPARE(rig.prompts.messages.size(), 1);
            QVERIFY2(rig.prompts.messages[0].startsWith("Error saving file: ") && rig.prompts.messages[0].contains(problem),
                     qPrintable(rig.prompts.messages[0]));
            sameAsBefore(kind, path);
        }
    }
};

QTEST_GUILESS_MAIN(TestFileWriting)
#include "tst_filewriting.moc"
