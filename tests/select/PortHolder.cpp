// A second running copy for the port-lock test: takes 01F0 through the
// selection dialog, says "HELD", and keeps the port until its standard
// input closes.
//   select_port_holder LOCKDIR
#include <QApplication>
#include <iostream>
#include <string>

#include "common/DriveContext.h"
#include "common/PortLock.h"
#include "select/SelectPort.h"
#include "sim/SimMachine.h"

#include <QTableWidget>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    QApplication app(argc, argv);
    PortLock::SetDirectory(QString::fromLocal8Bit(argv[1]));
    sim::InstallMachine(sim::DefaultMachineSpec());
    TfrmSelectPort d;
    d.Grid->setCurrentCell(0, 0);
    if (d.Cell(1, 0) != QStringLiteral("01F0"))
        return 3;
    d.bbOkClick();
    auto lock = d.TakePortLock();
    if (d.result() != QDialog::Accepted || !lock)
        return 4;
    std::cout << "HELD" << std::endl;
    std::string line;
    std::getline(std::cin, line);
    return 0;
}
