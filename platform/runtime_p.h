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

} // namespace kivrel::platform
