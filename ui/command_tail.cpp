/* The command line after the program's own name, as a GUI entry expects it:
   the start-up hands it on, though the program reads no arguments. */
#include <windows.h>

#include "startup.h"

LPSTR CommandTail(LPSTR commandLine)
{
    LPSTR p = commandLine;
    if (*p == '"') {
        /* A quoted name may hold blanks, and its closing quote may be missing. */
        for (p++; *p && *p != '"'; p++)
            ;
        if (*p == '"')
            p++;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            p++;
    }
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}
