#pragma once
// Sending data blocks to the pedal: an algorithm image (carried, or a ".dat" file) with the
// wait for the pedal's answer, and the tuning table.

#include <QByteArray>
#include <QObject>
#include <QString>

struct EditorCore;
class ClockTimer;

class Uploads : public QObject {
    Q_OBJECT
public:
    enum class Result { Done, Cancelled, Refused, NoAnswer, DeviceFailed };
    static constexpr int MaxImageBytes = 65536;

    explicit Uploads(EditorCore &ctx, QObject *parent = nullptr);

    ClockTimer *UploadCheckTimer; // 5 s: "Upload Failed" while no answer has come
    int answerLimitMs = 20000;    // after this the wait for the answer gives up
    QString status;               // what the status label shows
    QString lastFolder;           // where the open-file dialog opens next
    QString lastMessage;          // the last message shown to the user

    bool uploading() const { return m_uploading; }
    // Upload Audio Algorithm: the image of the selected effect.
    Result btnUploadClick();
    // Load Effect From File: the dialog, then uploadFile.
    Result menuLoadAlgorithmFromFileClick();
    Result uploadFile(const QString &path);
    // Upload Tuning Data.
    Result menuUploadTuningsDataClick();

signals:
    void statusChanged(const QString &status);

private:
    Result UploadReplyWait(bool logCounts);
    Result finishWait(Result waited);
    // True (with a log line) while an upload or another exchange waits for the pedal.
    bool busy(const QString &what);
    void setStatus(const QString &text);
    void tell(const QString &message);
    bool refuseStandIn(const QByteArray &image);
    void resumePoll();

    EditorCore &m_ctx;
    bool m_uploading = false;
};
