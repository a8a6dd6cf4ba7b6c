// src/panel: the operator panel; uses core, util, wire, history, assist.
// Live recording: every record that polling shows as one CSV row. Rows are handed to the system
// in batches, at least once a second while polling and at once when polling ends by any path,
// so a crash of the program loses at most the last second of rows. (What the system has been
// handed but not yet written to the disk is the system's: a power cut can take more.)
#ifndef KIVREL_HISTORY_RECORDING_H
#define KIVREL_HISTORY_RECORDING_H

namespace kivrel
{

// Asks for a file with the save dialog (which asks before replacing one) and starts a
// recording in it once the operator has chosen; polling goes on meanwhile. The REC toggle goes
// off again, and the status line says why, when the operator cancels or the file cannot be
// made.
void StartRecording(void);
// The same without the dialog, into `path`.
void StartRecordingTo(const char *path);
// Hands the held rows to the system and closes the file; the REC toggle goes off. Nothing
// happens without a recording.
void StopRecording(void);
// REC switched off: the same, and the status line says which file holds how many rows.
void SwitchRecordingOff(void);
// The same, saying `why` in the status line and on stderr: "Recording ended: port changed".
void EndRecordingBecause(const char *why);
// Ends the recording as StopRecording does: 1 when there was one and every row it took is in
// its file, else 0 (a failure is what the status line then says).
int EndRecordingKept(void);
// The status line for the recording just ended by `why`: "Recording ended: TIMEOUT; run.csv
// holds 35 rows".
void TellRecordingEnded(const char *why);
// After every record polling has shown: a row to the recording.
void KeepRecord(void);
// Hands the held rows to the system now: polling has ended.
void HandOverRows(void);
// The path of the file REC is writing now, or nullptr without a recording.
const char *RecordingFile(void);

} // namespace kivrel

#endif
