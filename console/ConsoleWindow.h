#pragma once
// The debug console: the live diagnostic log and a few service tools.

#include <QStringList>
#include <QTimer>
#include <QWidget>

class DiagnosticLog;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TformPrint : public QWidget {
    Q_OBJECT
public:
    explicit TformPrint(DiagnosticLog *log, QWidget *parent = nullptr);

    QPlainTextEdit *Memo1 = nullptr;
    QPushButton *btnClear = nullptr;
    QPushButton *btnScrollTop = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QPushButton *btnEraseEeprom = nullptr;
    QPushButton *btnReadEEPROM = nullptr;
    QLabel *Label1 = nullptr;
    QComboBox *cmbI2Caddr = nullptr;
    QPushButton *btnSend = nullptr;
    QLineEdit *edtAddress = nullptr;
    QLineEdit *edtData = nullptr;
    QComboBox *cmbNotePicker = nullptr;

    // Shows lines still waiting for the next repaint at once (tests and close).
    void flushPending();

    void btnClearClick();
    void btnScrollTopClick();
    void CheckBox1Change();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void onLinesAppended(const QStringList &lines, bool scroll);

    DiagnosticLog *m_log;
    QStringList m_pending;
    bool m_pendingScroll = false;
    QTimer m_flush;
};
