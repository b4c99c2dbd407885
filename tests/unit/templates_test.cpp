// The dialogs the machine creates from the program's compiled templates: the
// controls the procedures rely on.
#include "fixture.h"
#include "resource.h"

namespace {

class TemplatesTest : public MachineTest {};

// A control as the procedures find it: its class and identifier. Styles and
// texts are checked byte for byte in uninstall.res and the built exes
// (tests/exe/check_exe.py).
std::string Describe(const sim::Control &c) { return c.cls + " " + std::to_string(c.id); }

TEST_F(TemplatesTest, ControlsInTemplateOrder)
{
    sim::Click("WELCOME", IDOK);
    sim::Key("UNINSTALL", VK_ESCAPE);
    sim::Answer(IDNO);
    sim::RunProgram();

    ASSERT_EQ(2u, sim::Dialogs().size());
    std::vector<std::string> welcome, uninstall;
    for (const sim::Control &c : sim::Dialogs()[0].controls)
        welcome.push_back(Describe(c));
    for (const sim::Control &c : sim::Dialogs()[1].controls)
        uninstall.push_back(Describe(c));
    EXPECT_EQ(std::vector<std::string>({"Button 1", "Button 2", "Static 1000"}), welcome);
    EXPECT_EQ(std::vector<std::string>({"Static 1007", "msctls_progress32 1008"}), uninstall);
}

}  // namespace
