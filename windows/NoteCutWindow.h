#pragma once
// The "Note Cut" window: up to two low notes (A2 to E3) whose tracking the pedal cuts.

#include <QWidget>
#include <array>

struct EditorCore;
class QCheckBox;
class QPushButton;

class NoteCutWindow : public QWidget {
    Q_OBJECT
public:
    explicit NoteCutWindow(EditorCore &ctx, QWidget *parent = nullptr);

    QCheckBox *chkA2, *chkAdiesis2, *chkB2, *chkC3, *chkCdiesis3, *chkD3, *chkDdiesis3, *chkE3;
    QPushButton *btnSave = nullptr;
    QPushButton *btnGet = nullptr;
    int CheckedNoteCount = 0;
    QString NoteFilterByte1 = QStringLiteral("FF");
    QString NoteFilterByte2 = QStringLiteral("FF");

    void updateNoteCheckBoxes();
    void btnSaveClick();

private:
    std::array<QCheckBox *, 8> notes() const;
    EditorCore &m_ctx;
};
