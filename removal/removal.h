/* Removing the printer's driver from the machine. */
#ifndef REMOVAL_H
#define REMOVAL_H

#include <windows.h>

/* The printer's name: leaf of its registry keys, name of its program group,
   key in win.ini and the description its instance keys carry. */
#define PRINTER_NAME "Oxtrel Lintora 460D"

void RemoveDriver(void);
void ScanInstanceKeys(void);

/* Moves the default printer off the printer removed, once its win.ini
   entries are gone; TRUE when device= was rewritten or removed. */
BOOL MoveDefaultPrinter(void);

/* Tells running programs that [Devices], and [windows] when defaultMoved,
   changed. Sent last: each program may take a second to answer, and the
   removal must be whole by then, whatever the user does meanwhile. */
void TellPrintersChanged(BOOL defaultMoved);

/* Writes the name of instance number (1 to 9999) of scan pass 1 or 2 into name. */
void MakeInstanceKeyName(LPSTR name, int pass, int number);

/* Deletes root\name with its values and subkeys, on either family of Windows. */
LONG DeleteKey(HKEY root, LPCSTR name);

/* Adds a NUL= line for path to WININIT.INI, which the 95 family works
   through at its next start (the NT family ignores the file). */
void AddWininitDeletion(LPCSTR path);

/* Has Windows delete the file at path when it next starts, on either family:
   MoveFileExA on NT; on the 95 family a WININIT.INI line by its short path,
   unless one of the listed lines names it already. */
void DeleteAtRestart(LPCSTR path, LPCSTR const *listed, int listedCount);

/* TRUE on the NT family of Windows, FALSE on Windows 95, 98 and ME. */
BOOL IsNtFamily(void);

/* Appends tail to path if the whole still fits in MAX_PATH characters. */
BOOL AppendPath(LPSTR path, LPCSTR tail);

/* TRUE when the first size bytes of text, at most capacity, hold a terminating zero. */
BOOL IsTerminated(const char *text, DWORD size, DWORD capacity);

/* Deletes the file now if it can, a read-only one once its attribute is
   cleared (the others kept); FALSE when the file is still there. */
BOOL DeleteNow(LPCSTR path);

#endif
