#pragma once
// What the pedal holds, as far as the editor knows. Two things, and not the same:
// - the twenty words its running effect has: its last complete report, with every word the
//   editor sent since (what the compare view's Pedal column shows);
// - the ten assignable values it keeps through power-off: those Save Parameters stored last, or,
//   before any save, those the first complete read of the link found. A later read does not
//   change them: the pedal reports the values it runs, and what the editor sent since is not
//   stored until Save Parameters. A pedal switched off keeps only these.
// Plain data, kept by the pedal service; nothing is forgotten here but by forget().

#include "pedal/ParameterCatalogue.h"

#include <QDateTime>
#include <QStringList>
#include <array>
#include <optional>

class PedalHolds {
public:
    using Words = std::array<quint32, ParameterCatalogue::Count>;
    // Input Level .. Attack, in the order of the store message of Save Parameters.
    static constexpr int Kept = 10;
    static constexpr int FirstKept = 10; // Parameter::InputLevel
    using KeptWords = std::array<quint32, Kept>;

    // A complete report, read at `at`.
    void reported(const Words &words, const QDateTime &at);
    // The report's values were put on the controls: when none are kept yet (first read of a
    // link), they are what the pedal keeps.
    void readBack(const Words &words);
    // The editor sent a parameter's word to the running effect.
    void sent(int parameter, quint32 word);
    // Save Parameters stored these values.
    void saved(const KeptWords &values);
    // No pedal is linked: nothing is known.
    void forget();

    const std::optional<Words> &running() const { return m_running; }
    const std::optional<QDateTime> &readAt() const { return m_readAt; }
    const std::optional<KeptWords> &kept() const { return m_kept; }

    // The names of the assignable parameters whose words in `editor` the pedal does not keep, in
    // catalogue order; none when nothing kept is known. Two words a control shows the same (a
    // dial's angle, a switch's side) are the same: a dial turned away and back is no change.
    QStringList unsaved(const Words &editor) const;
    static KeptWords keptPart(const Words &words);

private:
    std::optional<Words> m_running;
    std::optional<QDateTime> m_readAt;
    std::optional<KeptWords> m_kept;
};
