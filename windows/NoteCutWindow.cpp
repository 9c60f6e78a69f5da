#include "windows/NoteCutWindow.h"

#include "pedal/EditorCore.h"
#include "support/Prompts.h"
#include "support/Clock.h"
#include "device/HexCodec.h"
#include "device/PedalMessages.h"

#include <QCheckBox>
#include <QPushButton>

NoteCutWindow::NoteCutWindow(EditorCore &ctx, QWidget *parent)
    : QWidget(parent, Qt::Tool), m_ctx(ctx)
{
    setObjectName(QStringLiteral("formNoteTrackingFilter"));
    setWindowTitle(QStringLiteral("Note Cut"));
    setFixedSize(222, 115);
    const char *const names[] = {"chkA2", "chkAdiesis2", "chkB2", "chkC3", "chkCdiesis3", "chkD3", "chkDdiesis3", "chkE3"};
    const char *const texts[] = {"A2", "A#2", "B2", "C3", "C#3", "D3", "D#3", "E3"};
    std::array<QCheckBox **, 8> fields = {&chkA2, &chkAdiesis2, &chkB2, &chkC3, &chkCdiesis3, &chkD3, &chkDdiesis3, &chkE3};
    for (int i = 0; i < 8; ++i) {
        auto *box = new QCheckBox(QString::fromLatin1(texts[i]), this);
        box->setObjectName(QString::fromLatin1(names[i]));
        box->setGeometry(10 + (i % 4) * 52, 10 + (i / 4) * 28, 50, 22);
        *fields[size_t(i)] = box;
        // The change handler of every note box: count, then keep at most two chosen.
        connect(box, &QCheckBox::toggled, this, [this](bool checked) {
            CheckedNoteCount += checked ? 1 : -1;
            updateNoteCheckBoxes();
        });
    }
    btnSave = new QPushButton(QStringLiteral("Save"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setGeometry(10, 78, 96, 27);
    btnGet = new QPushButton(QStringLiteral("Get"), this);
    btnGet->setObjectName(QStringLiteral("btnGet"));
    btnGet->setGeometry(116, 78, 96, 27);
    connect(btnSave, &QPushButton::clicked, this, &NoteCutWindow::btnSaveClick);
}

std::array<QCheckBox *, 8> NoteCutWindow::notes() const
{
    return {chkA2, chkAdiesis2, chkB2, chkC3, chkCdiesis3, chkD3, chkDdiesis3, chkE3};
}

void NoteCutWindow::updateNoteCheckBoxes()
{
    for (QCheckBox *box : notes()) {
        if (!box->isChecked())
            box->setEnabled(CheckedNoteCount != 2);
    }
}

void NoteCutWindow::btnSaveClick()
{
    NoteFilterByte1 = QStringLiteral("FF");
    NoteFilterByte2 = QStringLiteral("FF");
    const auto boxes = notes();
    for (int code = 0; code < 8; ++code) {
        if (!boxes[size_t(code)]->isChecked())
            continue;
        if (NoteFilterByte1 == QLatin1String("FF"))
            NoteFilterByte1 = HexCodec::hexNumber(code, 2);
        else
            NoteFilterByte2 = HexCodec::hexNumber(code, 2);
    }
    DiagnosticLog &log = m_ctx.log;
    log.WriteLogLine(QStringLiteral("byte 1: ") + NoteFilterByte1);
    log.WriteLogLine(QStringLiteral("byte 2: ") + NoteFilterByte2);
    const QString text = QStringLiteral("09") + NoteFilterByte1 + NoteFilterByte2;
    log.WriteLogLine(QStringLiteral("Set note filters: ") + text);
    const int n = int(text.size() / 2);
    log.WriteLogLine(QString::number(n));
    m_ctx.d2xx->PurgeFTDeviceTX();
    m_ctx.comm.SendHexMessage(text, n);
    m_ctx.clock->pause(100);
}
