pragma Singleton
import QtQuick

// Every colour and measure the pages share, in a light and a dark appearance. Text colours keep a
// contrast of at least 4.5:1 against the surfaces they are drawn on, and the focus and highlight
// colours at least 3:1 against their surroundings.
QtObject {
    // Set by the window from the user's choice or the desktop's.
    property bool dark: false

    readonly property color bg: dark ? "#12161d" : "#f5f7fa"
    readonly property color panel: dark ? "#1b212b" : "#ffffff"
    readonly property color border: dark ? "#313b49" : "#e3e8ef"
    readonly property color text: dark ? "#f1f4f8" : "#172033"
    readonly property color muted: dark ? "#a3aebd" : "#5f6b7e"
    readonly property color accent: dark ? "#8db8ff" : "#28558e"
    readonly property color accentSoft: dark ? "#22324a" : "#eef3fb"
    readonly property color accentBorder: dark ? "#3a5275" : "#d5e2f4"
    readonly property color warning: dark ? "#f2b661" : "#a15c00"
    readonly property color warningSoft: dark ? "#3b2c14" : "#fff4e5"
    readonly property color warningBorder: dark ? "#6b4d1f" : "#f3d3a8"
    readonly property color conflictBorder: dark ? "#b07a2e" : "#f0c48a"
    readonly property color danger: dark ? "#ff9a8f" : "#b42318"
    readonly property color dangerSoft: dark ? "#3d1f1c" : "#fdecea"
    readonly property color dangerBorder: dark ? "#74352f" : "#f5c2bd"
    readonly property color ok: dark ? "#6ad6a0" : "#067647"
    readonly property color okSoft: dark ? "#173326" : "#e7f6ee"
    readonly property color neutralSoft: dark ? "#262d38" : "#f2f4f7"
    readonly property color none: "transparent"
    // The keyboard focus: frames around rows and entries, the border of a focused control.
    readonly property color focus: accent
    // Buttons: their face, and the text and face of one that cannot be used now (still legible).
    readonly property color button: dark ? "#2c3542" : "#e4e8ee"
    readonly property color buttonDown: dark ? "#3a4555" : "#cfd6df"
    readonly property color disabledText: dark ? "#a3aebd" : "#5f6b7e"
    readonly property color disabledButton: dark ? "#232a35" : "#f2f4f7"
    // The item of a menu or list chosen by the keyboard.
    readonly property color menuHighlight: dark ? "#58708f" : "#738fb8"
    // Text on the accent colour (highlighted buttons).
    readonly property color textOnAccent: dark ? "#0b1320" : "#ffffff"
    // The window while files are dragged over it.
    readonly property color dropHighlight: accent
    readonly property int radius: 8
    readonly property int pad: 16
}
