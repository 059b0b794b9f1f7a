#include "appearance/Pickicon.h"

#include "appearance/Glyph.h"
#include "platform/Help.h"
#include "platform/Shell.h"

#include <QKeyEvent>
#include <QLabel>
#include <QToolButton>

TForm2::TForm2(IShell &shell, IHelp &help, const QString &file, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      shell_(shell), help_(help), file_(file) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Select"));
    // Modal to the bar only, so the help window opened from here can still be used.
    setWindowModality(Qt::WindowModal);
    setFixedSize(113, 58);
    move(258, 162);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(2);
    Panel1->setGeometry(0, 0, 113, 41);

    SpeedButton1 = new QToolButton(Panel1);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setGeometry(2, 2, 37, 37);
    SpeedButton1->setIconSize(kGlyphSize);
    SpeedButton1->setToolTip(QStringLiteral("Press to choose this Icon"));
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm2::SpeedButton1Click);

    SpinButton1 = new QWidget(Panel1);
    SpinButton1->setObjectName(QStringLiteral("SpinButton1"));
    SpinButton1->setGeometry(44, 2, 25, 37);
    SpinUp = new QToolButton(SpinButton1);
    SpinUp->setObjectName(QStringLiteral("SpinButton1Up"));
    SpinUp->setArrowType(Qt::UpArrow);
    SpinUp->setGeometry(0, 0, 25, 18);
    SpinDown = new QToolButton(SpinButton1);
    SpinDown->setObjectName(QStringLiteral("SpinButton1Down"));
    SpinDown->setArrowType(Qt::DownArrow);
    SpinDown->setGeometry(0, 18, 25, 19);
    for (QToolButton *spin : {SpinUp, SpinDown}) {
        spin->setAutoRepeat(true); // held down, it keeps stepping
        spin->setFocusPolicy(Qt::NoFocus);
    }
    connect(SpinUp, &QToolButton::clicked, this, &TForm2::SpinButton1UpClick);
    connect(SpinDown, &QToolButton::clicked, this, &TForm2::SpinButton1DownClick);

    SpeedButton2 = new QToolButton(Panel1);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setGeometry(74, 2, 37, 37);
    SpeedButton2->setText(QStringLiteral("?"));
    SpeedButton2->setToolTip(QStringLiteral("Help"));
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm2::SpeedButton2Click);

    Panel2 = new QLabel(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setLineWidth(1);
    Panel2->setGeometry(0, 42, 113, 16);
    Panel2->setAlignment(Qt::AlignCenter);
    QFont counterFont(QStringLiteral("MS Sans Serif"));
    counterFont.setStyleHint(QFont::SansSerif);
    counterFont.setBold(true);
    counterFont.setPixelSize(12);
    Panel2->setFont(counterFont);
}

std::optional<int> TForm2::Pick() {
    chosen_.reset();
    exec();
    return chosen_;
}

void TForm2::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    // Once per showing, not on every activation: coming back from the help window keeps the
    // icon the user had stepped to.
    if (!event->spontaneous())
        FormActivate();
}

void TForm2::FormActivate() {
    chosen_.reset();
    source_ = file_;
    index_ = 0;
    IconShow();
}

void TForm2::IconShow() {
    count_ = shell_.IconCount(source_);
    Panel2->setText(QStringLiteral("Icon %1 of %2").arg(index_ + 1).arg(count_));
    SpeedButton1->setIcon(MakeGlyph(shell_.ExtractIcon(source_, index_),
                                    SpeedButton1->palette().color(QPalette::Button),
                                    devicePixelRatioF()));
}

void TForm2::SpinButton1UpClick() {
    if (index_ + 1 < count_) {
        ++index_;
        IconShow();
    }
}

void TForm2::SpinButton1DownClick() {
    if (index_ > 0) {
        --index_;
        IconShow();
    }
}

void TForm2::SpeedButton1Click() {
    chosen_ = index_;
    accept();
}

void TForm2::SpeedButton2Click() {
    help_.ShowTopic(HelpTopic);
}

void TForm2::keyPressEvent(QKeyEvent *event) {
    switch (event->key()) {
    case Qt::Key_Up:
        SpinButton1UpClick();
        return;
    case Qt::Key_Down:
        SpinButton1DownClick();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
