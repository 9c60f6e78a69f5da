#include "device/LinkState.h"

bool LinkState::isLinkedState() const
{
    return m_state == State::RunningFirmware || m_state == State::Bootloader || m_state == State::Upgrading;
}

bool LinkState::linked() const { return isLinkedState() || (m_state == State::Linking && m_wasLinked); }

bool LinkState::bootloaderLinked() const
{
    return m_state == State::Bootloader || (m_state == State::Linking && m_reachedBootloader);
}

bool LinkState::go(State to)
{
    const bool changed = to != m_state;
    m_state = to;
    if (changed)
        emit stateChanged(to);
    return true;
}

bool LinkState::linking()
{
    if (m_state == State::Linking || m_state == State::Upgrading)
        return false;
    m_wasLinked = isLinkedState();
    m_watchedBefore = m_state == State::WaitingForReturn;
    m_reachedBootloader = false;
    return go(State::Linking);
}

bool LinkState::bootloaderReached()
{
    if (m_state == State::Linking) {
        m_reachedBootloader = true;
        return true;
    }
    if (m_state != State::Upgrading)
        return false;
    return go(State::Bootloader);
}

bool LinkState::linkedUp()
{
    if (m_state != State::Linking)
        return false;
    return go(m_reachedBootloader ? State::Bootloader : State::RunningFirmware);
}

bool LinkState::linkFailed()
{
    if (m_state != State::Linking)
        return false;
    // A link tried from a linked state leaves the old one standing, no longer in the bootloader.
    return go(m_wasLinked ? State::RunningFirmware : m_watchedBefore ? State::WaitingForReturn : State::NotLinked);
}

bool LinkState::answered(int firmware, int algorithm)
{
    if (m_state != State::RunningFirmware)
        return false;
    m_firmware = firmware;
    m_algorithm = algorithm;
    return true;
}

bool LinkState::upgradeStarted()
{
    if (m_state != State::RunningFirmware)
        return false;
    return go(State::Upgrading);
}

bool LinkState::upgradeEnded()
{
    if (m_state != State::Upgrading && m_state != State::Bootloader)
        return false;
    return go(State::RunningFirmware);
}

bool LinkState::lost()
{
    if (!linked())
        return false;
    return unlinked();
}

bool LinkState::unlinked()
{
    if (m_state == State::WaitingForReturn)
        return false;
    if (m_state == State::Linking) {
        // The device being opened went away: the link under way no longer stands on an old one.
        m_wasLinked = false;
        m_watchedBefore = false;
        m_reachedBootloader = false;
        return true;
    }
    return go(State::NotLinked);
}

bool LinkState::watchingForReturn()
{
    if (m_state != State::NotLinked)
        return false;
    return go(State::WaitingForReturn);
}

bool LinkState::cameBack()
{
    if (m_state != State::WaitingForReturn)
        return false;
    return go(State::NotLinked);
}
