import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tessavo

// The upload rules of the portal the package goes to: the profile chosen, and each of its rules
// passed or failed, with the documents that fail it and the mechanical fix where there is one.
Card {
    id: card

    // Show these documents in the review list, saying which rule they fail.
    signal reviewOnly(var paths, string reason)

    function fixText(fix) {
        return fix === "names" ? qsTr("Shorten names")
             : fix === "recognise" ? qsTr("Recognise scans")
             : fix === "duplicates" ? qsTr("Ignore duplicates") : ""
    }

    function applyFix(fix) {
        if (fix === "names")
            App.readiness.fitNames = true
        else if (fix === "recognise")
            App.recognition.recogniseScans()
        else if (fix === "duplicates")
            App.ignoreDuplicates()
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 14
        spacing: 8

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            Label {
                textFormat: Text.PlainText
                text: qsTr("Portal rules")
                color: Theme.text
                font.pixelSize: 13
                font.weight: Font.Medium
            }
            ComboBox {
                objectName: "profileBox"
                Layout.preferredWidth: 200
                model: App.readiness.profileNames
                currentIndex: App.readiness.profileIndex
                Accessible.name: qsTr("Submission profile")
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: qsTr("The upload rules the package is checked against")
                onActivated: index => App.readiness.profileIndex = index
            }
            Button {
                objectName: "addProfileButton"
                text: qsTr("Add profile…")
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: qsTr("Read a portal's rules from a profile file (JSON)")
                onClicked: profileDialog.open()
            }
            CheckBox {
                objectName: "fitNamesBox"
                visible: App.readiness.limitsNames
                text: qsTr("Shorten names")
                checked: App.readiness.fitNames
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: qsTr("Store the copies under short plain names; the manifest keeps each file's own name")
                onToggled: App.readiness.fitNames = checked
            }
            Item {
                Layout.fillWidth: true
            }
            Label {
                objectName: "readinessSummary"
                textFormat: Text.PlainText
                font.pixelSize: 12
                font.weight: Font.Medium
                color: App.readiness.ready ? Theme.ok : Theme.warning
                text: App.readiness.ready ? qsTr("Ready to submit")
                    : qsTr("%n rule(s) not met", "", App.readiness.brokenCount)
            }
        }

        Label {
            objectName: "noRulesText"
            visible: rulesList.count === 0
            Layout.fillWidth: true
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            color: Theme.muted
            font.pixelSize: 12
            text: qsTr("No upload rules to check: the copies get names that Windows and macOS accept, as in every export.")
        }

        ListView {
            id: rulesList

            objectName: "readinessList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.minimumHeight: 40
            clip: true
            spacing: 2
            boundsBehavior: Flickable.StopAtBounds
            model: App.readiness.outcomes
            activeFocusOnTab: false
            ScrollBar.vertical: ListScrollBar {}

            delegate: RowLayout {
                id: outcomeRow

                required property var modelData
                required property int index

                width: ListView.view.width - 12
                spacing: 8

                Label {
                    textFormat: Text.PlainText
                    text: outcomeRow.modelData.passed ? "\u2713" : "\u2717"
                    color: outcomeRow.modelData.passed ? Theme.ok : Theme.warning
                    font.pixelSize: 14
                    font.weight: Font.Bold
                    Accessible.name: outcomeRow.modelData.passed ? qsTr("Met") : qsTr("Not met")
                }
                Label {
                    objectName: "readinessText"
                    textFormat: Text.PlainText
                    Layout.fillWidth: true
                    wrapMode: Text.Wrap
                    color: Theme.text
                    font.pixelSize: 12
                    text: outcomeRow.modelData.passed ? outcomeRow.modelData.requirement
                        : Texts.fill(qsTr("%1 — %2"), [outcomeRow.modelData.requirement, outcomeRow.modelData.problem])
                }
                Button {
                    objectName: "reviewFailingButton"
                    visible: outcomeRow.modelData.count > 0
                    text: qsTr("Show in Review")
                    font.pixelSize: 12
                    Accessible.name: Texts.fill(qsTr("Show the documents that fail “%1” in Review"), [outcomeRow.modelData.requirement])
                    ToolTip.visible: hovered
                    ToolTip.delay: 600
                    ToolTip.text: qsTr("Review only the documents that fail this rule")
                    // The 6.4 linter does not see the card's id from a delegate with required
                    // properties; it is there.
                    onClicked: card.reviewOnly(outcomeRow.modelData.paths, outcomeRow.modelData.requirement) // qmllint disable unqualified
                }
                Button {
                    objectName: "fixButton"
                    visible: !outcomeRow.modelData.passed && outcomeRow.modelData.fix !== ""
                    text: card.fixText(outcomeRow.modelData.fix) // qmllint disable unqualified
                    font.pixelSize: 12
                    onClicked: card.applyFix(outcomeRow.modelData.fix) // qmllint disable unqualified
                }
            }
        }
    }

    FileDialog {
        id: profileDialog

        title: qsTr("Add a submission profile")
        fileMode: FileDialog.OpenFile
        nameFilters: [qsTr("Submission profiles (*.json)")]
        onAccepted: App.readiness.addProfileFile(LocalFiles.fileUrl(selectedFile, ""))
    }
}
