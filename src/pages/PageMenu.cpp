// The page menu of the tab row, the inline box and the page operations.
#include "app/Icons.h"
#include "pages/PageShift.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QStackedWidget>
#include <QToolButton>

namespace {
// Typed text never adds lines to the settings file.
QString OneLine(QString text) {
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QChar(0), QLatin1Char(' '));
    return text;
}
} // namespace

void TForm1::BuildPageMenu() {
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    PageMenuItems &items = items_.page;
    items.RenamePage1 = AddItem(PopupMenu2, QStringLiteral("RenamePage1"),
                                QStringLiteral("&Rename Page"), &TForm1::TabName);
    items.DeletePage1 = AddItem(PopupMenu2, QStringLiteral("DeletePage1"),
                                QStringLiteral("&Delete Page"), &TForm1::DeletePage);
    items.MovePage1 = AddItem(PopupMenu2, QStringLiteral("MovePage1"), QStringLiteral("&Move Page"),
                              &TForm1::DeletePage);
    items.AddPage1 = AddItem(PopupMenu2, QStringLiteral("AddPage1"), QStringLiteral("&Add Page"),
                             &TForm1::AddPage);
    PopupMenu2->addSeparator();
    // The tab colours' handler is in src/prefs.
    items.UnselectedColor1 =
        AddItem(PopupMenu2, QStringLiteral("UnselectedColor1"),
                QStringLiteral("Change Color of &Unselected Tabs"), &TForm1::ChangeColor1Click);
    items.SelectedColor1 =
        AddItem(PopupMenu2, QStringLiteral("SelectedColor1"),
                QStringLiteral("Change Color of &Selected Tab"), &TForm1::ChangeColor1Click);
    items.TotalPageCount1 = AddItem(PopupMenu2, QStringLiteral("TotalPageCount1"),
                                    QStringLiteral("Change &Total Page Count"), &TForm1::TabCount);
    items.PageSizeSeparator = PopupMenu2->addSeparator();
    items.PButton16 = AddItem(PopupMenu2, QStringLiteral("PButton16"),
                              QStringLiteral("Show 16 Buttons per Page"), &TForm1::PButton16Click);
    items.PButton21 = AddItem(PopupMenu2, QStringLiteral("PButton21"),
                              QStringLiteral("Show 21 Buttons per Page"), &TForm1::PButton16Click);
}

void TForm1::SetMenuTab(int tab) {
    pageMenu_.tab = tab;
}

void TForm1::TabSet1MouseDown(const QPoint &pos) {
    if (InlineBoxOpen() || ModifyLocked())
        return;
    const int position = TabSet1->visiblePositionAt(pos);
    // Where no tab lies, the page commands have no page to act on ("&Add Page" inserts first).
    SetMenuTab(position < 0 ? -1 : position + TabSet1->firstIndex());
    if (pageMenu_.tab >= 0)
        TabSet1->setCurrentIndex(pageMenu_.tab);
    if (mode_ == InteractionMode::Normal)
        ShowPopup(PopupMenu2, client_->mapToGlobal(QPoint(pos.x() + BarGeometry::GaugeColumn, pos.y())));
    else if (mode_ == InteractionMode::MovePage)
        AddPage();
}

void TForm1::OpenInlineBox(InlineBoxMode mode, const QString &hint, const QString &text) {
    InlineBox()->setToolTip(hint);
    PageName->setText(text);
    pageNameBox_.mode = mode;
    PageName->show();
    PageName->raise();
    PageName->setFocus();
}

void TForm1::CloseInlineBox() {
    if (PageName) {
        PageName->clear();
        PageName->hide();
    }
    pageNameBox_ = PageNameBox();
    TabSet1->setSelectedColor(StoredSelectedColor());
    Keys->setFocus();
    RunWaitingRequests();
}

void TForm1::TabName() {
    if (pageMenu_.tab < 0)
        return;
    OpenInlineBox(InlineBoxMode::Tab, QStringLiteral("Enter new name for Selected Page Tab"));
    TabSet1->setSelectedColor(QColor(255, 0, 0));
}

void TForm1::TabCount() {
    OpenInlineBox(InlineBoxMode::Page, QStringLiteral("Enter # of Total Pages you want"));
}

