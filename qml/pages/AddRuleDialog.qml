import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo
import "../components/Texts.js" as Texts

// Asks for a rule's name, category, conditions and priority: a new rule, a rule proposed from a
// refiled document, or a rule of the list being edited. The common conditions come first; the
// others wait under "More conditions". Before anything is saved it says how many documents the
// rule matches and whose suggestion it changes. Enter saves, also from the category box.
Dialog {
    id: addRuleDialog

    // The rule being edited; empty for a new one.
    property string ruleId: ""
    // Where the rule came from, shown above the fields; empty for a rule the user starts.
    property string origin: ""
    property bool moreShown: false
    // What saving would do, as previewRuleDraft() says.
    property var preview: ({})
    property bool submitted: false
    // The category the rule had when the dialog opened: keeping it asks nothing.
    property string openedCategory: ""

    // The rule was kept: a new one (now the last of the list) or the edited one.
    signal saved(bool isNew)

    // A new rule: the fields keep what was last entered.
    function openNew() {
        ruleId = ""
        origin = ""
        openedCategory = ""
        open()
    }

    // A proposed rule, or one of the list (with its "id"), in the fields.
    function openWith(draft, from) {
        ruleId = draft.id ?? ""
        origin = from ?? ""
        nameField.text = draft.name ?? ""
        categoryBox.editText = draft.category ?? ""
        openedCategory = categoryBox.editText
        const known = categoryBox.find(categoryBox.editText)
        if (known >= 0)
            categoryBox.currentIndex = known
        fileField.text = draft.fileContains ?? ""
        textField.text = draft.textContains ?? ""
        minPagesBox.value = draft.minPages ?? 0
        maxPagesBox.value = draft.maxPages ?? 0
        priorityBox.value = draft.priority ?? 100
        titleField.text = draft.titleContains ?? ""
        textAnyField.text = (draft.textAnyOf ?? []).join(", ")
        textAllField.text = (draft.textAllOf ?? []).join(", ")
        textNoneField.text = (draft.textNoneOf ?? []).join(", ")
        fileAnyField.text = (draft.fileAnyOf ?? []).join(", ")
        fileNoneField.text = (draft.fileNoneOf ?? []).join(", ")
        wholeWordsBox.checked = draft.wholeWords ?? false
        moreShown = titleField.text !== "" || textAnyField.text !== "" || textAllField.text !== ""
                || textNoneField.text !== "" || fileAnyField.text !== "" || fileNoneField.text !== ""
                || wholeWordsBox.checked
        open()
    }

    // The rule "Make a rule…" proposes for the document at this row of the list.
    function propose(row, fileName) {
        const proposal = App.review.proposeRuleFor(row)
        openWith(proposal, originOf(proposal, fileName))
    }

    function originOf(proposal, fileName) {
        return (proposal.terms ?? []).length > 0
                ? Texts.fill(qsTr("Proposed from “%1”: words of its heading or file name that no document of another category shares."), [fileName])
                : Texts.fill(qsTr("No word of the heading or file name of “%1” sets it apart from the documents of other categories; add a condition."), [fileName])
    }

    // Terms are separated by commas.
    function termsOf(text) {
        return text.split(",").map(term => term.trim()).filter(term => term !== "")
    }

    function draft() {
        const rule = {
            name: nameField.text,
            category: categoryBox.editText,
            fileContains: fileField.text,
            textContains: textField.text,
            minPages: minPagesBox.value,
            maxPages: maxPagesBox.value,
            priority: priorityBox.value,
            titleContains: titleField.text,
            textAnyOf: termsOf(textAnyField.text),
            textAllOf: termsOf(textAllField.text),
            textNoneOf: termsOf(textNoneField.text),
            fileAnyOf: termsOf(fileAnyField.text),
            fileNoneOf: termsOf(fileNoneField.text),
            wholeWords: wholeWordsBox.checked
        }
        if (ruleId !== "")
            rule.id = ruleId
        return rule
    }

    function updatePreview() {
        if (visible)
            previewTimer.restart()
    }

    // A category outside the list is a new category only when the user says so: a typo must not
    // add a ninth one.
    function submit() {
        if (submitted || newCategoryDialog.visible)
            return
        const category = categoryBox.editText.trim()
        if (category !== "" && categoryBox.find(category, Qt.MatchFixedString | Qt.MatchCaseSensitive) < 0
                && category !== openedCategory.trim()) {
            newCategoryDialog.message = Texts.fill(qsTr("“%1” is not one of the %2 categories. Create the new category “%1”?"),
                                                   [category, App.categories.length])
            newCategoryDialog.open()
            return
        }
        save()
    }

    function save() {
        if (submitted)
            return
        submitted = true
        const isNew = ruleId === ""
        if (App.review.saveRuleDraft(draft()))
            saved(isNew)
        addRuleDialog.close()
    }

    // Keeps the field that has the keyboard focus in view.
    function reveal(item) {
        if (!item || !item.visible)
            return
        let inside = false
        for (let p = item; p; p = p.parent) {
            if (p === form) {
                inside = true
                break
            }
        }
        if (!inside)
            return
        const top = item.mapToItem(form, 0, 0).y
        if (top < scroller.contentY)
            scroller.contentY = Math.max(0, top - 8)
        else if (top + item.height > scroller.contentY + scroller.height)
            scroller.contentY = Math.min(scroller.contentHeight - scroller.height,
                                         top + item.height + 8 - scroller.height)
    }

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: Math.min(560, parent ? parent.width - 40 : 560)
    height: Math.min(implicitHeight, parent ? parent.height - 40 : implicitHeight)
    modal: true
    title: ruleId !== "" ? qsTr("Edit rule") : origin !== "" ? qsTr("Make a rule") : qsTr("Add a rule")
    onAboutToShow: {
        submitted = false
        scroller.contentY = 0
        preview = App.review.previewRuleDraft(draft())
    }
    onOpened: nameField.forceActiveFocus()

    ConfirmDialog {
        id: newCategoryDialog

        objectName: "newCategoryDialog"
        title: qsTr("New category")
        confirmText: qsTr("Create category")
        onConfirmed: addRuleDialog.save()
        // Back to the box, to choose one of the list instead (saving closes the dialog anyway).
        onClosed: categoryBox.forceActiveFocus()
    }

    Timer {
        id: previewTimer

        interval: 120
        onTriggered: addRuleDialog.preview = App.review.previewRuleDraft(addRuleDialog.draft())
    }

    // A popup has no window of its own to ask; its content has.
    Connections {
        target: scroller.Window.window
        enabled: addRuleDialog.visible

        function onActiveFocusItemChanged() {
            addRuleDialog.reveal(scroller.Window.activeFocusItem)
        }
    }

    Flickable {
        id: scroller

        anchors.fill: parent
        implicitHeight: form.implicitHeight
        contentWidth: width
        contentHeight: form.implicitHeight
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {}

        ColumnLayout {
            id: form

            width: scroller.width - 12
            spacing: 10

            Keys.onReturnPressed: addRuleDialog.submit()
            Keys.onEnterPressed: addRuleDialog.submit()

            Label {
                objectName: "originText"
                Layout.fillWidth: true
                visible: addRuleDialog.origin !== ""
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                color: Theme.muted
                font.pixelSize: 12
                text: addRuleDialog.origin
            }

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
                    // The box takes Enter for itself; it saves the rule all the same.
                    onAccepted: addRuleDialog.submit()
                    onEditTextChanged: addRuleDialog.updatePreview()
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
                    onTextChanged: addRuleDialog.updatePreview()
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
                    onTextChanged: addRuleDialog.updatePreview()
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
                        onValueChanged: addRuleDialog.updatePreview()
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
                        onValueChanged: addRuleDialog.updatePreview()
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
                    onValueChanged: addRuleDialog.updatePreview()
                }
            }

            Button {
                objectName: "moreConditionsButton"
                flat: true
                text: (addRuleDialog.moreShown ? "▾ " : "▸ ") + qsTr("More conditions")
                Accessible.name: qsTr("More conditions")
                Accessible.description: addRuleDialog.moreShown ? qsTr("Shown") : qsTr("Hidden")
                onClicked: addRuleDialog.moreShown = !addRuleDialog.moreShown
            }

            GridLayout {
                objectName: "moreConditions"
                Layout.fillWidth: true
                visible: addRuleDialog.moreShown
                columns: 2
                columnSpacing: 12
                rowSpacing: 8

                FieldLabel {
                    text: qsTr("Heading contains")
                }
                TextField {
                    id: titleField

                    objectName: "titleField"
                    Layout.fillWidth: true
                    placeholderText: qsTr("the title or the first lines, e.g. bid bond")
                    Accessible.name: qsTr("Heading contains")
                    onTextChanged: addRuleDialog.updatePreview()
                }
                FieldLabel {
                    text: qsTr("Text has any of")
                }
                TextField {
                    id: textAnyField

                    objectName: "textAnyField"
                    Layout.fillWidth: true
                    placeholderText: qsTr("terms separated by commas")
                    Accessible.name: qsTr("Text has any of")
                    onTextChanged: addRuleDialog.updatePreview()
                }
                FieldLabel {
                    text: qsTr("Text has all of")
                }
                TextField {
                    id: textAllField

                    objectName: "textAllField"
                    Layout.fillWidth: true
                    placeholderText: qsTr("terms separated by commas")
                    Accessible.name: qsTr("Text has all of")
                    onTextChanged: addRuleDialog.updatePreview()
                }
                FieldLabel {
                    text: qsTr("Text has none of")
                }
                TextField {
                    id: textNoneField

                    objectName: "textNoneField"
                    Layout.fillWidth: true
                    placeholderText: qsTr("terms separated by commas")
                    Accessible.name: qsTr("Text has none of")
                    onTextChanged: addRuleDialog.updatePreview()
                }
                FieldLabel {
                    text: qsTr("File name has any of")
                }
                TextField {
                    id: fileAnyField

                    objectName: "fileAnyField"
                    Layout.fillWidth: true
                    placeholderText: qsTr("terms separated by commas")
                    Accessible.name: qsTr("File name has any of")
                    onTextChanged: addRuleDialog.updatePreview()
                }
                FieldLabel {
                    text: qsTr("File name has none of")
                }
                TextField {
                    id: fileNoneField

                    objectName: "fileNoneField"
                    Layout.fillWidth: true
                    placeholderText: qsTr("terms separated by commas")
                    Accessible.name: qsTr("File name has none of")
                    onTextChanged: addRuleDialog.updatePreview()
                }
                Item {
                    implicitWidth: 1
                    implicitHeight: 1
                }
                CheckBox {
                    id: wholeWordsBox

                    objectName: "wholeWordsBox"
                    text: qsTr("Whole words only (“form” does not match “Formal”)")
                    onToggled: addRuleDialog.updatePreview()
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

            // What saving would do, before it is done.
            Label {
                objectName: "previewText"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                wrapMode: Text.Wrap
                color: Theme.text
                font.pixelSize: 12
                text: {
                    const p = addRuleDialog.preview
                    const matched = p.matched ?? 0
                    const changed = p.changed ?? 0
                    let said = qsTr("Matches %n document(s).", "", matched)
                    if (changed === 0)
                        return said + " " + qsTr("No suggestion would change.")
                    said += " " + qsTr("%n suggestion(s) would change:", "", changed)
                    for (const c of p.changes ?? []) {
                        said += "\n" + Texts.fill(qsTr("“%1”: %2 → %3"),
                                                   [c.fileName, c.before === "" ? qsTr("none") : c.before,
                                                    c.after === "" ? qsTr("none") : c.after])
                        if (c.decided)
                            said += " " + qsTr("(decided; keeps its category)")
                    }
                    const rest = changed - (p.changes ?? []).length
                    if (rest > 0)
                        said += "\n" + qsTr("and %n more", "", rest)
                    return said
                }
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
                    id: confirmAddButton

                    objectName: "confirmAddButton"
                    text: addRuleDialog.ruleId !== "" ? qsTr("Save rule") : qsTr("Add rule")
                    highlighted: true
                    // The style draws the focus in the accent colour, which a highlighted button already
                    // has: a ring around it shows the focus instead.
                    FocusFrame {
                        anchors.margins: -4
                        visible: confirmAddButton.visualFocus
                    }
                    onClicked: addRuleDialog.submit()
                }
            }
        }
    }
}
