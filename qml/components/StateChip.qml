import QtQuick
import Tessavo

// A document's state; nothing for a document that is ready.
Chip {
    property int documentState: DocumentState.Ready
    readonly property bool needsOcr: documentState === DocumentState.NeedsOcr

    visible: documentState !== DocumentState.Ready
    color: needsOcr ? Theme.warningSoft : Theme.dangerSoft
    border.color: needsOcr ? Theme.warningBorder : Theme.dangerBorder
    textColor: needsOcr ? Theme.warning : Theme.danger
}
