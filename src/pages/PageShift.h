#pragma once

#include "settings/ButtonRecord.h"

#include <QList>
#include <QString>

class TNewIniFile;

// Page operations on the settings file: deleting a page, taking one out to move it, inserting
// a new or a moved page, and the page count.
//
// Pages live in the file only through numbering: page q holds the records
// (q - 1) * buttonsPerPage + 1 .. q * buttonsPerPage and the name "Tabs"/"PageTab" + q, so
// every operation shifts the records and names of all later pages by one page.
//
// Common rules:
// - The page count T is the file's "Pages"/"Count" (default 20), never the window's idea of it
//   (another copy may have changed it), bounded like the bar's pages: 0 <= T and
//   T * buttonsPerPage <= 99999.
// - DeletePage and InsertPage are one settings transaction each: all of it lands, or (a refused
//   write, thrown as SettingsWriteError) none of it. The file is parsed once and rewritten
//   once; every record concerned is read once and the shift is worked out in memory.
// - A record that moves replaces its target entirely.
// - Records and names beyond the page count (left there by lowering the count) are not pages:
//   no shift pulls them in. Deleting leaves them where they are, so the last page ends empty.
//   Inserting leaves them too, unless the new last page lands on them: then those pages move
//   up by one page, names with them, as far as the first free page beyond the count.
// - Invalid arguments change nothing.
//
// Inside a TForm1 member, call these as ::DeletePage and so on: the window's handlers of the
// same names hide them.

// A page taken out for moving: its name as the tab shows it and its records in slot order.
struct MovedPage {
    QString name;
    QList<ButtonRecord> records;

    bool Taken() const { return !records.isEmpty(); }
};

// The page count the file holds, bounded as above (0 when buttonsPerPage < 1).
int StoredPageCount(const TNewIniFile &ini, int buttonsPerPage);

// Deletes page `page` (from 1): later pages and their names move down by one, the last name key
// is erased and "Pages"/"Count" becomes T - 1 (0 for the only page). A missing name that moves
// takes the number of its new position. With take, returns the page's name and its
// buttonsPerPage records; otherwise, or when page is not 1 .. T, an empty MovedPage.
MovedPage DeletePage(TNewIniFile &ini, int page, int buttonsPerPage, bool take);

// Inserts a page at `position` (from 1; below 1 inserts first, beyond T + 1 appends): that page
// and the later ones move up by one, a missing name that moves taking the number of its old
// position, and "Pages"/"Count" becomes T + 1. The new page is empty and named "Page " +
// position, or, given moved, holds its name and records (slots beyond buttonsPerPage are
// dropped, missing ones stay empty). Returns false, changing nothing, when buttonsPerPage < 1
// or one more page would number a button above 99999.
bool InsertPage(TNewIniFile &ini, int position, int buttonsPerPage,
                const MovedPage *moved = nullptr);

// The page count typed into the inline box: the text's leading integer (blanks before it and a
// sign allowed, "12abc" gives 12, no number gives 0) when above 1, else 2; at most
// 99999 / buttonsPerPage.
int PageCountFromText(const QString &text, int buttonsPerPage);

// Writes "Pages"/"Count". Records and names beyond the new count stay in the file, so raising
// the count again brings their pages back.
void SetPageCount(TNewIniFile &ini, int count);
