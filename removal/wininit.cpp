/* Deletions at the next start: NUL=path lines in WININIT.INI's [rename]
   section. The file is written directly, because the profile functions keep
   one line per key and every line here has the key NUL. The old file is read
   twice in small chunks (once to find where the line goes, once to copy it)
   and the new one is written beside it, so a failure leaves the old file
   whole. */
#include <windows.h>

#include "removal.h"

enum { kChunk = 512, kNameMax = 16 };

/* DOS's end-of-file mark (Ctrl-Z), with which DOS editors and COPY CON end a
   text file. WININIT.EXE reads the file before Windows starts, as DOS
   programs read text, so lines after the mark are never seen: the new line
   goes before it, and the mark and whatever follows it are kept as they are. */
static const char kEndOfText = 0x1A;

/* Where the new line goes in the existing file. */
struct InsertPoint {
    DWORD offset;     /* bytes of the old file that stay before the new line */
    BOOL needBreak;   /* the line before it has no line end of its own */
    BOOL haveSection; /* else a [rename] section is added at the end */
};

/* The line being read while looking for the [rename] section. */
struct LineState {
    enum { kBlank, kHeader, kText } kind;
    BOOL closed;          /* a header whose ']' has been seen */
    char name[kNameMax];  /* a header's name without its leading blanks */
    int nameLength;
    int blanks;           /* blanks after the name so far: kept only if more follows */
    BOOL tooLong;         /* the name does not fit, so it cannot be "rename" */
    BOOL inRename;        /* inside the first [rename] section */
    BOOL done;            /* the section has ended: nothing more to learn */
};

static char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

static BOOL IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

/* A header names the rename section when its name, without the blanks around
   it, is "rename" in any case, as Windows reads it. */
static BOOL IsRenameHeader(const LineState *line)
{
    static const char kRename[] = "RENAME";
    if (line->kind != LineState::kHeader || !line->closed || line->tooLong || line->nameLength != 6)
        return FALSE;
    for (int i = 0; i < 6; i++)
        if (Upper(line->name[i]) != kRename[i])
            return FALSE;
    return TRUE;
}

static void StartLine(LineState *line)
{
    line->kind = LineState::kBlank;
    line->closed = FALSE;
    line->nameLength = 0;
    line->blanks = 0;
    line->tooLong = FALSE;
}

/* Blanks around a header's name are trimmed as they come, however many there
   are; only the name itself has to fit the buffer. */
static void AddToName(LineState *line, char c)
{
    if (IsSpace(c)) {
        if (line->nameLength > 0)
            line->blanks++;
        return;
    }
    if (line->nameLength + line->blanks + 1 > kNameMax) {
        line->tooLong = TRUE;
        return;
    }
    for (; line->blanks > 0; line->blanks--)
        line->name[line->nameLength++] = ' ';
    line->name[line->nameLength++] = c;
}

static void AddToLine(LineState *line, char c)
{
    if (line->kind == LineState::kBlank) {
        if (!IsSpace(c))
            line->kind = (c == '[') ? LineState::kHeader : LineState::kText;
        return;
    }
    if (line->kind == LineState::kHeader && !line->closed) {
        if (c == ']')
            line->closed = TRUE;
        else
            AddToName(line, c);
    }
}

/* A line ends at end (just past its line end, or at the end of the file). */
static void EndLine(LineState *line, InsertPoint *at, DWORD end, BOOL hasBreak)
{
    BOOL header = line->kind == LineState::kHeader && line->closed;
    if (line->inRename) {
        if (header) {
            line->done = TRUE; /* Windows reads only the first section */
            return;
        }
        if (line->kind != LineState::kBlank) {
            at->offset = end;
            at->needBreak = !hasBreak;
        }
        return;
    }
    if (!at->haveSection && IsRenameHeader(line)) {
        at->haveSection = TRUE;
        line->inRename = TRUE;
        at->offset = end;
        at->needBreak = !hasBreak;
    }
}

/* Finds where the new line goes; FALSE when the file could not be read. */
static BOOL FindInsertPoint(HANDLE file, InsertPoint *at)
{
    char chunk[kChunk];
    DWORD got, total = 0;
    LineState line;
    BOOL lineOpen = FALSE;
    char last = '\n';

    line.inRename = FALSE;
    line.done = FALSE;
    StartLine(&line);
    at->offset = 0;
    at->needBreak = FALSE;
    at->haveSection = FALSE;

    for (;;) {
        DWORD i;
        if (!ReadFile(file, chunk, kChunk, &got, NULL))
            return FALSE;
        for (i = 0; i < got && !line.done && chunk[i] != kEndOfText; i++) {
            if (chunk[i] == '\n') {
                EndLine(&line, at, total + i + 1, TRUE);
                StartLine(&line);
                lineOpen = FALSE;
            } else {
                AddToLine(&line, chunk[i]);
                lineOpen = TRUE;
            }
        }
        total += i;
        if (i > 0)
            last = chunk[i - 1];
        /* Once the section has ended the line's place is known; past the
           end-of-file mark there is no text to look at. */
        if (line.done || i < got || got == 0)
            break;
    }
    if (lineOpen && !line.done)
        EndLine(&line, at, total, FALSE);
    if (!at->haveSection) {
        at->offset = total;
        at->needBreak = total > 0 && last != '\n';
    }
    return TRUE;
}

