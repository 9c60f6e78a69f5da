#pragma once
// Sending data blocks to the pedal: an algorithm image (carried, or a ".dat" file) with the
// wait for the pedal's answer, and the tuning table. Whether an upload may start is decided by
// the pedal service, which is the only caller.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "support/Task.h"

class Clock;
class ClockTimer;
class Communication;
class D2XXUnit;
class DiagnosticLog;
class Prompts;

class Uploads : public QObject {
    Q_OBJECT
public:
    // Unconfirmed: the pedal answered the upload, but the check that followed did not find the
    // algorithm in place.
    enum class Result { Done, Cancelled, Refused, NoAnswer, DeviceFailed, Unconfirmed };
    static constexpr int MaxImageBytes = 65536;
    static constexpr int HeaderBytes = 47; // byte 0, the length, 22 parameter address words

    // Reads an algorithm image file whole and checks it: a regular file of at most
    // MaxImageBytes, starting with 0x00, as long as its length field says and at least as long
    // as its header. On failure message holds what the user is told.
    static bool readImageFile(const QString &path, QByteArray *image, QString *message);
    // The same checks on bytes already read; name is the file's name for the message.
    static bool checkImage(const QString &name, const QByteArray &data, QString *message);

    Uploads(DiagnosticLog &log, Prompts &prompts, Clock &clock, D2XXUnit &d2xx, Communication &comm,
            QObject *parent = nullptr);

    ClockTimer *checkTimer;       // 5 s: "Upload Failed" while no answer has come
    int answerLimitMs = 20000;    // after this the wait for the answer gives up
    QString status;               // what the status label shows
    QString lastFolder;           // where the open-file dialog opens next
    // Runs once an algorithm image has been checked, before anything of it reaches the pedal
    // (the pedal service makes its backup here); false stops the upload, nothing sent.
    std::function<Task<bool>()> beforeWriting;

    bool uploading() const { return m_uploading; }
    // Upload Audio Algorithm: the carried image of an effect. Once the pedal has answered,
    // confirm runs (the device information request: true when the algorithm is in place) and
    // resourceLines takes the image.
    Task<Result> uploadCarriedImage(QString effectName, QStringList *resourceLines,
                                    std::function<Task<bool>()> confirm);
    // Load Effect From File: the dialog, then uploadFile.
    Task<Result> chooseAndUploadFile();
    Task<Result> uploadFile(QString path);
    // Upload Tuning Data.
    Task<Result> uploadTuningData();

signals:
    void statusChanged(const QString &status);

private:
    Task<Result> waitForAnswer(bool logCounts);
    Task<Result> finishWait(Result waited);
    void setStatus(const QString &text);
    Task<> tell(QString message);
    Task<bool> refuseStandIn(QByteArray image);
    void resumePoll();

    DiagnosticLog &m_log;
    Prompts &m_prompts;
    Clock &m_clock;
    D2XXUnit &m_d2xx;
    Communication &m_comm;
    bool m_uploading = false;
};
