// The dialogs the user goes through, from the confirmation to the restart.
#include <commctrl.h>

#include <cstring>

#include "fixture.h"
#include "printer_machine.h"
#include "resource.h"
#include "startup.h"

namespace {

const char kCompletion[] =
    "The Oxtrel Lintora 460D driver has been completely uninstalled.\n"
    "We advise you to reboot your PC for a proper uninstallation.\n"
    "Click on the 'Yes' button to reboot now.                 \n"
    "Clicking on the 'No' button will return you to Windows without completing the "
    "uninstallation procedure";

// The abort message's trace line, with the window that owns it.
std::string AbortLine(const std::string &owner = "NULL")
{
    return "MessageBoxA(" + owner + ", \"The Oxtrel Lintora 460D driver has not been uninstalled and remains on your "
           "PC\", \"Uninstallation aborted\", 0x0) = 1";
}

class FlowTest : public MachineTest {};

TEST_F(FlowTest, CancelShowsTheAbortMessageAndChangesNothing)
{
    printer::Install();
    printer::AddUnrelated();
    std::string registry = sim::DumpRegistry(), files = sim::DumpFiles();
    sim::Click("WELCOME", IDCANCEL);
    sim::Answer(IDOK);

    EXPECT_EQ(2, sim::RunProgram());

    EXPECT_EQ(std::vector<std::string>({AbortLine("<WELCOME>")}), sim::Lines("MessageBoxA"));
    // The dialog is ended before the message, and is still there to own it.
    EXPECT_LT(sim::IndexOf("EndDialog"), sim::IndexOf("MessageBoxA"));
    EXPECT_EQ("EndDialog(<WELCOME>, 2) = 1", sim::Lines("EndDialog").at(0));
    EXPECT_EQ(1u, sim::Calls("DialogBoxParamA").size());
    EXPECT_FALSE(sim::RestartRequested());
    EXPECT_EQ(registry, sim::DumpRegistry());
    EXPECT_EQ(files, sim::DumpFiles());
}

// The flag is cleared only after the box: an OK that reaches the dialog
// meanwhile ends it once more, with 1, but cannot start the removal.
TEST_F(FlowTest, OkWhileTheAbortBoxIsUpRemovesNothing)
{
    printer::Install();
    std::string registry = sim::DumpRegistry();
    sim::Click("WELCOME", IDCANCEL);
    sim::Command("WELCOME", IDOK);
    sim::Answer(IDOK);

    EXPECT_EQ(1, sim::RunProgram()) << "the last EndDialog sets the result";

    EXPECT_EQ(std::vector<std::string>({"EndDialog(<WELCOME>, 2) = 1", "EndDialog(<WELCOME>, 1) = 1"}),
              sim::Lines("EndDialog"));
    EXPECT_EQ(1u, sim::Calls("MessageBoxA").size());
    EXPECT_EQ(1u, sim::Calls("DialogBoxParamA").size());
    EXPECT_EQ(registry, sim::DumpRegistry());
}

TEST_F(FlowTest, EntryCallsInOrder)
{
    sim::Key("WELCOME", VK_RETURN);  // OK is the default button
    sim::Answer(IDNO);

    EXPECT_EQ(2, sim::RunProgram());

    // TRUE, so that the platform gives OK the focus; the keys from there on
    // are the platform's dialog manager's, which the e2e drives on Wine.
    EXPECT_EQ("Dispatch(<WELCOME>, WM_INITDIALOG, 0, 0) = 1", sim::Lines("Dispatch").at(0));
    std::vector<std::string> order;
    for (const sim::Call &c : sim::Trace())
        if (c.fn == "HeapCreate" || c.fn == "DialogBoxParamA" || c.fn == "MessageBoxA" ||
            c.fn == "HeapDestroy" || c.fn == "ExitWindowsEx")
            order.push_back(c.str());
    EXPECT_EQ(std::vector<std::string>({
                  "HeapCreate(0x0, 0, 0) = <heap>",
                  "DialogBoxParamA(<program>, \"WELCOME\", NULL, proc, 0) = 1",
                  "DialogBoxParamA(<program>, \"UNINSTALL\", NULL, proc, 0) = 2",
                  std::string("MessageBoxA(NULL, \"") + kCompletion + "\", \"Uninstallation succeeded\", 0x1004) = 7",
                  "HeapDestroy(<heap>) = 1",
              }),
              order);
    // Seventeen spaces end the third line of what the user reads, and the
    // last has no full stop.
    const std::string text = Args("MessageBoxA", 1).at(0);
    EXPECT_EQ(3, std::count(text.begin(), text.end(), '\n'));
    EXPECT_NE(std::string::npos, text.find("now." + std::string(17, ' ') + "\nClicking"));
    EXPECT_EQ('e', text.back());
    EXPECT_FALSE(sim::RestartRequested());
}

TEST_F(FlowTest, ProgressDialogStepsSeventyTimesThenRemovesOnce)
{
    sim::Click("WELCOME", IDOK);
    sim::Answer(IDNO);
    sim::RunProgram();

    std::vector<std::string> init;
    for (int i = sim::IndexOf("InitCommonControls"); i <= sim::IndexOf("SetTimer"); i++)
        if (sim::Trace()[i].fn != "Dispatch")
            init.push_back(sim::Trace()[i].str());
    ASSERT_EQ(std::vector<std::string>({
                  "InitCommonControls() = 0",
                  "GetDlgItem(<UNINSTALL>, 1008) = <UNINSTALL:1008>",
                  "SendMessageA(<UNINSTALL:1008>, PBM_SETRANGE, 0, 9175040) = 6553600",
                  "SendMessageA(<UNINSTALL:1008>, PBM_SETSTEP, -2, 0) = 10",
                  "SetTimer(<UNINSTALL>, 1, 1, NULL) = 1",
              }),
              init);

    int firstRemoval = sim::IndexOf("RegDeleteKeyA");
    int kill = sim::IndexOf("KillTimer");
    ASSERT_GT(firstRemoval, 0);
    const std::vector<std::string> sent = Args("SendMessageA", 1);
    EXPECT_EQ(std::vector<std::string>(70, "PBM_STEPIT"), std::vector<std::string>(sent.begin() + 2, sent.end()))
        << "the range, the step, then 70 steps";
    EXPECT_LT(sim::IndexOf("SendMessageA", 71), kill);
    EXPECT_LT(kill, firstRemoval);
    EXPECT_EQ("KillTimer(<UNINSTALL>, 1) = 1", sim::Lines("KillTimer").at(0));
    EXPECT_EQ(13u, sim::Calls("RegDeleteKeyA").size()) << "the removal ran once";

    // The dialog closes itself with the IDCANCEL it posts after the removal.
    EXPECT_EQ("PostMessageA(<UNINSTALL>, WM_COMMAND, 2, 0) = 1", sim::Lines("PostMessageA").at(0));
    int lastMove = sim::IndexOf("MoveFileA", (int)sim::Calls("MoveFileA").size() - 1);
    EXPECT_GT(lastMove, 0) << "WININIT.INI was written";
    EXPECT_GT(sim::IndexOf("PostMessageA"), lastMove);
    EXPECT_EQ("EndDialog(<UNINSTALL>, 2) = 1", sim::Lines("EndDialog").at(1));

    // How the bar draws its position is the control's own.
    EXPECT_EQ(71, sim::Dialogs().at(1).timerMessages);
}

// The NT family restarts only once the shutdown privilege is enabled; the
// 95 family has no privileges, and is asked once. A restart refused for
// another reason, a program that would not end, is not asked for again.
TEST_F(FlowTest, YesRequestsARestartAndTheEntryStillReturns)
{
    const std::vector<std::string> kNt = {
        "ExitWindowsEx(2, 0x0) = 0",
        "GetModuleHandleA(\"ADVAPI32.DLL\") = <ADVAPI32>",
        "GetProcAddress(<ADVAPI32>, \"OpenProcessToken\") = 1",
        "GetProcAddress(<ADVAPI32>, \"LookupPrivilegeValueA\") = 1",
        "GetProcAddress(<ADVAPI32>, \"AdjustTokenPrivileges\") = 1",
        "GetCurrentProcess() = <current process>",
        "OpenProcessToken(<current process>, 0x28) = <token>",
        "LookupPrivilegeValueA(NULL, \"SeShutdownPrivilege\") = 1",
        "AdjustTokenPrivileges(<token>, 0, 0x2) = 1",
        "CloseHandle(<token>) = 1",
        "ExitWindowsEx(2, 0x80040002) = 1",
    };
    const struct {
        const char *what;
        bool nt, declined;
        std::vector<std::string> calls;
    } rows[] = {
        {"95", false, false, {"ExitWindowsEx(2, 0x0) = 1"}},
        {"NT", true, false, kNt},
        {"95, declined", false, true, {"ExitWindowsEx(2, 0x0) = 0"}},
        {"NT, declined", true, true, {"ExitWindowsEx(2, 0x0) = 0"}},
    };
    for (const auto &row : rows) {
        SetUp();
        sim::SetNtFamily(row.nt);
        sim::Click("WELCOME", IDOK);
        sim::Answer(IDYES);
        if (row.declined)
            sim::FailCall("ExitWindowsEx", 1);
        EXPECT_EQ(2, sim::RunProgram());
        std::vector<std::string> calls;
        for (int i = sim::IndexOf("MessageBoxA") + 1; i < sim::IndexOf("HeapDestroy"); i++)
            calls.push_back(sim::Trace()[i].str());
        EXPECT_EQ(row.calls, calls) << row.what;
        EXPECT_EQ(!row.declined, sim::RestartRequested()) << row.what;
    }
}

// Esc, or the close box (Alt+F4 and Close on the system menu come the same
// way), while the bar steps: nothing is removed and the user is told so.
TEST_F(FlowTest, LeavingWhileTheBarStepsRemovesNothingAndSaysSo)
{
    for (int way = 0; way < 2; way++) {
        SCOPED_TRACE(way == 0 ? "Esc" : "close box");
        SetUp();
        printer::Install();
        std::string registry = sim::DumpRegistry(), files = sim::DumpFiles();
        sim::Click("WELCOME", IDOK);
        if (way == 0)
            sim::Key("UNINSTALL", VK_ESCAPE, 10);
        else
            sim::CloseBox("UNINSTALL", 3);
        sim::Answer(IDOK);

        EXPECT_EQ(2, sim::RunProgram());

        EXPECT_EQ(std::vector<std::string>({AbortLine()}), sim::Lines("MessageBoxA"));
        EXPECT_EQ(0u, sim::Calls("KillTimer").size());
        EXPECT_EQ(way == 0 ? 10 : 3, sim::Dialogs().at(1).timerMessages);
        EXPECT_FALSE(sim::RestartRequested());
        EXPECT_EQ(registry, sim::DumpRegistry());
        EXPECT_EQ(files, sim::DumpFiles());
    }
}

TEST_F(FlowTest, OtherCommandsAreHandledAndDoNothing)
{
    sim::Command("WELCOME", 1000);
    sim::Command("WELCOME", MAKEWPARAM(IDCANCEL, 1));  // not a click: the whole wParam counts
    sim::Click("WELCOME", IDOK);
    sim::Command("UNINSTALL", IDOK, 5);
    sim::Key("UNINSTALL", VK_RETURN, 6);
    sim::Command("UNINSTALL", MAKEWPARAM(IDCANCEL, 1), 7);
    sim::Answer(IDNO);

    EXPECT_EQ(2, sim::RunProgram());

    std::vector<std::string> commands;
    for (const sim::Call &c : sim::Calls("Dispatch"))
        if (c.args[1] == "WM_COMMAND")
            commands.push_back(c.str());
    EXPECT_EQ(std::vector<std::string>({
                  "Dispatch(<WELCOME>, WM_COMMAND, 1000, 0) = 0",
                  "Dispatch(<WELCOME>, WM_COMMAND, 65538, 0) = 0",
                  commands.at(2),
                  "Dispatch(<UNINSTALL>, WM_COMMAND, 1, 0) = 1",
                  "Dispatch(<UNINSTALL>, WM_COMMAND, 1, 0) = 1",
                  "Dispatch(<UNINSTALL>, WM_COMMAND, 65538, 0) = 1",
                  "Dispatch(<UNINSTALL>, WM_COMMAND, 2, 0) = 1",
              }),
              commands);
    EXPECT_EQ(0u, sim::Calls("MessageBoxA").size() - 1) << "only the completion prompt";
    EXPECT_EQ(13u, sim::Calls("RegDeleteKeyA").size());
}

// A dialog that cannot be created gives -1, which becomes the exit code. No
// removal follows that the user did not see through, and the abort message
// says that the driver is still there.
TEST_F(FlowTest, MissingTemplates)
{
    struct Row {
        const char *missing;
        bool noProgressClass;
        size_t dialogs;  // DialogBoxParamA calls
    } rows[] = {
        {"WELCOME", false, 1},
        {"UNINSTALL", false, 2},
        {nullptr, true, 2},
        {"BOTH", false, 1},
    };
    for (const Row &row : rows) {
        SetUp();
        printer::Install();
        std::string registry = sim::DumpRegistry(), files = sim::DumpFiles();
        std::string name = row.missing ? row.missing : "no progress class";
        if (name == "BOTH") {
            sim::RemoveTemplate("WELCOME");
            sim::RemoveTemplate("UNINSTALL");
        } else if (row.missing) {
            sim::RemoveTemplate(name);
        }
        if (row.noProgressClass)
            sim::UnregisterProgressClass();
        if (name != "WELCOME" && name != "BOTH")
            sim::Click("WELCOME", IDOK);
        sim::Answer(IDOK);
        EXPECT_EQ(-1, sim::RunProgram()) << name;
        EXPECT_EQ(row.dialogs, sim::Calls("DialogBoxParamA").size()) << name;
        EXPECT_EQ(std::vector<std::string>({AbortLine()}), sim::Lines("MessageBoxA")) << name;
        EXPECT_EQ(registry, sim::DumpRegistry()) << name;
        EXPECT_EQ(files, sim::DumpFiles()) << name;
        EXPECT_EQ(1u, sim::Calls("HeapDestroy").size()) << name;
    }
}

// The start-up hands the entry what follows the program's name. Each line is
// followed by bytes that a scan past its end would take for a tail.
TEST(CommandTailTest, SkipsTheProgramsName)
{
    struct Row {
        const char *what;
        std::string line;
        const char *tail;
    } const rows[] = {
        {"an unquoted name alone", "C:\\OXTREL\\UNINSTALL.EXE", ""},
        {"with arguments", "UNINSTALL.EXE /q  x", "/q  x"},
        {"a quoted name with spaces", "\"C:\\Program Files\\Oxtrel\\UNINSTALL.EXE\"  /q", "/q"},
        {"a quote with no closing quote", "\"C:\\Program Files\\UNINSTALL.EXE /q", ""},
        {"tabs", "UNINSTALL.EXE\t \t/q", "/q"},
        {"an empty line", "", ""},
    };
    for (const Row &row : rows) {
        std::string buffer = row.line + std::string("\0\" past\0", 8);
        LPSTR tail = CommandTail(&buffer[0]);
        EXPECT_STREQ(row.tail, tail) << row.what;
        EXPECT_EQ(row.line.size() - std::strlen(row.tail), (size_t)(tail - &buffer[0])) << row.what;
    }
}

}  // namespace
