#include "windows/DebugConsoleWindow.h"

#include "algorithms/Tunings.h"
#include "support/DiagnosticLog.h"
#include "algorithms/FilterCalculator.h"
#include "pedal/SettingsMemory.h"
#include "windows/CommandOrigin.h"
#include "windows/FilterPlot.h"
#include "windows/LogLinesModel.h"
#include "windows/Placement.h"
#include "windows/WindowUnits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QAction>
#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QListView>
#include <QPushButton>
#include <QLocale>
#include <QScrollBar>

#include <cmath>

namespace {

template <typename W> W *place(W *w, const char *name, int x, int y, int width, int height)
{
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(x, y, width, height);
    return w;
}
} // namespace

DebugConsoleWindow::DebugConsoleWindow(DiagnosticLog *log, QWidget *parent) : QWidget(parent, Qt::Window), m_log(log)
{
    setObjectName(QStringLiteral("formPrint"));
    setWindowTitle(QStringLiteral("Debug Console"));
    move(1075, 0);
    resize(508, 676);

    btnClear = place(new QPushButton(QStringLiteral("Clear"), this), "btnClear", 8, 8, 70, 25);
    btnScrollTop = place(new QPushButton(QStringLiteral("UP"), this), "btnScrollTop", 84, 8, 50, 25);
    autoScrollBox = place(new QCheckBox(QStringLiteral("scroll"), this), "chkAutoScroll", 142, 10, 70, 21);
    autoScrollBox->setChecked(true);
    i2cAddressLabel = place(new QLabel(QStringLiteral("E2P addr"), this), "lblI2Caddr", 250, 10, 60, 21);
    cmbI2Caddr = place(new QComboBox(this), "cmbI2Caddr", 312, 8, 52, 25);
    cmbI2Caddr->addItems({QStringLiteral("50"), QStringLiteral("51")});
    cmbI2Caddr->setCurrentIndex(0);
    btnEraseEeprom = place(new QPushButton(QStringLiteral("Erase E2P"), this), "btnEraseEeprom", 370, 8, 62, 25);
    btnReadEEPROM = place(new QPushButton(QStringLiteral("Read E2P"), this), "btnReadEEPROM", 436, 8, 62, 25);

    btnSend = place(new QPushButton(QStringLiteral("Send"), this), "btnSend", 8, 36, 230, 22);
    edtAddress = place(new QLineEdit(QStringLiteral("addr"), btnSend), "edtAddress", 50, 1, 60, 20);
    edtData = place(new QLineEdit(QStringLiteral("data"), btnSend), "edtData", 115, 1, 110, 20);
    btnSend->hide();

    btnShowCalculator = place(new QPushButton(QStringLiteral("Filter"), this), "btnShowCalculator", 212, 8, 34, 25);
    btnShowCalculator->setCheckable(true);
    btnShowCalculator->setToolTip(QStringLiteral("Filter coefficient calculator: a peaking filter for a note, as "
                                                 "tuning table text, with its response over the 32 tuning filters"));

    calculatorPanel = place(new QWidget(this), "calculatorPanel", 8, 36, 489, 232);
    cmbNotePicker = place(new QComboBox(calculatorPanel), "cmbNotePicker", 0, 0, 70, 24);
    cmbNotePicker->addItems(FilterCalculator::noteNames());
    cmbNotePicker->setCurrentIndex(0);
    auto *qLabel = new QLabel(QStringLiteral("Q"), calculatorPanel);
    qLabel->setGeometry(80, 4, 12, 18);
    edtQ = place(new QLineEdit(FilterCalculator::numberText(Q), calculatorPanel), "edtQ", 94, 0, 60, 24);
    auto *gainLabel = new QLabel(QStringLiteral("Gain dB"), calculatorPanel);
    gainLabel->setGeometry(162, 4, 48, 18);
    edtBoost = place(new QLineEdit(FilterCalculator::numberText(boost), calculatorPanel), "edtBoost", 212, 0, 60, 24);
    btnGetNoteFrequency = place(new QPushButton(QStringLiteral("Calc Coeff."), calculatorPanel), "btnGetNoteFrequency",
                                282, 0, 90, 24);
    plot = place(new FilterPlot(calculatorPanel), "plot", 0, 30, 489, 200);
    QList<FilterCalculator::Coefficients> tuning;
    for (int r = 0; r < Tunings::Records; ++r)
        tuning << FilterCalculator::fromFixed(Tunings::recordValues(r));
    plot->setTuningFilters(tuning);
    calculatorPanel->hide();

    logView = place(new QListView(this), "memoLog", 8, 62, 489, 606);
    logView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    lines = new LogLinesModel(*m_log, logView->font(), this);
    logView->setModel(lines);
    logView->setUniformItemSizes(true); // a million rows lay out as fast as ten
    logView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    logView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    logView->setTextElideMode(Qt::ElideNone);
    logView->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto *copy = new QAction(logView);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    logView->addAction(copy);
    connect(copy, &QAction::triggered, this, &DebugConsoleWindow::copySelectedLines);

    WindowUnits::place(this, QSize(508, 676), WindowUnits::Size::Resizable);
    Placement::ontoScreen(this); // a small screen has no room at 1075

    m_log->consoleAutoScroll = true;
    connect(btnClear, &QPushButton::clicked, this, &DebugConsoleWindow::clearLog);
    connect(btnScrollTop, &QPushButton::clicked, this, &DebugConsoleWindow::scrollToTop);
    connect(autoScrollBox, &QCheckBox::toggled, this, &DebugConsoleWindow::onAutoScrollToggled);
    connect(btnEraseEeprom, &QPushButton::clicked, this, &DebugConsoleWindow::eraseMemory);
    connect(btnReadEEPROM, &QPushButton::clicked, this, &DebugConsoleWindow::readMemory);
    connect(btnSend, &QPushButton::clicked, this, &DebugConsoleWindow::sendParameterWrite);
    connect(btnShowCalculator, &QPushButton::toggled, this, [this](bool on) {
        calculatorPanel->setVisible(on);
        layoutControls();
    });
    connect(cmbNotePicker, &QComboBox::currentIndexChanged, this, &DebugConsoleWindow::onNotePicked);
    connect(edtQ, &QLineEdit::textChanged, this, &DebugConsoleWindow::onQEdited);
    connect(edtBoost, &QLineEdit::textChanged, this, &DebugConsoleWindow::onGainEdited);
    connect(btnGetNoteFrequency, &QPushButton::clicked, this, &DebugConsoleWindow::calculateForPickedNote);
    connect(m_log, &DiagnosticLog::linesAppended, this, &DebugConsoleWindow::onLinesAppended);
    connect(m_log, &DiagnosticLog::cleared, this, [this] {
        m_pendingScroll = false;
        lines->reset();
    });

    // Lines are shown in batches, so tens of thousands of them cost one layout, not thousands.
    m_flush.setSingleShot(true);
    m_flush.setInterval(30);
    connect(&m_flush, &QTimer::timeout, this, &DebugConsoleWindow::flushPending);
}

