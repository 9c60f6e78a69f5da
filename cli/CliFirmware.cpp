// firmware upgrade | go | verify: the pedal's firmware through its bootloader.
#include "cli/CliCommandTable.h"
#include "cli/CliWait.h"

#include "algorithms/FirmwareImage.h"
#include "pedal/FirmwareUpgrade.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <unistd.h>

namespace Cli {
int checkFirmwareFile(Invocation &i)
{
    const Options &o = i.options;
    if (o.file.isEmpty())
        return Pass;
    // The image is read and checked before anything is opened.
    QString problem;
    if (FirmwareImage::readFile(o.file, &i.firmwareImage, &problem)) {
        QByteArray checked = i.firmwareImage;
        problem = FirmwareImage::check(&checked);
    }
    if (!problem.isEmpty()) {
        i.err << QFileInfo(o.file).fileName() << " cannot be written: " << problem << ". Nothing was sent.\n";
        return Failed;
    }
    return Pass;
}

namespace {
// Why the firmware command found no running firmware after its bootloader answered nothing to
// 0x7F: how the device information request ended.
QString notRunning(Session &s)
{
    const PedalState &state = s.service().state();
    const QString noBootloader = QStringLiteral("The pedal's bootloader did not answer 0x7F (twice), and its firmware's "
                                                "answer to the device information request ");
    switch (state.lastAnswer) {
    case PedalState::Answer::Unreadable:
        return noBootloader + QStringLiteral("was garbled: it could not be read. Nothing was written to it. Check the "
                                             "USB connection and run the command again.");
    case PedalState::Answer::Incomplete:
        return noBootloader + QStringLiteral("was incomplete (%1). Nothing was written to it. Check the USB connection "
                                             "and run the command again.")
                                  .arg(state.unknownReason);
    case PedalState::Answer::BootloaderByte:
        return QStringLiteral("The pedal answered the device information request with its bootloader's byte, but not "
                              "0x7F. Nothing was written to it. Switch the pedal off and on, and run the command again.");
    default:
        return QStringLiteral("The pedal answers nothing: neither its bootloader (0x7F, twice) nor its firmware (the "
                              "device information request). Check that it is powered and connected.");
    }
}

// Where the pedal is after the request to enter its bootloader met no acknowledge of 0x7F, and
// how to leave it.
QString handshakeFailed(Session &s, const Bootloader &boot)
{
    const QString nothing = QStringLiteral("Nothing was erased or written.");
    switch (boot.lastAnswer()) {
    case Bootloader::Answer::Nack:
        return QStringLiteral("The pedal entered its bootloader and waits there; %1. %2 Switch the pedal off and on to "
                              "leave the bootloader (it starts its firmware again), then run the command again.")
            .arg(boot.lastProblem(), nothing);
    case Bootloader::Answer::Other:
        return QStringLiteral("The pedal's bootloader does not answer as it should: %1. The pedal may wait in its "
                              "bootloader. %2 Switch the pedal off and on to leave it (it starts its firmware again), "
                              "then run the command again.")
            .arg(boot.lastProblem(), nothing);
    case Bootloader::Answer::NoAnswer:
        break;
    default:
        return QStringLiteral("The pedal went away at the bootloader's handshake. %1 Connect it again and run the "
                              "command again.")
            .arg(nothing);
    }
    // Silence: did the pedal stay in its firmware, or is it somewhere that answers nothing?
    Cli::finish(s.service().requestDeviceInformation());
    s.prompts->messages.clear(); // worded here
    const PedalState &state = s.service().state();
    if (state.reported)
        return QStringLiteral("The pedal did not enter its bootloader: nothing answered 0x7F (twice), and it still runs "
                              "firmware %1. %2 Run the command again, holding SHIFT until it says to release it.")
            .arg(state.reported->firmware)
            .arg(nothing);
    if (state.lastAnswer == PedalState::Answer::BootloaderByte)
        return QStringLiteral("The pedal waits in its bootloader: it did not answer 0x7F in time, and answered the device "
                              "information request with its bootloader's byte. %1 Run the command again (it finds the "
                              "bootloader), or leave the bootloader with %2.")
            .arg(nothing, s.prompts->command(QStringLiteral("--yes firmware go")));
    return QStringLiteral("The pedal answers nothing: not 0x7F (twice) after the request to enter its bootloader, nor "
                          "the device information request since. It may wait in its bootloader. %1 Run the command "
                          "again: it looks for the bootloader first. Should nothing answer then either, switch the "
                          "pedal off and on (it starts its firmware) and run it once more.")
        .arg(nothing);
}
} // namespace

// Finds the pedal in its bootloader or running its firmware. It ends with what the upgrade
// told: where it stopped and the way back.
int runFirmware(Invocation &i)
{
    Session &s = *i.session;
    const Options &o = i.options;
    const QByteArray &fileImage = i.firmwareImage;
    QTextStream &out = i.out;
    const QString action = o.command.value(1);
    Communication &comm = s.core.comm;
    FirmwareUpgrade &upgrade = s.service().firmware();
    const auto finish = [&](int code) {
        if (comm.linked())
            s.service().unlink();
        s.flush();
        return code;
    };
    // When the upgrade told where it stopped and the way back, the link's own word on an unplug
    // would only send the user the wrong way.
    const auto oneStory = [&](bool done) {
        QCoreApplication::processEvents(); // messages queued by a lost device
        using Fixed = Prompts::Fixed;
        const bool toldWhereItStopped = !upgrade.lastMessage().isEmpty();
        s.prompts->messages.removeIf([&](const CliPrompts::Said &m) {
            return (toldWhereItStopped && m.fixed == Fixed::PedalDisconnected) ||
                   (!done && (m.fixed == Fixed::UpgradeComplete || m.fixed == Fixed::UpgradeCompleteUnread));
        });
    };
    // This command says itself which firmware the pedal runs: the device information request's
    // call for an upgrade is no news here.
    s.prompts->firmwareGateIsNews = false;
    Cli::finish(s.service().link(false));
    s.prompts->messages.clear();
    if (s.lost || !comm.linked()) {
        if (s.lost)
            s.err << "Could not open " << comm.deviceSerialNumber() << "\n";
        else
            s.err << CliPrompts::oneLine(comm.openFailureText()) << "\n";
        return Failed;
    }
    // First look for the bootloader (a pedal plugged in with SHIFT held, or left there by an
    // upgrade that stopped); a running firmware ignores the byte.
    const Bootloader::Answer found = Cli::finish(upgrade.findBootloader());
    if (found == Bootloader::Answer::DeviceFailed || s.lost) {
        s.err << "The pedal went away while its bootloader was looked for. Nothing was written to it.\n";
        return finish(Failed);
    }
    if (found != Bootloader::Answer::Ack && found != Bootloader::Answer::NoAnswer) {
        s.err << "The pedal does not answer as its bootloader should: " << upgrade.bootloader().lastProblem()
              << ". Nothing was written to it. Switch the pedal off and on, holding SHIFT, and run the command again.\n";
        return finish(Failed);
    }
    if (found == Bootloader::Answer::NoAnswer) {
        // No bootloader: the pedal's firmware answers the device information request, or nothing does.
        comm.setLegacyUpgradeMode(false);
        Cli::finish(s.service().requestDeviceInformation());
        s.prompts->messages.clear(); // a failed request is worded here, from how it ended
        if (s.lost) {
            s.err << "The pedal went away while it was asked for its firmware. Nothing was written to it.\n";
            return finish(Failed);
        }
        if (!s.service().state().reported) {
            s.err << notRunning(s) << "\n";
            return finish(Failed);
        }
        const int running = s.service().state().reported->firmware;
        if (action != QLatin1String("upgrade")) {
            s.err << "The pedal is not in its bootloader: it runs its firmware (firmware " << running << ").\n";
            return finish(Failed);
        }
        if (running < 9) {
            s.err << QStringLiteral("The pedal runs firmware %1, which cannot enter its bootloader on request. Unplug "
                                    "it, connect it again while holding SHIFT, and run the command again.\n")
                         .arg(running);
            return finish(Failed);
        }
        // The backup comes first; only then is SHIFT held, when the pedal is asked to enter its
        // bootloader.
        s.prompts->beforeHoldingShift = [&] {
            s.flush();
            s.err << "The pedal runs firmware " << running << ". Hold the pedal's SHIFT button";
            if (isatty(STDIN_FILENO)) {
                s.err << " and press Enter." << Qt::flush;
                QTextStream(stdin).readLine();
            } else {
                s.err << "; it enters its bootloader now.\n";
            }
            s.err.flush();
        };
        Cli::finish(upgrade.chooseUpgradeMode());
        s.prompts->beforeHoldingShift = nullptr;
        s.flush();
        if (!comm.bootloaderLinked()) {
            if (s.prompts->fixedSaid.contains(Prompts::Fixed::BootloaderConnectionFailed))
                s.err << handshakeFailed(s, upgrade.bootloader()) << "\n";
            return finish(Failed);
        }
    } else {
        out << "The pedal is in its bootloader.\n";
    }

    if (action == QLatin1String("go")) {
        const auto r = Cli::finish(upgrade.restartDevice());
        oneStory(r == FirmwareUpgrade::Outcome::Done);
        s.flush();
        if (r == FirmwareUpgrade::Outcome::Done && s.service().state().reported)
            out << "The pedal runs firmware " << s.service().state().reported->firmware << ".\n";
        return finish(r == FirmwareUpgrade::Outcome::Done ? Ok : Failed);
    }
    QByteArray image;
    QString what;
    const int number = o.firmware < 0 ? 15 : o.firmware; // a file comes with its number
    if (!o.file.isEmpty()) {
        image = fileImage; // read and checked before the port was opened
        what = QFileInfo(o.file).fileName();
    } else {
        what = QStringLiteral("Firmware_%1").arg(number);
        QString error;
        FirmwareImage::loadCarried(what, &image, &error);
    }
    if (action == QLatin1String("verify")) {
        const auto r = Cli::finish(upgrade.verifyImage(image, number));
        oneStory(r == FirmwareUpgrade::Outcome::Done);
        s.flush();
        if (r == FirmwareUpgrade::Outcome::Done)
            out << "The pedal's flash holds " << what << ".\n";
        return finish(r == FirmwareUpgrade::Outcome::Done ? Ok : Failed);
    }

    upgrade.verifyAfterWriting = !o.noVerify;
    const bool terminal = isatty(STDOUT_FILENO);
    int shownTenth = -1;
    QElapsedTimer timer;
    timer.start();
    QObject::connect(&upgrade, &FirmwareUpgrade::progress, &upgrade,
                     [&](int block, int blocks, qint64 bytes, qint64 total, qint64 msLeft) {
                         const double rate = timer.elapsed() > 0 ? bytes * 1000.0 / timer.elapsed() : 0;
                         const QString line =
                             QStringLiteral("block %1/%2, %3 of %4 bytes, %5 KB/s, %6 s left")
                                 .arg(block)
                                 .arg(blocks)
                                 .arg(bytes)
                                 .arg(total)
                                 .arg(rate / 1024, 0, 'f', 1)
                                 .arg(msLeft < 0 ? QStringLiteral("?") : QString::number((msLeft + 999) / 1000));
                         if (terminal) {
                             out << "\r" << line << "   " << Qt::flush;
                         } else if (blocks > 0 && block * 10 / blocks != shownTenth) {
                             shownTenth = block * 10 / blocks;
                             out << line << "\n" << Qt::flush;
                         }
                     });
    const qsizetype asked = s.prompts->questions.size();
    const auto r = Cli::finish(upgrade.upgradeImage(image, number, what));
    if (terminal)
        out << "\n";
    // The downgrade question, answered by --yes, is said with its answer.
    for (const QString &q : s.prompts->questions.mid(asked))
        s.err << q << " Yes (--yes).\n";
    oneStory(r == FirmwareUpgrade::Outcome::Done);
    s.flush();
    const auto &reported = s.service().state().reported;
    if (r == FirmwareUpgrade::Outcome::Done && upgrade.verifyAfterWriting)
        out << "Read back: the flash holds " << what << " and the firmware number record " << number << ".\n";
    if (r == FirmwareUpgrade::Outcome::Done && reported)
        out << "The pedal runs firmware " << reported->firmware << ".\n";
    else if (reported && comm.linked() && !comm.bootloaderLinked())
        s.err << "The pedal reports firmware " << reported->firmware << ", not " << number << ".\n";
    if (r == FirmwareUpgrade::Outcome::Done && !upgrade.verifyAfterWriting)
        out << what << " and the firmware number record " << number
            << " were written, not read back: --no-verify asked for no read-back, so whether the flash holds them "
               "was not checked. The exit code is 0 for that reason, not because the flash was found right.\n";
    return finish(r == FirmwareUpgrade::Outcome::Done ? Ok : Failed);
}
} // namespace Cli
