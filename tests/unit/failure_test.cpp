// The machine's injected failures tell whether they struck: a failure that
// costs nothing is not counted as one.
#include "fixture.h"

namespace {

class FailureTest : public MachineTest {
protected:
    // Reads C:\F.TXT whole, want bytes at a time.
    void ReadAll(DWORD want)
    {
        char buffer[16];
        DWORD got;
        HANDLE file = CreateFileA("C:\\F.TXT", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        while (ReadFile(file, buffer, want, &got, NULL) && got > 0) {
        }
        CloseHandle(file);
    }

    void Write(const char *text)
    {
        DWORD put;
        HANDLE file = CreateFileA("C:\\F.TXT", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        WriteFile(file, text, lstrlenA(text), &put, NULL);
        CloseHandle(file);
    }
};

TEST_F(FailureTest, OnlyAFailureThatCostsSomethingStrikes)
{
    sim::AddFile("C:\\F.TXT", "abcd");
    sim::ShortRead(3);  // the read at the end, which has nothing to withhold
    ReadAll(2);
    EXPECT_FALSE(sim::FailureStruck());
    sim::ShortRead(2);
    ReadAll(2);
    EXPECT_TRUE(sim::FailureStruck());

    SetUp();
    sim::FailWritesAfter(4);
    Write("abcd");
    EXPECT_FALSE(sim::FailureStruck());
    sim::FailWritesAfter(3);
    Write("abcd");
    EXPECT_TRUE(sim::FailureStruck());

    SetUp();
    sim::AddFile("C:\\F.TXT", "abcd");
    sim::FailCall("CloseHandle", 2);
    ReadAll(8);
    EXPECT_FALSE(sim::FailureStruck());
    ReadAll(8);
    EXPECT_TRUE(sim::FailureStruck());
}

}  // namespace
