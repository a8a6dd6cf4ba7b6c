// src/branding: the logo area; uses the panel and below.
// The branding area: logo bitmap, frame and up to four text lines, in twelve label variants.
#ifndef KIVREL_BRANDING_LOGO_H
#define KIVREL_BRANDING_LOGO_H

namespace kivrel
{

// Variant 5 is the maker's own branding; 0 to 11 are valid, anything else does nothing.
void ShowLogo(int variant);

// One text line on the panel in one of four styles (colours); left, top in panel pixels.
void ShowInfoText1(const char *text, int left, int top, int pointSize);
void ShowInfoText2(const char *text, int left, int top, int pointSize);
void ShowInfoText3(const char *text, int left, int top, int pointSize);
void ShowInfoText4(const char *text, int left, int top, int pointSize);

} // namespace kivrel

#endif
