#include "pedal/BackupSnapshot.h"

#include "device/HexCodec.h"
#include "support/BoundedFile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using HexCodec::hexNumber;

namespace {
const QString MemoryNote = QStringLiteral(
    "Kept for the record: no message writes the settings memory back, so a restore cannot put these bytes into the "
    "pedal.");
const QString NotReportedNote = QStringLiteral(
    "noteFilters and rangeLimit are never reported by the pedal: a backup holds them only when the editor sent them.");

template <typename T>
void putOptional(QJsonObject &o, const char *key, const std::optional<T> &value)
{
    if (value)
        o.insert(QLatin1String(key), *value);
}

// Reading: each field checked; the first fault found is the reason.
struct Reader {
    QString error;
    bool fail(const QString &why)
    {
        if (error.isEmpty())
            error = why;
        return false;
    }
    std::optional<int> integer(const QJsonObject &o, const char *key, int low, int high, bool required = false)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull()) {
            if (required)
                fail(QStringLiteral("\"%1\" is missing").arg(QLatin1String(key)));
            return std::nullopt;
        }
        const double d = v.toDouble(-1e9);
        if (!v.isDouble() || d != double(int(d)) || d < low || d > high) {
            fail(QStringLiteral("\"%1\" is not a number from %2 to %3").arg(QLatin1String(key)).arg(low).arg(high));
            return std::nullopt;
        }
        return int(d);
    }
    std::optional<bool> boolean(const QJsonObject &o, const char *key)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        if (!v.isBool()) {
            fail(QStringLiteral("\"%1\" is not true or false").arg(QLatin1String(key)));
            return std::nullopt;
        }
        return v.toBool();
    }
    QString text(const QJsonObject &o, const char *key, int maxLength = 200)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (!v.isUndefined() && !v.isString())
            fail(QStringLiteral("\"%1\" is not a text").arg(QLatin1String(key)));
        const QString s = v.toString();
        if (s.size() > maxLength)
            fail(QStringLiteral("\"%1\" is longer than %2 characters").arg(QLatin1String(key)).arg(maxLength));
        return s.left(maxLength);
    }
    QByteArray hex(const QJsonObject &o, const char *key, int bytes)
    {
        static const QRegularExpression hexDigits(QStringLiteral("^[0-9A-Fa-f]*$"));
        const QString s = text(o, key, bytes * 2);
        if (s.size() != bytes * 2 || !hexDigits.match(s).hasMatch()) {
            fail(QStringLiteral("\"%1\" is not %2 bytes of hex digits").arg(QLatin1String(key)).arg(bytes));
            return QByteArray();
        }
        return QByteArray::fromHex(s.toLatin1());
    }
};
} // namespace

