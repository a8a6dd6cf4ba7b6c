// Internals shared by the platform's own modules; the logic never sees this header.
#pragma once

#include "cvirte.h"

#include <QString>

namespace kivrel::platform
{

// Looks a callback name ("CBF_P", without the table's leading underscore) up in the name
// table given to InitCVIRTE. Returns null when there is no table or no such function.
const void *lookupFunction(const QString &name);

// True while an application object made by InitCVIRTE exists.
bool runtimeUp();

// True once a termination request came: popups then answer at once, as if acknowledged or
// cancelled, so nothing holds the program's own way out.
bool terminating();
// Back to before the request (tests): modal windows open again and the next termination
// request is answered the program's way again.
void answerTerminationAgain();
// Answers every open modal window: dialogs are rejected, anything else closed.
void closeModalWindows();

} // namespace kivrel::platform
