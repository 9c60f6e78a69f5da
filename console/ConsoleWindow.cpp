#include "console/ConsoleWindow.h"

#include "app/DiagnosticLog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

namespace {
const char *const NoteNames[] = {"A1", "A#1", "B1", "C2", "C#2", "D2", "D#2", "E2", "F2", "F#2", "G2", "G#2",
                                 "A2", "A#2", "B2", "C3", "C#3", "D3", "D#3", "E3", "F3", "F#3", "G3", "G#3",
                                 "A3", "A#3", "B3", "C4", "C#4", "D4", "D#4", "E4", "F4", "F#4", "G4", "G#4",
                                 "A4", "A#4", "B4", "C5", "C#5", "D5", "D#5", "E5", "F5", "F#5", "G5", "G#5"};

template <typename W> W *place(W *w, const char *name, int x, int y, int width, int height)
{
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(x, y, width, height);
    return w;
}
} // namespace

TformPrint::TformPrint(DiagnosticLog *log, QWidget *parent) : QWidget(parent, Qt::Window), m_log(log)
{
    setObjectName(QStringLiteral("formPrint"));
    setWindowTitle(QStringLiteral("Debug Console"));
    move(1075, 0);
    resize(508, 676);

    btnClear = place(new QPushButton(QStringLiteral("Clear"), this), "btnClear", 8, 8, 70, 25);
    btnScrollTop = place(new QPushButton(QStringLiteral("UP"), this), "btnScrollTop", 84, 8, 50, 25);
    CheckBox1 = place(new QCheckBox(QStringLiteral("scroll"), this), "CheckBox1", 142, 10, 70, 21);
    CheckBox1->setChecked(true);
    Label1 = place(new QLabel(QStringLiteral("E2P addr"), this), "Label1", 250, 10, 60, 21);
    cmbI2Caddr = place(new QComboBox(this), "cmbI2Caddr", 312, 8, 52, 25);
    cmbI2Caddr->addItems({QStringLiteral("50"), QStringLiteral("51")});
    cmbI2Caddr->setCurrentIndex(0);
    btnEraseEeprom = place(new QPushButton(QStringLiteral("Erase E2P"), this), "btnEraseEeprom", 370, 8, 62, 25);
    btnReadEEPROM = place(new QPushButton(QStringLiteral("Read E2P"), this), "btnReadEEPROM", 436, 8, 62, 25);

    btnSend = place(new QPushButton(QStringLiteral("Send"), this), "btnSend", 8, 36, 230, 22);
    edtAddress = place(new QLineEdit(QStringLiteral("addr"), btnSend), "edtAddress", 50, 1, 60, 20);
    edtData = place(new QLineEdit(QStringLiteral("data"), btnSend), "edtData", 115, 1, 110, 20);
    btnSend->hide();

    cmbNotePicker = place(new QComboBox(this), "cmbNotePicker", 250, 36, 80, 22);
    for (const char *n : NoteNames)
        cmbNotePicker->addItem(QString::fromLatin1(n));
    cmbNotePicker->setCurrentIndex(0);
    cmbNotePicker->hide();

    Memo1 = place(new QPlainTextEdit(this), "Memo1", 8, 62, 489, 606);
    Memo1->setReadOnly(true);
    Memo1->setUndoRedoEnabled(false);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);

    m_log->ConsoleAutoScroll = true;
    connect(btnClear, &QPushButton::clicked, this, &TformPrint::btnClearClick);
    connect(btnScrollTop, &QPushButton::clicked, this, &TformPrint::btnScrollTopClick);
    connect(CheckBox1, &QCheckBox::toggled, this, &TformPrint::CheckBox1Change);
    connect(m_log, &DiagnosticLog::linesAppended, this, &TformPrint::onLinesAppended);
    connect(m_log, &DiagnosticLog::cleared, this, [this] {
        m_pending.clear();
        Memo1->clear();
    });

    // Lines are shown in batches, so tens of thousands of them cost one layout, not thousands.
    m_flush.setSingleShot(true);
    m_flush.setInterval(30);
    connect(&m_flush, &QTimer::timeout, this, &TformPrint::flushPending);
}

void TformPrint::onLinesAppended(const QStringList &lines, bool scroll)
{
    m_pending += lines;
    m_pendingScroll = m_pendingScroll || scroll;
    if (!m_flush.isActive())
        m_flush.start();
}

void TformPrint::flushPending()
{
    m_flush.stop();
    if (m_pending.isEmpty())
        return;
    QScrollBar *bar = Memo1->verticalScrollBar();
    const int keep = bar->value();
    Memo1->appendPlainText(m_pending.join(QLatin1Char('\n')));
    m_pending.clear();
    bar->setValue(m_pendingScroll ? bar->maximum() : keep);
    m_pendingScroll = false;
}

void TformPrint::btnClearClick() { m_log->clear(); }

void TformPrint::btnScrollTopClick()
{
    flushPending();
    Memo1->verticalScrollBar()->setValue(0);
}

void TformPrint::CheckBox1Change() { m_log->ConsoleAutoScroll = CheckBox1->isChecked(); }

void TformPrint::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Memo1->setGeometry(8, 62, qMax(100, width() - 19), qMax(100, height() - 70));
}