bool TForm1::PageNameKeyDown(int key) {
    if (key == Qt::Key_Escape) {
        CloseInlineBox();
        return true;
    }
    if (key == Qt::Key_F1) {
        platform_.help->ShowContents();
        Keys->setFocus();
        return true;
    }
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    const QString text = PageName ? OneLine(PageName->text()) : QString();
    const InlineBoxMode mode = pageNameBox_.mode;
    bool rebuild = false;
    if (!text.isEmpty()) {
        TNewIniFile ini = Ini();
        if (mode == InlineBoxMode::Tab) {
            const int tab = TabSet1->currentIndex();
            if (tab >= 0) {
                ini.WriteString(QStringLiteral("Tabs"), QStringLiteral("PageTab") + QString::number(tab + 1), text);
                TabSet1->setTabText(tab, text);
            }
        } else if (mode == InlineBoxMode::Page) {
            SetPageCount(ini, PageCountFromText(text, buttonsPerPage_));
            rebuild = true;
        } else if (mode == InlineBoxMode::Button || mode == InlineBoxMode::Parameter) {
            // The box may have stayed open while the keys selected other buttons: the text
            // belongs to the button it was opened for.
            const QString target = pageNameBox_.button;
            ButtonRecord record = ReadButtonRecord(ini, target);
            if (mode == InlineBoxMode::Button) {
                record.Names = text;
                ini.WriteString(QStringLiteral("Names"), target, text);
            } else {
                record.Parameters = text == QLatin1String("*") ? QString() : text;
                ini.WriteString(QStringLiteral("Parameters"), target, record.Parameters);
            }
            if (QToolButton *button = FindButton(target))
                IconVert(button, record);
        } else if (mode == InlineBoxMode::Lockout) {
            WritePassword(text);
        }
    }
    CloseInlineBox();
    if (rebuild)
        RebuildEverywhere();
    else
        PostReload();
    return true;
}

void TForm1::DeletePage(QAction *sender) {
    const bool move = sender == items_.page.MovePage1;
    // A page waiting to be moved blocks both; neither acts without a page.
    if (mode_ == InteractionMode::MovePage || pageMenu_.tab < 0 ||
        pageMenu_.tab >= TabSet1->count())
        return;
    const QString name = TabSet1->tabText(pageMenu_.tab);
    const QString verb = move ? QStringLiteral("Move") : QStringLiteral("Delete");
    if (!platform_.dialogs->Question(QStringLiteral("Are you sure you want to %1 the \"%2\" Page?").arg(verb, name)))
        return;
    const Hourglass hourglass(*this);
    TNewIniFile ini = Ini();
    const MovedPage taken = ::DeletePage(ini, pageMenu_.tab + 1, buttonsPerPage_, move);
    if (move) {
        pageMenu_.moved = MovedPage{name, taken.records};
        pageMenu_.movedFrom = pageMenu_.tab;
        SetMode(InteractionMode::MovePage);
    }
    RebuildEverywhere();
}

void TForm1::AddPage() {
    const int position = qMax(pageMenu_.tab, 0) + 1; // without a page, the new one goes first
    const bool moving = mode_ == InteractionMode::MovePage;
    MovedPage moved = pageMenu_.moved;
    {
        const Hourglass hourglass(*this);
        TNewIniFile ini = Ini();
        if (!::InsertPage(ini, position, buttonsPerPage_, moving ? &moved : nullptr)) {
            platform_.dialogs->Message(QStringLiteral("The bar cannot hold another page."));
            return;
        }
    }
    pageMenu_.moved = MovedPage();
    SetMode(InteractionMode::Normal);
    RebuildEverywhere();
    TabSet1->setCurrentIndex(position - 1);
}

void TForm1::CancelPageMove() {
    if (mode_ != InteractionMode::MovePage || !pageMenu_.moved.Taken())
        return;
    // Back at its old position: the tab it was taken from.
    SetMenuTab(qMin(pageMenu_.movedFrom, TabSet1->count()));
    AddPage();
}

bool TForm1::InlineBoxOpen() const {
    return PageName && PageName->isVisible();
}

QLineEdit *TForm1::InlineBox() {
    // Made when first needed: a text box costs start-up time.
    if (!PageName) {
        PageName = new QLineEdit(client_);
        PageName->setObjectName(QStringLiteral("PageName"));
        PageName->setGeometry(0, 36, 51, 19);
        QFont editFont(QStringLiteral("Sans Serif"));
        editFont.setPixelSize(12);
        PageName->setFont(editFont);
        PageName->setMaxLength(TNewIniFile::MaxValueLength);
        PageName->installEventFilter(this);
        PageName->hide();
    }
    return PageName;
}
