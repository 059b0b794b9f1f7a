// src/bar owns the bar as a whole: its presentations (expanded, shrunk, hidden, stay on top,
// the watch on a launched program), its style, and re-paging when the page size changes.
#pragma once

#include <QStringList>

class TNewIniFile;

// Re-paging of the button records when the number of buttons per page changes.
//
// Button records are stored by number, (page - 1) * buttons per page + slot, so a new page size
// would put every record on another page and slot. These functions renumber the records in the
// settings file so that buttons keep their order, a page standing alone keeps its slots, pages
// sharing one name with their neighbours are packed together, and pages the change leaves
// without a program are dropped (their names with them).
//
// tabNames are the page names of the tab row, one per page; they decide which neighbouring
// pages share a name and name the pages the smaller size splits. They are not changed here.
//
// Common rules:
// - Each call is one settings transaction: all of it lands, or (a refused write) none of it.
// - Each record is read once; the new layout is worked out in memory and only the records whose
//   number changes are rewritten. RepageButtons reads the file once and rewrites it once.
// - A moved record replaces its target entirely (the target is erased before it is written).
// - Records kept beyond the page count (numbers above pages * old count, left by lowering the
//   page count) never join a page: they stay where they are, unless the new pages now reach
//   their numbers; then they move up, keeping their order and spacing, just far enough for the
//   first of them to follow the last new page.
// - At least one page remains, even when every page is empty.
// - Button numbers have at most five digits: a layout that would number a button above 99999,
//   a count below 1 or no pages at all leaves the file untouched.

// The integer part of x, plus 1 when the fractional part exceeds 0.001.
int RoundUp(double x);

// Spreads every page's block of oldBlock records into a block of newBlock numbers
// (newBlock > oldBlock): a page standing alone starts a fresh block at its old slots; the pages
// of a same-name run are laid end to end from the start of the run's first block.
void AddButtons(TNewIniFile &ini, const QStringList &tabNames, int newBlock, int oldBlock);

// From oldCount to a larger newCount buttons per page. Pages left without a program are
// removed; later page names move up ("Tabs"/"PageTab" + k, a missing name taking the number of
// the position it moves to), the last name key is erased and "Pages"/"Count" is written.
void ExpandButtons(TNewIniFile &ini, const QStringList &tabNames, int oldCount, int newCount);

// From oldCount to a smaller newCount buttons per page: every old page becomes as many new
// pages as it needs (RoundUp(oldCount / newCount) at most), each named after it; new pages
// without a program are dropped. Writes the kept pages' names and "Pages"/"Count".
void LessButtons(TNewIniFile &ini, const QStringList &tabNames, int oldCount, int newCount);

// Re-pages the records from oldCount to newCount buttons per page with ExpandButtons or
// LessButtons and writes "Location"/"ButtonCount" := newCount, all in one transaction, so the
// stored count and the records' layout never disagree. The caller should not write the count
// beforehand: when the re-paging is refused (see the bounds above) nothing is written at all.
void RepageButtons(TNewIniFile &ini, const QStringList &tabNames, int oldCount, int newCount);
