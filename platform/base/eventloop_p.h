// Internals of the event loop shared by the platform's modules; the logic never sees this
// header.
#pragma once

#include <functional>

namespace kivrel::platform
{

// Arms the spinning waits' tick and the termination signals once an application object
// exists; undone by stopEventLoop before the object goes.
void startEventLoop();
void stopEventLoop();

// What a termination request does besides being noted: the panel program answers its popups
// and closes its panels. Without one the request only sets the flag.
void setTerminationHandler(std::function<void()> handler);

// True once a termination request came: popups then answer at once, as if acknowledged or
// cancelled, so nothing holds the program's own way out.
bool terminating();
// Back to before the request (tests): modal windows open again and the next termination
// request is answered the program's way again.
void answerTerminationAgain();

} // namespace kivrel::platform
