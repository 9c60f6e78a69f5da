#include "pedal/ValueText.h"

#include "device/HexCodec.h"
#include "device/PedalMessages.h"
#include "pedal/DialMath.h"
#include "pedal/ParameterCatalogue.h"

#include <QRegularExpression>

namespace ValueText {
namespace {
const QString Unknown = QStringLiteral("?");

const ParameterInfo &info(int parameter) { return ParameterCatalogue::all()[size_t(parameter)]; }

QString onOff(bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); }
QString slowFast(bool slow) { return slow ? QStringLiteral("slow") : QStringLiteral("fast"); }

// The on and off words of a switch: Wave and Attack have words of their own, the others 1 and 0.
std::pair<quint32, quint32> switchWords(int parameter)
{
    if (parameter == Parameter::Wave)
        return {PedalMessages::WaveOnValue, PedalMessages::WaveOffValue};
    if (parameter == Parameter::Attack)
        return {PedalMessages::AttackSlowValue, PedalMessages::AttackFastValue};
    return {1, 0};
}

std::optional<int> wholeNumber(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?\\d{1,6}$"));
    if (!number.match(text).hasMatch())
        return std::nullopt;
    return text.toInt();
}
} // namespace

QString semitones(int s) { return QStringLiteral("%1%2 st").arg(s > 0 ? QStringLiteral("+") : QString()).arg(s); }

int steps(int parameter)
{
    const ParameterInfo &p = info(parameter);
    return p.control == ControlKind::Dial && p.fullScale != DialMath::FullScale ? int(p.fullScale) : 0;
}

QString dataWordLine(quint32 word) { return QStringLiteral("Data word 0x") + HexCodec::hexNumber(word, 8); }

QString ofWord(int parameter, quint32 word)
{
    const ParameterInfo &p = info(parameter);
    switch (p.control) {
    case ControlKind::Dial:
        if (const int full = steps(parameter))
            return QStringLiteral("%1 / %2").arg(DialMath::ownScaleWord(word, p.fullScale)).arg(full);
        return QString::number(DialMath::wordToLevel(word, DialMath::FullScale));
    case ControlKind::List:
        for (int k = 0; k < int(DialMath::HarmonicPitchTable.size()); ++k) {
            if (DialMath::HarmonicPitchTable[size_t(k)] == word)
                return semitones(k - 12);
        }
        return Unknown;
    case ControlKind::Switch: {
        const auto [on, off] = switchWords(parameter);
        if (word != on && word != off)
            return Unknown;
        return parameter == Parameter::Attack ? slowFast(word == on) : onOff(word == on);
    }
    case ControlKind::CheckBox:
        return word <= 1 ? onOff(word == 1) : Unknown;
    }
    return Unknown;
}

QString ofState(int parameter, int state)
{
    if (info(parameter).control == ControlKind::List &&
        (state < 0 || state >= int(DialMath::HarmonicPitchTable.size())))
        return Unknown; // nothing selected
    return ofWord(parameter, ParameterCatalogue::wordFor(parameter, state));
}

std::optional<int> stateOf(int parameter, const QString &typed, BareNumber bare, QString *takes)
{
    const ParameterInfo &p = info(parameter);
    const QString text = typed.trimmed();
    switch (p.control) {
    case ControlKind::Dial: {
        const int full = steps(parameter);
        const QString levels = QStringLiteral("a level from 0 to %1").arg(DialMath::MaxLevel);
        static const QRegularExpression stepOfFull(QStringLiteral("^(\\d{1,6})\\s*/\\s*(\\d{1,6})$"));
        const QRegularExpressionMatch ofFull = stepOfFull.match(text);
        *takes = !full                       ? levels
                 : bare == BareNumber::Step ? QStringLiteral("a step from 0 to %1").arg(full)
                                            : QStringLiteral("a step from 0/%1 to %1/%1 or %2").arg(full).arg(levels);
        if (!full || (!ofFull.hasMatch() && bare == BareNumber::Level)) {
            const std::optional<int> level = wholeNumber(text);
            if (!level || *level < 0 || *level > DialMath::MaxLevel)
                return std::nullopt;
            return DialMath::levelToAngle(*level);
        }
        // A step shows where the pedal's report of that step shows, and sends a word the pedal
        // reports as that step.
        if (ofFull.hasMatch() && ofFull.captured(2).toInt() != full)
            return std::nullopt;
        const std::optional<int> step = ofFull.hasMatch() ? std::optional<int>(ofFull.captured(1).toInt()) : wholeNumber(text);
        if (!step || *step < 0 || *step > full)
            return std::nullopt;
        return DialMath::valueToDialAngle(quint32(*step), p.fullScale);
    }
    case ControlKind::Switch:
    case ControlKind::CheckBox: {
        const auto is = [&text](const char *word) { return text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0; };
        if (parameter == Parameter::Attack) {
            *takes = QStringLiteral("slow or fast (on or off)");
            if (is("slow"))
                return 1;
            if (is("fast"))
                return 0;
        } else {
            *takes = QStringLiteral("on or off");
        }
        if (is("on"))
            return 1;
        if (is("off"))
            return 0;
        return std::nullopt;
    }
    case ControlKind::List: {
        *takes = QStringLiteral("semitones from -12 to +12");
        static const QRegularExpression withUnit(QStringLiteral("\\s*st$"), QRegularExpression::CaseInsensitiveOption);
        QString number = text;
        number.remove(withUnit);
        const std::optional<int> s = wholeNumber(number);
        if (!s || *s < -12 || *s > 12)
            return std::nullopt;
        return *s + 12;
    }
    }
    return std::nullopt;
}
} // namespace ValueText
