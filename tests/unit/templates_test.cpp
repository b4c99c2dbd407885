// The dialogs the machine creates from the program's compiled templates: the
// controls the procedures rely on.
#include "fixture.h"
#include "resource.h"

namespace {

class TemplatesTest : public MachineTest {};

std::string Describe(const sim::Control &c)
{
    char style[16], ex[16];
    std::snprintf(style, sizeof style, "%08X", (unsigned)c.style);
    std::snprintf(ex, sizeof ex, "%X", (unsigned)c.exStyle);
    return c.cls + " " + std::to_string(c.id) + " " + style + " " + ex + " \"" + c.text + "\"";
}

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
    EXPECT_EQ(std::vector<std::string>({
                  "Button 1 50010001 0 \"OK\"",
                  "Button 2 50010000 0 \"Cancel\"",
                  "Static 1000 50020000 0 \"Click the 'OK' button to continue uninstalling the Oxtrel Lintora "
                  "460D driver.\nClick the 'Cancel' button to quit uninstall procedure.\"",
              }),
              welcome);
    EXPECT_EQ(std::vector<std::string>({
                  "Static 1007 50020000 0 \"Uninstalling the Oxtrel Lintora 460D driver.\"",
                  "msctls_progress32 1008 50800000 2000 \"Progress1\"",
              }),
              uninstall);
    EXPECT_EQ(IDOK, sim::Dialogs()[0].focusId) << "the first tab stop";
    EXPECT_EQ(0, sim::Dialogs()[1].focusId) << "nothing in the progress dialog takes the focus";
}

}  // namespace
