import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo
import "Texts.js" as Texts

// One document on the Review page: its suggestion and evidence, what went wrong, and the
// decision buttons.
Card {
    id: row

    required property int index
    // The document's row in the shared list: what the review's commands take.
    required property int documentRow
    required property bool selected
    required property string fileName
    required property int decision
    required property string decisionText
    required property bool hasSuggestion
    required property string category
    required property string suggestedCategory
    required property string ruleName
    required property string evidence
    required property bool conflict
    required property string conflictNote
    required property int pages
    required property int documentState
    required property string stateText
    required property string errorText
    required property string fileStatusText
    required property string recognitionText
    required property string folder
    required property string duplicateOf
    // Whether the row shows the keyboard focus of its list, and whether it is its current row:
    // only the current row's buttons are on the Tab chain.
    property bool focused: false
    property bool current: false

    required property bool canAccept
    readonly property bool canIgnore: decision !== Decision.Ignored
    readonly property bool canReset: decision !== Decision.NeedsReview

    // The row's buttons make it the current row of its list.
    signal followed
    // A click on the row, with the keyboard modifiers held.
    signal clicked(int modifiers)
    // The decision buttons and the category menu: the page applies them to this row, or to
    // every selected row when this one is among them.
    signal acceptRequested
    signal ignoreRequested
    signal resetRequested
    signal categoryChosen(string category)
    // The category menu closed, chosen or not: the keyboard goes back where the row lives.
    signal categoryMenuClosed
    // Tab on the row's last button: on to the next row.
    signal tabbedOut
    // "Make a rule…": a rule that would have filed this document where the user did.
    signal makeRuleRequested
    // A double click: the document in the desktop's viewer.
    signal opened

    // Under its button, or above it when the window has no room below.
    function openCategoryMenu() {
        const bottom = changeButton.mapToItem(null, 0, changeButton.height).y
        const room = row.Window.height - bottom
        const y = room >= categoryMenu.implicitHeight || bottom < categoryMenu.implicitHeight
                ? changeButton.height : -categoryMenu.implicitHeight
        categoryMenu.popup(changeButton, 0, y)
    }

    // Focuses the row's first button that can be used.
    function focusFirstButton() {
        for (const button of [acceptButton, changeButton, ignoreButton, resetButton]) {
            if (button.enabled) {
                button.forceActiveFocus(Qt.TabFocusReason)
                return
            }
        }
    }

    height: content.implicitHeight + 24
    color: selected ? Theme.accentSoft : Theme.panel
    Accessible.role: Accessible.ListItem
    Accessible.name: Texts.fill(qsTr("%1, %2"), [fileName, decisionText])
    Accessible.selectable: true
    Accessible.selected: selected
    border.color: conflict ? Theme.conflictBorder : Theme.border
    border.width: conflict ? 2 : 1

    FocusFrame {
        objectName: "focusFrame"
        visible: row.focused
    }

    // Under the row's controls: a click makes it the current row, a double click opens it.
    MouseArea {
        anchors.fill: parent
        onClicked: mouse => row.clicked(mouse.modifiers)
        onDoubleClicked: row.opened()
    }

    ColumnLayout {
        id: content

        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.margins: 12
        spacing: 6

        RowLayout {
            Layout.fillWidth: true
            spacing: 8

            Label {
                textFormat: Text.PlainText
                Layout.fillWidth: true
                text: row.fileName
                color: Theme.text
                font.pixelSize: 14
                font.weight: Font.Medium
                elide: Text.ElideMiddle
                ToolTip.visible: nameHover.hovered
                ToolTip.text: row.fileName
                ToolTip.delay: 500

                HoverHandler {
                    id: nameHover
                }
            }
            StateChip {
                objectName: "stateChip"
                documentState: row.documentState
                text: row.stateText
            }
            DecisionChip {
                objectName: "decisionChip"
                decision: row.decision
                text: row.decisionText
            }
        }

        Label {
            objectName: "folderText"
            textFormat: Text.PlainText
            Layout.fillWidth: true
            elide: Text.ElideMiddle
            font.pixelSize: 11
            color: row.duplicateOf !== "" ? Theme.warning : Theme.muted
            text: row.duplicateOf === "" ? row.folder
                  : row.folder + " · " + Texts.fill(qsTr("Same content as %1"), [row.duplicateOf])
        }

        Remark {
            objectName: "errorText"
            font.pixelSize: 12
            color: Theme.danger
            text: row.errorText
        }

        Remark {
            objectName: "fileStatusText"
            font.pixelSize: 12
            color: Theme.warning
            text: row.fileStatusText
        }

        // The rule's suggestion as the rule made it; the user's own choice follows it.
        Label {
            readonly property bool orphaned: !row.hasSuggestion && row.decision === Decision.Accepted

            objectName: "suggestionLine"
            textFormat: Text.PlainText
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            font.pixelSize: 12
            color: row.hasSuggestion || row.decision === Decision.Changed ? Theme.text
                 : orphaned ? Theme.warning : Theme.muted
            text: {
                const changed = row.decision === Decision.Changed
                if (row.hasSuggestion) {
                    const made = Texts.fill(qsTr("Suggestion: %1 · rule “%2” · %3"),
                                            [row.suggestedCategory, row.ruleName, row.evidence])
                    return changed ? made + " — " + Texts.fill(qsTr("changed to %1"), [row.category]) : made
                }
                if (changed)
                    return Texts.fill(qsTr("No rule matched — changed to %1"), [row.category])
                if (orphaned)
                    return qsTr("No rule suggests a category any more. Choose a category or reset this document.")
                return qsTr("No rule matched. Choose a category or ignore this document.")
            }
        }

        Remark {
            objectName: "recognitionText"
            font.pixelSize: 11
            color: Theme.muted
            text: row.recognitionText
        }

        Remark {
            objectName: "conflictNote"
            visible: row.conflict
            font.pixelSize: 11
            color: Theme.warning
            text: row.conflictNote
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 8

            ReviewButton {
                id: acceptButton

                objectName: "acceptButton"
                text: qsTr("Accept")
                accessibleName: Texts.fill(qsTr("Accept %1"), [row.fileName])
                toolTip: qsTr("Accept the suggested category (A)")
                enabled: row.canAccept
                tabStop: row.current
                onTabbedOut: row.tabbedOut()
                onActiveFocusChanged: if (activeFocus) row.followed()
                onClicked: row.acceptRequested()
            }
            ReviewButton {
                id: changeButton

                objectName: "changeButton"
                text: qsTr("Change…")
                accessibleName: Texts.fill(qsTr("Change the category of %1"), [row.fileName])
                toolTip: qsTr("Choose another category (C)")
                tabStop: row.current
                onTabbedOut: row.tabbedOut()
                onActiveFocusChanged: if (activeFocus) row.followed()
                onClicked: row.openCategoryMenu()
            }
            ReviewButton {
                id: ignoreButton

                objectName: "ignoreButton"
                text: qsTr("Ignore")
                accessibleName: Texts.fill(qsTr("Ignore %1"), [row.fileName])
                toolTip: qsTr("Leave this document out of the export (I)")
                enabled: row.canIgnore
                tabStop: row.current
                onTabbedOut: row.tabbedOut()
                onActiveFocusChanged: if (activeFocus) row.followed()
                onClicked: row.ignoreRequested()
            }
            ReviewButton {
                id: resetButton

                objectName: "resetButton"
                text: qsTr("Reset")
                accessibleName: Texts.fill(qsTr("Reset %1"), [row.fileName])
                toolTip: qsTr("Go back to the earlier decision (R)")
                flat: true
                enabled: row.canReset
                tabStop: row.current
                onTabbedOut: row.tabbedOut()
                onActiveFocusChanged: if (activeFocus) row.followed()
                onClicked: row.resetRequested()
            }
            ReviewButton {
                id: makeRuleButton

                objectName: "makeRuleButton"
                text: qsTr("Make a rule…")
                flat: true
                visible: row.decision === Decision.Changed
                accessibleName: Texts.fill(qsTr("Make a rule from “%1”"), [row.fileName])
                toolTip: qsTr("A rule that files documents like this one here")
                tabStop: row.current
                onTabbedOut: row.tabbedOut()
                onActiveFocusChanged: if (activeFocus) row.followed()
                onClicked: row.makeRuleRequested()
            }
            ReviewButton {
                id: recogniseButton

                objectName: "recogniseButton"
                text: qsTr("Recognise text")
                accessibleName: Texts.fill(qsTr("Recognise the text of %1"), [row.fileName])
                toolTip: qsTr("Read the text of this scan")
                flat: true
                visible: row.documentState === DocumentState.NeedsOcr
                enabled: !App.recognition.running
                tabStop: row.current
                onTabbedOut: row.tabbedOut()
                onActiveFocusChanged: if (activeFocus) row.followed()
                onClicked: App.recognition.recogniseDocument(row.documentRow)
            }
            Item {
                Layout.fillWidth: true
            }
            Label {
                objectName: "pagesText"
                textFormat: Text.PlainText
                // A file that did not open has no pages to count; its reason says why.
                visible: row.errorText === "" || row.pages > 0
                text: qsTr("%1 pages", "", row.pages).arg(row.pages)
                color: Theme.muted
                font.pixelSize: 11
            }
        }
    }

    CategoryMenu {
        id: categoryMenu

        objectName: "categoryMenu"
        onCategoryChosen: category => row.categoryChosen(category)
        onClosed: row.categoryMenuClosed()
    }
}
