// Time-series windows: a few traces of numbers over clock time, with labelled vertical markers,
// each in a window of its own that the operator places beside the panel. The operator follows
// the newest point or zooms and pans the time axis with the mouse, reads the values under the
// pointer and a marker's text on it, and exports what is shown as PNG or PDF. A C-style surface
// over Qt widgets like userint.h; the logic includes only this header.
#ifndef KIVREL_PLATFORM_TIMEVIEW_H
#define KIVREL_PLATFORM_TIMEVIEW_H

// What a view reports to its callback, with the event codes of userint.h:
//   EVENT_COMMIT, eventData1 TIMEVIEW_OPEN: the operator asked to open a file in the view
//   EVENT_COMMIT, eventData1 TIMEVIEW_EXPORT_SPAN: write the records of GetTimeViewSpan into
//     the file GetTimeViewExportFile names; the callback answers 0 once it has, and tells the
//     operator (TIMEVIEW_STATUS) either way
//   EVENT_COMMIT, eventData1 TIMEVIEW_EXPORT_PAGE: a report page of GetTimeViewSpan is about
//     to be made: set TIMEVIEW_PAGE_SETTINGS for that span now
//   EVENT_COMMIT, eventData1 TIMEVIEW_MARKER_ITEM, eventData2 a marker's tag: the operator chose
//     the item of that marker's menu (AddTimeViewMarkerItem)
//   EVENT_CLOSE: the operator closed the window; it is hidden and stays until DiscardTimeView
enum {
    TIMEVIEW_OPEN = 1,
    TIMEVIEW_EXPORT_SPAN = 2,
    TIMEVIEW_EXPORT_PAGE = 3,
    TIMEVIEW_MARKER_ITEM = 4
};
typedef int (*TimeViewCallbackPtr)(int view, int event, void *callbackData, int eventData1,
                                   int eventData2);

// Texts of a view.
enum {
    TIMEVIEW_TITLE = 1,       // the window title
    TIMEVIEW_CAPTION = 2,     // what is shown (a port, a file); above the plot and in exports,
                              // followed by the time span on screen
    TIMEVIEW_STATUS = 3,      // the line under the plot
    TIMEVIEW_EXPORT_NAME = 4, // how a proposed export file name begins ("kivrel-history")
    // The report page (PDF, or PNG of A4):
    TIMEVIEW_PAGE_HEADING = 5,  // its heading: the program and what the view is
    TIMEVIEW_PAGE_SOURCE = 6,   // where the points come from: a sensor, a file
    TIMEVIEW_PAGE_SETTINGS = 7, // the settings in force at the end of the span (\n breaks lines)
    TIMEVIEW_VALUE_AXIS = 8     // the value axis's name and unit
};

// A view, hidden until DisplayTimeView, with `numTraces` traces (1 to 16) named by the
// comma-separated `traceNames` and drawn in `colors` (0xRRGGBB), values from yMin to yMax.
// It follows the newest point, showing `span` seconds. A handle > 0, or a negative code of
// userint.h.
int NewTimeView(int numTraces, const char *traceNames, const int colors[], double yMin, double yMax,
                double span, TimeViewCallbackPtr callback);
int DisplayTimeView(int view); // shows the window and brings it to the front
int DiscardTimeView(int view);
int SetTimeViewText(int view, int what, const char *text);

// Appends `count` points: times[i] in seconds since 1970 (shown in local time), and numTraces
// values each, values[i * numTraces + trace]. Redrawn at most ten times a second, however
// often points come.
int AddTimeViewPoints(int view, const double times[], const double values[], int count);
// A vertical line at `time` in `color`, with `label` on it and `detail` (lines may be broken
// with \n) shown while the pointer is on it.
int AddTimeViewMarker(int view, double time, int color, const char *label, const char *detail);
// The same, and a right click on its line opens a menu with `item`; choosing it reports
// TIMEVIEW_MARKER_ITEM with `tag` (0 or more). The menu holds nothing up while it is open.
int AddTimeViewMarkerItem(int view, double time, int color, const char *label, const char *detail,
                          const char *item, int tag);
// Points and markers older than `seconds` before the newest point are dropped; 0 keeps all.
// Room for `points` points is taken at once, so the span fills without moving its points
// (0: room grows as points come).
int SetTimeViewKeep(int view, double seconds, int points);
// Removes every point and marker; the view follows again, showing the span it was made with.
int ClearTimeView(int view);
// 1: the newest point stays at the right edge (the End key does this too); 0: the shown
// span stays where it is (as after the operator drags or zooms).
int SetTimeViewFollow(int view, int follow);
// Shows every point (a double click does this too); following stops.
int ShowWholeTimeView(int view);
// Writes what the view shows: for a name ending in .pdf an A4 landscape report page (heading,
// source, span, plot with its legend and value axis, settings, who exported it when); for .csv
// the span's records, which the callback writes (TIMEVIEW_EXPORT_SPAN); otherwise a PNG picture
// of 1920 x 1080 pixels. 0, or UIE_INVALID_ARGUMENT when it was not written: for a picture or
// a page GetFileErrorText (formatio.h) then says why; the file that stood there stays as it was.
int ExportTimeView(int view, const char *fileName);
// The span an export covers, in seconds since the epoch: between the two cursors where the
// operator has set them, otherwise the span shown.
int GetTimeViewSpan(int view, double *from, double *to);
// The file an export goes to, while its TIMEVIEW_EXPORT_SPAN is reported: at most
// MAX_PATHNAME_LEN bytes with the NUL (utility.h).
int GetTimeViewExportFile(int view, char path[]);

#endif
