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
    if (image->size() < 8)
        return QStringLiteral("the image holds %1 bytes, too few for a vector table").arg(image->size());
    const auto *p = reinterpret_cast<const uchar *>(image->constData());
    const quint32 stack = qFromLittleEndian<quint32>(p);
    const quint32 reset = qFromLittleEndian<quint32>(p + 4);
    if ((stack & 0xFFFF0000u) != 0x20000000u)
        return QStringLiteral("it does not start with a vector table: its stack pointer 0x%1 is not in RAM (0x2000xxxx)")
            .arg(stack, 8, 16, QLatin1Char('0'));
    const quint32 end = FlashBase + quint32(image->size());
    if (!(reset & 1u) || reset < FlashBase + 8 || reset >= end)
        return QStringLiteral("it does not start with a vector table: its reset vector 0x%1 is not a Thumb address "
                              "inside the image (0x%2 to 0x%3)")
            .arg(reset, 8, 16, QLatin1Char('0'))
            .arg(FlashBase, 8, 16, QLatin1Char('0'))
            .arg(end - 1, 8, 16, QLatin1Char('0'));
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
