// Moving, copying and removing buttons.
#include "app/Icons.h"

void TForm1::PutButton() {}
