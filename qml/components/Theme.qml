pragma Singleton
import QtQuick

// Every colour and measure the pages share.
QtObject {
    readonly property color bg: "#f5f7fa"
    readonly property color panel: "#ffffff"
    readonly property color border: "#e3e8ef"
    readonly property color text: "#172033"
    readonly property color muted: "#687386"
    readonly property color accent: "#28558e"
    readonly property color accentSoft: "#eef3fb"
    readonly property color accentBorder: "#d5e2f4"
    readonly property color warning: "#a15c00"
    readonly property color warningSoft: "#fff4e5"
    readonly property color warningBorder: "#f3d3a8"
    readonly property color conflictBorder: "#f0c48a"
    readonly property color danger: "#b42318"
    readonly property color dangerSoft: "#fdecea"
    readonly property color dangerBorder: "#f5c2bd"
    readonly property color ok: "#067647"
    readonly property color okSoft: "#e7f6ee"
    readonly property color neutralSoft: "#f2f4f7"
    readonly property color none: "transparent"
    readonly property int radius: 8
    readonly property int pad: 16
}
