/* The default printer. Windows 95 keeps it twice: win.ini's device= line,
   which most programs read, and HKEY_CURRENT_CONFIG's Default value. When it
   was the printer just removed, another printer takes its place, as when a
   printer is deleted from the Printers folder; once the removal is done,
   running programs are told what changed in win.ini, so that none keeps
   offering or printing to the old one. */
#include <windows.h>

#include "removal.h"

/* A device= value, NAME,DRIVER,PORT, or a printer's name, gets as much room
   as a path; the names of [Devices] room for some forty printers, and a list
   cut short loses only the printers at its end. */
enum {
    kLineSize = 260,
    kListSize = 1024,
};

static const char kPrintersKey[] = "System\\CurrentControlSet\\Control\\Print\\Printers";
/* On the 95 family every printer Windows has is a key here. */
static const char kInstalledPrinters[] = "System\\CurrentControlSet\\control\\Print\\Printers\\";

static BOOL IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

static BOOL Contains(LPCSTR text, char c)
{
    for (; *text != 0; text++)
        if (*text == c)
            return TRUE;
    return FALSE;
}

/* Copies the text up to its first comma, without the blanks around it, into
   field, which is at least as long as text; returns what follows the comma,
   or NULL when there is none. */
static LPCSTR TakeField(LPCSTR text, LPSTR field)
{
    int length = 0;
    int end;

    while (IsBlank(*text))
        text++;
    while (text[length] != 0 && text[length] != ',')
        length++;
    for (end = length; end > 0 && IsBlank(text[end - 1]); end--)
        ;
    for (int i = 0; i < end; i++)
        field[i] = text[i];
    field[end] = 0;
    return text[length] == ',' ? text + length + 1 : NULL;
}

/* Windows compares printer names without regard to case. */
static BOOL IsThisPrinter(LPCSTR name)
{
    return lstrcmpiA(name, PRINTER_NAME) == 0;
}

/* Whether a value read whole names the printer, before any comma. */
static BOOL NamesThisPrinter(LPCSTR value)
{
    char name[kLineSize];

    TakeField(value, name);
    return IsThisPrinter(name);
}

/* The device= value for the printer called name, from its [Devices] value
   DRIVER,PORT[,PORT...]: its driver and its first port. FALSE when the value
   lacks either, the port is nullPort, where nothing is printed, or the line
   would not fit. */
static BOOL MakeDeviceLine(LPSTR line, LPCSTR name, LPCSTR nullPort)
{
    char value[kLineSize];
    char driver[kLineSize];
    char port[kLineSize];
    LPCSTR ports;
    LPCSTR more;

    DWORD length = GetProfileStringA("Devices", name, "", value, kLineSize);
    if ((ports = TakeField(value, driver)) == NULL)
        return FALSE;
    more = TakeField(ports, port);
    /* A value that filled the buffer may have lost the end of its port. */
    if (length >= kLineSize - 1 && more == NULL)
        return FALSE;
    if (driver[0] == 0 || port[0] == 0 || lstrcmpiA(port, nullPort) == 0)
        return FALSE;
    if (lstrlenA(name) + lstrlenA(driver) + lstrlenA(port) + 2 >= kLineSize)
        return FALSE;
    lstrcpyA(line, name);
    lstrcatA(line, ",");
    lstrcatA(line, driver);
    lstrcatA(line, ",");
    lstrcatA(line, port);
    return TRUE;
}

/* Whether Windows has the printer called name. A [Devices] line without a
   key is a leftover of Windows 3.1 or of old software; a name with a
   backslash, or too long, would name some other key. */
static BOOL IsInstalled(LPCSTR name)
{
    char path[MAX_PATH];
    HKEY key;

    lstrcpyA(path, kInstalledPrinters);
    if (Contains(name, '\\') || !AppendPath(path, name))
        return FALSE;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return FALSE;
    RegCloseKey(key);
    return TRUE;
}

/* The device= value of the first other printer, in [Devices]' own order,
   that Windows has and that prints to a port; FALSE when there is none. */
static BOOL FindOtherPrinter(LPSTR line)
{
    char names[kListSize];
    char nullPort[kLineSize];
    GetProfileStringA("windows", "NullPort", "None", nullPort, kLineSize);
    /* The NT family keeps printers connected over the network elsewhere. */
    BOOL keyed = !IsNtFamily();
    DWORD length = GetProfileStringA("Devices", NULL, "", names, kListSize);
    /* A list that filled the buffer ends in a name that may be cut short:
       it could name another printer, so it is not used. */
    BOOL full = length >= kListSize - 2;

    if (full)
        length = kListSize - 2;
    for (LPCSTR name = names; name < names + length && *name != 0;) {
        LPCSTR next = name + lstrlenA(name) + 1;
        if (full && next >= names + length)
            break;
        /* A name with a comma in it would read as another name in device=. */
        if (!Contains(name, ',') && !IsThisPrinter(name) && MakeDeviceLine(line, name, nullPort) &&
            (!keyed || IsInstalled(name)))
            return TRUE;
        name = next;
    }
    return FALSE;
}

/* HKEY_CURRENT_CONFIG's Default value, when it names the printer removed,
   takes printer's name, or goes when there is no other printer. */
static void MoveDefaultValue(LPCSTR printer)
{
    HKEY key;
    char value[kLineSize];
    DWORD type = REG_NONE;
    DWORD size = kLineSize;

    if (RegOpenKeyExA(HKEY_CURRENT_CONFIG, kPrintersKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    LONG result = RegQueryValueExA(key, "Default", NULL, &type, (LPBYTE)value, &size);
    if (result == ERROR_SUCCESS && type == REG_SZ && IsTerminated(value, size, kLineSize) && NamesThisPrinter(value)) {
        if (printer[0] != 0)
            RegSetValueExA(key, "Default", 0, REG_SZ, (const BYTE *)printer, (DWORD)lstrlenA(printer) + 1);
        else
            RegDeleteValueA(key, "Default");
    }
    RegCloseKey(key);
}

BOOL MoveDefaultPrinter(void)
{
    char device[kLineSize];
    char printer[kLineSize];
    BOOL moved;

    DWORD length = GetProfileStringA("windows", "device", "", device, kLineSize);
    /* A name that fills the whole buffer may be cut short: it names none. */
    if (TakeField(device, printer) == NULL && length >= kLineSize - 1)
        printer[0] = 0;
    moved = IsThisPrinter(printer);
    if (moved) {
        if (FindOtherPrinter(device)) {
            WriteProfileStringA("windows", "device", device);
            TakeField(device, printer);
        } else {
            WriteProfileStringA("windows", "device", NULL);
            printer[0] = 0;
        }
    }
    MoveDefaultValue(printer);
    return moved;
}

/* Sends running programs the win.ini change message for section. Each
   window gets at most a second, and one that Windows already counts as hung
   none; the answers are not needed. */
static void Broadcast(LPCSTR section)
{
    DWORD_PTR answer;
    SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, (LPARAM)section, SMTO_ABORTIFHUNG, 1000, &answer);
}

void TellPrintersChanged(BOOL defaultMoved)
{
    /* [Devices] loses the printer on every run that finds it, and telling
       programs needlessly costs little. */
    Broadcast("devices");
    if (defaultMoved)
        Broadcast("windows");
}
