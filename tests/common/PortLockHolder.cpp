// Another running copy for the port-lock tests: takes the lock of a name,
// says "HELD" (or "TAKEN" when someone else has it), and keeps it until its
// standard input closes.
//   port_lock_holder NAME [SCOPE]
#include <iostream>
#include <string>

#include "common/PortLock.h"

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    if (argc > 2)
        PortLock::SetDirectory(QString::fromLocal8Bit(argv[2]));
    const auto lock = PortLock::TryAcquire(QString::fromLocal8Bit(argv[1]));
    std::cout << (lock ? "HELD" : "TAKEN") << std::endl;
    std::string line;
    std::getline(std::cin, line);
    return lock ? 0 : 1;
}
