// Replays the saved fuzzer inputs through the parsers in every test run.
#include "fuzz/FuzzTargets.h"

#include <QDirIterator>
#include <QFile>
#include <QtTest>

class TestFuzzCorpus : public QObject {
    Q_OBJECT
private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("path");
        QDirIterator it(QStringLiteral(FUZZ_CORPUS_DIR), QDir::Files, QDirIterator::Subdirectories);
        int n = 0;
        while (it.hasNext()) {
            const QString path = it.next();
            const QString target = QFileInfo(path).dir().dirName();
            QTest::newRow(qPrintable(target + "/" + QFileInfo(path).fileName())) << target << path;
            ++n;
        }
        QVERIFY(n > 0);
    }
    void replay()
    {
        QFETCH(QString, target);
        QFETCH(QString, path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray d = f.readAll();
        const auto *p = reinterpret_cast<const uint8_t *>(d.constData());
        if (target == "reply")
            FuzzTargets::replyDecoder(p, size_t(d.size()));
        else if (target == "hextext")
            FuzzTargets::hexText(p, size_t(d.size()));
        else if (target == "preset")
            FuzzTargets::presetFile(p, size_t(d.size()));
        else if (target == "header")
            FuzzTargets::imageHeader(p, size_t(d.size()));
        else if (target == "answer")
            FuzzTargets::deviceAnswer(p, size_t(d.size()));
        else if (target == "version")
            FuzzTargets::versionText(p, size_t(d.size()));
        else if (target == "program")
            FuzzTargets::programVersion(p, size_t(d.size()));
        else if (target == "dat")
            FuzzTargets::algorithmImage(p, size_t(d.size()));
        else if (target == "firmware")
            FuzzTargets::firmwareImage(p, size_t(d.size()));
        else if (target == "bootloader")
            FuzzTargets::bootloaderAnswers(p, size_t(d.size()));
        else if (target == "dump")
            FuzzTargets::settingsDump(p, size_t(d.size()));
        else if (target == "cli")
            FuzzTargets::commandLine(p, size_t(d.size()));
        else
            QFAIL(qPrintable("no fuzz target named " + target));
    }
};

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "tst_fuzzcorpus.moc"
