// src/panel: the operator panel; uses core, util, wire, history, assist.
// What SUGGEST and the adjustment view show; nothing here ever sends.
#ifndef KIVREL_ASSIST_ASSISTANT_H
#define KIVREL_ASSIST_ASSISTANT_H

namespace kivrel
{

// A jump buffer was read into jumpbuf / the connection it came from has gone.
void NoteJumpBuffer(void);
void ForgetJumpBuffer(void);

// SUGGEST: the suggestion goes into THRESHOLD and HYSTERESIS (an unsent edit, as if typed)
// with one line saying why; or only that line, saying why there is none.
void ShowSuggestion(void);

// The verdict on the ACTIVE window and the edge of the record just shown.
void ShowWindowVerdict(void);

} // namespace kivrel

#endif
