// src/pages owns the pages and their buttons: the tab row and page menu, the inline box, the
// bar's geometry, page shifts, and moving, copying and removing buttons.
// The pages, their launch buttons and the rebuild of the bar.
#include "app/Icons.h"
#include "bar/Repage.h"
#include "pages/BarGeometry.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

namespace {
const QString kLaunchHint = QStringLiteral("Mouse: Left=Load/Launch  Right=Options");
constexpr int kMaxButtons = 99999; // pages × buttons per page
// Buttons are made this many slots at a time: a whole page of the usual sizes, a small part of
// a very long one.
constexpr int kBlock = 64;
} // namespace

QToolButton *TForm1::CreateLaunchButton(QWidget *page, QButtonGroup *group, int number, int slot) {
    auto *button = new QToolButton(page);
    const QString name = ButtonKey(number);
    button->setObjectName(name);
    button->setGeometry(BarGeometry::ButtonStep * (slot - 1), 0, BarGeometry::ButtonSize,
                        BarGeometry::ButtonSize);
    button->setCheckable(true);
    button->setAutoRaise(false);
    button->setIconSize(QSize(32, 32));
    button->setToolTip(kLaunchHint);
    button->setToolTipDuration(120000);
    button->installEventFilter(this);
    // With an id of its own: without one the group searches all its ids for a free one.
    group->addButton(button, slot);
    connect(button, &QToolButton::clicked, this, [this, button] { Guarded([this, button] { ButtonClick(button); }); });
    buttons_.insert(name, button);
    return button;
}

void TForm1::CreateButtons() {
    const TNewIniFile ini = Ini();
    const int n = buttonsPerPage_;
    int pages = ini.ReadInteger(QStringLiteral("Pages"), QStringLiteral("Count"), 20);
    pages = qBound(0, pages, kMaxButtons / n);
    DeletePages();
    const QSignalBlocker blockTabs(TabSet1);
    pageMaking_.recordsLoaded = false; // the Load that follows shows the records of the pages made by then
    pageMaking_.groups.fill(nullptr, pages);
    pageMaking_.blocksPerPage = (n + kBlock - 1) / kBlock;
    pageMaking_.blocks.fill(false, pages * pageMaking_.blocksPerPage);
    Notebook1->setCount(pages); // their widgets are made when first shown or asked for
    QStringList names;
    names.reserve(pages);
    for (int i = 0; i < pages; ++i)
        names << QStringLiteral("Page") + QString::number(i);
    TabSet1->setTabs(names); // selects the first tab
    Notebook1->setCurrentIndex(pages > 0 ? 0 : -1); // the buttons in view are made
}

// The buttons of slots block * kBlock + 1 onwards of a page, with the page's group if it has
// none yet, shown as a Load shows records once one has run.
void TForm1::MakeButtons(int page, int block) {
    PageMaking &making = pageMaking_;
    const int bit = page * making.blocksPerPage + block;
    if (page < 0 || page >= making.groups.size() || block < 0 || block >= making.blocksPerPage ||
        making.blocks.testBit(bit))
        return;
    making.blocks.setBit(bit);
    QWidget *pageWidget = Notebook1->widget(page);
    QButtonGroup *&group = making.groups[page];
    if (!group) {
        // At most one button of a page is down, and all may be up.
        group = new QButtonGroup(pageWidget);
        group->setExclusive(false);
        connect(group, &QButtonGroup::buttonToggled, pageWidget, [group](QAbstractButton *button, bool down) {
            if (!down)
                return;
            for (QAbstractButton *other : group->buttons())
                if (other != button && other->isChecked()) {
                    const QSignalBlocker block(other);
                    other->setChecked(false);
                }
        });
    }
    const int n = buttonsPerPage_;
    const int first = block * kBlock + 1, last = qMin(n, first + kBlock - 1);
    for (int slot = first; slot <= last; ++slot) {
        QToolButton *button = CreateLaunchButton(pageWidget, group, page * n + slot, slot);
        if (pageWidget->isVisible()) // made while its page is on the screen
            button->show();
    }
    if (!making.recordsLoaded)
        return;
    // Shown as a Load shows records: nobody is asked for a missing icon here.
    const bool wasLoading = loading_;
    loading_ = true;
    const TNewIniFile ini = Ini();
    for (int slot = first; slot <= last; ++slot) {
        const ButtonRecord record = ReadButtonRecord(ini, page * n + slot);
        if (!record.Programs.isEmpty())
            ShowRecord(buttons_.value(ButtonKey(page * n + slot)), record);
    }
    loading_ = wasLoading;
}

