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
    // Whether the row shows the keyboard focus of its list.
    property bool focused: false

    required property bool canAccept
    readonly property bool canIgnore: decision !== Decision.Ignored
    readonly property bool canReset: decision !== Decision.NeedsReview

    // The row's buttons make it the current row of its list.
    signal followed
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

    height: content.implicitHeight + 24
    border.color: conflict ? Theme.conflictBorder : Theme.border
    border.width: conflict ? 2 : 1

    FocusFrame {
        objectName: "focusFrame"
        visible: row.focused
    }

    // Under the row's controls: a click makes it the current row, a double click opens it.
    MouseArea {
        anchors.fill: parent
        onClicked: row.followed()
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

            Button {
                objectName: "acceptButton"
                text: qsTr("Accept")
                enabled: row.canAccept
                onActiveFocusChanged: if (activeFocus) row.followed()
                onClicked: App.review.acceptDocument(row.index)
            }
            Button {
                id: changeButton

                objectName: "changeButton"
                text: qsTr("Change…")
                onActiveFocusChanged: if (activeFocus) row.followed()
                onClicked: row.openCategoryMenu()
            }
            Button {
                objectName: "ignoreButton"
                text: qsTr("Ignore")
                enabled: row.canIgnore
                onActiveFocusChanged: if (activeFocus) row.followed()
                onClicked: App.review.ignoreDocument(row.index)
            }
            Button {
                objectName: "resetButton"
                text: qsTr("Reset")
                flat: true
                enabled: row.canReset
                onActiveFocusChanged: if (activeFocus) row.followed()
                onClicked: App.review.resetDecision(row.index)
            }
            Button {
                objectName: "makeRuleButton"
                text: qsTr("Make a rule…")
                flat: true
                visible: row.decision === Decision.Changed
                Accessible.name: Texts.fill(qsTr("Make a rule from “%1”"), [row.fileName])
                onActiveFocusChanged: if (activeFocus) row.followed()
                onClicked: row.makeRuleRequested()
            }
            Button {
                objectName: "recogniseButton"
                text: qsTr("Recognise text")
                flat: true
                visible: row.documentState === DocumentState.NeedsOcr
                enabled: !App.recognition.running
                onActiveFocusChanged: if (activeFocus) row.followed()
                onClicked: App.recognition.recogniseDocument(row.index)
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
        onCategoryChosen: category => App.review.changeDocumentCategory(row.index, category)
    }
}
