#pragma once
#include <QString>

// "major.minor" of a four-part file version ("1.21.0.0" gives "1.21"); empty when there is none.
QString editorVersionFrom(const QString &fileVersion);
// The editor's own version, major and minor, from the build's version.
QString editorVersion();
