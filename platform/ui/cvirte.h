// Run-time engine start-up: the table through which panel files find the program's callbacks.
#ifndef KIVREL_PLATFORM_CVIRTE_H
#define KIVREL_PLATFORM_CVIRTE_H

// One entry of the program's name table: "_" + function or variable name, its address and
// its kind. The table is sorted by name in byte order so the panel loader can bisect it.
enum { CVI_NAME_VARIABLE = 0, CVI_NAME_FUNCTION = 1 };

struct CviNameEntry {
    const char *name;
    const void *address;
    int kind;
};

struct CviNameTable {
    const CviNameEntry *entries;
    int count;
};

// What the process entry hands over as its instance: the command line for the toolkit.
struct CviInstance {
    int *argc;
    char **argv;
};

// Creates the application object. Returns 0 when it cannot. `names` may be null (tests that
// load no panel); `reserved` is unused.
int InitCVIRTE(void *hInstance, const CviNameTable *names, void *reserved);

// Tears the application object down again (tests and a clean process exit).
void CloseCVIRTE(void);

#endif
