import QtQuick
import Tessavo

// Undo and redo of the one history of decisions and rule changes, for the pages that show what
// it holds: Ctrl+Z undoes, Ctrl+Shift+Z and Ctrl+Y redo, while the page is shown.
Item {
    id: shortcuts

    property bool active: false

    Shortcut {
        sequence: "Ctrl+Z"
        enabled: shortcuts.active && App.review.canUndo
        onActivated: App.review.undo()
    }
    Shortcut {
        sequences: ["Ctrl+Shift+Z", "Ctrl+Y"]
        enabled: shortcuts.active && App.review.canRedo
        onActivated: App.review.redo()
    }
}
