#include "pedal/PedalState.h"

#include "device/HexCodec.h"

PedalState::PedalState()
{
    for (int i = 0; i < ParameterCatalogue::Count; ++i) {
        const ParameterInfo &info = ParameterCatalogue::all()[size_t(i)];
        ParameterRecord &r = parameters[size_t(i)];
        r.name = QString::fromLatin1(info.name);
        // Assignable parameters have no address until the first image header is read.
        r.address = info.record == RecordKind::Assignable ? 0xFFFF : 0;
        shown[size_t(i)] = info.initialState;
    }
}

bool PedalState::loadParameterAddresses(const QString &headerLine)
{
    bool complete = true;
    for (int i = 0; i < ParameterCatalogue::Count; ++i) {
        const int k = ParameterCatalogue::all()[size_t(i)].headerWord;
        if (k < 0)
            continue; // Range: the header has no word for it
        // Word k: characters 7 + 4k to 10 + 4k, counted from 1.
        const QString text = headerLine.mid(6 + 4 * k, 4);
        QString error;
        const QByteArray b = HexCodec::hexTextToBytes(text, &error);
        if (text.size() < 4 || !error.isEmpty()) {
            complete = false;
            continue;
        }
        parameters[size_t(i)].address = quint16(quint8(b[0]) * 256 + quint8(b[1]));
    }
    return complete;
}
