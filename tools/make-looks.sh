#!/usr/bin/env bash
# Writes the eight window looks (resources/looks/STYLE_0..7.qss) from one template and a
# palette per look. Edit the palettes here, run it, and commit the result.
# Every text colour stands at least 4.5:1 (WCAG) against what it is drawn on: text on the
# window, the panels and the lists; the accent text on the accent; the accent (group titles, a
# focused check box's text) on the window; the disabled text on the window, panels and lists.
# The custom-painted on/off switch takes its colours from here too (its qproperty- lines), and
# every control shows the keyboard focus (the :focus lines). tests/tst_looks.cpp checks both.
set -euo pipefail
cd "$(dirname "$0")/../resources/looks"
look() { # file name bg panel text accent accentText border list consoleBg consoleText disabled
cat > "$1.qss" <<EOF
/* Quarnelo MK3 editor look: $2 (written by tools/make-looks.sh) */
QWidget { background-color: $3; color: $5; }
QLabel, QCheckBox, QRadioButton { background: transparent; }
QMenuBar { background-color: $4; color: $5; border-bottom: 1px solid ${8}; }
QMenuBar::item:selected { background-color: $6; color: $7; }
QMenu { background-color: $4; color: $5; border: 1px solid ${8}; }
QMenu::item:selected { background-color: $6; color: $7; }
QMenu::item:disabled { color: ${12}; }
QPushButton { background-color: $4; color: $5; border: 1px solid ${8}; border-radius: 4px; padding: 2px; }
QPushButton:hover { border-color: $6; }
QPushButton:pressed { background-color: $6; color: $7; }
QPushButton:disabled { color: ${12}; border-color: ${12}; }
QPushButton:focus { border: 2px solid $6; padding: 1px; }
QPushButton#btnSaveParametersInfo { padding: 0px; }
QPushButton#btnSaveParametersInfo:focus { padding: 0px; border-width: 2px; }
QListWidget { background-color: $9; color: $5; border: 1px solid ${8}; }
QListWidget::item:selected { background-color: $6; color: $7; }
QListWidget:disabled { color: ${12}; }
QListWidget:focus { border: 2px solid $6; }
QLabel:disabled, QCheckBox:disabled, QRadioButton:disabled { color: ${12}; }
QCheckBox::indicator, QRadioButton::indicator { width: 11px; height: 11px; background-color: $9; border: 1px solid ${8}; }
QRadioButton::indicator { border-radius: 6px; }
QCheckBox::indicator:checked, QRadioButton::indicator:checked { background-color: $6; border-color: $6; }
QCheckBox::indicator:disabled, QRadioButton::indicator:disabled { border-color: ${12}; }
QCheckBox:focus, QRadioButton:focus { color: $6; }
QCheckBox::indicator:focus, QRadioButton::indicator:focus { border: 2px solid $6; width: 9px; height: 9px; }
QPlainTextEdit { background-color: ${10}; color: ${11}; border: 1px solid ${8}; font-family: "DejaVu Sans Mono", monospace; }
QComboBox, QLineEdit { background-color: $9; color: $5; border: 1px solid ${8}; border-radius: 3px; padding: 1px 4px; }
QComboBox:disabled, QLineEdit:disabled { color: ${12}; }
QComboBox:focus, QLineEdit:focus, QPlainTextEdit:focus { border: 2px solid $6; }
QComboBox:focus, QLineEdit:focus { padding: 0px 3px; }
QComboBox QAbstractItemView { background-color: $9; color: $5; selection-background-color: $6; selection-color: $7; }
QGroupBox { border: 1px solid ${8}; border-radius: 4px; margin-top: 8px; }
QGroupBox::title { subcontrol-origin: margin; left: 6px; color: $6; }
QToolTip { background-color: $4; color: $5; border: 1px solid $6; }
RotaryDial, OnOffSwitch { selection-background-color: $6; selection-color: $7; }
OnOffSwitch { qproperty-offTrackColor: $9; qproperty-offTextColor: $5; qproperty-onTrackColor: $6; qproperty-onTextColor: $7; qproperty-disabledTextColor: ${12}; }
EOF
}
#    file    name             bg        panel     text      accent    accText   border    list      consBg    consText  disabled
look STYLE_0 "Studio Light"  "#f3f3f0" "#e4e4df" "#1e1e1e" "#2f6db5" "#ffffff" "#a8a8a0" "#ffffff" "#ffffff" "#1e1e1e" "#626261"
look STYLE_1 "Stage Dark"    "#202226" "#2c2f35" "#e6e6e6" "#e0a030" "#1a1a1a" "#4a4e57" "#17181b" "#101114" "#c8e6c8" "#999a9b"
look STYLE_2 "Midnight Blue" "#14213d" "#1d2f55" "#e5ecf6" "#4ea8de" "#0b1426" "#4a6796" "#0f1a31" "#0a1222" "#bfe3ff" "#919bac"
look STYLE_3 "Warm Amber"    "#f6ead4" "#ecd9b6" "#3b2a14" "#9c4f12" "#fff8ec" "#c9a877" "#fffaf0" "#fffaf0" "#3b2a14" "#6a5a44"
look STYLE_4 "Forest"        "#e7efe5" "#d3e2cf" "#1c2e1c" "#356b35" "#ffffff" "#97b592" "#f7fbf6" "#f7fbf6" "#1c2e1c" "#536252"
look STYLE_5 "High Contrast" "#000000" "#000000" "#ffffff" "#ffff00" "#000000" "#ffffff" "#000000" "#000000" "#ffffff" "#8c8c8c"
look STYLE_6 "Slate"         "#3a4048" "#474e58" "#f0f2f5" "#7fb2e5" "#14181d" "#6e7682" "#2f343b" "#252a30" "#dfe6ee" "#bfc2c6"
look STYLE_7 "Crimson"       "#2a1416" "#3a1c1f" "#f5e6e7" "#e4606e" "#1a0c0d" "#7a3e44" "#21100f" "#1a0c0d" "#f5d0d4" "#9c8a8b"
