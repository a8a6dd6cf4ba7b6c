// src/assist: the set-up assistant's arithmetic, advisory only; uses core, util, wire, history.
// The NORM values the assistant works from: those polled since what the sensor works with may
// last have changed (a Send, a new connection, a port change).
#ifndef KIVREL_ASSIST_NORMS_H
#define KIVREL_ASSIST_NORMS_H

namespace kivrel
{

// Oldest first; the newest NormHistoryLength are kept.
enum { NormHistoryLength = 800 };
extern unsigned char normHistory[NormHistoryLength];
extern int normCount;

// After every record polling has shown: its NORM to the history.
void KeepNorm(void);
void ForgetNorms(void);

} // namespace kivrel

#endif