void DebugConsoleWindow::onLinesAppended(const QStringList &, bool scroll)
{
    m_pendingScroll = m_pendingScroll || scroll;
    if (!m_flush.isActive())
        m_flush.start();
}

void DebugConsoleWindow::flushPending()
{
    m_flush.stop();
    QScrollBar *bar = logView->verticalScrollBar();
    const int keep = bar->value();
    if (!lines->showPending())
        return;
    if (m_pendingScroll)
        logView->scrollToBottom();
    else
        bar->setValue(keep);
    m_pendingScroll = false;
}

void DebugConsoleWindow::copySelectedLines()
{
    QModelIndexList rows = logView->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QStringList text;
    for (const QModelIndex &i : rows)
        text << i.data().toString();
    QGuiApplication::clipboard()->setText(text.join(QLatin1Char('\n')));
}

void DebugConsoleWindow::eraseMemory()
{
    CommandOrigin from(this);
    if (m_memory)
        m_memory->eraseWithQuestion(cmbI2Caddr->currentText()).then(from.untilEnd());
}

void DebugConsoleWindow::readMemory()
{
    CommandOrigin from(this);
    if (m_memory)
        m_memory->read(cmbI2Caddr->currentText()).then(from.untilEnd());
}

void DebugConsoleWindow::sendParameterWrite()
{
    CommandOrigin from(this);
    if (m_memory)
        m_memory->sendParameterWrite(edtAddress->text(), edtData->text());
}

