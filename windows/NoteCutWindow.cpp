#include "windows/NoteCutWindow.h"

#include "pedal/PedalService.h"

#include <QCheckBox>
#include <QPushButton>

#include "windows/CommandOrigin.h"
#include "windows/WindowUnits.h"

NoteCutWindow::NoteCutWindow(PedalService &service, QWidget *parent)
    : QWidget(parent, Qt::Tool), m_service(service)
{
    setObjectName(QStringLiteral("formNoteTrackingFilter"));
    setWindowTitle(QStringLiteral("Note Cut"));
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
            checkedNoteCount += checked ? 1 : -1;
            updateNoteCheckBoxes();
        });
    }
    btnSave = new QPushButton(QStringLiteral("Save"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setGeometry(10, 78, 96, 27);
    btnGet = new QPushButton(QStringLiteral("Get"), this);
    btnGet->setObjectName(QStringLiteral("btnGet"));
    btnGet->setGeometry(116, 78, 96, 27);
    WindowUnits::place(this, QSize(222, 115));
    connect(btnSave, &QPushButton::clicked, this, [this] {
        CommandOrigin from(this);
        m_service.saveNoteFilters(chosenNotes()).then(from.untilEnd());
    });
}

std::array<QCheckBox *, 8> NoteCutWindow::notes() const
{
    return {chkA2, chkAdiesis2, chkB2, chkC3, chkCdiesis3, chkD3, chkDdiesis3, chkE3};
}

void NoteCutWindow::updateNoteCheckBoxes()
{
    for (QCheckBox *box : notes()) {
        if (!box->isChecked())
            box->setEnabled(checkedNoteCount != 2);
    }
}

QList<int> NoteCutWindow::chosenNotes() const
{
    QList<int> codes;
    const auto boxes = notes();
    for (int code = 0; code < int(boxes.size()); ++code) {
        if (boxes[size_t(code)]->isChecked())
            codes << code;
    }
    return codes;
}
