// A small check-and-report framework for the platform tests, in the manner of
// Wine's conformance tests: ok() checks a condition, and a check known to come
// out differently on one side sits in a todo_wine block. A known
// difference that stops showing is reported as a failure, so the mark gets
// taken away once it is no longer needed.
//
// Output, one line per case, then the details of what did not pass:
//   PASS <case>
//   KNOWN-DIFFERENCE <case>
//       <file>:<line>: <message>
//   FAIL <case>
//       <file>:<line>: <message>
//   # <n> passed, <m> failed, <k> known differences
#ifndef PLATFORM_CHECK_H
#define PLATFORM_CHECK_H

#include <string>

namespace check {

enum class Side { Sim, Wine, Windows };

void SetSide(Side side);
Side Where();
const char *SideName(Side side);
bool OnWine();

void Case(const char *name);  // ends the case before, starts this one
void Note(const char *fmt, ...) __attribute__((format(printf, 1, 2)));  // a detail shown with the case
bool Ok(const char *file, int line, bool cond, const char *fmt, ...) __attribute__((format(printf, 4, 5)));
void TodoBegin(bool known);
void TodoEnd();
int Finish();                 // ends the last case, prints the totals; the number of failures

}  // namespace check

#define ok(cond, ...) check::Ok(__FILE__, __LINE__, (cond), __VA_ARGS__)
#define todo_if(known) \
    for (int todo_once_ = (check::TodoBegin(known), 1); todo_once_; todo_once_ = (check::TodoEnd(), 0))
#define todo_wine todo_if(check::OnWine())

#endif