void DebugConsoleWindow::clearLog() { m_log->clear(); }

void DebugConsoleWindow::scrollToTop()
{
    flushPending();
    logView->scrollToTop();
}

void DebugConsoleWindow::onAutoScrollToggled() { m_log->consoleAutoScroll = autoScrollBox->isChecked(); }

void DebugConsoleWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void DebugConsoleWindow::layoutControls()
{
    const int top = calculatorPanel->isVisible() ? 36 + 236 : 62;
    calculatorPanel->setGeometry(8, 36, qMax(100, width() - 19), 232);
    plot->setGeometry(0, 30, calculatorPanel->width(), 200);
    logView->setGeometry(8, top, qMax(100, width() - 19), qMax(100, height() - top - 8));
}

void DebugConsoleWindow::onNotePicked() { semitoneOffset = cmbNotePicker->currentIndex() - 12; }

bool DebugConsoleWindow::readNumber(QLineEdit *field, double *value)
{
    bool ok = false;
    const double v = QLocale().toDouble(field->text().trimmed(), &ok);
    // A value that is not a number is refused where it is typed: the field turns red and the
    // log says why; the stored value stays as it was.
    field->setStyleSheet(ok ? QString() : QStringLiteral("QLineEdit { border: 2px solid #d03030; }"));
    if (!ok) {
        m_log->writeLogLine(QStringLiteral("'%1' is not a valid floating point value").arg(field->text()));
        return false;
    }
    *value = v;
    return true;
}

void DebugConsoleWindow::onQEdited()
{
    if (readNumber(edtQ, &Q))
        m_log->writeLogLine(QStringLiteral("Q: ") + FilterCalculator::numberText(Q));
}

void DebugConsoleWindow::onGainEdited()
{
    if (readNumber(edtBoost, &boost))
        m_log->writeLogLine(QStringLiteral("boost: ") + FilterCalculator::numberText(boost));
}

void DebugConsoleWindow::calculateForPickedNote()
{
    lastF0 = FilterCalculator::noteFrequency(semitoneOffset);
    calculateFilterCoefficients(lastF0);
}

bool DebugConsoleWindow::calculateFilterCoefficients(double f0)
{
    if (!(Q > 0)) {
        m_log->writeLogLine(QStringLiteral("Q must be above 0: no coefficients calculated (Q: %1)")
                                .arg(FilterCalculator::numberText(Q)));
        return false;
    }
    const FilterCalculator::Coefficients k = FilterCalculator::peaking(f0, Q, boost);
    std::array<qint32, 5> fixed{};
    if (!FilterCalculator::toFixed(k, &fixed)) {
        m_log->writeLogLine(QStringLiteral("a coefficient does not fit in 32 bits: no coefficients written"));
        return false;
    }
    lastValues = fixed;
    const QString note = cmbNotePicker->currentText();
    for (const QString &line : FilterCalculator::formatLines(note, boost, Q, fixed))
        m_log->writeLogLine(line);
    plot->setFilter(FilterCalculator::fromFixed(fixed),
                    QStringLiteral("%1 (%2 Hz), Q %3, %4 dB")
                        .arg(note, FilterCalculator::numberText(std::round(f0 * 100) / 100),
                             FilterCalculator::numberText(Q), FilterCalculator::numberText(boost)));
    return true;
}
