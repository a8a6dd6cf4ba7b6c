#!/usr/bin/env python3
"""Writes resources/Kivrelv40.uir, the main panel as a Qt Designer form.

The form is the source of truth and may be edited in Qt Designer; this script is how its first
version was laid out and is kept to regenerate a clean layout when controls move.
Usage: tools/gen_panel.py > resources/Kivrelv40.uir
"""
from xml.sax.saxutils import escape

W, H = 1180, 606
out = []


def prop(name, kind, value, dynamic=False):
    std = ' stdset="0"' if dynamic else ''
    if kind == 'rect':
        x, y, w, h = value
        v = f'<rect><x>{x}</x><y>{y}</y><width>{w}</width><height>{h}</height></rect>'
    elif kind == 'bool':
        v = f'<bool>{"true" if value else "false"}</bool>'
    elif kind == 'enum':
        v = f'<enum>{value}</enum>'
    elif kind == 'set':
        v = f'<set>{value}</set>'
    else:
        v = f'<{kind}>{escape(str(value))}</{kind}>'
    return f'<property name="{name}"{std}>{v}</property>'


def widget(cls, name, geom, props=(), items=(), ctrl=None, cb=None, vt=None, access=None):
    p = [prop('geometry', 'rect', geom)]
    if ctrl is not None:
        p.append(prop('ctrlId', 'number', ctrl, True))
    if cb:
        p.append(prop('callback', 'string', cb, True))
    if vt:
        p.append(prop('valueType', 'string', vt, True))
    if access:
        p.append(prop('accessibleName', 'string', access))
    p.extend(props)
    body = ''.join(p)
    for it in items:
        body += f'<item>{prop("text", "string", it)}</item>'
    out.append(f'  <widget class="{cls}" name="{name}">{body}</widget>')


# Style sheets sit on the widgets they dress, never on the panel: a panel-wide sheet puts every
# control under the style-sheet style, and the displays and charts that repaint with every
# record would pay for it (a fifth of each frame). Those are dressed by palette and font.
def style(sheet):
    return prop('styleSheet', 'string', sheet)


def color_roles(roles):
    out = ''
    for role, rgb in roles:
        r, g, b = (rgb >> 16) & 255, (rgb >> 8) & 255, rgb & 255
        out += (f'<colorrole role="{role}"><brush brushstyle="SolidPattern"><color alpha="255">'
                f'<red>{r}</red><green>{g}</green><blue>{b}</blue></color></brush></colorrole>')
    return out


def palette(roles, disabled_roles=None):
    on = color_roles(roles)
    off = color_roles(disabled_roles if disabled_roles is not None else roles)
    return ('<property name="palette"><palette>'
            f'<active>{on}</active><inactive>{on}</inactive><disabled>{off}</disabled>'
            '</palette></property>')


def font(family, points, bold):
    return (f'<property name="font"><font><family>{family}</family><pointsize>{points}'
            f'</pointsize><bold>{"true" if bold else "false"}</bold></font></property>')


def section(name, geom):
    widget('QFrame', name, geom, [
        prop('frameShape', 'enum', 'QFrame::StyledPanel'),
        style('QFrame { background: #FFFFFF; border: 1px solid #C3CBD6; border-radius: 4px; }')])


def heading(name, text, x, y, w=160):
    widget('QLabel', name, (x, y, w, 18),
           [prop('text', 'string', text), style('color: #2F4A66; font-weight: bold;')])


def label(name, text, buddy, geom):
    widget('QLabel', name, geom, [prop('text', 'string', text), prop('buddy', 'cstring', buddy),
                                  style('color: #33404D;')])


# ---- branding band --------------------------------------------------------------------------
widget('QFrame', 'PANEL_LOGOFRAME', (0, 0, W, 62),
       [prop('frameShape', 'enum', 'QFrame::Box')], ctrl=42, access='Branding frame')
