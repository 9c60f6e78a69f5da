#include "pedal/EditHistory.h"

#include "pedal/ParameterCatalogue.h"
#include "pedal/PedalService.h"
#include "pedal/ValueText.h"

namespace EditHistory {

QString stateText(int parameter, int state) { return ValueText::ofState(parameter, state); }

ControlEdit::ControlEdit(PedalService &service, int parameter, int from, int to, qint64 atMs)
    : m_service(service), m_parameter(parameter), m_from(from), m_to(to), m_lastMs(atMs)
{
    describe();
}

void ControlEdit::describe()
{
    // "Dry 510 → 300", "Low Pass 12 / 24 → 14 / 24": the menu says what undo and redo will do.
    setText(QStringLiteral("%1 %2 \u2192 %3")
                .arg(QString::fromLatin1(ParameterCatalogue::all()[size_t(m_parameter)].name),
                     stateText(m_parameter, m_from), stateText(m_parameter, m_to)));
}

void ControlEdit::undo() { m_service.applyFromHistory(m_parameter, m_from); }

void ControlEdit::redo()
{
    if (std::exchange(m_applied, false))
        return;
    m_service.applyFromHistory(m_parameter, m_to);
}

bool ControlEdit::mergeWith(const QUndoCommand *other)
{
    const auto *next = static_cast<const ControlEdit *>(other);
    if (next->m_parameter != m_parameter || next->m_lastMs - m_lastMs > GestureMs)
        return false;
    m_to = next->m_to;
    m_lastMs = next->m_lastMs;
    setObsolete(m_to == m_from); // a drag that came back where it started is no step
    describe();
    return true;
}

PresetEdit::PresetEdit(PedalService &service, const Values &before, const Values &after, const QString &text)
    : m_service(service), m_before(before), m_after(after)
{
    setText(text);
}

void PresetEdit::undo() { m_service.applyValuesFromHistory(m_before); }

void PresetEdit::redo()
{
    if (std::exchange(m_applied, false))
        return;
    m_service.applyValuesFromHistory(m_after);
}
SettingEdit::SettingEdit(const QString &text, std::function<void()> sendBefore, std::function<void()> sendAfter)
    : m_sendBefore(std::move(sendBefore)), m_sendAfter(std::move(sendAfter))
{
    setText(text);
}

void SettingEdit::redo()
{
    if (std::exchange(m_applied, false))
        return;
    m_sendAfter();
}

void UndoHistory::controlEdit(int parameter, int from, int to, qint64 atMs)
{
    m_stack.push(new ControlEdit(m_service, parameter, from, to, atMs));
}

void UndoHistory::presetEdit(const PresetEdit::Values &before, const PresetEdit::Values &after, const QString &name)
{
    m_stack.push(new PresetEdit(m_service, before, after, QStringLiteral("Load Preset %1").arg(name)));
}

void UndoHistory::valuesEdit(const PresetEdit::Values &before, const PresetEdit::Values &after, const QString &text)
{
    m_stack.push(new PresetEdit(m_service, before, after, text));
}

void UndoHistory::settingEdit(const QString &text, std::function<void()> sendBefore, std::function<void()> sendAfter)
{
    m_stack.push(new SettingEdit(text, std::move(sendBefore), std::move(sendAfter)));
}

QUndoStack &of(PedalService &service)
{
    auto *history = dynamic_cast<UndoHistory *>(service.editRecorder());
    if (!history) {
        auto made = std::make_unique<UndoHistory>(service);
        history = made.get();
        service.setEditRecorder(std::move(made));
    }
    return history->stack();
}
} // namespace EditHistory
