// src/link: the sensor link as the panel drives it; uses every floor below it (core, util,
// wire, history, assist, panel, branding).
// Port set-up and line check as the panel shows them, and the timeout report.
#ifndef KIVREL_LINK_COM232_H
#define KIVREL_LINK_COM232_H

#include "telegram.h" // the order codes and limits every caller of the link uses

namespace kivrel
{

// The one reaction to every communication failure: status line and popup. Where a network
// port's connection could not be made again, the status line then says why:
// "Cannot open port (Connection refused)".
void TimeoutReport(void);
// After every good reply: a status line still saying TIMEOUT says the sensor answers again;
// any other text stays.
void SensorAnswered(void);

// Opens the port at 4800 baud 8N1 without handshake and checks the line; when the sensor
// answers, its parameter set is read onto the panel.
void InitRS232(int port);
void CheckComLine(void);

} // namespace kivrel

#endif
