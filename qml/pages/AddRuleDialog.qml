import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

// Asks for a new rule's name, category, conditions and priority. Enter adds the rule.
Dialog {
    id: addRuleDialog

    anchors.centerIn: parent
    width: 560
    modal: true
    title: qsTr("Add a rule")
    onOpened: nameField.forceActiveFocus()

    function submit() {
        App.review.addRule(nameField.text, categoryBox.editText, fileField.text, textField.text,
                    minPagesBox.value, maxPagesBox.value, priorityBox.value)
        addRuleDialog.close()
    }

    ColumnLayout {
        width: 520
        spacing: 10

        Keys.onReturnPressed: addRuleDialog.submit()
        Keys.onEnterPressed: addRuleDialog.submit()

        GridLayout {
            Layout.fillWidth: true
            columns: 2
            columnSpacing: 12
            rowSpacing: 8

            FieldLabel {
                text: qsTr("Name")
            }
            TextField {
                id: nameField

                objectName: "nameField"
                Layout.fillWidth: true
                placeholderText: qsTr("Bid bond")
                Accessible.name: qsTr("Name")
            }
            FieldLabel {
                text: qsTr("Category")
            }
            ComboBox {
                id: categoryBox

                objectName: "categoryBox"
                Layout.fillWidth: true
                editable: true
                model: App.categories
                currentIndex: 1
                Accessible.name: qsTr("Category")
            }
            FieldLabel {
                text: qsTr("File name contains")
            }
            TextField {
                id: fileField

                objectName: "fileField"
                Layout.fillWidth: true
                placeholderText: qsTr("optional, e.g. appendix")
                Accessible.name: qsTr("File name contains")
            }
            FieldLabel {
                text: qsTr("Text contains")
            }
            TextField {
                id: textField

                objectName: "textField"
                Layout.fillWidth: true
                placeholderText: qsTr("optional, e.g. bid bond")
                Accessible.name: qsTr("Text contains")
            }
            FieldLabel {
                text: qsTr("Pages")
            }
            RowLayout {
                Layout.fillWidth: true

                SpinBox {
                    id: minPagesBox

                    objectName: "minPagesBox"
                    Layout.fillWidth: true
                    Accessible.name: qsTr("Minimum pages")
                    from: 0
                    to: 10000
                    value: 0
                    editable: true
                }
                Label {
                    textFormat: Text.PlainText
                    text: qsTr("–")
                    color: Theme.muted
                }
                SpinBox {
                    id: maxPagesBox

                    objectName: "maxPagesBox"
                    Layout.fillWidth: true
                    Accessible.name: qsTr("Maximum pages")
                    from: 0
                    to: 10000
                    value: 0
                    editable: true
                }
            }
            FieldLabel {
                text: qsTr("Priority")
            }
            SpinBox {
                id: priorityBox

                objectName: "priorityBox"
                Layout.fillWidth: true
                Accessible.name: qsTr("Priority")
                from: 1
                to: 1000
                value: 100
                editable: true
            }
        }

        Label {
            textFormat: Text.PlainText
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            color: Theme.muted
            font.pixelSize: 11
            text: qsTr("At least one condition is required. Pages 0 means “no limit”. Both file name and text conditions must match when both are set.")
        }

        RowLayout {
            Layout.alignment: Qt.AlignRight
            spacing: 8

            Button {
                objectName: "cancelButton"
                text: qsTr("Cancel")
                onClicked: addRuleDialog.close()
            }
            Button {
                objectName: "confirmAddButton"
                text: qsTr("Add rule")
                highlighted: true
                onClicked: addRuleDialog.submit()
            }
        }
    }
}
