import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tessavo
import "../components/ListMoves.js" as ListMoves

Item {
    id: page

    // The row of the rule the dialog edits; -1 for a new rule.
    property int editingRow: -1
    // The row to show and focus once the dialog has closed; -1 for none.
    property int rowToReveal: -1

    function focusContent() {
        ruleList.forceActiveFocus(Qt.TabFocusReason)
    }

    function editRule(row) {
        editingRow = row
        addRuleDialog.openWith(App.review.ruleDraft(row), "")
    }

    function addRule() {
        editingRow = -1
        addRuleDialog.openNew()
    }

    // A rule just added or changed is scrolled into view and takes the keyboard focus.
    function revealRow(row) {
        if (row < 0 || row >= ruleList.count)
            return
        ruleList.currentIndex = row
        ruleList.positionViewAtIndex(row, ListView.Contain)
        ruleList.forceActiveFocus()
    }

    // Takes the export dialog's answer: a typed name without a scheme or suffix still names a
    // .json file, and an existing file is replaced only when the user says so.
    function exportTo(chosen) {
        const target = LocalFiles.fileUrl(chosen, "json")
        if (String(target) === "") {
            exportDialog.open()
            return
        }
        if (LocalFiles.exists(target)) {
            overwriteDialog.target = target
            overwriteDialog.message = qsTr("“%1” already exists. Replace it?").arg(LocalFiles.fileName(target))
            overwriteDialog.open()
            return
        }
        App.review.saveRules(target)
    }

    // Rule changes are undone in the review's history.
    HistoryShortcuts {
        active: page.visible
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        spacing: 14

        PageHeader {
            title: qsTr("Classification rules")
            subtitle: qsTr("Deterministic rules. Lower priority numbers win; conflicting matches are flagged, never decided for you.")
            wrapSubtitle: true

            Button {
                id: addRuleButton

                objectName: "addRuleButton"
                text: qsTr("Add rule")
                highlighted: true
                // The style draws the focus in the accent colour, which a highlighted button already
                // has: a ring around it shows the focus instead.
                FocusFrame {
                    anchors.margins: -4
                    visible: addRuleButton.visualFocus
                }
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: qsTr("Add a rule; its effect on the documents shows before it is saved")
                onClicked: page.addRule()
            }
            Button {
                objectName: "importRulesButton"
                text: qsTr("Import…")
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: qsTr("Add the rules of a rules file, or replace the list by them")
                onClicked: importDialog.open()
            }
            Button {
                objectName: "exportRulesButton"
                text: qsTr("Export…")
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: qsTr("Save the rules to a file of your choice")
                onClicked: exportDialog.open()
            }
        }

        CardList {
            id: ruleList

            objectName: "ruleList"
            scrollBarName: "ruleScrollBar"
            Layout.fillWidth: true
            Layout.fillHeight: true
            model: App.rules
            Accessible.name: qsTr("Rules")
            // Enter edits the focused rule.
            Keys.onReturnPressed: editCurrent()
            Keys.onEnterPressed: editCurrent()
            Keys.onPressed: event => event.accepted = ListMoves.move(ruleList, event.key)

            function editCurrent() {
                if (currentIndex >= 0 && currentIndex < count)
                    page.editRule(currentIndex)
            }

            delegate: RuleRow {
                width: (ListView.view as CardList).rowWidth
                focused: ListView.isCurrentItem && ListView.view.activeFocus
                onFollowed: ListView.view.currentIndex = index
                onChosen: {
                    ListView.view.currentIndex = index
                    ListView.view.forceActiveFocus()
                }
                // The 6.4 linter does not see the page's ids from a delegate with required
                // properties; they are there.
                onRemoveRequested: removeDialog.ask(index, name) // qmllint disable unqualified
                onEditRequested: page.editRule(index) // qmllint disable unqualified
            }

            EmptyState {
                visible: ruleList.count === 0
                text: qsTr("No rules yet. Add one to classify documents by file name, text or size.")
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 12

            Label {
                objectName: "learnedLabel"
                Layout.fillWidth: true
                wrapMode: Text.Wrap
                textFormat: Text.PlainText
                color: Theme.muted
                text: App.review.learningFromBundle
                      ? qsTr("Reading the past bundle… %1 %").arg(App.review.bundleProgress)
                      : App.review.learnedCount > 0
                      ? qsTr("Learned from %n filed document(s): where no rule matches, they suggest a category.", "", App.review.learnedCount)
                      : qsTr("Accepted and changed documents teach their category; nothing learned yet.")
            }
            ProgressBar {
                objectName: "bundleProgressBar"
                visible: App.review.learningFromBundle
                Layout.preferredWidth: 120
                from: 0
                to: 100
                value: App.review.bundleProgress
            }
            Button {
                id: learnButton

                objectName: "learnFromBundleButton"
                text: qsTr("Learn from a past bundle…")
                enabled: !App.review.learningFromBundle
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: qsTr("Learn the categories of the documents filed in a bundle exported earlier: its folder or its ZIP.")
                onClicked: bundleMenu.popup(learnButton, 0, learnButton.height)
            }
            Button {
                objectName: "forgetLearnedButton"
                text: qsTr("Forget what was learned")
                enabled: App.review.learnedCount > 0 && !App.review.learningFromBundle
                Accessible.name: text
                Accessible.description: enabled ? "" : qsTr("Nothing has been learned.")
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: qsTr("Forget the categories learned from filed documents")
                onClicked: App.review.forgetLearned()
            }
        }
    }

    Menu {
        id: bundleMenu

        objectName: "bundleMenu"

        MenuItem {
            objectName: "bundleFolderItem"
            text: qsTr("A bundle folder…")
            onTriggered: bundleFolderPicker.open()
        }
        MenuItem {
            objectName: "bundleZipItem"
            text: qsTr("A bundle ZIP…")
            onTriggered: bundleZipDialog.open()
        }
    }

    FolderPicker {
        id: bundleFolderPicker

        objectName: "bundleFolder"
        title: qsTr("Learn from a past bundle folder")
        onChosen: folder => App.review.learnFromBundle(folder)
    }

    FileDialog {
        id: bundleZipDialog

        title: qsTr("Learn from a past bundle ZIP")
        fileMode: FileDialog.OpenFile
        nameFilters: [qsTr("Bundle ZIP files (*.zip)")]
        onAccepted: App.review.learnFromBundle(LocalFiles.fileUrl(selectedFile, ""))
    }

    AddRuleDialog {
        id: addRuleDialog

        objectName: "addRuleDialog"
        onSaved: isNew => page.rowToReveal = isNew ? ruleList.count - 1 : page.editingRow
        onClosed: {
            page.revealRow(page.rowToReveal)
            page.rowToReveal = -1
        }
    }

    FileDialog {
        id: importDialog

        title: qsTr("Import rules")
        fileMode: FileDialog.OpenFile
        nameFilters: [qsTr("Rule files (*.json)")]
        onAccepted: importChoiceDialog.ask(LocalFiles.fileUrl(selectedFile, ""))
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
        onConfirmed: App.review.saveRules(target)
    }

    // An imported file adds to the rules or replaces them, as the user says; adding is the
    // answer that loses nothing.
    ConfirmDialog {
        id: importChoiceDialog

        property url source

        function ask(file) {
            if (String(file) === "") {
                App.review.loadRules(file) // says that it cannot be read
                return
            }
            source = file
            message = qsTr("Add the rules of “%1” to the %n current rule(s), or replace them? Adding skips rules that are already in the list.",
                           "", ruleList.count).arg(LocalFiles.fileName(file))
            open()
        }

        objectName: "importChoiceDialog"
        title: qsTr("Import rules")
        confirmText: qsTr("Add to the list")
        alternativeText: qsTr("Replace all rules")
        onConfirmed: App.review.addRulesFrom(source)
        onAlternativeChosen: App.review.loadRules(source)
    }

    ConfirmDialog {
        id: removeDialog

        property int row: -1

        function ask(rule, name) {
            row = rule
            message = qsTr("Remove the rule “%1”?").arg(name)
            open()
        }

        objectName: "removeDialog"
        title: qsTr("Remove rule")
        onConfirmed: App.review.removeRule(row)
    }
}
