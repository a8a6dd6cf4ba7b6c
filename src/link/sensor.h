// src/link: the sensor link as the panel drives it; uses every floor below it (core, util,
// wire, history, assist, panel, branding).
// The sensor commands: parameter transfer, live polling and the jump buffer.
#ifndef KIVREL_LINK_SENSOR_H
#define KIVREL_LINK_SENSOR_H

namespace kivrel
{

// Writes the panel's parameter set to the sensor's RAM or EEPROM; no answer is awaited.
void SendPara(void);
// Reads the sensor's parameter set onto the panel.
void GetPara(void);
// Polls measurement records until poll is cleared.
void GetData(void);
// Reads the 16 minima of the jump buffer and plots them against the working threshold.
void GetJmpBuf(void);

} // namespace kivrel

#endif
