/* The printer's numbered device and printer-class instance keys. They are
   found by opening consecutive instance numbers (0000, 0001, ...) and reading
   each one's description. The misses add up over the whole pass, as a key
   found never resets them, and the pass ends once they exceed the budget.
   Subkeys are never enumerated. */
#include <windows.h>

#include "removal.h"

struct ScanPass {
    LPCSTR base;  /* under HKEY_LOCAL_MACHINE */
    LPCSTR start; /* the name of instance 0000 */
    LPCSTR value; /* the description compared with the printer's name */
};

static const ScanPass kPasses[] = {
    { "Enum\\Root\\printer", "Enum\\Root\\printer\\0000", "DeviceDesc" },
    { "System\\CurrentControlSet\\Services\\Class\\Printer",
      "System\\CurrentControlSet\\Services\\Class\\Printer\\0000", "DriverDesc" },
};

enum {
    kMissBudget = 100,  /* a pass ends once its misses exceed this */
    kDescSize = 260,
    kLastNumber = 9999, /* instance numbers have four digits */
};

enum ScanState { kExamining, kSearching, kEnded };

/* The working state of one pass. */
struct Scan {
    const ScanPass *pass;
    char name[MAX_PATH];  /* the instance key last built or opened */
    int next;             /* the number the next name is built from */
    int misses;
    HKEY key;             /* open while examining */
    BOOL deleted;         /* the key at name was deleted once already */
};

static void FormatDecimal(LPSTR out, int number)
{
    char digits[12];
    int count = 0;
    do {
        digits[count++] = (char)('0' + number % 10);
        number /= 10;
    } while (number > 0);
    while (count > 0)
        *out++ = digits[--count];
    *out = 0;
}

/* The instance key name for number (1 to 9999) of pass (1 or 2), zero-padded
   to four digits. */
void MakeInstanceKeyName(LPSTR name, int pass, int number)
{
    char digits[12];
    lstrcpyA(name, kPasses[pass - 1].base);
    lstrcatA(name, number < 10 ? "\\000" : number < 100 ? "\\00" : number < 1000 ? "\\0" : "\\");
    FormatDecimal(digits, number);
    lstrcatA(name, digits);
}

static BOOL OpenInstance(Scan *scan)
{
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, scan->name, 0, KEY_QUERY_VALUE, &scan->key) == ERROR_SUCCESS;
}

/* Builds the next instance's name; FALSE once the numbers run out. */
static BOOL NextName(Scan *scan)
{
    if (scan->next > kLastNumber)
        return FALSE;
    MakeInstanceKeyName(scan->name, (int)(scan->pass - kPasses) + 1, scan->next++);
    scan->deleted = FALSE;
    return TRUE;
}

/* Reads the open key's description and closes the key. An instance whose
   description cannot be read as text does not match: the buffer may still
   hold an earlier instance's, or junk from a value too long for it. */
static BOOL DescriptionMatches(Scan *scan)
{
    char description[kDescSize];
    DWORD type = REG_NONE;
    DWORD size = kDescSize;
    LONG result = RegQueryValueExA(scan->key, scan->pass->value, NULL, &type, (LPBYTE)description, &size);
    RegCloseKey(scan->key); /* no handle may be open when the key is deleted */
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) ||
        !IsTerminated(description, size, kDescSize))
        return FALSE;
    return lstrcmpA(description, PRINTER_NAME) == 0;
}

/* A key is open: read it, delete it if it is the printer's, and open the
   following name (the same one after a deletion, which should now fail). */
static ScanState Examine(Scan *scan)
{
    BOOL opened;
    /* A key that matches again after its deletion was refused is passed by,
       rather than deleted over and over. */
    if (DescriptionMatches(scan) && !scan->deleted) {
        DeleteKey(HKEY_LOCAL_MACHINE, scan->name);
        scan->deleted = TRUE;
        opened = OpenInstance(scan);
    } else {
        if (!NextName(scan))
            return kEnded;
        opened = OpenInstance(scan);
    }
    if (opened)
        return kExamining; /* consecutive keys cost nothing */
    return ++scan->misses > kMissBudget ? kEnded : kSearching;
}

/* Probes the next number after a miss. A hit costs two misses, and one found
   as the budget runs out is closed unread. */
static ScanState Search(Scan *scan)
{
    if (!NextName(scan))
        return kEnded;
    scan->misses++;
    if (!OpenInstance(scan))
        return scan->misses > kMissBudget ? kEnded : kSearching;
    if (++scan->misses > kMissBudget) {
        RegCloseKey(scan->key);
        return kEnded;
    }
    return kExamining;
}

static void RunPass(const ScanPass *pass)
{
    Scan scan;
    ScanState state;

    scan.pass = pass;
    lstrcpyA(scan.name, pass->start);
    scan.next = 1;
    scan.misses = 0; /* a missing 0000 is free */
    scan.deleted = FALSE;
    state = OpenInstance(&scan) ? kExamining : kSearching;
    while (state != kEnded)
        state = state == kExamining ? Examine(&scan) : Search(&scan);
}

void ScanInstanceKeys(void)
{
    RunPass(&kPasses[0]);
    RunPass(&kPasses[1]);
}
