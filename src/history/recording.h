// src/history: what the tool keeps of measurements and parameter changes; uses the panel and below.
// Live recording: every record that polling shows as one CSV row, written in batches at least
// once a second so the polling loop never waits on the disk; and the recent NORM values the
// set-up assistant works from.
#ifndef KIVREL_HISTORY_RECORDING_H
#define KIVREL_HISTORY_RECORDING_H

namespace kivrel
{

// NORM of the records polled since the last parameter transfer, oldest first; the newest
// NormHistoryLength are kept.
enum { NormHistoryLength = 800 };
extern unsigned char normHistory[NormHistoryLength];
extern int normCount;
void ForgetNorms(void);

// Asks for a file with the save dialog and starts a recording in it; the REC toggle stays off
// when the operator cancels or the file cannot be made.
void StartRecording(void);
// The same without the dialog, into `path`.
void StartRecordingTo(const char *path);
// Writes what is still held back and closes the file; the REC toggle goes off. Nothing
// happens without a recording.
void StopRecording(void);
// After every record polling has shown: its NORM to the history, a row to the recording.
void KeepRecord(void);

} // namespace kivrel

#endif
