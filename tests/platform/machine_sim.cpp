// The set-up on the simulated machine.
#include "test_machine.h"

#include <machine.h>  // the simulated machine's own set-up calls

namespace machine {

static std::string Path(HKEY root, const char *path)
{
    const char *name = root == HKEY_LOCAL_MACHINE ? "HKLM" : root == HKEY_CURRENT_USER ? "HKCU"
                     : root == HKEY_CLASSES_ROOT ? "HKCR" : "HKCC";
    return std::string(name) + "\\" + path;
}

check::Side Start(bool nt)
{
    sim::Reset();
    sim::SetNtFamily(nt);
    return check::Side::Sim;
}

bool MakeKey(HKEY root, const char *path)
{
    sim::AddKey(Path(root, path));
    return true;
}

bool SetString(HKEY root, const char *path, const char *name, const char *value)
{
    sim::SetString(Path(root, path), name, value);
    return true;
}

bool MakeDir(const char *path)
{
    sim::AddDir(path);
    return true;
}

std::string Problems()
{
    std::string all;
    for (const std::string &e : sim::Errors())
        all += e + "; ";
    return all;
}

}  // namespace machine
