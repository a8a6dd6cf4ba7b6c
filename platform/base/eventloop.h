// The event loop the logic spins in while it waits, and the end of a program asked to end:
// services that need no widgets, for the panel program and the command line alike.
#ifndef KIVREL_PLATFORM_EVENTLOOP_H
#define KIVREL_PLATFORM_EVENTLOOP_H

// Dispatches callbacks until QuitUserInterface has been called and the callback running at
// that moment has returned.
int RunUserInterface(void);
int QuitUserInterface(int returnCode);
// Runs every pending event, callbacks nested, and returns. Called again at once (a spinning
// wait) with nothing pending, it sleeps until the next event, or a few milliseconds at most (a
// wait's deadline, where it gave one), so a spin does not burn a core.
int ProcessSystemEvents(void);
// A spinning wait that ends at Timer() = `deadline` may say so before it spins, and says so
// again with a negative deadline when it is over: meanwhile a spin sleeps until an event or
// that moment, not a tick at a time, and never beyond it.
void SetSpinDeadline(double deadline);

// Calls `callback(callbackData)` once from the event loop, after the events pending now: inside
// RunUserInterface, or inside a ProcessSystemEvents of a callback that waits (the polling
// loop's). Long work goes in short steps, each posting the next, so nothing waits long behind
// it. 0, or -10 without an event loop.
typedef void (*DeferredCallbackPtr)(void *callbackData);
int PostDeferredCall(DeferredCallbackPtr callback, void *callbackData);

// A program without a panel (the command line): the application object and its event loop.
// stdout closed by its reader makes writes fail instead of ending the process. 0 when an
// application object exists already, which the program then does not own.
int InitConsoleRuntime(int *argc, char *argv[]);
void CloseConsoleRuntime(void);

// 1 once a termination request (SIGTERM, SIGINT, SIGHUP) has been seen by the event loop; a
// second request ends the process at once.
int TerminationRequested(void);
// A program without a panel: `callback(callbackData)` runs from the event loop as soon as a
// termination request has been seen, so a wait in progress can end at once (null: none).
void SetTerminationCallback(DeferredCallbackPtr callback, void *callbackData);

#endif
