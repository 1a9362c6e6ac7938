// The application's one screen cursor.
#include "platform/cursor.h"

TScreen Screen;
