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
                    text: qsTr("Review suggestions")
                    color: Theme.text
                    font.pixelSize: 22
                    font.weight: Font.DemiBold
                }
                Label {
                    objectName: "reviewCounts"
                    text: page.fill(qsTr("%1 to review · %2 accepted · %3 changed · %4 ignored · %5 conflict(s)"),
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
                enabled: app.summary.pending > 0
                onClicked: app.acceptAllSuggested()
            }
        }

        ListView {
            id: reviewList

            objectName: "reviewList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 8
            model: app.documents

            delegate: Rectangle {
                id: entry

                required property int index
                required property string fileName
                required property int decision
                required property string decisionText
                required property bool hasSuggestion
                required property string category
                required property string ruleName
                required property string evidence
                required property bool conflict
                required property string conflictNote
                required property int pages

                width: ListView.view.width
                height: content.implicitHeight + 24
                radius: Theme.radius
                color: Theme.panel
                border.color: conflict ? "#f0c48a" : Theme.border
                border.width: conflict ? 2 : 1

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
                            Layout.fillWidth: true
                            text: entry.fileName
                            color: Theme.text
                            font.pixelSize: 14
                            font.weight: Font.Medium
                            elide: Text.ElideMiddle
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
                        objectName: "suggestionLine"
                        Layout.fillWidth: true
                        wrapMode: Text.WordWrap
                        font.pixelSize: 12
                        color: entry.hasSuggestion ? Theme.text : Theme.muted
                        text: entry.hasSuggestion
                              ? page.fill(qsTr("Suggestion: %1 · rule “%2” · %3"),
                                          [entry.category, entry.ruleName, entry.evidence])
                              : qsTr("No rule matched. Choose a category or ignore this document.")
                    }

                    Label {
                        objectName: "conflictNote"
                        Layout.fillWidth: true
                        visible: entry.conflict
                        wrapMode: Text.WordWrap
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
                            enabled: entry.hasSuggestion && entry.decision !== 1 && entry.decision !== 3
                            onClicked: app.acceptDocument(entry.index)
                        }
                        Button {
                            objectName: "changeButton"
                            text: qsTr("Change…")
                            onClicked: categoryMenu.popup()
                        }
                        Button {
                            objectName: "ignoreButton"
                            text: qsTr("Ignore")
                            enabled: entry.decision !== 3
                            onClicked: app.ignoreDocument(entry.index)
                        }
                        Button {
                            objectName: "resetButton"
                            text: qsTr("Reset")
                            flat: true
                            enabled: entry.decision !== 0
                            onClicked: app.resetDecision(entry.index)
                        }
                        Item {
                            Layout.fillWidth: true
                        }
                        Label {
                            text: qsTr("%1 pages").arg(entry.pages)
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
