import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

Item {
    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        spacing: 14

        PageHeader {
            title: qsTr("Review suggestions")
            subtitleName: "reviewCounts"
            subtitle: Texts.fill(qsTr("%1 to review · %2 accepted · %3 changed · %4 ignored · %5 conflict(s)", "",
                                      App.summary.conflicts),
                                 [App.summary.pending, App.summary.accepted, App.summary.changed,
                                  App.summary.ignored, App.summary.conflicts])

            Button {
                objectName: "acceptAllButton"
                text: qsTr("Accept all clear suggestions")
                highlighted: true
                opacity: enabled ? 1 : 0.4
                enabled: App.summary.pending > 0
                onClicked: App.review.acceptAllSuggested()
            }
        }

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
                }
                return false
            }

            objectName: "reviewList"
            scrollBarName: "reviewScrollBar"
            Layout.fillWidth: true
            Layout.fillHeight: true
            model: App.documents
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
            }

            EmptyState {
                visible: reviewList.count === 0
                text: qsTr("Nothing to review yet. Import PDFs first; every suggestion will appear here with its evidence.")
            }
        }
    }

    AddRuleDialog {
        id: makeRuleDialog

        objectName: "makeRuleDialog"
    }
}
