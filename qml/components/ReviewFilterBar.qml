import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

// What the review list shows and in which order: a typed name, the decisions, a category and the
// sort key, with undo and redo of decisions; below, while anything is left out or several rows are
// selected, how many.
ColumnLayout {
    id: bar

    required property ReviewListModel model
    readonly property alias searchField: search

    // The keyboard goes back to the list.
    signal leave

    spacing: 4

    RowLayout {
        Layout.fillWidth: true
        spacing: 8

        TextField {
            id: search

            objectName: "searchField"
            Layout.fillWidth: true
            Layout.minimumWidth: 100
            placeholderText: qsTr("Find by name or folder")
            selectByMouse: true
            Accessible.name: qsTr("Find documents by name or folder")
            ToolTip.visible: hovered && text === ""
            ToolTip.delay: 600
            ToolTip.text: qsTr("Type part of a name; case and accents do not matter (Ctrl+F)")
            onTextChanged: bar.model.searchText = text
            // Escape clears the text, and on an empty field goes back to the list; so does Down.
            Keys.onEscapePressed: {
                if (text === "")
                    bar.leave()
                else
                    clear()
            }
            Keys.onDownPressed: bar.leave()
        }
        ComboBox {
            objectName: "showBox"
            Layout.preferredWidth: 136
            model: [qsTr("All decisions"), qsTr("Undecided"), qsTr("Conflicts"), qsTr("Accepted"),
                    qsTr("Changed"), qsTr("Ignored"), qsTr("Learned")]
            currentIndex: bar.model.show
            Accessible.name: qsTr("Show documents by decision")
            ToolTip.visible: hovered
            ToolTip.delay: 600
            ToolTip.text: qsTr("Show only documents with this decision")
            onActivated: index => bar.model.show = index
        }
        ComboBox {
            objectName: "categoryBox"
            Layout.preferredWidth: 144
            model: {
                const choices = [qsTr("All categories")]
                for (const category of App.categories)
                    choices.push(category)
                return choices
            }
            Accessible.name: qsTr("Show documents of a category")
            ToolTip.visible: hovered
            ToolTip.delay: 600
            ToolTip.text: qsTr("Show only documents filed or suggested under this category")
            onActivated: index => bar.model.category = index > 0 ? App.categories[index - 1] : ""
        }
        ComboBox {
            objectName: "sortBox"
            Layout.preferredWidth: 124
            model: [qsTr("Import order"), qsTr("Name"), qsTr("Folder"), qsTr("Category"),
                    qsTr("Pages"), qsTr("Size")]
            currentIndex: bar.model.sortKey
            displayText: Texts.fill(qsTr("Sort: %1"), [currentText])
            Accessible.name: qsTr("Sort documents by")
            ToolTip.visible: hovered
            ToolTip.delay: 600
            ToolTip.text: qsTr("Order of the list")
            onActivated: index => bar.model.sortKey = index
        }
        Button {
            objectName: "undoButton"
            text: "\u21B6"
            font.pixelSize: 18
            flat: true
            Layout.preferredWidth: 44
            Accessible.name: qsTr("Undo")
            enabled: App.review.canUndo
            opacity: enabled ? 1 : 0.4
            ToolTip.visible: hovered
            ToolTip.delay: 600
            ToolTip.text: qsTr("Undo the last decision (Ctrl+Z)")
            onClicked: App.review.undo()
        }
        Button {
            objectName: "redoButton"
            text: "\u21B7"
            font.pixelSize: 18
            flat: true
            Layout.preferredWidth: 44
            Accessible.name: qsTr("Redo")
            enabled: App.review.canRedo
            opacity: enabled ? 1 : 0.4
            ToolTip.visible: hovered
            ToolTip.delay: 600
            ToolTip.text: qsTr("Redo the decision undone last (Ctrl+Shift+Z)")
            onClicked: App.review.redo()
        }
    }

    // As wide as its text, within the bar: the reason a filter names may be long.
    Item {
        Layout.maximumWidth: bar.width
        implicitWidth: shownCount.implicitWidth + (onlyButton.visible ? onlyButton.implicitWidth + 8 : 0)
        implicitHeight: Math.max(shownCount.implicitHeight, onlyButton.visible ? onlyButton.implicitHeight : 0)
        visible: shownCount.text !== "" || onlyButton.visible

        Label {
            id: shownCount

            objectName: "shownCount"
            anchors.left: parent.left
            anchors.right: onlyButton.visible ? onlyButton.left : parent.right
            anchors.rightMargin: onlyButton.visible ? 8 : 0
            anchors.verticalCenter: parent.verticalCenter
            textFormat: Text.PlainText
            elide: Text.ElideRight
            color: Theme.muted
            font.pixelSize: 12
            text: {
                const parts = []
                if (bar.model.onlyReason !== "")
                    parts.push(Texts.fill(qsTr("Only the documents that fail “%1”"), [bar.model.onlyReason]))
                if (bar.model.filtered)
                    parts.push(Texts.fill(qsTr("%1 of %2 shown"), [bar.model.count, bar.model.totalCount]))
                if (bar.model.selectedCount > 1)
                    parts.push(Texts.fill(qsTr("%1 selected"), [bar.model.selectedCount]))
                return parts.join(" · ")
            }
        }
        // Ends the view of the documents that fail a rule of the package.
        Button {
            id: onlyButton

            objectName: "showAllButton"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            visible: bar.model.onlyReason !== ""
            flat: true
            font.pixelSize: 12
            text: qsTr("Show all")
            ToolTip.visible: hovered
            ToolTip.delay: 600
            ToolTip.text: qsTr("Show every document again")
            onClicked: {
                bar.model.showOnly([], "")
                bar.leave()
            }
        }
    }
}
