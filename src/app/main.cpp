// Process entry on systems without WinMain.
#include "Kivrelv40.h"

int main(int argc, char *argv[])
{
    const int answered = ProcessCommandLine(argc, argv);
    if (answered >= 0) return answered;
    CviInstance instance{&argc, argv};
    const int result = kivrel::WinMain(&instance, nullptr, nullptr, 0);
    CloseCVIRTE();
    return result;
}
