#pragma once
// The editor's own command line, read by the rules of quarnelo-cli: options may come anywhere,
// each at most once, "--" ends them, an option's value follows it or is joined to it with "=";
// the editor takes no other argument.

#include <QString>
#include <QStringList>

struct EditorOptions {
    bool help = false;    // -h, -?, --help, --help-all
    bool version = false; // -v, --version
    bool simulate = false;
    bool reportFirstFrame = false;
    QString port;
};

// Reads arguments (without the program's own name, and without the window system's options,
// which QApplication takes). False, with the reason in error, for a usage the editor refuses.
bool parseEditorOptions(const QStringList &arguments, EditorOptions *options, QString *error);

// The editor's usage: its options, one per line, as --help prints them.
QString editorUsage();
