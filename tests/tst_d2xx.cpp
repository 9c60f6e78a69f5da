#include "support/DiagnosticLog.h"
#include "device/D2XXUnit.h"
#include "device/FtdiBackend.h"

#include <QtTest>

namespace {
// A backend that answers from a script and remembers what it was asked.
class ScriptedBackend : public FtdiBackend {
public:
    QList<FtdiDeviceInfo> devices;
    QByteArray openedSerial;
    int status = 0;           // returned by every call when non-zero
    QByteArray queued;        // bytes waiting to be read
    quint32 lastReadCount = 99;
    quint32 reportWritten = 0;

    bool isSimulated() const override { return true; }
    int listDevices(QList<FtdiDeviceInfo> *d) override
    {
        *d = devices;
        return status;
    }
    int openBySerial(const QByteArray &serial, quint32 *h) override
    {
        openedSerial = serial;
        *h = 0x42;
        return status;
    }
    int close(quint32) override { return status; }
    int queueStatus(quint32, quint32 *q) override
    {
        *q = quint32(queued.size());
        return status;
    }
    int read(quint32, unsigned char *b, quint32 n, quint32 *got) override
    {
        lastReadCount = n;
        *got = n;
        std::copy_n(queued.constData(), n, b);
        queued.remove(0, n);
        return status;
    }
    int write(quint32, const unsigned char *, quint32 n, quint32 *w) override
    {
        *w = reportWritten ? reportWritten : n;
        return status;
    }
    int setBaudRate(quint32, quint32) override { return status; }
    int setDataCharacteristics(quint32, quint8, quint8, quint8) override { return status; }
    int purge(quint32, quint32) override { return status; }
};
} // namespace

