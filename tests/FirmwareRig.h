#pragma once
// The firmware tests' fixture: an editor core linked to the in-process simulated pedal, the
// carried images, and small images made to order.
#include "support/Finish.h"
#include "CoreRig.h"
#include "algorithms/FirmwareImage.h"
#include "algorithms/StandInImages.h"
#include "device/Bootloader.h"
#include "device/Communication.h"
#include "device/D2XXUnit.h"
#include "pedal/EditorCore.h"
#include "pedal/FirmwareUpgrade.h"
#include "simulator/SimBackend.h"
#include "support/Clock.h"
#include "support/Prompts.h"
#include "support/Resources.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

inline QByteArray carried(int n)
{
    QByteArray image;
    Resources::load(QStringLiteral("firmware_%1").arg(n), &image);
    return image;
}

// A minimal image: a vector table (stack pointer, then the reset vector in every handler's
// place) and a body.
inline QByteArray imageWith(quint32 stack, quint32 reset, int size)
{
    QByteArray image(size, char(0x5A));
    for (int v = 0; v < FirmwareImage::VectorWords && 4 * v + 4 <= size; ++v)
        qToLittleEndian(v == 0 ? stack : reset, image.data() + 4 * v);
    return image;
}

struct Rig : CoreRig {
    explicit Rig(int firmware = 12)
    {
        pedal()->state.firmware = quint8(firmware);
        pedal()->wireTiming = true; // the time limits are met at the wire's pace
    }
    FirmwareUpgrade &upgrade = core.service.firmware();
    bool received(const QByteArray &bytes) { return CoreRig::received().contains(bytes); }
    // Upgrade Mode on a linked pedal running firmware 9 or newer: the pedal is in its bootloader.
    void intoBootloader()
    {
        finished(service.linkSimulated());
        finished(upgrade.chooseUpgradeMode());
        QVERIFY(core.comm.bootloaderLinked());
    }
    QByteArray flash(int size) { return simulated.pedal()->state.flash.left(size); }
};
