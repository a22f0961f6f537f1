import QtQuick
import QtTest
import Tessavo

// The window's colours stay legible in both appearances: text at least 4.5:1 against what it is
// drawn on, the keyboard focus and highlights at least 3:1 against their surroundings.
TestCase {
    name: "Theme"

    // Relative luminance and contrast ratio as the accessibility guidelines define them.
    function luminance(c) {
        const channel = v => v <= 0.03928 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4)
        return 0.2126 * channel(c.r) + 0.7152 * channel(c.g) + 0.0722 * channel(c.b)
    }

    function contrast(a, b) {
        const la = luminance(a)
        const lb = luminance(b)
        return (Math.max(la, lb) + 0.05) / (Math.min(la, lb) + 0.05)
    }

    readonly property var textPairs: [
        ["text", "panel"], ["text", "bg"], ["text", "button"], ["text", "accentSoft"],
        ["text", "menuHighlight"], ["muted", "panel"], ["muted", "bg"], ["muted", "neutralSoft"],
        ["accent", "panel"], ["accent", "bg"], ["accent", "accentSoft"],
        ["warning", "panel"], ["warning", "warningSoft"], ["danger", "panel"],
        ["danger", "dangerSoft"], ["ok", "panel"], ["ok", "okSoft"],
        ["textOnAccent", "accent"], ["disabledText", "disabledButton"], ["disabledText", "panel"]
    ]
    readonly property var focusPairs: [
        ["focus", "panel"], ["focus", "bg"], ["focus", "button"], ["focus", "accentSoft"],
        ["menuHighlight", "panel"], ["dropHighlight", "bg"]
    ]

    function test_contrast_data() {
        return [{ tag: "light", dark: false }, { tag: "dark", dark: true }]
    }

    function test_contrast(data) {
        Theme.dark = data.dark
        for (const [pairs, least] of [[textPairs, 4.5], [focusPairs, 3]]) {
            for (const [fore, back] of pairs) {
                const ratio = contrast(Theme[fore], Theme[back])
                verify(ratio >= least, `${fore} on ${back}: ${ratio.toFixed(2)}:1`)
            }
        }
        // The two appearances really differ.
        verify(data.dark === (luminance(Theme.bg) < 0.2))
        Theme.dark = false
    }
}