widget('QLabel', 'PANEL_LOGO', (168, 6, 48, 48),
       [prop('scaledContents', 'bool', True)], ctrl=38, access='Logo')

# ---- connection -----------------------------------------------------------------------------
section('sectionConnection', (10, 72, 390, 62))
heading('headConnection', 'CONNECTION', 22, 78)
label('labelComPort', 'COM PORT', 'PANEL_COMPORT', (22, 100, 80, 24))
# Each item names the device behind its number (the platform's PortSelector).
widget('PortSelector', 'PANEL_COMPORT', (110, 98, 278, 28),
       [prop('itemValues', 'string', ','.join(str(i) for i in range(1, 17)), True)],
       items=[f'COM{i}' for i in range(1, 17)], ctrl=2, cb='CBF_EditConnect', vt='int',
       access='COM port')

# ---- parameters: two pages sharing one area --------------------------------------------------
section('sectionParameters', (10, 142, 390, 370))
heading('headParameters', 'PARAMETERS', 22, 148)
cols = (28, 216)
rows = (176, 248, 320, 392)
# Decorations behind the six shared spots, listed first so they stay behind the controls.
deco = [('CBF_DECO1', 0, 1), ('CBF_DECO2', 1, 1), ('CBF_DECO3', 0, 2), ('CBF_DECO4', 1, 2),
        ('CBF_DECO5', 0, 3), ('CBF_DECO6', 1, 3)]
for i, (cb, c, r) in enumerate(deco, 1):
    widget('QFrame', f'decoration{i}', (cols[c] - 8, rows[r] - 4, 182, 60),
           [prop('frameShape', 'enum', 'QFrame::StyledPanel'),
            style('QFrame { background: #F3F6FA; border: 1px solid #DCE2EA; '
                  'border-radius: 3px; }')], cb=cb, ctrl=100 + i,
           access=f'Parameter spot {i}')


def spin(name, text, ctrl, cb, c, r, lo=0, hi=255, access=None, value=0, enabled=True):
    x, y = cols[c], rows[r]
    label('label' + name, text, name, (x, y, 166, 18))
    widget('QSpinBox', name, (x, y + 18, 166, 30),
           [prop('minimum', 'number', lo), prop('maximum', 'number', hi),
            prop('value', 'number', value), prop('enabled', 'bool', enabled),
            prop('keyboardTracking', 'bool', False),
            prop('alignment', 'set', 'Qt::AlignRight|Qt::AlignTrailing|Qt::AlignVCenter')],
           ctrl=ctrl, cb=cb, vt='byte', access=access or text.title())


def ring(name, text, ctrl, cb, c, r, items, values, access, current=0):
    x, y = cols[c], rows[r]
    label('label' + name, text, name, (x, y, 166, 18))
    widget('QComboBox', name, (x, y + 18, 166, 30),
           [prop('itemValues', 'string', ','.join(map(str, values)), True),
            prop('currentIndex', 'number', current)],
           items=items, ctrl=ctrl, cb=cb, vt='byte', access=access)


# Page 1
ring('PANEL_TRSHMOD', 'TRSH MODE', 7, 'CBF_EditTrshMod', 0, 0, ['FIX', 'DYN1', 'DYN2'],
     [0, 1, 2], 'Threshold mode')
spin('PANEL_DELTATRSH', 'DELTA TRSH', 8, 'CBF_EditDeltaTrsh', 1, 0, access='Delta threshold',
     value=20, enabled=False)
spin('PANEL_THRESHOLD', 'TRESHOLD', 9, 'CBF_EditThreshold', 0, 1, access='Threshold',
     value=120)
spin('PANEL_HYSTERESIS', 'HYSTERESIS', 10, 'CBF_EditHysteresis', 1, 1, access='Hysteresis',
     value=150)
ring('PANEL_TRIGGER', 'TRIGGER', 11, 'CBF_EditTrigger', 0, 2,
     ['EXT', 'EXTSTAT', 'CONT', 'ADJ EXT'], [1, 2, 0, 3], 'Trigger mode', current=2)
