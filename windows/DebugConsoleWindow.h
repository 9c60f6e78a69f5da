#pragma once
// The debug console: the live diagnostic log and a few service tools.

#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <array>

class DiagnosticLog;
class FilterPlot;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class LogLinesModel;
class QPushButton;
class SettingsMemory;

class DebugConsoleWindow : public QWidget {
    Q_OBJECT
public:
    explicit DebugConsoleWindow(DiagnosticLog *log, QWidget *parent = nullptr);
    // The settings memory tools (Erase E2P, Read E2P, Send) act through this.
    void setSettingsMemory(SettingsMemory *memory) { m_memory = memory; }

    QListView *logView = nullptr; // the log's lines, one row each
    LogLinesModel *lines = nullptr;
    QPushButton *btnClear = nullptr;
    QPushButton *btnScrollTop = nullptr;
    QCheckBox *autoScrollBox = nullptr;
    QPushButton *btnEraseEeprom = nullptr;
    QPushButton *btnReadEEPROM = nullptr;
    QLabel *i2cAddressLabel = nullptr;
    QComboBox *cmbI2Caddr = nullptr;
    QPushButton *btnSend = nullptr;
    QLineEdit *edtAddress = nullptr;
    QLineEdit *edtData = nullptr;
    QComboBox *cmbNotePicker = nullptr;
    // The filter coefficient calculator, shown by the "Filter" button.
    QPushButton *btnShowCalculator = nullptr;
    QWidget *calculatorPanel = nullptr;
    QLineEdit *edtQ = nullptr;
    QLineEdit *edtBoost = nullptr;
    QPushButton *btnGetNoteFrequency = nullptr;
    FilterPlot *plot = nullptr;

    // Calculator state.
    int semitoneOffset = -12; // picker index - 12
    double Q = 11.0;
    double boost = -6.0;
    double lastF0 = 0;
    std::array<qint32, 5> lastValues{};

    void onNotePicked();
    void onQEdited();
    void onGainEdited();
    void calculateForPickedNote();
    // Computes, converts and logs; false (with a log line) when there is nothing sound to write.
    bool calculateFilterCoefficients(double f0);

    // Shows lines still waiting for the next repaint at once (tests and close).
    void flushPending();

    void eraseMemory();
    void readMemory();
    void sendParameterWrite();

    void clearLog();
    void scrollToTop();
    void onAutoScrollToggled();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void layoutControls();
    bool readNumber(QLineEdit *field, double *value);
    void onLinesAppended(const QStringList &appended, bool scroll);
    void copySelectedLines();

    DiagnosticLog *m_log;
    SettingsMemory *m_memory = nullptr;
    bool m_pendingScroll = false;
    QTimer m_flush;
};
