#pragma once
// The standalone simulated pedal on a pseudo-terminal, for tests that go through a real serial
// device: started with its options, stopped with the test.

#include <QProcess>
#include <QString>
#include <QStringList>

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
