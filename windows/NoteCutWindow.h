#pragma once
// The "Note Cut" window: up to two low notes (A2 to E3) whose tracking the pedal cuts.

#include <QList>
#include <QWidget>
#include <array>

class PedalService;
class QCheckBox;
class QPushButton;

class NoteCutWindow : public QWidget {
    Q_OBJECT
public:
    explicit NoteCutWindow(PedalService &service, QWidget *parent = nullptr);

    QCheckBox *chkA2, *chkAdiesis2, *chkB2, *chkC3, *chkCdiesis3, *chkD3, *chkDdiesis3, *chkE3;
    QPushButton *btnSave = nullptr;
    QPushButton *btnGet = nullptr;
    int checkedNoteCount = 0;

    // At most two notes: with two checked, the others are disabled.
    void updateNoteCheckBoxes();
    // The chosen notes' codes (A2 is 0 .. E3 is 7), in code order.
    QList<int> chosenNotes() const;

private:
    std::array<QCheckBox *, 8> notes() const;
    PedalService &m_service;
};