class TestD2XX : public QObject {
    Q_OBJECT
private slots:
    void reportFTError_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("0 writes nothing") << 0 << QStringList{};
        QTest::newRow("1") << 1 << QStringList{"FT_Write - Invalid handle..."};
        QTest::newRow("4") << 4 << QStringList{"FT_Write - General IO error..."};
        QTest::newRow("8 has no dash") << 8 << QStringList{"FT_Write Device not opened for erase..."};
        QTest::newRow("9 has no dash") << 9 << QStringList{"FT_Write Device not opened for write..."};
        QTest::newRow("16") << 16 << QStringList{"FT_Write - Invalid arguments..."};
        QTest::newRow("17 blank before the dots") << 17 << QStringList{"FT_Write - Other error ..."};
        QTest::newRow("18 writes an empty line") << 18 << QStringList{""};
    }
    void reportFTError()
    {
        QFETCH(int, status);
        QFETCH(QStringList, lines);
        DiagnosticLog log;
        ScriptedBackend backend;
        D2XXUnit d2xx(&log, &backend);
        d2xx.ReportDeviceErrors = true;
        d2xx.ReportFTError("FT_Write", status);
        QCOMPARE(log.lines(), lines);
    }

    void failingWriteWithReportingOff()
    {
        DiagnosticLog log;
        ScriptedBackend backend;
        backend.status = 4;
        backend.reportWritten = 3;
        D2XXUnit d2xx(&log, &backend);
        QCOMPARE(d2xx.WriteFTDeviceBuffer(7), 3u);
        QCOMPARE(d2xx.FTLastIOStatus, 4);
        QVERIFY(log.lines().isEmpty());
        d2xx.ReportDeviceErrors = true;
        d2xx.WriteFTDeviceBuffer(7);
        QCOMPARE(log.lines(), QStringList{"FT_Write - General IO error..."});
    }

    void serialNumberCutTo49Characters()
    {
        DiagnosticLog log;
        ScriptedBackend backend;
        D2XXUnit d2xx(&log, &backend);
        const QString sixty = QString(60, QLatin1Char('S'));
        QCOMPARE(d2xx.Open_USB_Device_By_Serial_Number(sixty), 0);
        QCOMPARE(backend.openedSerial, QByteArray(49, 'S'));
        QCOMPARE(d2xx.FTHandle, 0x42u);
        d2xx.Open_USB_Device_By_Serial_Number(QString());
        QCOMPARE(backend.openedSerial, QByteArray());
    }

    void descriptionQueries()
    {
        DiagnosticLog log;
        ScriptedBackend backend;
        backend.devices = {{"A1", QByteArray(70, 'D')}, {QByteArray("SER\0junk", 8), "Quarnelo MK3"}};
        D2XXUnit d2xx(&log, &backend);
        d2xx.ReportDeviceErrors = true;
        QCOMPARE(d2xx.GetFTDeviceCount(), 0);
        QCOMPARE(d2xx.FTDeviceCount, 2u);
        QCOMPARE(d2xx.GetFTDeviceDescription(0), 0);
        QCOMPARE(d2xx.FTDeviceString, QByteArray(64, 'D')); // 64 bytes without NUL: 64 characters
        QCOMPARE(d2xx.GetFTDeviceSerialNo(1), 0);
        QCOMPARE(d2xx.FTDeviceString, QByteArray("SER")); // up to the NUL
        // An index beyond the count: the library's status, reported, the text unchanged.
        QCOMPARE(d2xx.GetFTDeviceSerialNo(5), 2);
        QCOMPARE(d2xx.FTDeviceString, QByteArray("SER"));
        QCOMPARE(log.lines(), QStringList{"GetFTDeviceSerialNo - Device not found..."});
    }

    void failedCountKeepsThePreviousValue()
    {
        DiagnosticLog log;
        ScriptedBackend backend;
        backend.devices = {{"A", "B"}};
        D2XXUnit d2xx(&log, &backend);
        d2xx.GetFTDeviceCount();
        backend.devices.clear();
        backend.status = 4;
        QCOMPARE(d2xx.GetFTDeviceCount(), 4);
        QCOMPARE(d2xx.FTDeviceCount, 1u);
    }

    void readOfEmptyQueue()
    {
        DiagnosticLog log;
        ScriptedBackend backend;
        D2XXUnit d2xx(&log, &backend);
        d2xx.FTReceiveBuffer[0] = 0x55;
        QCOMPARE(d2xx.ReadFTDeviceBuffer(65536), 0u);
        QCOMPARE(backend.lastReadCount, 0u);
        QCOMPARE(d2xx.FTReceiveBuffer[0], 0x55);
        backend.queued = QByteArray("\x01\x02", 2);
        QCOMPARE(d2xx.ReadFTDeviceBuffer(65536), 2u);
        QCOMPARE(d2xx.FTReceiveBuffer[1], 0x02);
    }

    void readTakesAtMostTheRequestedCount()
    {
        DiagnosticLog log;
        ScriptedBackend backend;
        backend.queued = QByteArray("\x79\x11\x22\x33\x44", 5);
        D2XXUnit d2xx(&log, &backend);
        QCOMPARE(d2xx.ReadFTDeviceBuffer(2), 2u);
        QCOMPARE(backend.lastReadCount, 2u);
        QCOMPARE(d2xx.FTReceiveBuffer[1], 0x11);
        QCOMPARE(d2xx.ReadFTDeviceBuffer(65536), 3u); // the rest stayed queued
        QCOMPARE(d2xx.FTReceiveBuffer[0], 0x22);
    }

    void readNeverAsksBeyondTheBuffer()
    {
        DiagnosticLog log;
        ScriptedBackend backend;
        backend.queued = QByteArray(70000, 'x');
        D2XXUnit d2xx(&log, &backend);
        QCOMPARE(d2xx.ReadFTDeviceBuffer(65536), 65536u);
        QCOMPARE(backend.lastReadCount, 65536u);
    }
};

QTEST_GUILESS_MAIN(TestD2XX)
#include "tst_d2xx.moc"
