import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tessavo

Item {
    id: page

    // Takes the export dialog's answer: a typed name without a scheme or suffix still names a
    // .json file, and an existing file is replaced only when the user says so.
    function exportTo(chosen) {
        const target = LocalFiles.fileUrl(chosen, "json")
        if (target.toString() === "") {
            exportDialog.open()
            return
        }
        if (LocalFiles.exists(target)) {
            overwriteDialog.target = target
            overwriteDialog.message = qsTr("“%1” already exists. Replace it?").arg(LocalFiles.fileName(target))
            overwriteDialog.open()
            return
        }
        app.saveRules(target)
    }

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
                    textFormat: Text.PlainText
                    text: qsTr("Classification rules")
                    color: Theme.text
                    font.pixelSize: 22
                    font.weight: Font.DemiBold
                }
                Label {
                    textFormat: Text.PlainText
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
                opacity: enabled ? 1 : 0.4
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
            Accessible.name: qsTr("Rules")

            ScrollBar.vertical: ListScrollBar {
                id: ruleScrollBar

                objectName: "ruleScrollBar"
            }

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

                width: ListView.view.width - (ruleScrollBar.visible ? ruleScrollBar.width + 4 : 0)
                height: 72
                radius: Theme.radius
                color: Theme.panel
                border.color: Theme.border

                FocusFrame {
                    visible: entry.ListView.isCurrentItem && ruleList.activeFocus
                }

                RowLayout {
                    anchors.fill: parent
                    anchors.margins: 12
                    spacing: 12

                    CheckBox {
                        objectName: "enabledBox"
                        checked: entry.model.enabled
                        Accessible.name: qsTr("Use the rule “%1”").arg(entry.name)
                        onToggled: app.setRuleEnabled(entry.index, checked)
                        onActiveFocusChanged: if (activeFocus) ruleList.currentIndex = entry.index
                    }
                    // Takes what is left of the row and nothing more, so a long name is cut
                    // rather than pushing the buttons out.
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
                                text: entry.name
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
                                text: entry.category
                                color: Theme.accent
                                font.pixelSize: 11
                                font.weight: Font.Medium
                            }
                        }
                        Label {
                            objectName: "summaryText"
                            textFormat: Text.PlainText
                            Layout.fillWidth: true
                            text: entry.ruleSummary
                            color: Theme.muted
                            font.pixelSize: 11
                            elide: Text.ElideRight
                        }
                    }
                    Label {
                        objectName: "priorityText"
                        textFormat: Text.PlainText
                        text: qsTr("priority %1").arg(entry.priority)
                        color: Theme.muted
                        font.pixelSize: 11
                    }
                    Button {
                        objectName: "removeButton"
                        text: qsTr("Remove")
                        flat: true
                        Accessible.name: qsTr("Remove the rule “%1”").arg(entry.name)
                        onActiveFocusChanged: if (activeFocus) ruleList.currentIndex = entry.index
                        onClicked: {
                            removeDialog.row = entry.index
                            removeDialog.message = qsTr("Remove the rule “%1”?").arg(entry.name)
                            removeDialog.open()
                        }
                    }
                }
            }

            Label {
                objectName: "emptyText"
                textFormat: Text.PlainText
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
        onOpened: nameField.forceActiveFocus()

        function submit() {
            app.addRule(nameField.text, categoryBox.editText, fileField.text, textField.text,
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

                Label {
                    textFormat: Text.PlainText
                    text: qsTr("Name")
                    color: Theme.text
                    font.pixelSize: 12
                }
                TextField {
                    id: nameField

                    objectName: "nameField"
                    Layout.fillWidth: true
                    placeholderText: qsTr("Bid bond")
                    Accessible.name: qsTr("Name")
                }
                Label {
                    textFormat: Text.PlainText
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
                    Accessible.name: qsTr("Category")
                }
                Label {
                    textFormat: Text.PlainText
                    text: qsTr("File name contains")
                    color: Theme.text
                    font.pixelSize: 12
                }
                TextField {
                    id: fileField

                    objectName: "fileField"
                    Layout.fillWidth: true
                    placeholderText: qsTr("optional, e.g. appendix")
                    Accessible.name: qsTr("File name contains")
                }
                Label {
                    textFormat: Text.PlainText
                    text: qsTr("Text contains")
                    color: Theme.text
                    font.pixelSize: 12
                }
                TextField {
                    id: textField

                    objectName: "textField"
                    Layout.fillWidth: true
                    placeholderText: qsTr("optional, e.g. bid bond")
                    Accessible.name: qsTr("Text contains")
                }
                Label {
                    textFormat: Text.PlainText
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
                Label {
                    textFormat: Text.PlainText
                    text: qsTr("Priority")
                    color: Theme.text
                    font.pixelSize: 12
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

    FileDialog {
        id: importDialog

        title: qsTr("Import rules")
        fileMode: FileDialog.OpenFile
        nameFilters: [qsTr("Rule files (*.json)")]
        onAccepted: app.loadRules(LocalFiles.fileUrl(selectedFile, ""))
    }

    FileDialog {
        id: exportDialog

        title: qsTr("Export rules")
        fileMode: FileDialog.SaveFile
        defaultSuffix: "json"
        acceptLabel: qsTr("Save")
        nameFilters: [qsTr("Rule files (*.json)")]
        onAccepted: page.exportTo(selectedFile)
    }

    ConfirmDialog {
        id: overwriteDialog

        property url target

        objectName: "overwriteDialog"
        title: qsTr("Replace file")
        confirmText: qsTr("Replace")
        onConfirmed: app.saveRules(target)
    }

    ConfirmDialog {
        id: removeDialog

        property int row: -1

        objectName: "removeDialog"
        title: qsTr("Remove rule")
        onConfirmed: app.removeRule(row)
    }
}
