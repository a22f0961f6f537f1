import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

// One rule on the Rules page: whether it is used, its name, category and conditions, its
// priority, and ways to edit it (also by double-click) and to remove it.
Card {
    id: row

    // The "enabled" role is read through the model object: a property of that name would switch
    // the whole row off together with the rule.
    required property var model
    required property int index
    required property string name
    required property string category
    required property string ruleSummary
    required property int priority
    // Whether the row shows the keyboard focus of its list.
    property bool focused: false

    // The row's controls make it the current row of its list.
    signal followed
    // A click on the row outside its controls: it becomes the list's current row.
    signal chosen
    signal removeRequested
    signal editRequested

    height: 72

    FocusFrame {
        visible: row.focused
    }

    // Under the controls, which keep their own clicks.
    MouseArea {
        objectName: "rowArea"
        anchors.fill: parent
        onClicked: row.chosen()
        onDoubleClicked: row.editRequested()
    }

    RowLayout {
        anchors.fill: parent
        anchors.margins: 12
        spacing: 12

        CheckBox {
            objectName: "enabledBox"
            checked: row.model.enabled
            Accessible.name: qsTr("Use the rule “%1”").arg(row.name)
            ToolTip.visible: hovered
            ToolTip.delay: 600
            ToolTip.text: qsTr("Use this rule (Space)")
            onToggled: App.review.setRuleEnabled(row.index, checked)
            onActiveFocusChanged: if (activeFocus) row.followed()
        }
        // Takes what is left of the row and nothing more, so a long name is cut rather than
        // pushing the buttons out.
        ColumnLayout {
            Layout.fillWidth: true
            Layout.preferredWidth: 1
            spacing: 3

            // The name gives way to the category, never the other way round.
            Item {
                Layout.fillWidth: true
                implicitHeight: nameText.implicitHeight

                Label {
                    id: nameText

                    objectName: "nameText"
                    textFormat: Text.PlainText
                    width: Math.max(0, Math.min(implicitWidth, parent.width - categoryText.implicitWidth - 8))
                    text: row.name
                    elide: Text.ElideRight
                    color: Theme.text
                    font.pixelSize: 14
                    font.weight: Font.Medium
                }
                Label {
                    id: categoryText

                    objectName: "categoryText"
                    textFormat: Text.PlainText
                    x: nameText.width + 8
                    anchors.baseline: nameText.baseline
                    text: row.category
                    color: Theme.accent
                    font.pixelSize: 11
                    font.weight: Font.Medium
                }
            }
            Label {
                objectName: "summaryText"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                text: row.ruleSummary
                color: Theme.muted
                font.pixelSize: 11
                elide: Text.ElideRight
            }
        }
        Label {
            objectName: "priorityText"
            textFormat: Text.PlainText
            text: qsTr("priority %1").arg(row.priority)
            color: Theme.muted
            font.pixelSize: 11
        }
        Button {
            objectName: "editButton"
            text: qsTr("Edit…")
            flat: true
            Accessible.name: qsTr("Edit the rule “%1”").arg(row.name)
            ToolTip.visible: hovered
            ToolTip.delay: 600
            ToolTip.text: qsTr("Edit the rule (Enter or double-click)")
            onActiveFocusChanged: if (activeFocus) row.followed()
            onClicked: row.editRequested()
        }
        Button {
            objectName: "removeButton"
            text: qsTr("Remove")
            flat: true
            Accessible.name: qsTr("Remove the rule “%1”").arg(row.name)
            ToolTip.visible: hovered
            ToolTip.delay: 600
            ToolTip.text: qsTr("Remove the rule, after a question")
            onActiveFocusChanged: if (activeFocus) row.followed()
            onClicked: row.removeRequested()
        }
    }
}
