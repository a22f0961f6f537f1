import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

Item {
    id: page

    // The preview sits beside the list; on a narrow page it starts hidden and "Preview" shows it.
    property bool previewShown: width >= 860

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        spacing: 14

        PageHeader {
            title: qsTr("Review suggestions")
            subtitleName: "reviewCounts"
            wrapSubtitle: true
            subtitle: Texts.fill(qsTr("%1 to review · %2 accepted · %3 changed · %4 ignored · %5 conflict(s)", "",
                                      App.summary.conflicts),
                                 [App.summary.pending, App.summary.accepted, App.summary.changed,
                                  App.summary.ignored, App.summary.conflicts])

            Button {
                objectName: "ignoreDuplicatesButton"
                text: Texts.fill(qsTr("Ignore duplicates (%1)"), [App.documents.duplicateCount])
                visible: App.documents.duplicateCount > 0
                ToolTip.visible: hovered
                ToolTip.text: qsTr("Ignore every document with the same content as an earlier one; the first copy stays")
                onClicked: App.ignoreDuplicates()
            }
            Button {
                objectName: "previewToggle"
                text: qsTr("Preview")
                checkable: true
                checked: page.previewShown
                ToolTip.visible: hovered
                ToolTip.text: qsTr("Show or hide the page beside the list")
                onToggled: page.previewShown = checked
            }
            Button {
                objectName: "acceptAllButton"
                text: qsTr("Accept all clear suggestions")
                highlighted: true
                opacity: enabled ? 1 : 0.4
                enabled: App.summary.pending > 0
                onClicked: App.review.acceptAllSuggested()
            }
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 12

        CardList {
            id: reviewList

            // Acts on the row that has the focus: A accepts, C opens the category menu, I ignores
            // and R resets.
            function actOnCurrent(key) {
                const row = currentItem as ReviewRow
                if (!row)
                    return false
                switch (key) {
                case Qt.Key_A:
                    if (row.canAccept)
                        App.review.acceptDocument(row.index)
                    return true
                case Qt.Key_C:
                    row.openCategoryMenu()
                    return true
                case Qt.Key_I:
                    if (row.canIgnore)
                        App.review.ignoreDocument(row.index)
                    return true
                case Qt.Key_R:
                    if (row.canReset)
                        App.review.resetDecision(row.index)
                    return true
                case Qt.Key_Return:
                case Qt.Key_Enter:
                    App.preview.openDocument(row.index)
                    return true
                }
                return false
            }

            objectName: "reviewList"
            scrollBarName: "reviewScrollBar"
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.minimumWidth: 300
            model: App.documents
            // The preview follows the focused row.
            onCurrentIndexChanged: App.preview.show(currentIndex)
            // A list filled again may keep its current index.
            onCountChanged: App.preview.show(currentIndex)
            Accessible.name: qsTr("Documents to review")
            Keys.onPressed: event => {
                if (event.modifiers === Qt.NoModifier && actOnCurrent(event.key))
                    event.accepted = true
            }

            delegate: ReviewRow {
                width: (ListView.view as CardList).rowWidth
                focused: ListView.isCurrentItem && ListView.view.activeFocus
                onFollowed: ListView.view.currentIndex = index
                onMakeRuleRequested: makeRuleDialog.propose(index, fileName) // qmllint disable unqualified
                onOpened: App.preview.openDocument(index)
            }

            EmptyState {
                visible: reviewList.count === 0
                text: qsTr("Nothing to review yet. Import PDFs first; every suggestion will appear here with its evidence.")
            }
        }

        PreviewPane {
            objectName: "previewPane"
            visible: page.previewShown && reviewList.count > 0
            Layout.fillHeight: true
            Layout.preferredWidth: Math.round(page.width * 0.42)
            Layout.minimumWidth: 240
            folder: reviewList.currentItem ? (reviewList.currentItem as ReviewRow).folder : ""
        }
        }
    }

    AddRuleDialog {
        id: makeRuleDialog

        objectName: "makeRuleDialog"
    }
}