spin('PANEL_HOLD', 'HOLD', 12, 'CBF_EditHold', 1, 2, access='Hold', value=10)
ring('PANEL_PMOD', 'PMOD', 13, 'CBF_EditPmod', 0, 3, ['STAT', 'DYN'], [0, 1], 'Power mode')
spin('PANEL_POWER', 'POWER [%]', 14, 'CBF_EditPower', 1, 3, 0, 100, access='Power', value=78)
# Page 2, hidden until the page switch turns
spin('PANEL_BACKLIM', 'BACKLIM', 23, 'CBF_EditBacklim', 0, 1, access='Background limit',
     value=10)
spin('PANEL_REGCNT', 'REGCNT', 24, 'CBF_EditRegcnt', 1, 1, access='Regulation count',
     value=10, enabled=False)
spin('PANEL_AVERAGE', 'AVERAGE', 25, 'CBF_EditAverage', 0, 2, access='Average', value=1)
ring('PANEL_OUTMODE', 'OUTMODE', 26, 'CBF_EditOutmode', 1, 2, ['DIRECT', 'INVERSE'], [0, 1],
     'Output mode')
ring('PANEL_DEADTIMEMODE', 'DEAD TIME MODE', 27, 'CBF_EditDeadTimeMode', 0, 3,
     ['PERCENT', 'MILLISECONDS'], [0, 1], 'Dead time mode')
ring('PANEL_DEADTIME', 'DEAD TIME[%]', 28, 'CBF_EditDeadTime', 1, 3,
     [str(6 * i) for i in range(16)], list(range(16)), 'Dead time', current=2)

widget('QCheckBox', 'PANEL_PARAVISIBLE', (28, 470, 250, 26),
       [prop('text', 'string', 'STANDARD PARAMETERS'), prop('checked', 'bool', True)],
       ctrl=21, cb='CBF_ParaVisible', vt='byte', access='Parameter page')

# ---- transfer target and commands -----------------------------------------------------------
section('sectionCommands', (410, 72, 160, 440))
heading('headTarget', 'TARGET', 422, 78, 140)
for i, (name, text, ctrl, cb, on, acc) in enumerate([
        ('PANEL_RAM', 'RAM', 16, 'CBF_SelectRAM', True, 'Target RAM'),
        ('PANEL_EEPROM', 'EE', 17, 'CBF_SelectEEPROM', False, 'Target EEPROM'),
        ('PANEL_FILE', 'FILE', 18, 'CBF_SelectFILE', False, 'Target FILE')]):
    widget('QPushButton', name, (422 + i * 46, 100, 44, 30),
           [prop('text', 'string', text), prop('checkable', 'bool', True),
            prop('checked', 'bool', on), prop('focusPolicy', 'enum', 'Qt::TabFocus'),
            style('QPushButton:checked { background: #0080FF; color: white; '
                  'border: 1px solid #005FBF; border-radius: 3px; }')],
           ctrl=ctrl, cb=cb, vt='int', access=acc)


# The program never addresses the command buttons; their identifiers only keep them apart.
def command(name, text, key, cb, y, ctrl, access, x=422, w=136, h=36):
    widget('QPushButton', name, (x, y, w, h),
           [prop('text', 'string', f'{text}   {key}'), prop('shortcut', 'string', key),
            style('font-weight: bold;')],
           ctrl=ctrl, cb=cb, access=access)


