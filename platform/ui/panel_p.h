// Internals of panels and controls shared by ui_panel.cpp, ui_controls.cpp and the tests.
// The logic never sees this header.
#pragma once

#include "userint.h"

#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <map>

namespace kivrel::platform
{

// What a control holds, from the panel file's `valueType` property.
enum class ValueType { None, Byte, Int, String };

struct Control {
    int id = 0;
    QPointer<QWidget> widget;
    QPointer<QLabel> label; // a QLabel whose buddy is the control
    ValueType type = ValueType::None;
    CtrlCallbackPtr callback = nullptr;
    bool autoSize = false; // text messages made by NewCtrl follow their text
    // Last value known to the operator, to tell a real change from a re-commit.
    int lastIndex = -1;
    QString lastText;
    // Colours the program set; -1 until then (the palette answers).
    int frameColor = -1;
    int textColor = -1;
    int bgColor = -1;
    // The look a marked control returns to when its mark goes.
    bool marked = false;
    QPalette plainPalette;
    QFont plainFont;
    QString plainLabelSheet;
    // A spin box showing a text in place of its number (ATTR_VALUE_TEXT) holds one below its
    // minimum, where Qt shows the special-value text; this is the minimum to return to.
    bool valueText = false;
    int plainMinimum = 0;
};

struct Panel {
    int handle = 0;
    quint64 serial = 0; // unique over the process, unlike handles which are reused
    QPointer<QWidget> window;
    PanelCallbackPtr callback = nullptr;
    std::map<int, Control> controls;
};

// Names of the dynamic properties the loader puts on every control widget and label, so the
// right-click filter can find the control from any child widget.
inline constexpr char kPanelSerialProperty[] = "_kvPanelSerial";
inline constexpr char kCtrlIdProperty[] = "_kvCtrlId";

Panel *findPanel(int handle);
Panel *findPanelBySerial(quint64 serial);
// Finds a control; on failure stores UIE_INVALID_PANEL or UIE_INVALID_CONTROL in *error.
Control *findControl(int panel, int control, int *error, Panel **owner = nullptr);

// Tags a control's widget (and label) for event routing and connects its operator signals.
void attachControl(Panel &panel, Control &control);

// The number again in place of the text ATTR_VALUE_TEXT put in a spin box; the value goes to
// its minimum until the caller sets one.
void dropValueText(Control &control);

// A plain name resolves beside the executable, then in the data directory, then in the current
// directory; a name with a directory is taken as is. Empty when no file exists.
QString resolveDataFile(const QString &fileName);

// Callbacks are reached through these; they drop events for panels or controls gone meanwhile.
void dispatchControlEvent(quint64 serial, int control, int event, int data1, int data2);
void dispatchPanelEvent(quint64 serial, int event, int data1, int data2);

// While one lives, value changes are the program's own and raise no event.
class ProgramChange
{
  public:
    ProgramChange();
    ~ProgramChange();
    ProgramChange(const ProgramChange &) = delete;
    ProgramChange &operator=(const ProgramChange &) = delete;
    static bool active();
};

// Widgets behind handles, for tests.
QWidget *panelWidget(int panel);
QWidget *controlWidget(int panel, int control);
QLabel *controlLabel(int panel, int control);

} // namespace kivrel::platform
