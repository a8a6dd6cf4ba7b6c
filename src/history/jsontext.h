// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// JSON as the tool writes it for machines: a text as a JSON string, the sensor's port, a
// parameter set. UTF-8, numbers with a point in every locale.
#ifndef KIVREL_HISTORY_JSONTEXT_H
#define KIVREL_HISTORY_JSONTEXT_H

namespace kivrel
{

// `text` as a JSON string, quotes included, into `out` (of `size` bytes), cut short between
// characters where it does not fit.
void JsonString(char *out, int size, const char *text);
// The sensor's port as JSON members: "port":3,"device":"ttyUSB2" ("port":null where no COM
// number maps the device).
void JsonPort(char *out, int size);
// The parameter set `values` of `memory` ("RAM", "EEPROM") as one JSON object with the port,
// every parameter by name and POWER in percent and as the byte, with a line end: its length
// (cut to fit `size`).
int FormatParaSetJson(char *text, int size, const unsigned char values[15], const char *memory);

} // namespace kivrel

#endif
