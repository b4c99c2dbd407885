/* What the exe's own start-up works out before it calls the entry. */
#ifndef STARTUP_H
#define STARTUP_H

#include <windows.h>

/* Points past the program's name and the blanks after it, into commandLine. */
LPSTR CommandTail(LPSTR commandLine);

#endif
