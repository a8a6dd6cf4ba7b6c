// Parameter files: the 15 bytes of pp as text, chosen in a file dialog.
#ifndef KIVREL_CORE_PARAFILE_H
#define KIVREL_CORE_PARAFILE_H

namespace kivrel
{

void SendParaToFile(void);
void ReadParaFromFile(void);

} // namespace kivrel

#endif