static BOOL WriteText(HANDLE file, LPCSTR text)
{
    DWORD length = (DWORD)lstrlenA(text), written;
    return WriteFile(file, text, length, &written, NULL) && written == length;
}

/* Copies count bytes (or everything left, when count is 0xFFFFFFFF) from in to out. */
static BOOL CopyBytes(HANDLE in, HANDLE out, DWORD count)
{
    char chunk[kChunk];
    DWORD got, written;
    while (count > 0) {
        DWORD want = count < (DWORD)kChunk ? count : (DWORD)kChunk;
        if (!ReadFile(in, chunk, want, &got, NULL))
            return FALSE;
        if (got == 0)
            return count == 0xFFFFFFFF;
        if (!WriteFile(out, chunk, got, &written, NULL) || written != got)
            return FALSE;
        if (count != 0xFFFFFFFF)
            count -= got;
    }
    return TRUE;
}

static HANDLE OpenForReading(LPCSTR path)
{
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

/* Writes the new WININIT.INI into newPath: the old file (if haveOld) with
   the line put in where at says. */
static BOOL WriteNewFile(LPCSTR iniPath, BOOL haveOld, const InsertPoint *at, LPCSTR newPath,
                         LPCSTR line)
{
    HANDLE in = INVALID_HANDLE_VALUE, out;
    BOOL ok;

    if (haveOld && (in = OpenForReading(iniPath)) == INVALID_HANDLE_VALUE)
        return FALSE;
    out = CreateFileA(newPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (out == INVALID_HANDLE_VALUE) {
        if (haveOld)
            CloseHandle(in);
        return FALSE;
    }
    ok = !haveOld || CopyBytes(in, out, at->offset);
    if (ok && at->needBreak)
        ok = WriteText(out, "\r\n");
    if (ok && !at->haveSection)
        ok = WriteText(out, "[rename]\r\n");
    ok = ok && WriteText(out, line);
    if (ok && haveOld)
        ok = CopyBytes(in, out, 0xFFFFFFFF);
    if (!CloseHandle(out))
        ok = FALSE;
    if (haveOld)
        CloseHandle(in);
    return ok;
}

/* Puts newPath in iniPath's place; the old file is moved aside first and put
   back if the new one cannot take its name. */
static BOOL SwapInNewFile(LPCSTR windowsDir, LPCSTR iniPath, BOOL haveOld, LPCSTR newPath)
{
    char oldPath[MAX_PATH];
    if (!haveOld)
        return MoveFileA(newPath, iniPath);
    if (!GetTempFileNameA(windowsDir, "WII", 0, oldPath))
        return FALSE;
    DeleteFileA(oldPath);
    if (!MoveFileA(iniPath, oldPath))
        return FALSE;
    if (!MoveFileA(newPath, iniPath)) {
        MoveFileA(oldPath, iniPath);
        return FALSE;
    }
    DeleteFileA(oldPath);
    return TRUE;
}

void AddWininitDeletion(LPCSTR path)
{
    char windowsDir[MAX_PATH];
    char iniPath[MAX_PATH];
    char newPath[MAX_PATH];
    char line[MAX_PATH + 8];
    InsertPoint at = { 0, FALSE, FALSE };
    HANDLE in;
    BOOL haveOld;

    UINT length = GetWindowsDirectoryA(windowsDir, MAX_PATH);
    /* The new file is made beside the old one, and Windows makes temporary
       files only in a folder of at most MAX_PATH - 14 characters. */
    if (length == 0 || length > MAX_PATH - 14)
        return;
    lstrcpyA(iniPath, windowsDir);
    if (!AppendPath(iniPath, "\\WININIT.INI"))
        return;
    lstrcpyA(line, "NUL=");
    lstrcatA(line, path);
    lstrcatA(line, "\r\n");

    /* Windows 95 keeps the profile file used last in a cache, and would
       later write that copy back over the one made here, taking the new line
       with it: have it written out and let go of first. */
    WritePrivateProfileStringA(NULL, NULL, NULL, "WININIT.INI");
    in = OpenForReading(iniPath);
    haveOld = in != INVALID_HANDLE_VALUE;
    if (haveOld) {
        BOOL read = FindInsertPoint(in, &at);
        CloseHandle(in);
        if (!read)
            return;
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        return; /* there but unreadable: leave it alone */
    }

    if (!GetTempFileNameA(windowsDir, "WII", 0, newPath))
        return;
    if (!WriteNewFile(iniPath, haveOld, &at, newPath, line) ||
        !SwapInNewFile(windowsDir, iniPath, haveOld, newPath))
        DeleteFileA(newPath);
}
