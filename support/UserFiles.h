#pragma once
// The per-user folder (documents folder + "Karvo/Quarnelo MK3") and its small files:
// the YES/NO flag files, log.txt and its size check at start-up.

#include <QString>

class Prompts;

class UserFiles {
public:
    // documentsFolder: the base. Empty means "unknown": folders are then relative to the
    // current directory, as the editor has always done.
    UserFiles(const QString &documentsFolder, Prompts *prompts);

    // The user's documents folder as the platform reports it (empty when unknown).
    static QString defaultDocumentsFolder();

    static constexpr const char *MakerName = "Karvo";
    static constexpr const char *ProductName = "Quarnelo MK3";
    static constexpr qint64 LogTrimSize = 5000000;

    QString base() const { return m_base; }
    QString makerFolder() const;
    QString userFolder() const;           // UserFolder
    QString userFile(const QString &name) const;
    QString makerFile(const QString &name) const;

    void createMakerFolder(const QString &folderName);
    void createProductFolder(const QString &makerName, const QString &productName);
    // Returns the file's text; a missing file is created holding defaultText.
    QString readOrCreateFlagFile(const QString &fileName, const QString &defaultText);
    void loadUserSettings();
    void trimLogFile();
    // Rewrites a YES/NO flag file, but only while it exists. Returns whether it was written.
    bool rewriteFlagFile(const QString &fileName, bool yes);

    // Reads a text file: a byte-order mark is honoured, UTF-8 is the default and bytes
    // that are not valid UTF-8 are read as Latin-1. ok is false when it cannot be read.
    static QString readTextFile(const QString &path, bool *ok = nullptr, QString *error = nullptr);
    // Replaces a file's content with text as UTF-8 without byte-order mark, atomically.
    static bool writeTextFile(const QString &path, const QString &text, QString *error = nullptr);

    bool showUpdateMessage = true;   // the show-update-message switch
    bool reportUsbErrors = false;    // the Report-USB-Errors setting

private:
    QString m_base;
    Prompts *m_prompts;
};