QByteArray BackupSnapshot::toJson() const
{
    QJsonObject root;
    root.insert(QStringLiteral("format"), FormatName);
    root.insert(QStringLiteral("formatVersion"), FormatVersion);
    root.insert(QStringLiteral("saved"), saved.toString(Qt::ISODate));
    root.insert(QStringLiteral("occasion"), occasion);
    root.insert(QStringLiteral("editorVersion"), editorVersion);
    root.insert(QStringLiteral("serialNumber"), serialNumber);
    root.insert(QStringLiteral("firmware"), firmware);
    root.insert(QStringLiteral("algorithm"), algorithm);
    root.insert(QStringLiteral("effect"), effect);
    root.insert(QStringLiteral("bypass"), bypass);

    QJsonArray parameters;
    for (int i = 0; i < ParameterCatalogue::Count; ++i)
        parameters.append(QJsonObject{{QStringLiteral("name"), ParameterCatalogue::name(i)},
                                      {QStringLiteral("word"), hexNumber(settings.words[size_t(i)], 8)}});
    root.insert(QStringLiteral("parameters"), parameters);
    QJsonArray assignments;
    for (int c = 0; c < ParameterCatalogue::AssignableControls; ++c) {
        QJsonObject a{{QStringLiteral("control"), PedalSettings::controlName(c)}};
        if (const auto item = settings.assignItems[size_t(c)]) {
            a.insert(QStringLiteral("item"), *item);
            a.insert(QStringLiteral("shows"), PedalSettings::assignText(c, item));
        }
        assignments.append(a);
    }
    root.insert(QStringLiteral("assignments"), assignments);
    putOptional(root, "shortPressChangesPreset", settings.shortPressChangesPreset);
    putOptional(root, "longPressBypasses", settings.longPressBypasses);
    putOptional(root, "tuning", settings.tuningItem);
    putOptional(root, "semitoneVariation", settings.semitoneVariation);
    if (settings.instrumentRange)
        root.insert(QStringLiteral("instrumentRange"), int(*settings.instrumentRange));
    putOptional(root, "storeBypassStatus", settings.storeBypassStatus);
    putOptional(root, "midiChannel", settings.midiChannelItem);
    if (settings.noteFilters) {
        QJsonArray codes;
        for (int code : *settings.noteFilters)
            codes.append(code);
        root.insert(QStringLiteral("noteFilters"), codes);
    }
    putOptional(root, "rangeLimit", settings.rangeLimitOn);
    root.insert(QStringLiteral("notReportedByThePedal"), NotReportedNote);
    root.insert(QStringLiteral("deviceInformationAnswer"), QString::fromLatin1(answerValues.toHex().toUpper()));
    if (settingsMemory) {
        QJsonObject m{{QStringLiteral("address"), settingsMemory->address}, {QStringLiteral("note"), MemoryNote}};
        if (settingsMemory->problem.isEmpty())
            m.insert(QStringLiteral("bytes"), QString::fromLatin1(settingsMemory->bytes.toHex().toUpper()));
        else
            m.insert(QStringLiteral("notRead"), settingsMemory->problem);
        root.insert(QStringLiteral("settingsMemory"), m);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool BackupSnapshot::parse(const QByteArray &json, BackupSnapshot *out, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (!doc.isObject()) {
        *error = doc.isNull() ? QStringLiteral("it is not JSON (%1 at byte %2)").arg(parseError.errorString()).arg(parseError.offset)
                              : QStringLiteral("it is not a JSON object");
        return false;
    }
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("format")).toString() != FormatName) {
        *error = QStringLiteral("it is not a Quarnelo MK3 settings backup");
        return false;
    }
    Reader r;
    const auto version = r.integer(root, "formatVersion", 1, 1000000, true);
    if (version && *version > FormatVersion) {
        *error = QStringLiteral("it was written by a newer editor (format %1; this editor reads %2)")
                     .arg(*version)
                     .arg(FormatVersion);
        return false;
    }
    BackupSnapshot s;
    s.saved = QDateTime::fromString(r.text(root, "saved"), Qt::ISODate);
    s.occasion = r.text(root, "occasion");
    s.editorVersion = r.text(root, "editorVersion");
    s.serialNumber = r.text(root, "serialNumber");
    s.firmware = r.integer(root, "firmware", 0, 255, true).value_or(0);
    s.algorithm = r.text(root, "algorithm", 4);
    s.effect = r.text(root, "effect", 2);
    s.bypass = r.boolean(root, "bypass").value_or(false);

    const QJsonArray parameters = root.value(QStringLiteral("parameters")).toArray();
    if (parameters.size() != ParameterCatalogue::Count)
        r.fail(QStringLiteral("it holds %1 parameters, not %2").arg(parameters.size()).arg(ParameterCatalogue::Count));
    for (int i = 0; i < ParameterCatalogue::Count && i < parameters.size(); ++i) {
        const QJsonObject p = parameters[i].toObject();
        if (p.value(QStringLiteral("name")).toString() != ParameterCatalogue::name(i))
            r.fail(QStringLiteral("parameter %1 is not %2").arg(i + 1).arg(ParameterCatalogue::name(i)));
        const QByteArray word = r.hex(p, "word", 4);
        if (word.size() == 4)
            s.settings.words[size_t(i)] = quint32(quint8(word[0])) << 24 | quint32(quint8(word[1])) << 16 |
                                          quint32(quint8(word[2])) << 8 | quint8(word[3]);
    }
    const QJsonArray assignments = root.value(QStringLiteral("assignments")).toArray();
    if (assignments.size() != ParameterCatalogue::AssignableControls)
        r.fail(QStringLiteral("it holds %1 assignments, not %2").arg(assignments.size()).arg(ParameterCatalogue::AssignableControls));
    for (int c = 0; c < ParameterCatalogue::AssignableControls && c < assignments.size(); ++c) {
        const int items = int(ParameterCatalogue::assignItems(c).size()) - 1;
        s.settings.assignItems[size_t(c)] = r.integer(assignments[c].toObject(), "item", 0, items);
    }
    s.settings.shortPressChangesPreset = r.boolean(root, "shortPressChangesPreset");
    s.settings.longPressBypasses = r.boolean(root, "longPressBypasses");
    s.settings.tuningItem = r.integer(root, "tuning", 0, 8);
    s.settings.semitoneVariation = r.integer(root, "semitoneVariation", -5, 3);
    if (const auto range = r.integer(root, "instrumentRange", 0, 255)) {
        if (*range == 0xFF || *range == 0xBA)
            s.settings.instrumentRange = quint8(*range);
        else
            r.fail(QStringLiteral("\"instrumentRange\" is neither 255 (Standard) nor 186 (Low)"));
    }
    s.settings.storeBypassStatus = r.boolean(root, "storeBypassStatus");
    s.settings.midiChannelItem = r.integer(root, "midiChannel", 0, 16);
    const QJsonValue filters = root.value(QStringLiteral("noteFilters"));
    if (filters.isArray()) {
        QList<int> codes;
        const QJsonArray a = filters.toArray();
        if (a.size() > 2)
            r.fail(QStringLiteral("\"noteFilters\" holds more than two notes"));
        for (const QJsonValue &v : a) {
            const double d = v.toDouble(-1);
            if (!v.isDouble() || d != double(int(d)) || d < 0 || d > 254)
                r.fail(QStringLiteral("\"noteFilters\" holds something that is not a note code"));
            codes << int(d);
        }
        s.settings.noteFilters = codes;
    } else if (!filters.isUndefined() && !filters.isNull()) {
        r.fail(QStringLiteral("\"noteFilters\" is not a list"));
    }
    s.settings.rangeLimitOn = r.boolean(root, "rangeLimit");
    s.answerValues = r.hex(root, "deviceInformationAnswer", DeviceInformation::Values);
    const QJsonValue memory = root.value(QStringLiteral("settingsMemory"));
    if (memory.isObject()) {
        const QJsonObject m = memory.toObject();
        Memory kept;
        kept.address = r.text(m, "address", 2);
        if (m.contains(QStringLiteral("bytes")))
            kept.bytes = r.hex(m, "bytes", 16384);
        else
            kept.problem = r.text(m, "notRead", 1000);
        s.settingsMemory = kept;
    }
    if (!r.error.isEmpty()) {
        *error = r.error;
        return false;
    }
    *out = s;
    return true;
}

