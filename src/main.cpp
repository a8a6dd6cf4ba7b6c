// Process entry on systems without WinMain.
#include "cvirte.h"
#include "userint.h"

int main(int argc, char *argv[])
{
    CviInstance instance{&argc, argv};
    if (!InitCVIRTE(&instance, nullptr, nullptr))
        return -1;
    // The panel and the sensor link come with the start-up module.
    return LoadPanel(0, "Kivrelv40.uir", 1) < 0 ? -1 : 0;
}
