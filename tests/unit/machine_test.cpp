// The whole machine after a run: exactly the printer's items are gone, and
// every other key, value, file and profile line is as it was.
#include "fixture.h"
#include "printer_machine.h"

namespace {

const std::string kTwoLines = std::string("[rename]\r\n") + printer::kWininitLines;

class WholeMachineTest : public MachineTest {
protected:
    // The machine as it should be after a completed run: what others own,
    // win.ini without the printer, the other printer the default, and the
    // lines for the next start.
    void Expected(std::string *registry, std::string *files, const std::string &wininit = kTwoLines)
    {
        SetUp();
        printer::AddUnrelated();
        sim::AddFile("C:\\WINDOWS\\WIN.INI", printer::WinIniAfter());
        sim::SetString(printer::kPrintersKey, "Default", printer::kOtherPrinter);
        sim::AddFile("C:\\WINDOWS\\WININIT.INI", wininit);
        *registry = sim::DumpRegistry();
        *files = sim::DumpFiles();
    }
};

TEST_F(WholeMachineTest, OnlyThePrintersItemsGo)
{
    std::string registry, files;
    Expected(&registry, &files);

    SetUp();
    printer::Install();
    printer::AddUnrelated();
    sim::Key("WELCOME", VK_RETURN);
    sim::Answer(IDNO);
    EXPECT_EQ(2, sim::RunProgram());

    EXPECT_EQ(registry, sim::DumpRegistry());
    EXPECT_EQ(files, sim::DumpFiles());
}

TEST_F(WholeMachineTest, ASecondRunRemovesNothingMore)
{
    std::string registry, files;
    Expected(&registry, &files, kTwoLines + printer::kWininitLines);
    SetUp();
    printer::Install();
    printer::AddUnrelated();
    for (int run = 0; run < 2; run++) {
        sim::Click("WELCOME", IDOK);
        sim::Answer(IDNO);
        EXPECT_EQ(2, sim::RunProgram()) << run;
    }
    EXPECT_EQ(registry, sim::DumpRegistry());
    EXPECT_EQ(files, sim::DumpFiles());
}

}  // namespace
