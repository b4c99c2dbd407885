// The program's compiled resources (the .res the build makes from
// uninstall.rc): dialogs are created from the same template bytes as the exe's.
#include <cstdio>
#include <fstream>
#include <iterator>

#include "state.h"

namespace sim {
namespace detail {

namespace {

// Reads little-endian fields from a byte string, in order.
struct Reader {
    const std::string &b;
    size_t pos;
    bool bad = false;

    unsigned Get(size_t n)
    {
        unsigned v = 0;
        if (pos + n > b.size()) {
            bad = true;
            return 0;
        }
        for (size_t i = 0; i < n; i++)
            v |= (unsigned)(unsigned char)b[pos + i] << (8 * i);
        pos += n;
        return v;
    }
    WORD W() { return (WORD)Get(2); }
    DWORD D() { return Get(4); }
    void Align4() { pos = (pos + 3) & ~(size_t)3; }

    // A zero-terminated UTF-16 text, kept as 8-bit characters.
    std::string Sz()
    {
        std::string s;
        for (WORD c; !bad && (c = W()) != 0;)
            s += (char)c;
        return s;
    }
    // A name or an ordinal: 0xFFFF then a number, or a text.
    std::string SzOrOrd(int *ordinal)
    {
        *ordinal = -1;
        size_t save = pos;
        WORD first = W();
        if (first == 0xFFFF) {
            *ordinal = W();
            return "";
        }
        pos = save;
        return Sz();
    }
};

// The predefined classes, which a template names by atom from 0x80 on.
const char *const kAtomClasses[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};

// The style, which an extended template puts after the extended style.
void ReadStyle(Reader &r, bool ex, Window *w)
{
    DWORD first = r.D(), second = r.D();
    w->style = ex ? second : first;
}

}  // namespace

std::map<std::string, std::string> LoadTemplates()
{
    std::map<std::string, std::string> out;
    std::ifstream in(SIM_RES_FILE, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty())
        std::fprintf(stderr, "simulated machine: no resources in %s\n", SIM_RES_FILE);
    Reader r{bytes, 0};
    while (r.pos + 32 <= bytes.size() && !r.bad) {
        size_t start = r.pos;
        DWORD dataSize = r.D(), headerSize = r.D();
        int typeId, nameId;
        r.SzOrOrd(&typeId);
        std::string name = r.SzOrOrd(&nameId);
        r.Align4();
        r.D();                 // data version
        r.W();                 // memory flags
        r.W();                 // language
        size_t data = start + headerSize;
        if (typeId == 5 && nameId < 0 && data + dataSize <= bytes.size())
            out[Upper(name)] = bytes.substr(data, dataSize);
        r.pos = data + dataSize;
        r.Align4();
    }
    return out;
}

// Builds the dialog's own attributes and its controls from a plain or an
// extended template; ok turns false for a control of an unknown class.
void FillControlsFromTemplate(Window *dlg, const std::string &bytes, bool *ok)
{
    Reader r{bytes, 0};
    bool ex = bytes.size() >= 4 && (unsigned char)bytes[2] == 0xFF && (unsigned char)bytes[3] == 0xFF;
    int ord;
    if (ex) { r.W(); r.W(); r.D(); }  // version, signature, help id
    ReadStyle(r, ex, dlg);
    int count = r.W();
    r.W(); r.W(); r.W(); r.W();  // x, y, cx, cy
    r.SzOrOrd(&ord);             // menu
    r.SzOrOrd(&ord);             // class
    r.Sz();                      // caption
    if (dlg->style & DS_SETFONT) {
        r.W();
        if (ex) { r.W(); r.Get(1); r.Get(1); }
        r.Sz();
    }
    for (int i = 0; i < count && !r.bad; i++) {
        r.Align4();
        auto c = std::unique_ptr<Window>(new Window);
        if (ex)
            r.D();  // help id
        ReadStyle(r, ex, c.get());
        r.W(); r.W(); r.W(); r.W();
        c->id = ex ? (int)r.D() : (int)(short)r.W();
        std::string cls = r.SzOrOrd(&ord);
        if (ord >= 0)
            cls = ord >= 0x80 && ord < 0x80 + (int)std::size(kAtomClasses) ? kAtomClasses[ord - 0x80] : "";
        c->cls = cls;
        r.SzOrOrd(&ord);  // text
        WORD extra = r.W();
        r.pos += extra;
        std::string u = Upper(cls);
        bool known = u == "MSCTLS_PROGRESS32" && S().progressRegistered;
        for (const char *predefined : kAtomClasses)
            known = known || u == Upper(predefined);
        if (!known)
            *ok = false;
        c->parent = dlg;
        c->name = dlg->name;
        dlg->children.push_back(c.get());
        S().windows.push_back(std::move(c));
    }
    if (r.bad)
        *ok = false;
}

}  // namespace detail
}  // namespace sim
