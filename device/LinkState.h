#pragma once
// The link's state: whether a pedal is linked, and what the line talks to. Each change is an
// event named for what happened; an event the current state cannot take is refused (false)
// and changes nothing.

#include <QObject>

class LinkState : public QObject {
    Q_OBJECT
public:
    enum class State {
        NotLinked,
        Linking,          // the chosen device is being opened (and, in Upgrade Mode, its bootloader sought)
        RunningFirmware,  // linked to a pedal that runs its firmware
        Bootloader,       // linked to the pedal's bootloader
        Upgrading,        // linked; the line talks to the bootloader to reach it for an upgrade
        WaitingForReturn, // an unplugged pedal is watched for, to be linked again when it is back
    };
    Q_ENUM(State)

    explicit LinkState(QObject *parent = nullptr) : QObject(parent) {}

    State state() const { return m_state; }
    // Linked: the device is open and its link completed. A new link started from a linked
    // state keeps the old link counted until it completes or fails.
    bool linked() const;
    bool bootloaderLinked() const;
    // The firmware and algorithm the pedal last reported (0 and -1 until one answers; kept across
    // links, as the firmware and algorithm labels are).
    int firmware() const { return m_firmware; }
    int algorithm() const { return m_algorithm; }

    // Events.
    bool linking();                   // a device is being opened
    bool bootloaderReached();         // the handshake with the bootloader succeeded
    bool linkedUp();                  // the device is open and set up: the link completed
    bool linkFailed();                // the device could not be opened
    bool answered(int firmware, int algorithm); // the firmware answered the device information request
    bool upgradeStarted();            // the line turns to the bootloader for an upgrade
    bool upgradeEnded();              // the bootloader was left (or never reached): the firmware runs
    bool lost();                      // the device disappeared
    bool unlinked();                  // the device was closed on request
    bool watchingForReturn();         // the lost pedal is watched for
    bool cameBack();                  // the watch ended (the pedal is back, or it is no longer awaited)

signals:
    void stateChanged(LinkState::State state);

private:
    bool go(State to);
    bool isLinkedState() const;

    State m_state = State::NotLinked;
    bool m_wasLinked = false;        // while Linking: the state before was a linked one
    bool m_watchedBefore = false;     // while Linking: the state before was WaitingForReturn
    bool m_reachedBootloader = false; // while Linking: the handshake reached the bootloader
    int m_firmware = 0;
    int m_algorithm = -1;
};
