import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tessavo

Item {
    id: page

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        spacing: 14

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            // The long subtitle wraps rather than pushing the buttons out of the window.
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 2

                Label {
                    text: qsTr("Classification rules")
                    color: Theme.text
                    font.pixelSize: 22
                    font.weight: Font.DemiBold
                }
                Label {
                    Layout.fillWidth: true
                    wrapMode: Text.WordWrap
                    text: qsTr("Deterministic rules. Lower priority numbers win; conflicting matches are flagged, never decided for you.")
                    color: Theme.muted
                    font.pixelSize: 12
                }
            }
            Item {
                Layout.preferredWidth: 0
            }
            Button {
                objectName: "addRuleButton"
                text: qsTr("Add rule")
                highlighted: true
                onClicked: addRuleDialog.open()
            }
            Button {
                objectName: "importRulesButton"
                text: qsTr("Import…")
                onClicked: importDialog.open()
            }
            Button {
                objectName: "exportRulesButton"
                text: qsTr("Export…")
                onClicked: exportDialog.open()
            }
        }

        ListView {
            id: ruleList

            objectName: "ruleList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 8
            model: app.rules

            delegate: Rectangle {
                id: entry

                // The "enabled" role is read through the model object: a property of that name
                // would switch the whole row off together with the rule.
                required property var model
                required property int index
                required property string name
                required property string category
                required property string ruleSummary
                required property int priority

                width: ListView.view.width
                height: 72
                radius: Theme.radius
                color: Theme.panel
                border.color: Theme.border

                RowLayout {
                    anchors.fill: parent
                    anchors.margins: 12
                    spacing: 12

                    CheckBox {
                        objectName: "enabledBox"
                        checked: entry.model.enabled
                        onToggled: app.setRuleEnabled(entry.index, checked)
                    }
                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 3

                        RowLayout {
                            spacing: 8

                            Label {
                                text: entry.name
                                color: Theme.text
                                font.pixelSize: 14
                                font.weight: Font.Medium
                            }
                            Label {
                                text: entry.category
                                color: Theme.accent
                                font.pixelSize: 11
                                font.weight: Font.Medium
                            }
                        }
                        Label {
                            objectName: "summaryText"
                            Layout.fillWidth: true
                            text: entry.ruleSummary
                            color: Theme.muted
                            font.pixelSize: 11
                            elide: Text.ElideRight
                        }
                    }
                    Label {
                        text: qsTr("priority %1").arg(entry.priority)
                        color: Theme.muted
                        font.pixelSize: 11
                    }
                    Button {
                        objectName: "removeButton"
                        text: qsTr("Remove")
                        flat: true
                        onClicked: app.removeRule(entry.index)
                    }
                }
            }

            Label {
                objectName: "emptyText"
                anchors.centerIn: parent
                visible: ruleList.count === 0
                color: Theme.muted
                font.pixelSize: 13
                text: qsTr("No rules yet. Add one to classify documents by file name, text or size.")
            }
        }
    }

    Dialog {
        id: addRuleDialog

        objectName: "addRuleDialog"
        anchors.centerIn: parent
        width: 560
        modal: true
        title: qsTr("Add a rule")

        ColumnLayout {
            width: 520
            spacing: 10

            GridLayout {
                Layout.fillWidth: true
                columns: 2
                columnSpacing: 12
                rowSpacing: 8

                Label {
                    text: qsTr("Name")
                    color: Theme.text
                    font.pixelSize: 12
                }
                TextField {
                    id: nameField

                    objectName: "nameField"
                    Layout.fillWidth: true
                    placeholderText: qsTr("Bid bond")
                }
                Label {
                    text: qsTr("Category")
                    color: Theme.text
                    font.pixelSize: 12
                }
                ComboBox {
                    id: categoryBox

                    objectName: "categoryBox"
                    Layout.fillWidth: true
                    editable: true
                    model: app.categories
                    currentIndex: 1
                }
                Label {
                    text: qsTr("File name contains")
                    color: Theme.text
                    font.pixelSize: 12
                }
                TextField {
                    id: fileField

                    objectName: "fileField"
                    Layout.fillWidth: true
                    placeholderText: qsTr("optional, e.g. appendix")
                }
                Label {
                    text: qsTr("Text contains")
                    color: Theme.text
                    font.pixelSize: 12
                }
                TextField {
                    id: textField

                    objectName: "textField"
                    Layout.fillWidth: true
                    placeholderText: qsTr("optional, e.g. bid bond")
                }
                Label {
                    text: qsTr("Pages")
                    color: Theme.text
                    font.pixelSize: 12
                }
                RowLayout {
                    Layout.fillWidth: true

                    SpinBox {
                        id: minPagesBox

                        objectName: "minPagesBox"
                        Layout.fillWidth: true
                        from: 0
                        to: 10000
                        value: 0
                        editable: true
                    }
                    Label {
                        text: qsTr("–")
                        color: Theme.muted
                    }
                    SpinBox {
                        id: maxPagesBox

                        objectName: "maxPagesBox"
                        Layout.fillWidth: true
                        from: 0
                        to: 10000
                        value: 0
                        editable: true
                    }
                }
                Label {
                    text: qsTr("Priority")
                    color: Theme.text
                    font.pixelSize: 12
                }
                SpinBox {
                    id: priorityBox

                    objectName: "priorityBox"
                    Layout.fillWidth: true
                    from: 1
                    to: 1000
                    value: 100
                    editable: true
                }
            }

            Label {
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
                    onClicked: {
                        app.addRule(nameField.text, categoryBox.editText, fileField.text,
                                    textField.text, minPagesBox.value, maxPagesBox.value,
                                    priorityBox.value)
                        addRuleDialog.close()
                    }
                }
            }
        }
    }

    FileDialog {
        id: importDialog

        title: qsTr("Import rules")
        fileMode: FileDialog.OpenFile
        nameFilters: [qsTr("Rule files (*.json)")]
        onAccepted: app.loadRules(selectedFile)
    }

    FileDialog {
        id: exportDialog

        title: qsTr("Export rules")
        fileMode: FileDialog.SaveFile
        defaultSuffix: "json"
        nameFilters: [qsTr("Rule files (*.json)")]
        onAccepted: app.saveRules(selectedFile)
    }
}
