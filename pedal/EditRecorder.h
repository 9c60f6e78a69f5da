#pragma once
// Where the pedal service records its live edits as steps of an undo history, and steps back
// and forth through them. The editor gives the service one (EditHistory::of, a QUndoStack); the
// command-line tool gives none, and nothing is recorded.

#include <QString>
#include <array>
#include <functional>

class EditRecorder {
public:
    virtual ~EditRecorder() = default;
    // A control moved from one state to another at atMs.
    virtual void controlEdit(int parameter, int from, int to, qint64 atMs) = 0;
    // A preset file's values put on the controls, named by the file.
    virtual void presetEdit(const std::array<quint32, 20> &before, const std::array<quint32, 20> &after,
                            const QString &name) = 0;
    // Values a command put on the controls all at once (the assignable defaults), as one step
    // named text; undo and redo put them back as for a preset.
    virtual void valuesEdit(const std::array<quint32, 20> &before, const std::array<quint32, 20> &after,
                            const QString &text) = 0;
    // A command's setting: undo calls sendBefore, redo sendAfter.
    virtual void settingEdit(const QString &text, std::function<void()> sendBefore, std::function<void()> sendAfter) = 0;
    // Whether there is a step to go back (or forth) to, and going there.
    virtual bool canStep(bool back) const = 0;
    virtual void step(bool back) = 0;
};
