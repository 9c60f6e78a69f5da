#include "pedal/PedalSettings.h"

#include "device/HexCodec.h"
#include "device/PedalMessages.h"
#include "pedal/DialMath.h"

using HexCodec::hexNumber;

namespace {
const char *const Tunings[] = {"No Tuning Selected", "Standard (EADGBE)", "Drop D (DADGBE)", "DADGAD",
                               "open D (DADF#AD)",   "Blues G (DGDGBD)",  "Open A (EAC#EAE)", "Open C (CGCGCE)",
                               "Bass Guitar"};
const char *const Controls[] = {"Control I", "Control II", "Control III", "Control IV", "Remote Footswitch"};
const QString Unknown = QStringLiteral("not known");

template <typename T>
bool held(const std::optional<T> &to, const std::optional<T> &from)
{
    return to && to != from;
}
} // namespace

PedalSettings PedalSettings::fromReport(const DeviceInformation &info,
                                        const std::array<quint16, ParameterCatalogue::Count> &addresses)
{
    PedalSettings s;
    s.words = info.parameterWords;
    for (int c = 0; c < 4; ++c) {
        if (info.assignFlags[size_t(c)] == 0) {
            s.assignItems[size_t(c)] = 0;
            continue;
        }
        const auto &offered = ParameterCatalogue::offeredOn(c);
        for (int k = 0; k < 5; ++k) {
            if (addresses[size_t(offered[size_t(k)])] == info.assignAddresses[size_t(c)])
                s.assignItems[size_t(c)] = k + 1;
        }
    }
    const int remote = ParameterCatalogue::RemoteFootswitch;
    if (info.assignFlags[remote] == 0)
        s.assignItems[remote] = 0;
    else if (info.assignAddresses[remote] == PedalMessages::RemoteBypassCode)
        s.assignItems[remote] = 1;
    else if (info.assignAddresses[remote] == PedalMessages::RemotePresetCode)
        s.assignItems[remote] = 2;
    if (info.footswitchMode <= 3) {
        s.shortPressChangesPreset = info.footswitchMode >= 2;
        s.longPressBypasses = info.footswitchMode % 2 == 1;
    }
    if (info.tuning <= 8)
        s.tuningItem = info.tuning;
    const int semitones = qint8(info.semitoneVariation);
    if (semitones >= -5 && semitones <= 3)
        s.semitoneVariation = semitones;
    if (info.instrumentRange == 0xFF || info.instrumentRange == 0xBA)
        s.instrumentRange = info.instrumentRange;
    if (info.bypassStore <= 1)
        s.storeBypassStatus = info.bypassStore == 1;
    if (info.midiChannel == 0 || info.midiChannel == 255)
        s.midiChannelItem = 0;
    else if (info.midiChannel <= 16)
        s.midiChannelItem = info.midiChannel;
    return s;
}

QString PedalSettings::controlName(int control) { return QLatin1String(Controls[control]); }

QString PedalSettings::assignText(int control, const std::optional<int> &item)
{
    if (!item)
        return Unknown;
    const QStringList items = ParameterCatalogue::assignItems(control);
    return items.value(*item, QStringLiteral("item %1").arg(*item));
}

QString PedalSettings::footswitchText(const std::optional<bool> &shortPressChangesPreset,
                                      const std::optional<bool> &longPressBypasses)
{
    if (!shortPressChangesPreset || !longPressBypasses)
        return Unknown;
    return QStringLiteral("short press %1, long press %2")
        .arg(*shortPressChangesPreset ? QStringLiteral("Change Preset") : QStringLiteral("Bypass"),
             *longPressBypasses ? QStringLiteral("Bypass") : QStringLiteral("Change Preset"));
}

QString PedalSettings::tuningText(const std::optional<int> &item)
{
    return item && *item >= 0 && *item <= 8 ? QLatin1String(Tunings[*item]) : Unknown;
}

QString PedalSettings::semitoneText(const std::optional<int> &semitones)
{
    if (!semitones)
        return Unknown;
    return (*semitones > 0 ? QStringLiteral("+") : QString()) + QString::number(*semitones);
}

QString PedalSettings::instrumentRangeText(const std::optional<quint8> &range)
{
    if (!range)
        return Unknown;
    return *range == 0xFF ? QStringLiteral("Standard") : *range == 0xBA ? QStringLiteral("Low") : hexNumber(*range, 2);
}

QString PedalSettings::midiChannelText(const std::optional<int> &item)
{
    if (!item)
        return Unknown;
    return *item == 0 ? QStringLiteral("OMNI") : QString::number(*item);
}

QString PedalSettings::noteFiltersText(const std::optional<QList<int>> &codes)
{
    if (!codes)
        return Unknown;
    if (codes->isEmpty())
        return QStringLiteral("none");
    QStringList notes;
    for (int code : *codes)
        notes << hexNumber(code, 2);
    return QStringLiteral("notes ") + notes.join(QStringLiteral(", "));
}

QString PedalSettings::onOffText(const std::optional<bool> &on, const QString &onText, const QString &offText)
{
    return !on ? Unknown : *on ? onText : offText;
}

