// Internals shared by the platform's widget modules; the logic never sees this header.
#pragma once

#include "cvirte.h"
#include "eventloop_p.h"

#include <QString>

#include <functional>

namespace kivrel::platform
{

// Looks a callback name ("CBF_P", without the table's leading underscore) up in the name
// table given to InitCVIRTE. Returns null when there is no table or no such function.
const void *lookupFunction(const QString &name);

// True while an application object made by InitCVIRTE exists.
bool runtimeUp();

// Answers every open modal window: dialogs are rejected, anything else closed.
void closeModalWindows();

// What each kind of window does when the program is asked to end or the run-time goes, said
// here once by that kind (panels, time views) when it keeps its first window: the run-time
// calls these and names no kind of window itself.
// A termination request: `close` gives the kind's windows the close event the operator's close
// would, and answers how many got one. When no window got one, the event loop is left directly.
void onTerminationRequest(std::function<int()> close);
// CloseCVIRTE, before the application object goes: `discard` deletes the kind's windows.
void onRuntimeClose(std::function<void()> discard);

} // namespace kivrel::platform
