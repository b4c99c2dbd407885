// Prints what the instance scan does over a layout of instance keys, as the
// scan model works it out, so that the end-to-end check of Wine's registry
// trace expects the same calls as the unit tests.
//
//   scan-order < layout    a key a line: "PASS NUMBER DESCRIPTION", PASS 1 or 2,
//                          the description left out for a key without one
//   output                 an event a line: "PASS open NNNN = RESULT",
//                          "PASS read NNNN", "PASS delete NNNN = RESULT", ...
#include <iostream>
#include <sstream>

#include "scan_model.h"

using namespace scan_model;

int main()
{
    Layout layouts[2];
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        int pass, number;
        std::string description;
        if (!(in >> pass >> number) || (pass != 1 && pass != 2))
            return 2;
        if (in.get() == ' ')
            std::getline(in, description);
        Instance &key = layouts[pass - 1][number];
        key.described = !description.empty();
        key.description = description + '\0';
    }
    for (int p = 0; p < 2; p++)
        for (const std::string &event : ModelPass(layouts[p]))
            std::cout << p + 1 << " " << event << "\n";
    return 0;
}
