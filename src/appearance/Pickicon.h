#pragma once

#include <QDialog>
#include <QString>
#include <optional>

class IHelp;
class IShell;
class QFrame;
class QLabel;
class QToolButton;

// The icon picker: steps through the icons of one file and returns the one chosen.
//
//     TForm2 picker(shell, help, file, parent);
//     std::optional<int> index = picker.Pick(); // nothing when closed without choosing
//
// The caller stores the choice; the picker itself writes nothing.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    TForm2(IShell &shell, IHelp &help, const QString &file, QWidget *parent = nullptr);

    // Shows the picker modally: the chosen index, or nothing when it was closed otherwise.
    std::optional<int> Pick();
    // The index chosen while the picker was last shown.
    std::optional<int> Chosen() const { return chosen_; }
    int Index() const { return index_; }
    int Count() const { return count_; }

    // Each showing starts at the first icon of the file.
    void FormActivate();
    // Shows the icon at the current index and the counter.
    void IconShow();
    void SpinButton1UpClick();
    void SpinButton1DownClick();
    // Chooses the icon shown and closes.
    void SpeedButton1Click();
    // Help on choosing icons.
    void SpeedButton2Click();

    QFrame *Panel1 = nullptr;            // the top row of buttons
    QToolButton *SpeedButton1 = nullptr; // choose, showing the current icon
    QWidget *SpinButton1 = nullptr;      // the up/down pair
    QToolButton *SpinUp = nullptr;
    QToolButton *SpinDown = nullptr;
    QToolButton *SpeedButton2 = nullptr; // help
    QLabel *Panel2 = nullptr;            // the counter

    static constexpr int HelpTopic = 14;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    IShell &shell_;
    IHelp &help_;
    QString file_;   // the file the picker was made for
    QString source_; // the file being shown
    int index_ = 0;
    int count_ = 0;
    std::optional<int> chosen_;
};