bool BackupSnapshot::load(const QString &path, BackupSnapshot *snapshot, QString *error, QString *snapshotPath)
{
    // A backup's preset or report names its snapshot: the same name, ending in " snapshot.json".
    QString file = path;
    for (const QString &suffix : {QStringLiteral(" preset.txt"), QStringLiteral(" report.txt")}) {
        if (path.endsWith(suffix) && QFileInfo::exists(path.chopped(suffix.size()) + QStringLiteral(" snapshot.json")))
            file = path.chopped(suffix.size()) + QStringLiteral(" snapshot.json");
    }
    const QString name = QFileInfo(file).fileName();
    const BoundedFile read = BoundedFile::read(file, MaxFileBytes);
    switch (read.status) {
    case BoundedFile::NotRegular:
        *error = QStringLiteral("%1 is %2, not a backup").arg(name, read.kind);
        return false;
    case BoundedFile::CannotOpen:
        *error = QStringLiteral("%1 cannot be read: %2").arg(name, read.error);
        return false;
    case BoundedFile::TooLarge:
        *error = QStringLiteral("%1 is larger than %2 bytes; it is not a backup").arg(name).arg(MaxFileBytes);
        return false;
    case BoundedFile::Read:
        break;
    }
    QString why;
    if (!parse(read.data, snapshot, &why)) {
        *error = QStringLiteral("%1 is not a backup the editor can restore: %2").arg(name, why);
        return false;
    }
    if (snapshotPath)
        *snapshotPath = file;
    return true;
}
