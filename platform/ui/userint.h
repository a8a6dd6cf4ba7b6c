// The user-interface services: panels loaded from panel files, controls addressed by integer
// identifiers, callbacks by event code, graphs and popups. A C-style surface over Qt widgets;
// the program's logic includes only this header.
#ifndef KIVREL_PLATFORM_USERINT_H
#define KIVREL_PLATFORM_USERINT_H

#include "eventloop.h" // RunUserInterface, QuitUserInterface, ProcessSystemEvents
#include "formatio.h"  // VAL_DOUBLE, VAL_UNSIGNED_CHAR

// Event codes delivered to callbacks.
enum {
    EVENT_COMMIT = 1,      // the operator entered a value, pressed a button or picked an item
    EVENT_VAL_CHANGED = 2, // the operator changed a value (delivered before its commit)
    EVENT_RIGHT_CLICK = 5,
    EVENT_CLOSE = 11 // to the panel callback, when the operator closes the window
};

// Control attributes.
enum {
    ATTR_DIMMED = 500,
    ATTR_VISIBLE = 530,
    ATTR_LEFT = 531,
    ATTR_TOP = 532,
    ATTR_FRAME_COLOR = 550,
    ATTR_LABEL_TEXT = 641,
    ATTR_TEXT_COLOR = 680,
    ATTR_TEXT_FONT = 682,
    ATTR_TEXT_POINT_SIZE = 686,
    ATTR_TEXT_BGCOLOR = 690,
    ATTR_POINTS_PER_SCREEN = 1171,
    ATTR_TRACE_VISIBLE = 1234,
    // A calm mark on an input control and its label: its value is not what was last sent.
    ATTR_MARKED = 2000,
    ATTR_DESCRIPTION = 2001, // the description assistive technology reads out (string)
    // A numeric field shows this text in place of its number, for a value it cannot hold,
    // until the operator changes the value or the program sets one; "" shows the number again
    // (string). ATTR_VALUE_TEXT_SHOWN answers 1 while the text stands.
    ATTR_VALUE_TEXT = 2002,
    ATTR_VALUE_TEXT_SHOWN = 2003
};

// Panel attributes.
enum {
    ATTR_TITLE = 2100,          // the window title (string)
    ATTR_WINDOW_MODIFIED = 2101 // 1: the title carries the desktop's mark for unsaved work
};

// Control style of a text message made with NewCtrl.
enum { CTRL_TEXT_MSG = 160 };

// Colours are 0xRRGGBB; this one means a transparent background.
enum { VAL_TRANSPARENT = 0x1000000 };

// Error codes of these services (all negative).
enum {
    UIE_PANEL_FILE_NOT_FOUND = -1,
    UIE_BAD_PANEL_FILE = -2,
    UIE_UNKNOWN_CALLBACK = -3,
    UIE_INVALID_PANEL = -4,
    UIE_INVALID_CONTROL = -5,
    UIE_TYPE_MISMATCH = -6, // a value asked or given in a type the control does not hold
    UIE_INVALID_ATTRIBUTE = -7,
    UIE_INVALID_ARGUMENT = -8,
    UIE_PATH_TOO_LONG = -9,
    UIE_NOT_INITIALISED = -10
};

// Results of FileSelectPopup.
enum { VAL_NO_FILE_SELECTED = 0, VAL_EXISTING_FILE_SELECTED = 1, VAL_NEW_FILE_SELECTED = 2 };

typedef int (*CtrlCallbackPtr)(int panel, int control, int event, void *callbackData,
                               int eventData1, int eventData2);
typedef int (*PanelCallbackPtr)(int panel, int event, void *callbackData, int eventData1,
                                int eventData2);

// Loads panel `resourceId` from a panel file (a plain name resolves beside the executable,
// then in the installed data directory) and binds its callback names through the name table
// given to InitCVIRTE. Returns the panel handle (>= 0) or a negative code.
int LoadPanel(int parentPanel, const char *fileName, int resourceId);
int DisplayPanel(int panel);
int DiscardPanel(int panel);

// Control values in the control's own type: a byte control takes unsigned char, a numeric
// int control int, a text control char. Any other pairing returns UIE_TYPE_MISMATCH and
// writes nothing.
int GetCtrlVal(int panel, int control, unsigned char *value);
int GetCtrlVal(int panel, int control, int *value);
int GetCtrlVal(int panel, int control, char *value); // at most 256 bytes with NUL
int SetCtrlVal(int panel, int control, int value);   // byte and int controls
int SetCtrlVal(int panel, int control, const char *value);

int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, const char *value);
int GetCtrlAttribute(int panel, int control, int attribute, int *value);
int SetTraceAttribute(int panel, int control, int trace, int attribute, int value);
int SetPanelAttribute(int panel, int attribute, int value);
int SetPanelAttribute(int panel, int attribute, const char *value);

// Creates a control at run time; returns its identifier or a negative code.
int NewCtrl(int panel, int style, const char *label, int top, int left);
int ReplaceListItem(int panel, int control, int index, const char *text, int value);
int DisplayImageFile(int panel, int control, const char *fileName);

// Graphs. PlotY draws an array against its index and returns a plot handle; DeleteGraphPlot
// with handle -1 removes every plot; PlotStripChart appends values interleaved over the
// strip chart's traces.
int PlotY(int panel, int control, const void *array, int numPoints, int dataType, int plotStyle,
          int pointStyle, int lineStyle, int pointFrequency, int color);
int PlotStripChart(int panel, int control, const void *array, int numPoints, int startingIndex,
                   int skipCount, int dataType);
int DeleteGraphPlot(int panel, int control, int plotHandle, int refresh);

// Popups, modal: they hold whatever called them until the operator answers.
int MessagePopup(const char *title, const char *message);
// Writes the chosen path (at most MAX_PATHNAME_LEN bytes with NUL) into pathOut; a longer path
// is refused with UIE_PATH_TOO_LONG.
int FileSelectPopup(const char *defaultDirectory, const char *defaultFileName,
                    const char *fileTypeList, const char *title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, char pathOut[]);

// The same file dialog without the wait: it opens and returns at once (0, or a negative code
// when it cannot open), and polling and the other windows go on while the operator chooses;
// the question before replacing a file does not wait either. `callback` then gets what
// FileSelectPopup would have returned, the chosen path ("" unless a file was chosen) and
// `callbackData`: once the operator has answered, or at once while the program is being
// ended. A dialog that goes unanswered with its window calls nothing.
typedef void (*FileSelectCallbackPtr)(int result, const char *path, void *callbackData);
int StartFileSelectPopup(const char *defaultDirectory, const char *defaultFileName,
                         const char *fileTypeList, const char *title, int buttonLabel,
                         int restrictDirectory, int restrictExtension, int allowCancel,
                         int allowMakeDirectory, FileSelectCallbackPtr callback,
                         void *callbackData);

#endif
