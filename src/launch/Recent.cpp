// The recently launched list of the main window.
#include "app/Icons.h"

void TForm1::RecordLaunch(const QString &, const QString &) {}
void TForm1::LastLaunchedClick() {}
void TForm1::MRU1Click() {}
void TForm1::MruList1MruClick(const QString &) {}
void TForm1::RenameLaunchEntry(const QString &, const QString &) {}
