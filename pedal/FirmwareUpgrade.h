#pragma once
// The firmware upgrade: bringing the pedal into its bootloader (Upgrade Mode, or the legacy
// way through Link), the checks before anything is erased, erase, the blocks, the firmware
// number record, the read-back, Go and the return to normal operation. One upgrade at a time;
// a step that fails stops the upgrade there, sends nothing more, and leaves the pedal in its
// bootloader so it can be upgraded again.

#include "device/Bootloader.h"
#include "pedal/Refusal.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

class Clock;
class Communication;
class D2XXUnit;
class DiagnosticLog;
class PedalService;
class Prompts;

class FirmwareUpgrade : public QObject {
    Q_OBJECT
public:
    // Unverified: everything was written and acknowledged, but the flash could not be read back;
    // the pedal stays in its bootloader.
    enum class Outcome { Done, Refused, Cancelled, Failed, Unverified };
    // What the flash holds when an upgrade stopped: erased or written part-way; everything
    // written and acknowledged but not read back; or read back (twice) and found other than
    // what was written.
    enum class Held { Incomplete, Unverified, Wrong };

    FirmwareUpgrade(PedalService &service, DiagnosticLog &log, Prompts &prompts, Clock &clock, D2XXUnit &d2xx,
                    Communication &comm, QObject *parent = nullptr);

    Bootloader &bootloader() { return m_boot; }

    // The Upgrade Mode command: on a linked pedal with firmware 9 or newer it sends the
    // enter-bootloader request (after the SHIFT question) and shakes hands with the bootloader;
    // otherwise it only sets the flags for the legacy way. Choosing it again turns it off.
    Task<> chooseUpgradeMode();
    bool upgradeModeOn() const;
    // On a pedal linked at its normal settings: shakes hands with a bootloader that is already
    // there (plugged in with SHIFT held, or left there by an upgrade that stopped), taking up one
    // synchronised before. Ack: the bootloader is linked, as by the legacy way's Link. Otherwise
    // the line goes back to its normal settings and the answer says what was heard.
    Task<Bootloader::Answer> findBootloader();

    // The chooser: "Firmware_5" ... "Firmware_15"; choosing one sets the image name and number.
    QStringList imageNames() const;
    void selectImage(const QString &name);
    QString imageName() const { return m_imageName; }
    // The firmware the pedal reported last (-1 when it has not answered): the chooser marks it.
    int pedalFirmware() const;
    int firmwareNumber() const { return m_number; }
    bool verifyAfterWriting = true;
    int settleAfterEnterMs = 200; // between the enter-bootloader request and the handshake

    // Upgrade Firmware: writes the chosen carried image.
    Task<Outcome> upgrade();
    // Writes an image file the user chose (a dialog when path is empty) after a question that
    // names the file, its size and the firmware number that will be recorded.
    Task<Outcome> upgradeFromFile(QString path = QString());
    // Writes image as firmware number into the pedal's bootloader; what names the image in
    // messages. A number below the pedal's firmware is asked about first: the firmware it
    // reported, or (found in its bootloader, it has not reported) the one its firmware number
    // record holds, read before anything is erased. Goes on to Go and the device information
    // request when everything was written and read back (or, asked not to read back, written).
    Task<Outcome> upgradeImage(QByteArray image, int number, QString what);
    // Leaves the bootloader: Go, the normal line settings, a fresh device information request.
    // Done when the pedal answers (with expectNumber, when given, as its firmware number).
    Task<Outcome> restartDevice(int expectNumber = -1);
    // The window's close box: refused while an upgrade runs, asks before starting an erased or
    // incomplete firmware; true when the window may close.
    Task<bool> closeWindow();
    // Reads the flash back and compares it with image (the image is checked and padded first)
    // and the firmware number record with number.
    Task<Outcome> verifyImage(QByteArray image, int number);

    bool running() const { return m_running; }
    // The last upgrade stopped part-way: the pedal's firmware is erased or incomplete.
    bool flashIncomplete() const { return m_flashIncomplete; }
    // The last upgrade wrote everything but could not read it back.
    bool writtenUnverified() const { return m_unverified; }
    // The firmware the pedal ran before the last upgrade wrote an older one (-1: no downgrade).
    int downgradedFrom() const { return m_downgradedFrom; }
    QString lastMessage() const { return m_lastMessage; }

signals:
    void upgradeModeChanged(bool on);
    void bootloaderReady();  // the upgrade window takes over
    void runningChanged(bool running);
    // Blocks written so far, of blocks; bytes of totalBytes; an estimate of the time left, the
    // read-back after the writing included when it will be made.
    void progress(int block, int blocks, qint64 bytes, qint64 totalBytes, qint64 msLeft);
    // Blocks read back and compared so far, of blocks; an estimate of the time left.
    void readBackProgress(int block, int blocks, qint64 msLeft);
    void finished(); // the window hides: back to normal operation

private:
    // Reads the blocks back from the flash base up, then the firmware number record; one that
    // differs (other than erased) is read a second time before it counts. block: the first that could not be read
    // or differs (-1 when all are equal; blocks.size(): the record); address: where it first
    // differs; erased: from there on the block reads erased (0xFF); record: what the record holds.
    struct ReadBack {
        Bootloader::Answer answer = Bootloader::Answer::Ack;
        int block = -1;
        quint32 address = 0;
        bool erased = false;
        QByteArray record;
    };
    Task<ReadBack> readBack(QList<QByteArray> blocks, int number);
    // Where back first differs from expected; erased: from there on it reads erased (0xFF), a
    // whole word or more.
    static qsizetype firstDifference(const QByteArray &back, const QByteArray &expected, bool *erased);
    // Reads expected.size() bytes at address into back, and once more when they differ (but for
    // a flash erased from the difference on: no byte changed on the way makes that).
    Task<Bootloader::Answer> readTwiceIfDifferent(quint32 address, QByteArray expected, QByteArray *back);
    // Where a read-back found the flash other than the image: "the flash holds other bytes at ..."
    // (opening: "The flash ...", a sentence of its own).
    static QString differsText(const ReadBack &r, bool opening = false);
    static QString recordText(const QByteArray &record);
    void setUpgradeMode(bool on);
    void restoreNormalLine();
    void enterBootloaderReady();
    // Stops an upgrade at step (said with problem and what the pedal holds) and tells the way
    // back for what the flash holds.
    Task<Outcome> stop(QString step, QString problem, QString holds, Held held = Held::Incomplete);
    Task<bool> pedalGone();
    Task<> tell(QString text);
    Refusal refusalToStart() const;

    PedalService &m_service;
    DiagnosticLog &m_log;
    Prompts &m_prompts;
    Clock &m_clock;
    D2XXUnit &m_d2xx;
    Communication &m_comm;
    Bootloader m_boot;
    QString m_imageName;
    int m_number = 15;
    bool m_running = false;
    bool m_flashIncomplete = false;
    bool m_unverified = false;
    bool m_writtenAndVerified = false; // for the message of a Go that fails after an upgrade
    int m_downgradedFrom = -1;
    QString m_lastMessage;
};
