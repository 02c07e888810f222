// The gate in front of the port instructions, seen from a program started
// the way later checks start the command line.
#include <unistd.h>

#include "GuestCheck.h"
#include "GuestProcess.h"

using namespace guest;

GUEST_CHECK(guard, a_started_program_knows_where_it_runs)
{
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (!c.Expect(n > 0, "cannot read /proc/self/exe"))
        return;
    const ProcessResult r = RunProgram({self, "--where"});
    if (c.Simulated())
        c.Expect(r.exitCode == 1 && r.output.rfind("not inside the test guest", 0) == 0,
                 "on this machine --where says: " + r.output);
    else
        c.Expect(r.exitCode == 0 && r.output == "inside the test guest\n", "in the guest --where says: " + r.output);
}
