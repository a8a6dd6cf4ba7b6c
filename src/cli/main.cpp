// kivrel-cli: the sensor from a script.
#include "cli.h"

#include "eventloop.h"

int main(int argc, char *argv[])
{
    InitConsoleRuntime(&argc, argv);
    const int status = kivrel::CliMain(argc, argv);
    CloseConsoleRuntime();
    return status;
}
