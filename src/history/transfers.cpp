#include "transfers.h"

#include "marks.h"
#include "recording.h"

namespace kivrel
{

void NoteTransfer(int direction, int where)
{
    RememberTransfer();
    JournalTransfer(direction, where);
    ForgetNorms();
}

} // namespace kivrel
