// Internals shared by the platform's widget modules; the logic never sees this header.
#pragma once

#include "cvirte.h"
#include "eventloop_p.h"

#include <QString>

namespace kivrel::platform
{

// Looks a callback name ("CBF_P", without the table's leading underscore) up in the name
// table given to InitCVIRTE. Returns null when there is no table or no such function.
const void *lookupFunction(const QString &name);

// True while an application object made by InitCVIRTE exists.
bool runtimeUp();

// Answers every open modal window: dialogs are rejected, anything else closed.
void closeModalWindows();

} // namespace kivrel::platform
