#include "windows/CompareWindow.h"

#include "device/HexCodec.h"
#include "pedal/EditHistory.h"
#include "pedal/ParameterCatalogue.h"
#include "pedal/PedalService.h"
#include "pedal/ValueText.h"
#include "support/Prompts.h"
#include "windows/CommandOrigin.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
// A word in the pedal's own terms, then the word itself: "300 (00258000)", "12 / 24 (0000000C)".
QString valueText(int parameter, quint32 word)
{
    return QStringLiteral("%1 (%2)").arg(ValueText::ofWord(parameter, word), HexCodec::hexNumber(word, 8));
}
} // namespace

CompareWindow::CompareWindow(PedalService &service, Prompts &prompts, QWidget *parent)
    : QWidget(parent, Qt::Window), m_service(service), m_prompts(prompts)
{
    setObjectName(QStringLiteral("formCompare"));
    setWindowTitle(QStringLiteral("Compare"));
    resize(640, 560);
    table = new QTableWidget(ParameterCatalogue::Count, Columns, this);
    table->setObjectName(QStringLiteral("tblCompare"));
    table->setHorizontalHeaderLabels({QStringLiteral("Parameter"), QStringLiteral("Editor"), QStringLiteral("Pedal"),
                                      QStringLiteral("Use Pedal"), QStringLiteral("File"), QStringLiteral("Use File")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (int row = 0; row < ParameterCatalogue::Count; ++row) {
        table->setItem(row, Name, new QTableWidgetItem(QString::fromLatin1(ParameterCatalogue::all()[size_t(row)].name)));
        for (int c : {Editor, Pedal, File})
            table->setItem(row, c, new QTableWidgetItem);
        for (int c : {UsePedal, UseFile}) {
            auto *use = new QPushButton(QStringLiteral("Use"), table);
            use->setObjectName(QStringLiteral("btnUse%1_%2").arg(c == UsePedal ? QStringLiteral("Pedal") : QStringLiteral("File")).arg(row));
            use->setToolTip(c == UsePedal ? QStringLiteral("Put the pedal's value on the control")
                                          : QStringLiteral("Put the file's value on the control and send it"));
            connect(use, &QPushButton::clicked, this, [this, row, c] {
                CommandOrigin from(this);
                const auto &pedal = m_service.holds().running();
                if (c == UsePedal && pedal)
                    m_service.useValue(row, (*pedal)[size_t(row)]);
                else if (c == UseFile && m_file)
                    m_service.useValue(row, (*m_file)[size_t(row)]);
                showRows();
            });
            table->setCellWidget(row, c, use);
        }
    }
    btnRefresh = new QPushButton(QStringLiteral("Refresh"), this);
    btnRefresh->setObjectName(QStringLiteral("btnRefresh"));
    btnRefresh->setToolTip(QStringLiteral("Ask the pedal for its values (the controls stay as they are)"));
    btnChooseFile = new QPushButton(QStringLiteral("Choose File..."), this);
    btnChooseFile->setObjectName(QStringLiteral("btnChooseFile"));
    fileLabel = new QLabel(QStringLiteral("No file chosen"), this);
    fileLabel->setObjectName(QStringLiteral("lblFile"));
    pedalReadLabel = new QLabel(QStringLiteral("Pedal not read"), this);
    pedalReadLabel->setObjectName(QStringLiteral("lblPedalRead"));
    pedalReadLabel->setMinimumWidth(pedalReadLabel->fontMetrics().horizontalAdvance(QStringLiteral("Pedal read at 00:00:00")));
    pedalReadLabel->setToolTip(QStringLiteral("The Pedal column: what the pedal reported then, with every value the "
                                              "editor sent it since"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnRefresh);
    buttons->addWidget(pedalReadLabel);
    buttons->addWidget(btnChooseFile);
    buttons->addWidget(fileLabel, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(table);

    connect(btnRefresh, &QPushButton::clicked, this, [this] {
        CommandOrigin from(this);
        m_service.readPedalReport().then([this, from](PedalService::Result) { showRows(); });
    });
    connect(btnChooseFile, &QPushButton::clicked, this, [this] {
        CommandOrigin from(this);
        askForFile().then(from.untilEnd());
    });
    // Every edit, undo, redo, preset, read and the link change what the columns show.
    connect(&m_service, &PedalService::valuesChanged, this, [this] {
        if (isVisible())
            showRows();
    });
}

Task<> CompareWindow::askForFile()
{
    const QString path = co_await m_prompts.askFileToOpen(QStringLiteral("Choose a Preset or Backup"),
                                                          QStringLiteral("Preset files (*.txt)"), m_service.presetFolder());
    if (!path.isEmpty())
        chooseFile(path);
}

bool CompareWindow::chooseFile(const QString &path)
{
    PresetFile::PresetValues values{};
    QString message;
    if (!PresetFile::load(path, &values, &message)) {
        m_prompts.show(message);
        return false;
    }
    m_file = values;
    fileLabel->setText(QFileInfo(path).fileName());
    showRows();
    return true;
}

bool CompareWindow::rowDiffers(int row) const
{
    QList<quint32> words{m_service.state().parameters[size_t(row)].value};
    if (const auto &pedal = m_service.holds().running())
        words << (*pedal)[size_t(row)];
    if (m_file)
        words << (*m_file)[size_t(row)];
    for (quint32 w : words) {
        if (w != words.first())
            return true;
    }
    return false;
}

void CompareWindow::showRows()
{
    const auto &pedal = m_service.holds().running();
    const auto &readAt = m_service.holds().readAt();
    pedalReadLabel->setText(readAt ? QStringLiteral("Pedal read at ") + readAt->toString(QStringLiteral("HH:mm:ss"))
                                   : QStringLiteral("Pedal not read"));
    const QColor differs(255, 226, 160);
    for (int row = 0; row < ParameterCatalogue::Count; ++row) {
        table->item(row, Editor)->setText(valueText(row, m_service.state().parameters[size_t(row)].value));
        table->item(row, Pedal)->setText(pedal ? valueText(row, (*pedal)[size_t(row)]) : QString());
        table->item(row, File)->setText(m_file ? valueText(row, (*m_file)[size_t(row)]) : QString());
        table->cellWidget(row, UsePedal)->setEnabled(bool(pedal));
        table->cellWidget(row, UseFile)->setEnabled(bool(m_file));
        const bool different = rowDiffers(row);
        for (int c : {Name, Editor, Pedal, File}) {
            table->item(row, c)->setBackground(different ? QBrush(differs) : QBrush());
            // Dark text on the light mark, whatever the look's text colour (a dark look's is light).
            table->item(row, c)->setForeground(different ? QBrush(QColor(30, 30, 30)) : QBrush());
            QFont f = table->item(row, c)->font();
            f.setBold(different);
            table->item(row, c)->setFont(f);
        }
    }
}

void CompareWindow::showEvent(QShowEvent *event)
{
    showRows();
    QWidget::showEvent(event);
}
