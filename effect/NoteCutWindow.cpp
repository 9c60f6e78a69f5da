#include "effect/NoteCutWindow.h"

TformNoteCut::TformNoteCut(QWidget *parent) : QWidget(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("formNoteCut"));
    setWindowTitle(QStringLiteral("Note Cut"));
    setFixedSize(222, 115);
}