// The blocks of the current page that the scroll area can show.
void TForm1::MakeButtonsInView() {
    const int page = Notebook1->currentIndex();
    const int n = buttonsPerPage_;
    if (page < 0 || page >= pageMaking_.groups.size() || n < 1)
        return;
    const int left = scroller_->horizontalScrollBar()->value() - Notebook1->x();
    const int right = left + qMax(scroller_->viewport()->width(), width());
    const int first = qBound(0, left / BarGeometry::ButtonStep, n - 1) / kBlock;
    const int last = qBound(0, right / BarGeometry::ButtonStep, n - 1) / kBlock;
    for (int block = first; block <= last; ++block)
        MakeButtons(page, block);
}

void TForm1::ShowRecord(QToolButton *button, const ButtonRecord &record) {
    const YesNoOption shrink = YesNoOption::FromWord(record.Shrink);
    const int tag = shrink.IsYes() ? 1 : shrink.IsNo() ? 0 : 100;
    // A reload after another copy changed one button redraws that one only.
    const auto drawn = pageMaking_.drawn.constFind(button->objectName());
    if (drawn != pageMaking_.drawn.constEnd() && *drawn == record &&
        button->property("Tag") == QVariant(tag))
        return;
    button->setProperty("Tag", tag);
    IconVert(button, record);
}

void TForm1::DeletePages() {
    pageMaking_.groups.clear(); // no page is made while they go
    pageMaking_.blocks.clear();
    pageMaking_.drawn.clear();
    const QSignalBlocker blockTabs(TabSet1);
    TabSet1->setTabs({});
    // Freed at once, so that rebuilds in a row never pile up pages. No launch button's own
    // handler rebuilds: rebuild requests wait until every handler has returned.
    Notebook1->setCount(0);
    buttons_.clear();
}

// A button not made yet is made with its block: to the caller every button exists.
QToolButton *TForm1::FindButton(int number) const {
    const int n = buttonsPerPage_;
    if (number >= 1 && n > 0)
        const_cast<TForm1 *>(this)->MakeButtons((number - 1) / n, (number - 1) % n / kBlock);
    return buttons_.value(ButtonKey(number));
}

QToolButton *TForm1::FindButton(const QString &name) const {
    const int number = ButtonNumber(name);
    return number > 0 && ButtonKey(number) == name ? FindButton(number) : buttons_.value(name);
}

void TForm1::TabSet1Click() {
    if (tabHelpPending_ || mode_ == InteractionMode::Help) {
        tabHelpPending_ = false;
        HelpModeClick(25);
    }
    FormCaption();
    Notebook1->setCurrentIndex(TabSet1->currentIndex());
    KeyToPageStart();
    FormCaption();
}

void TForm1::PButton16Click(QAction *sender) {
    const int requested = sender == items_.page.PButton21 ? 21 : 16;
    // Nothing is re-paged under a button or a page that waits to be placed.
    if (requested == buttonsPerPage_ || editing_.held.Occupied() ||
        mode_ == InteractionMode::MovePage)
        return;
    const Hourglass hourglass(*this);
    {
        // Re-paging writes the new count with the records, in one transaction.
        TNewIniFile ini = Ini();
        SettingsTransaction transaction(ini);
        RepageButtons(ini, TabNames(), buttonsPerPage_, requested);
        ini.EraseSection(QStringLiteral("MRU"));
        transaction.Commit();
    }
    keyCursor_.position = 1;
    RebuildEverywhere();
}

QStringList TForm1::TabNames() const {
    return TabSet1->tabs();
}

void TForm1::PageUpdate() {
    ++rebuildCount_;
    {
        TNewIniFile ini = Ini();
        SettingsTransaction transaction(ini);
        if (buttonsPerPage_ != requestedCount_)
            RepageButtons(ini, TabNames(), buttonsPerPage_, requestedCount_);
        // The recently launched entries name buttons by number, which may have changed.
        ini.EraseSection(QStringLiteral("MRU"));
        transaction.Commit();
    }
    // A rebuild while a moved button waits must not forget it was moved.
    if (!editing_.held.Occupied())
        editing_.pendingMove = false;
    FormCreate();
}

// Thin wrappers over the re-paging of the settings file.
void TForm1::ExpandButtons() {
    TNewIniFile ini = Ini();
    ::ExpandButtons(ini, TabNames(), buttonsPerPage_, requestedCount_);
}

void TForm1::LessButtons() {
    TNewIniFile ini = Ini();
    ::LessButtons(ini, TabNames(), buttonsPerPage_, requestedCount_);
}

void TForm1::AddButtons(int newBlock, int oldBlock) {
    TNewIniFile ini = Ini();
    ::AddButtons(ini, TabNames(), newBlock, oldBlock);
}

int TForm1::RoundUp(double x) { return ::RoundUp(x); }
