#pragma once
// Compare: the twenty parameters side by side as the editor shows them, as the pedal holds them
// as far as the editor knows (its last device information answer, with every value the editor
// sent since; the label says when it was read), and as a preset or backup file holds them. Rows
// that differ stand out; "Use" puts a column's value on the control and sends it (undoable).
// The columns follow every change of the editor's values and of what the pedal holds.

#include "presets/PresetFile.h"
#include "support/Task.h"

#include <QWidget>
#include <optional>

class PedalService;
class Prompts;
class QLabel;
class QPushButton;
class QTableWidget;

class CompareWindow : public QWidget {
    Q_OBJECT
public:
    enum Column { Name, Editor, Pedal, UsePedal, File, UseFile, Columns };

    CompareWindow(PedalService &service, Prompts &prompts, QWidget *parent = nullptr);

    QTableWidget *table = nullptr;
    QPushButton *btnRefresh = nullptr;
    QPushButton *btnChooseFile = nullptr;
    QLabel *fileLabel = nullptr;
    QLabel *pedalReadLabel = nullptr; // "Pedal read at 14:03:22"

    // Reads a preset or backup file into the File column; false (with the message shown) when
    // it is no preset.
    // Compares with the preset file at path; false (and said) when it cannot be read.
    bool chooseFile(const QString &path);
    // Asks for the file first.
    Task<> askForFile();
    // Fills the rows from the service's state and the chosen file.
    void showRows();
    // Whether row (a parameter) differs between the columns that have a value.
    bool rowDiffers(int row) const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    PedalService &m_service;
    Prompts &m_prompts;
    std::optional<PresetFile::PresetValues> m_file;
};
