/* Deletions at the next start: NUL=path lines in WININIT.INI's [rename]
   section. The file is written directly, because the profile functions keep
   one line per key and every line here has the key NUL. The new file is made
   beside the old one, so that a failure leaves the old file whole. */
#include <windows.h>

#include "removal.h"

enum { kChunk = 512, kRenameLength = 6 };

/* DOS's end-of-file mark (Ctrl-Z). Text after it is taken as unseen by
   WININIT.EXE, following the DOS text convention; no document says either
   way. The new line goes before it, and it stays with all that follows. */
static const char kDosEndOfFile = 0x1A;

/* One line of the old file, as it is read. */
struct Line {
    enum { kBlank, kText, kHeader } kind;
    BOOL closed;     /* a header whose ']' has come */
    int matched;     /* letters of RENAME the header's name matched; -1: another name */
    BOOL nameEnded;  /* blanks came after the name: only blanks may follow */
};

/* What reading the old file tells: where the new line goes. */
struct InsertPoint {
    DWORD offset;     /* bytes of the old file before the new line */
    char before;      /* the byte at offset - 1; '\n' at the start */
    BOOL inSection;   /* the first [rename] section has begun */
    BOOL sectionEnd;  /* and ended: nothing more to learn */
};

static char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

static BOOL IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

static void StartLine(Line *line)
{
    line->kind = Line::kBlank;
    line->closed = FALSE;
    line->matched = 0;
    line->nameEnded = FALSE;
}

/* Matches a header's name against RENAME as it comes, blanks around it trimmed. */
static void AddToName(Line *line, char c)
{
    static const char kRename[] = "RENAME";
    if (IsSpace(c))
        line->nameEnded = line->matched != 0;
    else if (line->nameEnded || line->matched < 0 || line->matched == kRenameLength ||
             Upper(c) != kRename[line->matched])
        line->matched = -1;
    else
        line->matched++;
}

static void AddToLine(Line *line, char c)
{
    if (line->kind == Line::kBlank && !IsSpace(c))
        line->kind = c == '[' ? Line::kHeader : Line::kText;
    else if (line->kind == Line::kHeader && !line->closed) {
        if (c == ']')
            line->closed = TRUE;
        else
            AddToName(line, c);
    }
}

/* A line has ended at end, its last byte being last; Windows reads only the
   first [rename] section, up to the next header. */
static void EndLine(const Line *line, InsertPoint *at, DWORD end, char last)
{
    BOOL header = line->kind == Line::kHeader && line->closed;
    if (at->inSection && header) {
        at->sectionEnd = TRUE;
        return;
    }
    if (!at->inSection && !(header && line->matched == kRenameLength))
        return;
    if (at->inSection && line->kind == Line::kBlank)
        return;
    at->inSection = TRUE;
    at->offset = end;
    at->before = last;
}

/* Reads the old file of size bytes to find where the line goes; FALSE when a
   read fails or the file ends before size bytes. */
static BOOL FindInsertPoint(HANDLE file, DWORD size, InsertPoint *at)
{
    char chunk[kChunk];
    DWORD got, total = 0;
    char last = '\n';
    Line line;

    StartLine(&line);
    for (;;) {
        DWORD i;
        if (!ReadFile(file, chunk, kChunk, &got, NULL))
            return FALSE;
        for (i = 0; i < got && chunk[i] != kDosEndOfFile && !at->sectionEnd; i++) {
            last = chunk[i];
            if (last == '\n') {
                EndLine(&line, at, total + i + 1, last);
                StartLine(&line);
            } else {
                AddToLine(&line, last);
            }
        }
        total += i;
        if (i < got || got == 0 || at->sectionEnd)
            break;
    }
    if (got == 0 && total != size)
        return FALSE;  /* the file is not as long as it said */
    if (!at->sectionEnd)
        EndLine(&line, at, total, last);
    if (!at->inSection) {
        at->offset = total;
        at->before = last;
    }
    return TRUE;
}

static BOOL WriteText(HANDLE file, LPCSTR text)
{
    DWORD length = (DWORD)lstrlenA(text), written;
    return WriteFile(file, text, length, &written, NULL) && written == length;
}

