#include "logo.h"

#include "controls.h"
#include "state.h"

#include "userint.h"

namespace kivrel
{

static const char Title[] = "KIVREL-Vired V4.0";

static void ShowInfoText(const char *text, int left, int top, int pointSize, int background,
                         int color)
{
    const int ctrl = NewCtrl(panel, CTRL_TEXT_MSG, "", top, left);
    SetCtrlAttribute(panel, ctrl, ATTR_TEXT_FONT, "NIApp");
    SetCtrlAttribute(panel, ctrl, ATTR_TEXT_BGCOLOR, background);
    SetCtrlAttribute(panel, ctrl, ATTR_TEXT_COLOR, color);
    SetCtrlAttribute(panel, ctrl, ATTR_TEXT_POINT_SIZE, pointSize);
    SetCtrlVal(panel, ctrl, text);
}

void ShowInfoText1(const char *text, int left, int top, int pointSize)
{
    ShowInfoText(text, left, top, pointSize, 0xFFFFFF, 0x808080);
}

void ShowInfoText2(const char *text, int left, int top, int pointSize)
{
    ShowInfoText(text, left, top, pointSize, 0xFFFFFF, 0x000000);
}

void ShowInfoText3(const char *text, int left, int top, int pointSize)
{
    ShowInfoText(text, left, top, pointSize, VAL_TRANSPARENT, 0xFFFFFF);
}

void ShowInfoText4(const char *text, int left, int top, int pointSize)
{
    ShowInfoText(text, left, top, pointSize, 0x0080FF, 0xFFFFFF);
}

namespace
{

struct TextLine {
    const char *text;
    int left, top, size;
};

// One label variant. Distributor names, addresses and numbers are placeholders until a
// distributor's own data is filled in.
struct Variant {
    int frameColor;
    int logoTop, logoLeft;
    const char *bitmap; // null: no bitmap
    void (*style)(const char *, int, int, int);
    TextLine lines[4];
    int lineCount;
};

const Variant variants[12] = {
    {0xFFFFFF, 5, 640, nullptr, ShowInfoText2, {{Title, 220, 20, 22}}, 1},
    {0xFFFFFF,
     5,
     485,
     "Distrib1.bmp",
     ShowInfoText1,
     {{Title, 220, 20, 22}, {"Distributor One", 15, 13, 14}, {"Phone +00 000 000001", 15, 32, 14}},
     3},
    {0xFFFFFF,
     5,
     540,
     "Distrib2.bmp",
     ShowInfoText2,
     {{Title, 220, 20, 22},
      {"00000 Town", 15, 21, 14},
      {"Phone +00 000 000002", 15, 37, 14},
      {"Distributor Two", 15, 5, 14}},
     4},
    {0xFFFFFF, 6, 415, "Distrib3.bmp", ShowInfoText1, {{Title, 20, 16, 25}}, 1},
    {0xFFFFFF, 6, 475, "Distrib4.bmp", ShowInfoText1, {{Title, 20, 16, 25}}, 1},
    {0x0080FF,
     6,
     168,
     "Orbeck.bmp",
     ShowInfoText4,
     {{Title, 218, 30, 18},
      {"Orbeck GmbH", 15, 5, 12},
      {"Phone +00 000 000000", 15, 20, 12},
      {"www.orbeck.example", 15, 35, 12}},
     4},
    {0xFFFFFF,
     6,
     445,
     "Distrib6.bmp",
     ShowInfoText2,
     {{Title, 250, 25, 22},
      {"Street 1, 00000 Town", 15, 20, 10},
      {"Phone +00 000 000006", 15, 35, 10},
      {"Distributor Six", 15, 5, 10}},
     4},
    {0xFFFFFF,
     5,
     495,
     "Distrib7.bmp",
     ShowInfoText1,
     {{Title, 240, 20, 22},
      {"Distributor Seven", 15, 13, 14},
      {"Phone +00 000 000007", 15, 32, 14}},
     3},
    {0xFFFFFF,
     5,
     435,
     "Distrib8.bmp",
     ShowInfoText1,
     {{Title, 195, 20, 22},
      {"Distributor Eight", 15, 13, 14},
      {"Phone +00 000 000008", 15, 32, 14}},
     3},
    {0xFFFFFF, 2, 5, "Distrib9.bmp", ShowInfoText3, {{Title, 225, 20, 22}}, 1},
    {0xFFFFFF, 6, 480, "Distrib10.bmp", ShowInfoText1, {{Title, 20, 16, 25}}, 1},
    {0xFFFFFF, 6, 480, "Distrib11.bmp", ShowInfoText1, {{Title, 20, 16, 25}}, 1},
};

} // namespace

void ShowLogo(int variant)
{
    if (variant < 0 || variant > 11) return;
    const Variant &v = variants[variant];
    SetCtrlAttribute(panel, PANEL_LOGOFRAME, ATTR_FRAME_COLOR, v.frameColor);
    SetCtrlAttribute(panel, PANEL_LOGO, ATTR_TOP, v.logoTop);
    SetCtrlAttribute(panel, PANEL_LOGO, ATTR_LEFT, v.logoLeft);
    if (v.bitmap) DisplayImageFile(panel, PANEL_LOGO, v.bitmap);
    for (int i = 0; i < v.lineCount; i++)
        v.style(v.lines[i].text, v.lines[i].left, v.lines[i].top, v.lines[i].size);
}

} // namespace kivrel
