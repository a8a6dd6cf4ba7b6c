// src/app, the top floor: start-up, callbacks and parameter-file commands; uses every folder.
// Parameter files: the 15 bytes of pp as text, chosen in a file dialog.
#ifndef KIVREL_APP_PARAFILE_H
#define KIVREL_APP_PARAFILE_H

namespace kivrel
{

void SendParaToFile(void);
void ReadParaFromFile(void);

} // namespace kivrel

#endif