QList<PedalSettings::Difference> PedalSettings::differences(const PedalSettings &from, const PedalSettings &to)
{
    QList<Difference> out;
    for (int i = 0; i < ParameterCatalogue::Count; ++i) {
        if (from.words[size_t(i)] == to.words[size_t(i)])
            continue;
        Difference d{ParameterCatalogue::name(i), hexNumber(from.words[size_t(i)], 8), hexNumber(to.words[size_t(i)], 8)};
        d.parameter = i;
        out << d;
    }
    for (int c = 0; c < ParameterCatalogue::AssignableControls; ++c) {
        if (held(to.assignItems[size_t(c)], from.assignItems[size_t(c)]))
            out << Difference{controlName(c), assignText(c, from.assignItems[size_t(c)]),
                              assignText(c, to.assignItems[size_t(c)])};
    }
    if ((held(to.shortPressChangesPreset, from.shortPressChangesPreset) ||
         held(to.longPressBypasses, from.longPressBypasses)) &&
        to.shortPressChangesPreset && to.longPressBypasses)
        out << Difference{QStringLiteral("Footswitch Mode"),
                          footswitchText(from.shortPressChangesPreset, from.longPressBypasses),
                          footswitchText(to.shortPressChangesPreset, to.longPressBypasses)};
    if (held(to.tuningItem, from.tuningItem))
        out << Difference{QStringLiteral("Tuning"), tuningText(from.tuningItem), tuningText(to.tuningItem)};
    if (held(to.semitoneVariation, from.semitoneVariation))
        out << Difference{QStringLiteral("Semitones"), semitoneText(from.semitoneVariation),
                          semitoneText(to.semitoneVariation)};
    if (held(to.instrumentRange, from.instrumentRange))
        out << Difference{QStringLiteral("Instrument Range"), instrumentRangeText(from.instrumentRange),
                          instrumentRangeText(to.instrumentRange)};
    const QString store = QStringLiteral("Store Bypass Status"), doNotStore = QStringLiteral("Do Not Store Bypass Status");
    if (held(to.storeBypassStatus, from.storeBypassStatus))
        out << Difference{QStringLiteral("Bypass Status"), onOffText(from.storeBypassStatus, store, doNotStore),
                          onOffText(to.storeBypassStatus, store, doNotStore)};
    if (held(to.midiChannelItem, from.midiChannelItem))
        out << Difference{QStringLiteral("MIDI Channel"), midiChannelText(from.midiChannelItem),
                          midiChannelText(to.midiChannelItem)};
    // The pedal never reports these: they are sent whenever the editor does not know them to be the same.
    if (held(to.noteFilters, from.noteFilters))
        out << Difference{QStringLiteral("Note Cut"), noteFiltersText(from.noteFilters), noteFiltersText(to.noteFilters),
                          false};
    if (held(to.rangeLimitOn, from.rangeLimitOn))
        out << Difference{QStringLiteral("Limit Range"), onOffText(from.rangeLimitOn, QStringLiteral("on"), QStringLiteral("off")),
                          onOffText(to.rangeLimitOn, QStringLiteral("on"), QStringLiteral("off")), false};
    return out;
}

QString PedalSettings::describe(const Difference &d)
{
    return QStringLiteral("%1: %2 -> %3%4")
        .arg(d.name, d.from, d.to, d.reportedBack ? QString() : QStringLiteral(" (the pedal does not report it)"));
}

QStringList PedalSettings::beyondReach(const DeviceInformation &pedal, const DeviceInformation &backup,
                                       const std::array<quint16, ParameterCatalogue::Count> &addresses)
{
    const PedalSettings held = fromReport(backup, addresses);
    QStringList out;
    for (int c = 0; c < ParameterCatalogue::AssignableControls; ++c) {
        if (held.assignItems[size_t(c)] || (backup.assignFlags[size_t(c)] == pedal.assignFlags[size_t(c)] &&
                                            backup.assignAddresses[size_t(c)] == pedal.assignAddresses[size_t(c)]))
            continue;
        out << QStringLiteral("%1 (address %2)").arg(controlName(c), hexNumber(backup.assignAddresses[size_t(c)], 4));
    }
    const auto value = [&](bool expressed, quint8 b, quint8 p, const QString &name) {
        if (!expressed && b != p)
            out << QStringLiteral("%1 (value %2)").arg(name, hexNumber(b, 2));
    };
    value(held.shortPressChangesPreset.has_value(), backup.footswitchMode, pedal.footswitchMode, QStringLiteral("Footswitch Mode"));
    value(held.tuningItem.has_value(), backup.tuning, pedal.tuning, QStringLiteral("Tuning"));
    value(held.semitoneVariation.has_value(), backup.semitoneVariation, pedal.semitoneVariation, QStringLiteral("Semitones"));
    value(held.instrumentRange.has_value(), backup.instrumentRange, pedal.instrumentRange, QStringLiteral("Instrument Range"));
    value(held.storeBypassStatus.has_value(), backup.bypassStore, pedal.bypassStore, QStringLiteral("Bypass Status"));
    value(held.midiChannelItem.has_value(), backup.midiChannel, pedal.midiChannel, QStringLiteral("MIDI Channel"));
    // The bypass is the pedal's state of the moment, which a restore leaves as it is.
    if ((backup.bypass == 1) != (pedal.bypass == 1))
        out << QStringLiteral("Bypass (%1)").arg(backup.bypass == 1 ? QStringLiteral("on") : QStringLiteral("off"));
    return out;
}