heading('headTransfer', 'PARAMETERS', 422, 146, 140)
command('buttonSend', 'Send', 'F9', 'CBF_ButtonSend', 168, 3, 'Send')
command('buttonGet', 'Get', 'F10', 'CBF_ButtonGet', 210, 4, 'Get')
heading('headLive', 'LIVE DATA', 422, 262, 140)
command('buttonGo', 'Go', 'F11', 'CBF_ButtonGo', 284, 5, 'Go')
command('buttonStop', 'Stop', 'F12', 'CBF_ButtonStop', 326, 6, 'Stop')
# REC is a toggle: red while a recording runs, its text counting the rows.
widget('QPushButton', 'PANEL_REC', (422, 368, 136, 36),
       [prop('text', 'string', 'REC   F7'), prop('shortcut', 'string', 'F7'),
        prop('checkable', 'bool', True), prop('checked', 'bool', False),
        prop('focusPolicy', 'enum', 'Qt::TabFocus'),
        style('QPushButton { font-weight: bold; } QPushButton:checked { background: #C62828; '
              'color: white; border: 1px solid #8E1B1B; border-radius: 3px; }')],
       ctrl=44, cb='CBF_ButtonRec', vt='int', access='Record live data')

# ---- displays and graphs --------------------------------------------------------------------
section('sectionDisplay', (580, 72, 590, 440))
heading('headDisplay', 'LIVE VIEW', 592, 78)
label('labelSource', 'SOURCE', 'PANEL_SOURCE', (592, 98, 160, 18))
widget('QComboBox', 'PANEL_SOURCE', (592, 116, 164, 30),
       [prop('itemValues', 'string', '0,1,2', True)],
       items=['RAW  DAT0 DAT1', 'NORM  TRSH HYST', 'ADJUSTMENT'], ctrl=29,
       cb='CBF_SelectSource', vt='int', access='Display source')


def display(name, text, ctrl, cb, slot, access):
    x = 772 + slot * 80
    label('label' + name, text, name, (x, 98, 74, 18))
    widget('QLabel', name, (x, 116, 74, 30),
           [prop('text', 'string', '0'),
            prop('alignment', 'set', 'Qt::AlignRight|Qt::AlignTrailing|Qt::AlignVCenter'),
            prop('indent', 'number', 6), prop('autoFillBackground', 'bool', True),
            palette([('Window', 0x13232F), ('WindowText', 0x8CF5A8)],
                    [('Window', 0x13232F), ('WindowText', 0x5B7466)]),
            font('monospace', 15, True)],
           ctrl=ctrl, cb=cb, vt='int' if ctrl in (30, 32) else 'byte', access=access)


display('PANEL_DISPDAT0', 'DAT0', 31, 'CBF_DispDat0', 0, 'DAT0 display')
display('PANEL_DISPEDGE', 'EDGE [%]', 30, 'CBF_DispEdge', 0, 'Edge display')
display('PANEL_DISPDAT1', 'DAT1', 33, 'CBF_DispDat1', 1, 'DAT1 display')
display('PANEL_DISPWIN', 'WIN [%]', 32, 'CBF_DispWin', 1, 'Window display')
display('PANEL_DISPNORM', 'NORM', 34, 'CBF_DispNORM', 2, 'NORM display')
display('PANEL_DISPTRSH', 'TRSH', 36, 'CBF_DispTRSH', 3, 'Working threshold display')
display('PANEL_DISPHYST', 'HYST', 35, 'CBF_DispHYST', 4, 'Working hysteresis display')

# HISTORY opens a window of its own with this run's records and transfers.
command('buttonHistory', 'HISTORY', 'F5', 'CBF_ButtonHistory', 149, 48, 'History', x=592, w=164,
        h=22)

# The adjustment view judges window and edge on a line under the displays.
widget('QLabel', 'PANEL_VERDICT', (772, 150, 394, 20),
       [prop('text', 'string', ''), prop('visible', 'bool', False),
        style('color: #2F4A66; font-weight: bold;')],
       ctrl=46, cb='CBF_DispVerdict', vt='string', access='Adjustment verdict')

