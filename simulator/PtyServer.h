#pragma once
// Serves the simulated pedal on a pseudo-terminal, one connection after another.

#include <QFile>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

class Clock;
class SimulatedPedal;

class PtyServer : public QObject {
    Q_OBJECT
public:
    PtyServer(SimulatedPedal *pedal, Clock *clock, QObject *parent = nullptr);
    ~PtyServer() override;

    // Opens the pseudo-terminal; path is the side clients open.
    bool open(QString *path, QString *error);
    // Appends each message received to this file, as hex with a timestamp, one per line.
    bool setRecordFile(const QString &path, QString *error);
    bool verbose = false;

signals:
    void unplugged();

private:
    void onReadable();
    void readPaced();
    void sendDue();

    SimulatedPedal *m_pedal;
    Clock *m_clock;
    int m_master = -1;
    int m_slave = -1; // kept open so the master never reads EIO between clients
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_sender;
    QTimer m_reader;          // reading again once the wire could have carried more bytes
    double m_wireUntilUs = 0; // with wire timing: the bytes read so far took the wire until then
    double m_lastReadUs = -1e12;
    QByteArray m_unsent;
    QFile m_record;
};
