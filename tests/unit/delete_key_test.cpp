// Registry keys go with their subkeys on both families of Windows, and on
// Windows 95 with no more than the one RegDeleteKeyA per key.
#include "fixture.h"
#include "printer_machine.h"
#include "removal.h"

namespace {

class DeleteKeyTest : public MachineTest {};

const char kKey[] = "HKLM\\Enum\\LPTENUM\\OXTRELLINTORA_460D_0E1B";

std::vector<std::string> RegistryCalls()
{
    std::vector<std::string> out;
    for (const sim::Call &c : sim::Trace())
        if (c.fn.compare(0, 3, "Reg") == 0)
            out.push_back(c.str());
    return out;
}

TEST_F(DeleteKeyTest, Windows95DeletesTheTreeInOneCall)
{
    sim::AddKey(std::string(kKey) + "\\A\\B");
    sim::AddKey(std::string(kKey) + "\\C");
    EXPECT_EQ(ERROR_SUCCESS, DeleteKey(HKEY_LOCAL_MACHINE, kKey + 5));
    EXPECT_EQ(std::vector<std::string>({"RegDeleteKeyA(HKEY_LOCAL_MACHINE, \"Enum\\LPTENUM\\OXTRELLINTORA_460D_0E1B\") = 0"}),
              RegistryCalls());
    EXPECT_FALSE(sim::KeyExists(kKey));
}

TEST_F(DeleteKeyTest, Windows95RefusalIsLeftAtThat)
{
    sim::AddKey(std::string(kKey) + "\\A");
    sim::DenyDelete(kKey);
    EXPECT_EQ(ERROR_ACCESS_DENIED, DeleteKey(HKEY_LOCAL_MACHINE, kKey + 5));
    EXPECT_EQ(1u, RegistryCalls().size());
    EXPECT_TRUE(sim::KeyExists(std::string(kKey) + "\\A"));
}

TEST_F(DeleteKeyTest, NtDeletesSubkeysDeepestFirst)
{
    sim::SetNtFamily(true);
    sim::AddKey(std::string(kKey) + "\\A\\B");
    sim::AddKey(std::string(kKey) + "\\C");
    EXPECT_EQ(ERROR_SUCCESS, DeleteKey(HKEY_LOCAL_MACHINE, kKey + 5));
    const std::string k = "<HKLM\\Enum\\LPTENUM\\OXTRELLINTORA_460D_0E1B";
    EXPECT_EQ(std::vector<std::string>({
                  "RegDeleteKeyA(HKEY_LOCAL_MACHINE, \"Enum\\LPTENUM\\OXTRELLINTORA_460D_0E1B\") = 5",
                  "RegOpenKeyExA(HKEY_LOCAL_MACHINE, \"Enum\\LPTENUM\\OXTRELLINTORA_460D_0E1B\", 0, 0x8) = 0",
                  "RegEnumKeyA(" + k + ">, 0, 260) = 0",
                  "RegDeleteKeyA(" + k + ">, \"A\") = 5",
                  "RegOpenKeyExA(" + k + ">, \"A\", 0, 0x8) = 0",
                  "RegEnumKeyA(" + k + "\\A>, 0, 260) = 0",
                  "RegDeleteKeyA(" + k + "\\A>, \"B\") = 0",
                  "RegEnumKeyA(" + k + "\\A>, 0, 260) = 259",
                  "RegCloseKey(" + k + "\\A>) = 0",
                  "RegDeleteKeyA(" + k + ">, \"A\") = 0",
                  "RegEnumKeyA(" + k + ">, 0, 260) = 0",
                  "RegDeleteKeyA(" + k + ">, \"C\") = 0",
                  "RegEnumKeyA(" + k + ">, 0, 260) = 259",
                  "RegCloseKey(" + k + ">) = 0",
                  "RegDeleteKeyA(HKEY_LOCAL_MACHINE, \"Enum\\LPTENUM\\OXTRELLINTORA_460D_0E1B\") = 0",
              }),
              RegistryCalls());
    EXPECT_FALSE(sim::KeyExists(kKey));
    EXPECT_TRUE(sim::KeyExists("HKLM\\Enum\\LPTENUM"));
}

// A subkey that will not go ends the attempt instead of looping on it.
TEST_F(DeleteKeyTest, NtSubkeyThatStays)
{
    sim::SetNtFamily(true);
    sim::AddKey(std::string(kKey) + "\\A");
    sim::AddKey(std::string(kKey) + "\\B");
    sim::DenyDelete(std::string(kKey) + "\\A");
    EXPECT_EQ(ERROR_ACCESS_DENIED, DeleteKey(HKEY_LOCAL_MACHINE, kKey + 5));
    EXPECT_TRUE(sim::KeyExists(std::string(kKey) + "\\A"));
    EXPECT_TRUE(sim::KeyExists(std::string(kKey) + "\\B")) << "the attempt ends at A";
}

TEST_F(DeleteKeyTest, NtWholeRunLeavesNoPrinterKey)
{
    sim::SetNtFamily(true);
    printer::Install();
    printer::AddUnrelated();
    sim::Click("WELCOME", IDOK);
    sim::Answer(IDNO);
    EXPECT_EQ(2, sim::RunProgram());
    EXPECT_EQ(std::vector<std::string>(), printer::Remaining());
}

}  // namespace
