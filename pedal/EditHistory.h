#pragma once
// The undo history of the editor's live edits: each step sends the earlier (undo) or later
// (redo) value through the pedal service exactly as a user's change would. A dial drag or a run
// of wheel notches on one control is one step; a loaded preset is one step for all its values,
// and so are the assignable defaults.
// Commands that write the pedal's permanent store (Save Parameters, uploads, firmware, erase)
// are never in it. It is the editor's (the library quarnelo_history, with Qt's QUndoStack): the
// service records into it through EditRecorder, and the command-line tool goes without.

#include "pedal/EditRecorder.h"

#include <QUndoCommand>
#include <QUndoStack>
#include <array>
#include <functional>

class PedalService;

namespace EditHistory {
// What a control shows, in the pedal's own terms (ValueText): a dial's level or step, on/off,
// slow/fast, or the harmonic pitch's semitones.
QString stateText(int parameter, int state);

enum Id { ControlStep = 1 };

// One control moved from one state to another.
class ControlEdit : public QUndoCommand {
public:
    ControlEdit(PedalService &service, int parameter, int from, int to, qint64 atMs);
    void undo() override;
    void redo() override;
    int id() const override { return ControlStep; }
    bool mergeWith(const QUndoCommand *other) override;
    static constexpr int GestureMs = 1000; // changes of one control closer than this are one step

private:
    void describe();
    PedalService &m_service;
    int m_parameter, m_from, m_to;
    qint64 m_lastMs;
    bool m_applied = true; // pushed after the change was made: the first redo does nothing
};

// A preset file's values put on the controls ("Load Preset <name>"), or the values a command put
// on them all at once (the assignable defaults), named by text.
class PresetEdit : public QUndoCommand {
public:
    using Values = std::array<quint32, 20>;
    PresetEdit(PedalService &service, const Values &before, const Values &after, const QString &text);
    void undo() override;
    void redo() override;

private:
    PedalService &m_service;
    Values m_before, m_after;
    bool m_applied = true;
};
// A setting sent by a command (assignments, footswitch mode, tuning, note filters, a pedal-wide
// option, the MIDI channel): undo and redo send the earlier or later setting again.
class SettingEdit : public QUndoCommand {
public:
    SettingEdit(const QString &text, std::function<void()> sendBefore, std::function<void()> sendAfter);
    void undo() override { m_sendBefore(); }
    void redo() override;

private:
    std::function<void()> m_sendBefore, m_sendAfter;
    bool m_applied = true;
};

// The steps on a QUndoStack: what the service records, and its undo and redo.
class UndoHistory : public EditRecorder {
public:
    explicit UndoHistory(PedalService &service) : m_service(service) {}
    QUndoStack &stack() { return m_stack; }
    void controlEdit(int parameter, int from, int to, qint64 atMs) override;
    void presetEdit(const PresetEdit::Values &before, const PresetEdit::Values &after, const QString &name) override;
    void valuesEdit(const PresetEdit::Values &before, const PresetEdit::Values &after, const QString &text) override;
    void settingEdit(const QString &text, std::function<void()> sendBefore, std::function<void()> sendAfter) override;
    bool canStep(bool back) const override { return back ? m_stack.canUndo() : m_stack.canRedo(); }
    void step(bool back) override { back ? m_stack.undo() : m_stack.redo(); }

private:
    PedalService &m_service;
    QUndoStack m_stack;
};

// The service's undo history: given to it on first use, from then on it records.
QUndoStack &of(PedalService &service);
} // namespace EditHistory
