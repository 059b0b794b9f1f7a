// src/settings owns the settings file: reading and writing it (TNewIniFile), its storage on
// disk, the profile that names it and the record of one launch button.
#pragma once

#include <QHash>
#include <QString>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>

// A refused write, key deletion or section deletion. what() is "Unable to write to " + path.
class SettingsWriteError : public std::runtime_error {
public:
    explicit SettingsWriteError(const QString &path);
    QString Path() const { return path_; }

private:
    QString path_;
};

struct IniFileState; // the shared, per-path state: cached parse, open transaction

// The settings file: a Windows-style INI file, read without regard to case, written atomically.
//
// Reads use a parse cached per path that is trusted only while the file on disk is unchanged.
// Every change takes the advisory lock shared by all copies, re-reads the file under it,
// applies the change and replaces the file atomically. Inside a transaction the changes
// collect in memory (reads see them) and land with one rewrite at Commit(), or not at all.
class TNewIniFile {
public:
    explicit TNewIniFile(const QString &fileName);
    // A file whose every write is refused: for a path that must never be written, such as a
    // profile name that cannot be a file name. Reads give the defaults.
    static TNewIniFile Refusing(const QString &fileName);

    QString ReadString(const QString &section, const QString &key,
                       const QString &defaultValue) const;
    int ReadInteger(const QString &section, const QString &key, int defaultValue) const;
    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteInteger(const QString &section, const QString &key, int value);
    void EraseKey(const QString &section, const QString &key);
    void EraseSection(const QString &section);

    bool SectionExists(const QString &section) const;
    // Every value of a section, cut as ReadString cuts them, by case-folded key names:
    // one look at the file for a whole section.
    QHash<QString, QString> ReadSectionValues(const QString &section) const;
    bool ValueExists(const QString &section, const QString &key) const;
    QString FileName() const { return fileName_; }

    // The longest value a write accepts; reads cut longer stored values to this length.
    static constexpr int MaxValueLength = 1023;
    // The integer rule of the file: decimal with optional sign, "0x"/"0X" or "$" hexadecimal.
    static bool ParseInteger(const QString &text, int *value);

private:
    friend class SettingsTransaction;
    QString fileName_;
    bool refused_ = false;
    std::shared_ptr<IniFileState> state_;
};

// One multi-step change of a settings file: every write made through any TNewIniFile of the
// same path on this thread while it is open lands with Commit() as one atomic rewrite. If the
// transaction is destroyed without Commit() (an exception left the operation), the file is
// left exactly as it was. Transactions nest; only the outermost one writes.
class SettingsTransaction {
public:
    explicit SettingsTransaction(const TNewIniFile &file);
    ~SettingsTransaction();
    SettingsTransaction(const SettingsTransaction &) = delete;
    SettingsTransaction &operator=(const SettingsTransaction &) = delete;
    void Commit();

private:
    std::shared_ptr<IniFileState> state_;
    QString fileName_;
    bool done_ = false;
    std::size_t mark_ = 0; // operations made before this one began: kept if it is abandoned
};