/* Copies exactly count bytes from in to out. */
static BOOL CopyBytes(HANDLE in, HANDLE out, DWORD count)
{
    char chunk[kChunk];
    DWORD got, written;
    while (count > 0) {
        DWORD want = count < (DWORD)kChunk ? count : (DWORD)kChunk;
        if (!ReadFile(in, chunk, want, &got, NULL) || got == 0)
            return FALSE;
        if (!WriteFile(out, chunk, got, &written, NULL) || written != got)
            return FALSE;
        count -= got;
    }
    return TRUE;
}

/* The new line, after what the line before it lacks and a header if the
   section is new; a bare CR before it only needs its LF. */
static BOOL WriteLine(HANDLE out, const InsertPoint *at, LPCSTR line)
{
    BOOL ok = TRUE;
    if (at->before == '\r')
        ok = WriteText(out, "\n");
    else if (at->before != '\n')
        ok = WriteText(out, "\r\n");
    if (ok && !at->inSection)
        ok = WriteText(out, "[rename]\r\n");
    return ok && WriteText(out, line);
}

/* TRUE when nothing follows: the file is as long as when it was looked at. */
static BOOL IsAtEnd(HANDLE in)
{
    char c;
    DWORD got;
    return ReadFile(in, &c, 1, &got, NULL) && got == 0;
}

/* Writes the new WININIT.INI into newPath: the old file's size bytes from in
   (none without an old file) with the line put in where at says. */
static BOOL WriteNewFile(HANDLE in, DWORD size, const InsertPoint *at, LPCSTR newPath, LPCSTR line)
{
    HANDLE out = CreateFileA(newPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (out == INVALID_HANDLE_VALUE)
        return FALSE;
    BOOL ok = CopyBytes(in, out, at->offset) && WriteLine(out, at, line) &&
              CopyBytes(in, out, size - at->offset) && (in == INVALID_HANDLE_VALUE || IsAtEnd(in));
    if (!CloseHandle(out))
        ok = FALSE;
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
    DeleteNow(oldPath);  /* a read-only WININIT.INI keeps its attribute when moved */
    return TRUE;
}

/* Learns the old file's size and where the line goes, then rewinds it for
   the copy: one handle from the look to the copy, so both see the same bytes. */
static BOOL LookAtOldFile(HANDLE in, DWORD *size, InsertPoint *at)
{
    if (in == INVALID_HANDLE_VALUE)
        return TRUE;
    *size = GetFileSize(in, NULL);
    return *size != 0xFFFFFFFF && FindInsertPoint(in, *size, at) &&
           SetFilePointer(in, 0, NULL, FILE_BEGIN) == 0;
}

void AddWininitDeletion(LPCSTR path)
{
    char windowsDir[MAX_PATH];
    char iniPath[MAX_PATH];
    char newPath[MAX_PATH];
    char line[MAX_PATH + 8];
    InsertPoint at = { 0, '\n', FALSE, FALSE };
    DWORD size = 0;
    BOOL made = FALSE, ok;
    HANDLE in;

    UINT length = GetWindowsDirectoryA(windowsDir, MAX_PATH);
    /* The new file is made beside the old one, and Windows makes temporary
       files only in a folder of at most MAX_PATH - 14 characters. */
    if (length == 0 || length > MAX_PATH - 14)
        return;
    lstrcpyA(iniPath, windowsDir);
    if (!AppendPath(iniPath, "\\WININIT.INI") || lstrlenA(path) >= MAX_PATH)
        return;
    lstrcpyA(line, "NUL=");
    lstrcatA(line, path);
    lstrcatA(line, "\r\n");

    /* Windows 95 keeps the profile file used last in a cache, and would
       later write that copy back over the one made here: have it written
       out and let go of first. */
    WritePrivateProfileStringA(NULL, NULL, NULL, "WININIT.INI");
    in = CreateFileA(iniPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, NULL);
    if (in == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND)
        return; /* there but unreadable: leave it alone */
    ok = LookAtOldFile(in, &size, &at) && (made = GetTempFileNameA(windowsDir, "WII", 0, newPath) != 0);
    ok = ok && WriteNewFile(in, size, &at, newPath, line);
    if (in != INVALID_HANDLE_VALUE)
        CloseHandle(in);
    if (made && !(ok && SwapInNewFile(windowsDir, iniPath, in != INVALID_HANDLE_VALUE, newPath)))
        DeleteFileA(newPath);
}
