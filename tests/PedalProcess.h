#pragma once
// The standalone simulated pedal on a pseudo-terminal, for tests that go through a real serial
// device: started with its options, stopped with the test.

#include <QProcess>
#include <QString>
#include <QStringList>

// One run of a program (quarnelo-cli, stm32flash) to its end, with what it printed.
struct ProgramRun {
    int code = -1; // -1: crashed or timed out
    QString out, err;
};

// home: when given, the program's HOME and documents folder (so its Backups folder is there).
inline ProgramRun runProgram(const QString &program, const QStringList &args, const QString &home = QString(),
                             int timeoutMs = 60000)
{
    QProcess p;
    if (!home.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_DOCUMENTS_DIR"), home + QStringLiteral("/Documents"));
        p.setProcessEnvironment(env);
    }
    p.start(program, args);
    ProgramRun r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

class PedalProcess {
public:
    explicit PedalProcess(const QStringList &args)
    {
        m_process.setProgram(QStringLiteral(PEDAL_SIM_PATH));
        m_process.setArguments(args);
        m_process.start();
        if (m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000))
            m_path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~PedalProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
    }
    QString path() const { return m_path; }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    QString m_path;
};
