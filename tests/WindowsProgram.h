#pragma once
// A minimal Windows program for the updater tests: a PE32 file of one ".rsrc" section holding
// a version resource with the given file version. It runs nowhere; it is what an updater's
// version is read from.

#include <QByteArray>
#include <QtEndian>

inline QByteArray windowsProgram(int major, int minor, int build = 0, int revision = 0)
{
    QByteArray f(0x400, '\0');
    const auto u16 = [&f](int at, quint16 v) { qToLittleEndian(v, f.data() + at); };
    const auto u32 = [&f](int at, quint32 v) { qToLittleEndian(v, f.data() + at); };
    f[0] = 'M';
    f[1] = 'Z';
    u32(0x3C, 0x40);
    f.replace(0x40, 4, QByteArray("PE\0\0", 4));
    const int coff = 0x44, optional = coff + 20;
    u16(coff, 0x14C);      // i386
    u16(coff + 2, 1);      // one section
    u16(coff + 16, 0xE0);  // the optional header's size
    u16(coff + 18, 0x0102);
    u16(optional, 0x10B);  // PE32
    u32(optional + 92, 16);                 // data directories
    u32(optional + 96 + 16, 0x1000);        // the resource table's address
    u32(optional + 96 + 20, 0x58 + 92);     // and size
    const int section = optional + 0xE0;
    f.replace(section, 5, QByteArray(".rsrc"));
    u32(section + 8, 0x58 + 92); // virtual size
    u32(section + 12, 0x1000);   // virtual address
    u32(section + 16, 0x200);    // size in the file
    u32(section + 20, 0x200);    // place in the file
    const int r = 0x200;
    u16(r + 14, 1);                              // type directory: one id entry
    u32(r + 16, 16);                             // RT_VERSION
    u32(r + 20, 0x80000000u | 0x18);
    u16(r + 0x18 + 14, 1);                       // name directory
    u32(r + 0x18 + 16, 1);
    u32(r + 0x18 + 20, 0x80000000u | 0x30);
    u16(r + 0x30 + 14, 1);                       // language directory
    u32(r + 0x30 + 16, 0x409);
    u32(r + 0x30 + 20, 0x48);                    // a data entry
    u32(r + 0x48, 0x1000 + 0x58);                // the data's address
    u32(r + 0x48 + 4, 92);                       // and size
    const int info = r + 0x58;                   // VS_VERSIONINFO
    u16(info, 92);
    u16(info + 2, 52);
    const QString key = QStringLiteral("VS_VERSION_INFO");
    for (int i = 0; i < key.size(); ++i)
        u16(info + 6 + 2 * i, key[i].unicode());
    const int fixed = info + 40;                 // VS_FIXEDFILEINFO
    u32(fixed, 0xFEEF04BD);
    u32(fixed + 4, 0x10000);
    u32(fixed + 8, quint32(major) << 16 | quint32(minor));
    u32(fixed + 12, quint32(build) << 16 | quint32(revision));
    u32(fixed + 16, quint32(major) << 16 | quint32(minor));
    u32(fixed + 32, 0x40004);
    u32(fixed + 36, 1);
    return f;
}
