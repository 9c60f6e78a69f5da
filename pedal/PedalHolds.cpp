#include "pedal/PedalHolds.h"

static_assert(PedalHolds::FirstKept == Parameter::InputLevel && PedalHolds::FirstKept + PedalHolds::Kept - 1 == Parameter::Attack);

void PedalHolds::reported(const Words &words, const QDateTime &at)
{
    m_running = words;
    m_readAt = at;
}

void PedalHolds::readBack(const Words &words)
{
    if (!m_kept)
        m_kept = keptPart(words);
}

void PedalHolds::sent(int parameter, quint32 word)
{
    if (m_running && parameter >= 0 && parameter < ParameterCatalogue::Count)
        (*m_running)[size_t(parameter)] = word;
}

void PedalHolds::saved(const KeptWords &values) { m_kept = values; }

void PedalHolds::forget()
{
    m_running.reset();
    m_readAt.reset();
    m_kept.reset();
}

QStringList PedalHolds::unsaved(const Words &editor) const
{
    QStringList names;
    if (!m_kept)
        return names;
    for (int k = 0; k < Kept; ++k) {
        const int i = FirstKept + k;
        const quint32 kept = (*m_kept)[size_t(k)], now = editor[size_t(i)];
        if (kept == now)
            continue;
        const std::optional<int> keptShown = ParameterCatalogue::shownState(i, kept);
        if (keptShown && keptShown == ParameterCatalogue::shownState(i, now))
            continue;
        names << ParameterCatalogue::name(i);
    }
    return names;
}

PedalHolds::KeptWords PedalHolds::keptPart(const Words &words)
{
    KeptWords kept{};
    for (int k = 0; k < Kept; ++k)
        kept[size_t(k)] = words[size_t(FirstKept + k)];
    return kept;
}
