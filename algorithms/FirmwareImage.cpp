#include "algorithms/FirmwareImage.h"

#include "support/BoundedFile.h"
#include "support/Resources.h"

#include <QtEndian>

QStringList FirmwareImage::chooserNames()
{
    QStringList names;
    for (int n = 5; n <= 15; ++n)
        names << QStringLiteral("Firmware_%1").arg(n);
    return names;
}

int FirmwareImage::numberFromName(const QString &name, int previous)
{
    const int digits = name.size() - 9;
    if (digits < 1 || digits > 3)
        return previous;
    bool ok = false;
    const int n = name.right(digits).toInt(&ok);
    return ok ? n : previous;
}

bool FirmwareImage::loadCarried(const QString &name, QByteArray *image, QString *error)
{
    return Resources::load(name, image, error);
}

bool FirmwareImage::readFile(const QString &path, QByteArray *image, QString *why)
{
    const BoundedFile file = BoundedFile::read(path, MaxBytes);
    switch (file.status) {
    case BoundedFile::Read:
        *image = file.data;
        return true;
    case BoundedFile::NotRegular:
        *why = QStringLiteral("it is ") + file.kind;
        return false;
    case BoundedFile::TooLarge:
        *why = QStringLiteral("it is %1 bytes long; a firmware image is at most %2 bytes, below the firmware number record")
                   .arg(file.size)
                   .arg(MaxBytes);
        return false;
    case BoundedFile::CannotOpen:
        break;
    }
    *why = file.error;
    return false;
}

QString FirmwareImage::check(QByteArray *image)
{
    if (image->isEmpty())
        return QStringLiteral("the image is empty");
    if (image->size() > MaxBytes)
        return QStringLiteral("the image holds %1 bytes; at most %2 fit below the firmware number record")
            .arg(image->size())
            .arg(MaxBytes);
    if (image->size() < MinBytes)
        return QStringLiteral("the image holds %1 bytes, too few for a vector table of %2 words and a program")
            .arg(image->size())
            .arg(VectorWords);
    const auto *p = reinterpret_cast<const uchar *>(image->constData());
    const auto hex = [](quint32 v) { return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0')); };
    const quint32 stack = qFromLittleEndian<quint32>(p);
    if (stack <= RamBase || stack > RamBase + RamBytes || stack % 4)
        return QStringLiteral("it does not start with a vector table: its stack pointer %1 is not in RAM (%2 to %3)")
            .arg(hex(stack), hex(RamBase + 4), hex(RamBase + RamBytes));
    // The handlers, from the reset vector on, are Thumb addresses (lowest bit set) of code inside
    // the image, past the table; a zero is an unused entry, except for the reset vector.
    const quint32 first = FlashBase + VectorWords * 4;
    const quint32 end = FlashBase + quint32(image->size());
    for (int v = 1; v < VectorWords; ++v) {
        const quint32 handler = qFromLittleEndian<quint32>(p + 4 * v);
        if (handler == 0 && v != 1)
            continue;
        if (!(handler & 1u) || handler < first || handler >= end)
            return QStringLiteral("it does not start with a vector table: its %1 0x%2 is not a Thumb address "
                                  "inside the image (0x%3 to 0x%4)")
                .arg(v == 1 ? QStringLiteral("reset vector") : QStringLiteral("vector %1").arg(v))
                .arg(handler, 8, 16, QLatin1Char('0'))
                .arg(first, 8, 16, QLatin1Char('0'))
                .arg(end - 1, 8, 16, QLatin1Char('0'));
    }
    if (image->size() % 4)
        image->append(QByteArray(4 - image->size() % 4, char(0xFF)));
    return QString();
}

QList<QByteArray> FirmwareImage::blocks(const QByteArray &image)
{
    QList<QByteArray> out;
    for (qsizetype at = 0; at < image.size(); at += BlockBytes)
        out << image.mid(at, BlockBytes);
    return out;
}
