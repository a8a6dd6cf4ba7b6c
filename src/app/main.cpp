// Process entry on systems without WinMain: the panel program's two ways to start.
#include "Kivrelv40.h"
#include "viewalone.h"

#include "cmdline.h"

int main(int argc, char *argv[])
{
    const int answered = ProcessCommandLine(argc, argv);
    if (answered >= 0) return answered;
    CviInstance instance{&argc, argv};
    // --view FILE.csv: the recording's window alone, no panel and no port.
    const char *recording = CommandLineView();
    const int result = recording
                           ? kivrel::ViewRecordingAlone(&instance, recording, CommandLineExport())
                           : kivrel::WinMain(&instance, nullptr, nullptr, 0);
    CloseCVIRTE();
    return result;
}
