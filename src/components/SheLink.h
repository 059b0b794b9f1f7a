#pragma once

#include <QObject>
#include <QString>
#include <functional>

// The shortcut reader: reads a Windows shortcut (.lnk) or a freedesktop desktop entry
// (.desktop) and holds what it says as properties. It only reads; it never writes a shortcut.
//
// Setting Path reads the file at the new path; setting Update, to any value, reads the file
// at Path again and leaves Update true. Read() does the same and tells whether it succeeded;
// Ok() tells whether the last read did. The values are stored one after another in this
// order: WorkingDir, Target, IconLocation with IconNumber, Description, ShowCmd, HotKey,
// Arguments; Path is set last, to the path exactly as given.
//
// A read fails in one of two ways:
// - silently, changing nothing, when the file cannot be opened (missing, unreadable, not a
//   regular file, larger than MaxFileBytes) or cannot be resolved: it is neither a shell link
//   nor a desktop entry of type Application or Link, or its structure does not hold together
//   (sizes and offsets that run past the end), or it names no target at all;
// - with a message through OnMessage when the file is a shortcut but a value cannot be read:
//   "Error in get WD", "... GP", "... IL", "... DE", "... SC", "... HK", "... AR" for the values
//   in the order above. The values before it keep their new contents, the rest and Path their
//   earlier ones. A value cannot be read when its bytes run past the end of the file, when
//   the target has no file-system path (a link to a shell folder; a desktop entry without a
//   usable Exec, or whose URL is not a local file), or when a desktop entry's value is not
//   valid UTF-8.
//
// What each kind of file gives:
// - .lnk: the strings as stored. Target is the network (UNC) path when the link has one, else
//   the local path; a Windows path is made a local one through the drive links of the Wine
//   prefix ($WINEPREFIX, else ~/.wine) when it has one for the path's drive (or UNC share),
//   otherwise it stays as stored. IconLocation is the icon environment location when the link
//   has one, else the icon location string, made a local path in the same way (after a
//   leading %SystemRoot%, %windir%, %SystemDrive%, %ProgramFiles%, %CommonProgramFiles%,
//   %ProgramData% or %ALLUSERSPROFILE% is given the value Wine gives it); as stored when the
//   prefix has no link for it. IconNumber is the low 16 bits of the icon index.
// - .desktop: Target the program of Exec as an absolute path (looked up in PATH; as written
//   when it cannot be found), Arguments the other words of Exec with field codes expanded, as a
//   command line; WorkingDir Path=, Description Comment= (else Name=), IconLocation Icon=,
//   IconNumber 0, ShowCmd 1, HotKey 0. Type=Link: Target the local path of URL.
class TShellLink : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Path READ Path WRITE setPath)
    Q_PROPERTY(QString Target READ Target WRITE setTarget)
    Q_PROPERTY(QString WorkingDir READ WorkingDir WRITE setWorkingDir)
    Q_PROPERTY(QString Description READ Description WRITE setDescription)
    Q_PROPERTY(QString Arguments READ Arguments WRITE setArguments)
    Q_PROPERTY(QString IconLocation READ IconLocation WRITE setIconLocation)
    Q_PROPERTY(quint16 HotKey READ HotKey WRITE setHotKey)
    Q_PROPERTY(quint16 ShowCmd READ ShowCmd WRITE setShowCmd)
    Q_PROPERTY(quint16 IconNumber READ IconNumber WRITE setIconNumber)
    Q_PROPERTY(bool Update READ Update WRITE setUpdate)

public:
    // Fired with the text of a failed step's message. The window assigns it to show a message
    // box (no owner, caption ErrorCaption, error icon). Unassigned, the text is only logged,
    // so the component works, and fails, without any window.
    using TMessageEvent = std::function<void(const QString &text)>;
    static const char *const ErrorCaption; // "!! Error !!"
    // Larger files are not shortcuts; they are refused unread.
    static constexpr qint64 MaxFileBytes = 4 << 20;

    explicit TShellLink(QObject *owner = nullptr);

    TMessageEvent OnMessage;

    // Reads the shortcut at fileName as described above; true when every value was read.
    bool Read(const QString &fileName);
    // Whether the last read succeeded (false before the first).
    bool Ok() const { return ok_; }

    QString Path() const { return path_; }
    void setPath(const QString &value);
    bool Update() const { return update_; }
    void setUpdate(bool value);

    // Plain stored values.
    QString Target() const { return target_; }
    void setTarget(const QString &value) { target_ = value; }
    QString WorkingDir() const { return workingDir_; }
    void setWorkingDir(const QString &value) { workingDir_ = value; }
    QString Description() const { return description_; }
    void setDescription(const QString &value) { description_ = value; }
    QString Arguments() const { return arguments_; }
    void setArguments(const QString &value) { arguments_ = value; }
    QString IconLocation() const { return iconLocation_; }
    void setIconLocation(const QString &value) { iconLocation_ = value; }
    quint16 HotKey() const { return hotKey_; }
    void setHotKey(quint16 value) { hotKey_ = value; }
    quint16 ShowCmd() const { return showCmd_; }
    void setShowCmd(quint16 value) { showCmd_ = value; }
    quint16 IconNumber() const { return iconNumber_; }
    void setIconNumber(quint16 value) { iconNumber_ = value; }

    // The local path a Windows path ("C:\...", "\\server\share\...") stands for through the
    // Wine prefix's drive links, each name matched without regard to case as Wine does; the
    // path unchanged when it is not a Windows path or the prefix has no link for its drive.
    static QString WineLocalPath(const QString &windowsPath);

private:
    void Message(const QString &text);

    QString path_;
    QString target_;
    QString workingDir_;
    QString description_;
    QString arguments_;
    QString iconLocation_;
    quint16 hotKey_ = 0;
    quint16 showCmd_ = 0;
    quint16 iconNumber_ = 0;
    bool update_ = false;
    bool ok_ = false;
};