graph_geom = (592, 174, 566, 328)
widget('QCustomPlot', 'PANEL_GRAPHRAW1', graph_geom,
       [prop('graphKind', 'string', 'stripchart', True), prop('traces', 'number', 5, True),
        prop('traceNames', 'string', 'DAT0,DAT1,NORM,TRSH,HYST', True),
        prop('traceColors', 'string', '0x1F77B4,0xFF7F0E,0x2CA02C,0xD62728,0x9467BD', True),
        prop('yMin', 'double', 0, True), prop('yMax', 'double', 255, True),
        prop('pointsPerScreen', 'number', 101, True)],
       ctrl=43, cb='CBF_GraphRaw1', access='Strip chart')
widget('QCustomPlot', 'PANEL_GRAPHDATA1', graph_geom,
       [prop('graphKind', 'string', 'graph', True),
        prop('xMin', 'double', -0.5, True), prop('xMax', 'double', 15.5, True),
        prop('yMin', 'double', 0, True), prop('yMax', 'double', 255, True),
        prop('visible', 'bool', False)],
       ctrl=41, cb='CBF_GraphData1', access='Jump buffer graph')
widget('QCustomPlot', 'PANEL_GRAPHDATA2', graph_geom,
       [prop('graphKind', 'string', 'graph', True),
        prop('xMin', 'double', -1, True), prop('xMax', 'double', 101, True),
        prop('yMin', 'double', 0, True), prop('yMax', 'double', 160, True),
        prop('visible', 'bool', False)],
       ctrl=40, cb='CBF_GraphData2', access='Adjustment graph')

# ---- jump buffer and the set-up assistant ------------------------------------------------------
section('sectionJump', (10, 520, 1160, 42))
heading('headJump', 'JUMP BUFFER', 22, 532, 100)
command('buttonGetBuff', 'GetBuff', 'F8', 'CBF_ButtonGetBuff', 524, 15, 'GetBuff', x=130, w=120,
        h=34)
command('buttonSuggest', 'SUGGEST', 'F6', 'CBF_ButtonSuggest', 524, 47, 'Suggest', x=258, w=120,
        h=34)
# Two lines: the suggestion's margins take more than one.
widget('QLabel', 'PANEL_SUGGESTION', (392, 522, 766, 38),
       [prop('text', 'string', ''), prop('indent', 'number', 6), prop('wordWrap', 'bool', True),
        font('sans', 9, False)],
       ctrl=45, cb='CBF_DispSuggestion', vt='string', access='Suggestion')

# ---- status line ----------------------------------------------------------------------------
widget('QLabel', 'PANEL_STATUS', (10, 570, 1160, 28),
       [prop('text', 'string', ''), prop('frameShape', 'enum', 'QFrame::Panel'),
        prop('frameShadow', 'enum', 'QFrame::Sunken'), prop('indent', 'number', 6),
        style('background: #FFFFFF; font-family: monospace;')],
       ctrl=39, cb='CBF_DispStatus', vt='string', access='Status line')



print('<?xml version="1.0" encoding="UTF-8"?>')
print('<ui version="4.0">')
print(' <class>KivrelPanel</class>')
print(' <widget class="QWidget" name="PANEL">')
print('  ' + prop('geometry', 'rect', (0, 0, W, H)))
print('  ' + prop('windowTitle', 'string', 'KIVREL-Vired V4.0'))
print('  ' + prop('accessibleName', 'string', 'KIVREL-Vired panel'))
print('  ' + prop('autoFillBackground', 'bool', True))
print('  ' + palette([('Window', 0xE8ECF1)]))
print('  ' + prop('panelId', 'number', 1, True))
print('  ' + prop('callback', 'string', 'CBF_P', True))
print('\n'.join(out))
print(' </widget>')
print(' <customwidgets>')
print('  <customwidget><class>QCustomPlot</class><extends>QWidget</extends>'
      '<header>qcustomplot.h</header><container>1</container></customwidget>')
print('  <customwidget><class>PortSelector</class><extends>QComboBox</extends>'
      '<header>portselector.h</header></customwidget>')
print(' </customwidgets>')
print(' <resources/>')
print(' <connections/>')
print('</ui>')
