import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

Item {
    id: page

    // Fills %1, %2, … in one pass, so that a value containing "%2" is never substituted again.
    function fill(text, values) {
        return text.replace(/%(\d)/g, (match, n) => n >= 1 && n <= values.length ? values[n - 1] : match)
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        spacing: 14

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            ColumnLayout {
                spacing: 2

                Label {
                    textFormat: Text.PlainText
                    text: qsTr("Review suggestions")
                    color: Theme.text
                    font.pixelSize: 22
                    font.weight: Font.DemiBold
                }
                Label {
                    objectName: "reviewCounts"
                    textFormat: Text.PlainText
                    text: page.fill(qsTr("%1 to review · %2 accepted · %3 changed · %4 ignored · %5 conflict(s)", "",
                                         app.summary.conflicts),
                                    [app.summary.pending, app.summary.accepted, app.summary.changed,
                                     app.summary.ignored, app.summary.conflicts])
                    color: Theme.muted
                    font.pixelSize: 12
                }
            }
            Item {
                Layout.fillWidth: true
            }
            Button {
                objectName: "acceptAllButton"
                text: qsTr("Accept all clear suggestions")
                highlighted: true
                opacity: enabled ? 1 : 0.4
                enabled: app.summary.pending > 0
                onClicked: app.acceptAllSuggested()
            }
        }

        ListView {
            id: reviewList

            // Acts on the row that has the focus: A accepts, C opens the category menu, I ignores
            // and R resets.
            function actOnCurrent(key) {
                const row = currentItem
                if (!row)
                    return false
                switch (key) {
                case Qt.Key_A:
                    if (row.canAccept)
                        app.acceptDocument(row.index)
                    return true
                case Qt.Key_C:
                    row.openCategoryMenu()
                    return true
                case Qt.Key_I:
                    if (row.canIgnore)
                        app.ignoreDocument(row.index)
                    return true
                case Qt.Key_R:
                    if (row.canReset)
                        app.resetDecision(row.index)
                    return true
                }
                return false
            }

            objectName: "reviewList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 8
            model: app.documents
            activeFocusOnTab: true
            keyNavigationEnabled: true
            // The row with the focus is always on screen; positioned once the change has settled,
            // since a model reset moves the current row too.
            function showCurrent() {
                if (currentIndex >= 0 && currentIndex < count)
                    positionViewAtIndex(currentIndex, ListView.Contain)
            }
            onCurrentIndexChanged: Qt.callLater(showCurrent)
            Accessible.role: Accessible.List
            Accessible.name: qsTr("Documents to review")
            Keys.onPressed: event => {
                if (event.modifiers === Qt.NoModifier && actOnCurrent(event.key))
                    event.accepted = true
            }

            ScrollBar.vertical: ListScrollBar {
                id: reviewScrollBar

                objectName: "reviewScrollBar"
            }

            delegate: Rectangle {
                id: entry

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
                required property string stateText
                required property string errorText
                required property string fileStatusText
                required property string recognitionText

                readonly property bool canAccept: hasSuggestion && decision !== 1 && decision !== 3
                readonly property bool canIgnore: decision !== 3
                readonly property bool canReset: decision !== 0

                // Under its button, or above it when the window has no room below.
                function openCategoryMenu() {
                    const bottom = changeButton.mapToItem(null, 0, changeButton.height).y
                    const room = entry.Window.height - bottom
                    const y = room >= categoryMenu.implicitHeight || bottom < categoryMenu.implicitHeight
                            ? changeButton.height : -categoryMenu.implicitHeight
                    categoryMenu.popup(changeButton, 0, y)
                }

                function follow() {
                    reviewList.currentIndex = index
                }

                width: ListView.view.width - (reviewScrollBar.visible ? reviewScrollBar.width + 4 : 0)
                height: content.implicitHeight + 24
                radius: Theme.radius
                color: Theme.panel
                border.color: conflict ? "#f0c48a" : Theme.border
                border.width: conflict ? 2 : 1

                FocusFrame {
                    objectName: "focusFrame"
                    visible: entry.ListView.isCurrentItem && reviewList.activeFocus
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
                            text: entry.fileName
                            color: Theme.text
                            font.pixelSize: 14
                            font.weight: Font.Medium
                            elide: Text.ElideMiddle
                        }
                        StateChip {
                            objectName: "stateChip"
                            stateText: entry.stateText
                        }
                        Rectangle {
                            objectName: "decisionChip"
                            radius: 6
                            implicitWidth: decisionLabel.implicitWidth + 16
                            implicitHeight: decisionLabel.implicitHeight + 8
                            color: entry.decision === 0 ? Theme.warningSoft
                                 : entry.decision === 3 ? "#f2f4f7" : Theme.okSoft

                            Label {
                                id: decisionLabel

                                textFormat: Text.PlainText
                                anchors.centerIn: parent
                                text: entry.decisionText
                                font.pixelSize: 11
                                font.weight: Font.Medium
                                color: entry.decision === 0 ? Theme.warning
                                     : entry.decision === 3 ? Theme.muted : Theme.ok
                            }
                        }
                    }

                    Label {
                        objectName: "errorText"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        visible: entry.errorText !== ""
                        wrapMode: Text.Wrap
                        font.pixelSize: 12
                        color: Theme.danger
                        text: entry.errorText
                    }

                    Label {
                        objectName: "fileStatusText"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        visible: entry.fileStatusText !== ""
                        wrapMode: Text.Wrap
                        font.pixelSize: 12
                        color: Theme.warning
                        text: entry.fileStatusText
                    }

                    // The rule's suggestion as the rule made it; the user's own choice follows it.
                    Label {
                        textFormat: Text.PlainText
                        readonly property bool orphaned: !entry.hasSuggestion && entry.decision === 1

                        objectName: "suggestionLine"
                        Layout.fillWidth: true
                        wrapMode: Text.Wrap
                        font.pixelSize: 12
                        color: entry.hasSuggestion || entry.decision === 2 ? Theme.text
                             : orphaned ? Theme.warning : Theme.muted
                        text: {
                            const changed = entry.decision === 2
                            if (entry.hasSuggestion) {
                                const made = page.fill(qsTr("Suggestion: %1 · rule “%2” · %3"),
                                                       [entry.suggestedCategory, entry.ruleName, entry.evidence])
                                return changed ? made + " — " + page.fill(qsTr("changed to %1"), [entry.category]) : made
                            }
                            if (changed)
                                return page.fill(qsTr("No rule matched — changed to %1"), [entry.category])
                            if (orphaned)
                                return qsTr("No rule suggests a category any more. Choose a category or reset this document.")
                            return qsTr("No rule matched. Choose a category or ignore this document.")
                        }
                    }

                    Label {
                        objectName: "recognitionText"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        visible: entry.recognitionText !== ""
                        wrapMode: Text.Wrap
                        font.pixelSize: 11
                        color: Theme.muted
                        text: entry.recognitionText
                    }

                    Label {
                        objectName: "conflictNote"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        visible: entry.conflict
                        wrapMode: Text.Wrap
                        font.pixelSize: 11
                        color: Theme.warning
                        text: entry.conflictNote
                    }

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 8

                        Button {
                            objectName: "acceptButton"
                            text: qsTr("Accept")
                            enabled: entry.canAccept
                            onActiveFocusChanged: if (activeFocus) entry.follow()
                            onClicked: app.acceptDocument(entry.index)
                        }
                        Button {
                            id: changeButton

                            objectName: "changeButton"
                            text: qsTr("Change…")
                            onActiveFocusChanged: if (activeFocus) entry.follow()
                            onClicked: entry.openCategoryMenu()
                        }
                        Button {
                            objectName: "ignoreButton"
                            text: qsTr("Ignore")
                            enabled: entry.canIgnore
                            onActiveFocusChanged: if (activeFocus) entry.follow()
                            onClicked: app.ignoreDocument(entry.index)
                        }
                        Button {
                            objectName: "resetButton"
                            text: qsTr("Reset")
                            flat: true
                            enabled: entry.canReset
                            onActiveFocusChanged: if (activeFocus) entry.follow()
                            onClicked: app.resetDecision(entry.index)
                        }
                        Button {
                            objectName: "recogniseButton"
                            text: qsTr("Recognise text")
                            flat: true
                            visible: entry.stateText === "Needs OCR"
                            enabled: !app.recognising
                            onActiveFocusChanged: if (activeFocus) entry.follow()
                            onClicked: app.recogniseDocument(entry.index)
                        }
                        Item {
                            Layout.fillWidth: true
                        }
                        Label {
                            objectName: "pagesText"
                            textFormat: Text.PlainText
                            // A file that did not open has no pages to count; its reason says why.
                            visible: entry.errorText === "" || entry.pages > 0
                            text: qsTr("%1 pages", "", entry.pages).arg(entry.pages)
                            color: Theme.muted
                            font.pixelSize: 11
                        }
                    }
                }

                Menu {
                    id: categoryMenu

                    objectName: "categoryMenu"

                    Repeater {
                        model: app.categories

                        MenuItem {
                            required property string modelData

                            text: modelData
                            onTriggered: app.changeDocumentCategory(entry.index, modelData)
                        }
                    }
                }
            }

            Label {
                objectName: "emptyText"
                textFormat: Text.PlainText
                anchors.centerIn: parent
                width: parent.width * 0.7
                visible: reviewList.count === 0
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                color: Theme.muted
                font.pixelSize: 13
                text: qsTr("Nothing to review yet. Import PDFs first; every suggestion will appear here with its evidence.")
            }
        }
    }
}
