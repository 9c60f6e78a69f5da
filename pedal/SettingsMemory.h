#pragma once
// The pedal's settings memory (its I2C EEPROM): Erase Settings, erasing and reading the memory
// at an I2C address, the check of the dump the pedal sends back, and the console's raw
// parameter write. Reached through the pedal service, which guards every message.

#include "pedal/BackupSnapshot.h"
#include "pedal/PedalService.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include "support/Task.h"

class Clock;
class Communication;
class D2XXUnit;
class DiagnosticLog;
class PedalService;
class Prompts;

class SettingsMemory : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Done, Refused, Cancelled, Failed };

    SettingsMemory(PedalService &service, DiagnosticLog &log, Prompts &prompts, Clock &clock, D2XXUnit &d2xx,
                   Communication &comm, QObject *parent = nullptr);

    int eraseMessageMs = 100; // after an erase message
    int eraseSettleMs = 4000; // the memory's erase, before the memory-check question
    int dumpStartMs = 4000;   // how long a read waits for its dump to begin
    int dumpWireMs = 1500;    // a whole dump's time on the wire (16,385 bytes at 115200 baud)

    // The main window's Erase Settings: a backup, the question, the erase at "50", and the
    // memory check when the user wants it.
    Task<Outcome> eraseSettings();
    // The console's Erase E2P: asks "Erase EEPROM now?", then erase().
    Task<Outcome> eraseWithQuestion(QString address);
    // Erases the memory at an I2C address (two hex digits) after a backup.
    Task<Outcome> erase(QString address);
    // Before the memory at an I2C address is erased: a backup whose snapshot keeps that memory as
    // read just before, logged; when none can be made, asks whether to go on. False when not.
    Task<bool> backUpWithMemory(QString occasion, QString address);
    // Asks the pedal for its memory at an I2C address and waits until the dump is in and
    // checked, has ended short, or has not begun within dumpStartMs.
    Task<Outcome> read(QString address);
    // The console's Send: a parameter write from four hex digits of address and eight of value.
    Outcome sendParameterWrite(const QString &address, const QString &data);

    // The last memory check.
    struct Check {
        enum class Kind { None, Complete, Short, Missing } kind = Kind::None;
        QByteArray memory; // the 16,384 bytes of a complete dump
        int bytes = 0;     // the data bytes that arrived
        bool empty = false;
        QString savedPath; // where the complete dump was saved
    };
    const Check &lastCheck() const { return m_check; }

signals:
    void checked(); // a dump was checked, ended short, or did not come

private:
    bool allowed(const QString &what);
    Task<> eraseEEPROM(QString address);
    void readEEPROM(const QString &address);
    void onDump(const QByteArray &memory);
    void onShortDump(int bytes);
    // Reads the memory at address into a backup made with its snapshot left for later, and writes
    // the snapshot; a memory that cannot be read leaves no backup (its files are removed).
    Task<PedalService::Backup> addMemory(PedalService::Backup backup, QString occasion, QString address);
    // Reads the memory at address for a backup's snapshot: the bytes, or why they could not be read.
    Task<BackupSnapshot::Memory> readForBackup(QString address);
    bool m_readingForBackup = false;

    PedalService &m_service;
    DiagnosticLog &m_log;
    Prompts &m_prompts;
    Clock &m_clock;
    D2XXUnit &m_d2xx;
    Communication &m_comm;
    QString m_readAddress; // the address of the last read, for the dump's file name
    int m_checks = 0;
    Check m_check;
};
