// Shared by the file services: the reason GetFileErrorText gives.
#ifndef KIVREL_PLATFORM_FORMATIO_P_H
#define KIVREL_PLATFORM_FORMATIO_P_H

#include <QString>

// Keeps the reason of a failure for GetFileErrorText and passes the code on.
int fileFailed(int code, const QString &why);

#endif
